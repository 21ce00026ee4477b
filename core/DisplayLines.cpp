#include "core/DisplayLines.h"

#include <utility>

namespace vrx {

DisplayLines::DisplayLines(std::string text) : m_text(std::move(text))
{
    const std::string_view view = m_text;
    for (size_t at = 0; at < view.size();) {
        if (m_count % CheckpointStride == 0)
            m_checkpoints.push_back(at);
        const BasicLineAt<char> found = lineAt(view, at);
        if (found.end != LineEnd::None)
            ++m_lineFeeds;
        ++m_count;
        at = found.next;
    }
}

} // namespace vrx

#include "platform/DisplayText.h"

#include "core/Windows1252.h"

#include <array>

namespace vrx {

QString decodeWindows1252(std::string_view bytes)
{
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::array<char16_t, 256>& table = windows1252Table();
    for (size_t i = 0, n = bytes.size(); i < n; ++i)
        out[i] = table[in[i]];
    return text;
}

std::string encodeWindows1252(const QString& text)
{
    std::string bytes;
    bytes.reserve(size_t(text.size()));
    for (const QChar c : text)
        bytes += static_cast<char>(windows1252Byte(c.unicode()).value_or('?'));
    return bytes;
}

} // namespace vrx

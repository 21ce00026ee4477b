#pragma once
// A log whose bytes a test changes after its lines were found, read as the window reads a large
// file: the sums of its pages taken on the way, every part read again checked against them.
// Standard C++ only, for the core's plain tests too.

#include "core/LineIndex.h"
#include "core/LogSnapshot.h"

#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>

namespace vrx::test {

class ChangingBytes : public LogBytes {
public:
    explicit ChangingBytes(std::string bytes) : m_bytes(std::move(bytes)) {}
    std::int64_t readAt(std::int64_t offset, char* data, size_t size) const override
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (offset < 0 || size_t(offset) >= m_bytes.size())
            return 0;
        const size_t n = std::min(size, m_bytes.size() - size_t(offset));
        std::memcpy(data, m_bytes.data() + offset, n);
        return std::int64_t(n);
    }
    void set(std::string bytes)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_bytes = std::move(bytes);
    }

private:
    mutable std::mutex m_mutex;
    std::string m_bytes;
};

// The lines of the bytes as they are now, checked against them when read again.
inline DisplayLines checkedLines(const std::shared_ptr<ChangingBytes>& bytes, LogRead* read = nullptr)
{
    auto sums = std::make_shared<PageSums>();
    BytesInput in(*bytes, 0, std::numeric_limits<std::int64_t>::max());
    SnapshotInput input(in, *sums);
    LineIndex index;
    const LogRead result = scanLog(input, {}, index, LineIndex::scanOptions());
    input.finish(true);
    if (read)
        *read = result;
    return index.finish({bytes, sums});
}

} // namespace vrx::test

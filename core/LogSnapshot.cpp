#include "core/LogSnapshot.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vrx {

namespace {

constexpr std::uint64_t K1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t K2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t K3 = 0x165667B19E3779F9ull;
constexpr std::uint64_t K4 = 0x85EBCA77C2B2AE63ull;

inline std::uint64_t rotl(std::uint64_t x, int r)
{
    return (x << r) | (x >> (64 - r));
}

inline std::uint64_t load64(const unsigned char* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint64_t lane(std::uint64_t acc, std::uint64_t word)
{
    return rotl(acc + word * K2, 31) * K1;
}

constexpr std::int64_t G = PageSums::PageSize;
// The low bits of a stored page hold its length less one; the sum takes the rest.
constexpr std::uint64_t LengthBits = 0x1FFF;

std::uint64_t storedSum(std::uint64_t sum)
{
    sum &= ~LengthBits;
    return sum == 0 ? LengthBits + 1 : sum;
}

// Reads [from, from + size) whole, as far as the bytes go; the number read, or -1.
std::int64_t readWhole(const LogBytes& bytes, std::int64_t from, char* data, std::int64_t size)
{
    std::int64_t done = 0;
    while (done < size) {
        const std::int64_t got = bytes.readAt(from + done, data + done, size_t(size - done));
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

} // namespace

std::uint64_t checksum64(const char* data, size_t size)
{
    // Four lanes side by side keep the multipliers busy; the tail and the length are mixed in
    // after them, and the end spreads every bit over the whole value.
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* const end = p + size;
    std::uint64_t h;
    if (size >= 32) {
        std::uint64_t a = K1 + K2;
        std::uint64_t b = K2;
        std::uint64_t c = 0;
        std::uint64_t d = 0 - K1;
        do {
            a = lane(a, load64(p));
            b = lane(b, load64(p + 8));
            c = lane(c, load64(p + 16));
            d = lane(d, load64(p + 24));
            p += 32;
        } while (end - p >= 32);
        h = rotl(a, 1) + rotl(b, 7) + rotl(c, 12) + rotl(d, 18);
        for (const std::uint64_t acc : {a, b, c, d})
            h = (h ^ lane(0, acc)) * K1 + K4;
    } else {
        h = K3;
    }
    h += size;
    for (; end - p >= 8; p += 8)
        h = rotl(h ^ lane(0, load64(p)), 27) * K1 + K4;
    for (; p < end; ++p)
        h = rotl(h ^ (*p * K3), 11) * K1;
    h ^= h >> 33;
    h *= K2;
    h ^= h >> 29;
    h *= K3;
    h ^= h >> 32;
    return h;
}

// ---- PageSums ----

PageSums::Page PageSums::page(size_t k) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (k >= m_pages.size() || m_pages[k] == 0)
        return {};
    const std::uint64_t stored = m_pages[k];
    return {stored & ~LengthBits, std::int64_t(stored & LengthBits) + 1};
}

void PageSums::set(size_t k, std::uint64_t sum, std::int64_t length)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (k >= m_pages.size())
        m_pages.resize(std::max(k + 1, m_pages.size() * 2), 0);
    m_pages[k] = storedSum(sum) | std::uint64_t(length - 1);
    m_end = std::max(m_end, std::int64_t(k) * G + length);
}

std::int64_t PageSums::end() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_end;
}

void PageSums::reach(std::int64_t end)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_end = std::max(m_end, end);
}

bool PageSums::complete() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const size_t pages = size_t((m_end + G - 1) / G);
    return m_pages.size() >= pages && std::find(m_pages.begin(), m_pages.begin() + std::ptrdiff_t(pages), 0) ==
        m_pages.begin() + std::ptrdiff_t(pages);
}

bool PageSums::fillGaps(const LogBytes& bytes)
{
    const std::int64_t last = end();
    std::string page(size_t(G), '\0');
    for (std::int64_t k = 0; k * G < last; ++k) {
        if (this->page(size_t(k)).length != 0)
            continue;
        const std::int64_t length = std::min(G, last - k * G);
        if (readWhole(bytes, k * G, page.data(), length) != length)
            return false;
        set(size_t(k), checksum64(page.data(), size_t(length)), length);
    }
    return true;
}

bool PageSums::holds(const LogBytes& bytes, std::int64_t from, std::int64_t until) const
{
    CheckedInput input(bytes, *this, from, until);
    std::string chunk(size_t(256) << 10, '\0');
    for (;;) {
        const std::int64_t got = input.read(chunk.data(), chunk.size());
        if (got <= 0)
            return got == 0 && input.offset() == until;
    }
}

// ---- SnapshotInput ----

SnapshotInput::SnapshotInput(ScanInput& input, PageSums& sums, std::string* keep)
    : m_input(input), m_sums(sums), m_keep(keep)
{
}

std::int64_t SnapshotInput::read(char* data, size_t size)
{
    const std::int64_t at = m_input.offset();
    const std::int64_t got = m_input.read(data, size);
    if (got > 0)
        take(at, data, size_t(got));
    return got;
}

void SnapshotInput::take(std::int64_t at, const char* data, size_t size)
{
    if (m_keep && m_keeping) {
        const std::int64_t kept = std::int64_t(m_keep->size());
        if (at > kept)
            m_keeping = false;
        else if (at + std::int64_t(size) > kept)
            m_keep->append(data + (kept - at), size_t(at + std::int64_t(size) - kept));
    }
    if (m_next < 0 || at > m_next) {
        // The first read, or one past a gap: a page begun before it cannot be summed here.
        m_next = at;
        m_page.clear();
        m_skipping = at % G != 0;
    }
    // Bytes read again (a long line is read twice) were taken the first time.
    const size_t again = std::min<size_t>(size, size_t(m_next - at));
    data += again;
    size -= again;
    while (size > 0) {
        const std::int64_t inPage = m_next % G;
        if (m_skipping) {
            const size_t n = std::min<size_t>(size, size_t(G - inPage));
            m_next += std::int64_t(n);
            data += n;
            size -= n;
            m_skipping = m_next % G != 0;
            continue;
        }
        if (inPage == 0 && size >= size_t(G)) {
            m_sums.set(size_t(m_next / G), checksum64(data, size_t(G)), G);
            m_next += G;
            data += G;
            size -= size_t(G);
            continue;
        }
        const size_t n = std::min<size_t>(size, size_t(G - inPage));
        m_page.append(data, n);
        m_next += std::int64_t(n);
        data += n;
        size -= n;
        if (std::int64_t(m_page.size()) == G) {
            m_sums.set(size_t(m_next / G - 1), checksum64(m_page.data(), m_page.size()), G);
            m_page.clear();
        }
    }
}

void SnapshotInput::resume(std::int64_t pageStart, std::string_view before)
{
    m_page.assign(before);
    m_next = pageStart + std::int64_t(before.size());
    m_skipping = false;
}

void SnapshotInput::finish(bool atFileEnd)
{
    if (atFileEnd && !m_skipping && !m_page.empty())
        m_sums.set(size_t(m_next / G), checksum64(m_page.data(), m_page.size()), std::int64_t(m_page.size()));
    if (atFileEnd && m_next > 0)
        m_sums.reach(m_next);
    m_page.clear();
}

// ---- CheckedInput ----

CheckedInput::CheckedInput(const LogBytes& bytes, const PageSums& sums, std::int64_t from, std::int64_t until)
    : m_bytes(bytes), m_sums(sums), m_from(from), m_offset(from), m_until(until)
{
}

bool CheckedInput::fill()
{
    // Whole pages, a quarter megabyte at most at a time.
    constexpr std::int64_t Most = 256 << 10;
    const std::int64_t start = m_offset / G * G;
    const std::int64_t stop = std::min((m_until + G - 1) / G * G, start + Most);
    m_buffer.resize(size_t(stop - start));
    const std::int64_t got = readWhole(m_bytes, start, m_buffer.data(), stop - start);
    if (got < 0)
        return false;
    m_buffer.resize(size_t(got));
    m_bufferStart = start;
    for (std::int64_t k = start / G; k * G < stop; ++k) {
        const PageSums::Page page = m_sums.page(size_t(k));
        if (page.length == 0)
            continue;   // not summed yet: the page the log is being read at
        const std::int64_t at = k * G - start;
        if (at + page.length > got
            || storedSum(checksum64(m_buffer.data() + at, size_t(page.length))) != page.sum) {
            m_changed = true;
            errno = EIO;
            return false;
        }
    }
    return true;
}

std::int64_t CheckedInput::read(char* data, size_t size)
{
    if (m_offset >= m_until)
        return 0;
    const std::int64_t buffered = m_bufferStart + std::int64_t(m_buffer.size());
    if (m_offset < m_bufferStart || m_offset >= buffered) {
        if (m_changed || !fill())
            return -1;
        if (m_offset >= m_bufferStart + std::int64_t(m_buffer.size()))
            return 0;   // the file ends before
    }
    const std::int64_t n = std::min({std::int64_t(size), m_bufferStart + std::int64_t(m_buffer.size()) - m_offset,
                                     m_until - m_offset});
    std::memcpy(data, m_buffer.data() + (m_offset - m_bufferStart), size_t(n));
    m_offset += n;
    return n;
}

bool CheckedInput::seekTo(std::int64_t offset)
{
    if (offset < m_from || offset > m_until) {
        errno = EINVAL;
        return false;
    }
    m_offset = offset;
    return true;
}

} // namespace vrx

#include "core/LogSnapshot.h"

#include "core/ByteScan.h"

#if defined(__GNUC__) || defined(__clang__)
#include <immintrin.h>
#endif

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

namespace {

// The keys of the eight lanes of the long form.
constexpr std::uint64_t Keys[8] = {K1, K2, K3, K4, K1 ^ K3, K2 ^ K4, K1 + K2, K3 + K4};

// Stripes of 64 bytes into eight lanes: each lane adds the product of the two halves of its
// word (keyed) and the word of its neighbour as it is, so that every bit of the bytes moves the
// lanes; one multiplication for eight bytes. Every kilobyte the lanes are mixed, so that what
// came first is spread before more is added. Returns where the stripes ended.
inline void scramble(std::uint64_t lanes[8])
{
    for (int i = 0; i < 8; ++i)
        lanes[i] = (lanes[i] ^ (lanes[i] >> 47) ^ Keys[i]) * K1;
}

#if defined(VRX_SCAN_SSE2) && (defined(__GNUC__) || defined(__clang__))
#define VRX_SUM_AVX2 1
__attribute__((target("avx2"), always_inline)) inline __m256i stepAvx2(__m256i lane, __m256i key,
                                                                       const unsigned char* at)
{
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i dk = _mm256_xor_si256(d, key);
    const __m256i product = _mm256_mul_epu32(dk, _mm256_shuffle_epi32(dk, _MM_SHUFFLE(0, 3, 0, 1)));
    return _mm256_add_epi64(lane, _mm256_add_epi64(product, _mm256_shuffle_epi32(d, _MM_SHUFFLE(1, 0, 3, 2))));
}

// The same on processors with AVX2, two 128-bit halves at once: the same sums, in half the steps.
__attribute__((target("avx2"))) const unsigned char* stripesAvx2(std::uint64_t acc[8], const unsigned char* p,
                                                                  const unsigned char* end)
{
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc + 4));
    const __m256i ka = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Keys));
    const __m256i kb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Keys + 4));
    while (end - p >= 64) {
        const int count = int(std::min<std::ptrdiff_t>(16, (end - p) / 64));
        for (int n = 0; n < count; ++n, p += 64) {
            a = stepAvx2(a, ka, p);
            b = stepAvx2(b, kb, p + 32);
        }
        if (count < 16)
            break;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc), a);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc + 4), b);
        scramble(acc);
        a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc));
        b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc + 4));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc), a);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc + 4), b);
    return p;
}
#endif

const unsigned char* stripes(std::uint64_t acc[8], const unsigned char* p, const unsigned char* end)
{
#ifdef VRX_SUM_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return stripesAvx2(acc, p, end);
#endif
#ifdef VRX_SCAN_SSE2
    __m128i keys[4];
    __m128i lanes[4];
    std::memcpy(keys, Keys, sizeof keys);
    std::memcpy(lanes, acc, sizeof lanes);
    while (end - p >= 64) {
        const int count = int(std::min<std::ptrdiff_t>(16, (end - p) / 64));
        for (int n = 0; n < count; ++n, p += 64) {
            for (int i = 0; i < 4; ++i) {
                const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
                const __m128i dk = _mm_xor_si128(d, keys[i]);
                const __m128i product = _mm_mul_epu32(dk, _mm_shuffle_epi32(dk, _MM_SHUFFLE(0, 3, 0, 1)));
                lanes[i] = _mm_add_epi64(lanes[i], _mm_add_epi64(product, _mm_shuffle_epi32(d, _MM_SHUFFLE(1, 0, 3, 2))));
            }
        }
        if (count < 16)
            break;
        std::memcpy(acc, lanes, sizeof lanes);
        scramble(acc);
        std::memcpy(lanes, acc, sizeof lanes);
    }
    std::memcpy(acc, lanes, sizeof lanes);
#else
    while (end - p >= 64) {
        const int count = int(std::min<std::ptrdiff_t>(16, (end - p) / 64));
        for (int n = 0; n < count; ++n, p += 64) {
            std::uint64_t d[8];
            for (int i = 0; i < 8; ++i)
                d[i] = load64(p + 8 * i);
            for (int i = 0; i < 8; ++i) {
                const std::uint64_t dk = d[i] ^ Keys[i];
                acc[i] += (dk & 0xFFFFFFFFu) * (dk >> 32) + d[i ^ 1];
            }
        }
        if (count < 16)
            break;
        scramble(acc);
    }
#endif
    return p;
}

} // namespace

std::uint64_t checksum64(const char* data, size_t size)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* const end = p + size;
    std::uint64_t h;
    if (size >= 64) {
        // Long texts (a page of the file) in stripes of eight lanes side by side.
        std::uint64_t acc[8] = {K3, K1, K2, K4, K3 ^ K2, K1 ^ K4, K2 + K3, K1 + K4};
        p = stripes(acc, p, end);
        h = size * K1;
        for (const std::uint64_t a : acc)
            h = rotl(h ^ lane(0, a), 27) * K1 + K4;
    } else if (size >= 32) {
        // Four lanes side by side keep the multipliers busy.
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
    // The tail and the length, then every bit spread over the whole value.
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

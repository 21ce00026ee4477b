#pragma once
// Fast scans over raw log bytes: each returns the index of the first byte that needs a closer
// look (or n), sixteen bytes at a time where the processor has SSE2. Most bytes of a log are
// plain text, so the loops over lines spend their time here.

#include <bit>
#include <cstddef>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VRX_SCAN_SSE2 1
#endif

namespace vrx::scan {

// First byte with a code from 1 to 16 (the token codes lie in that range; 9 to 13 are no
// tokens but are rare enough to be sorted out by the caller).
inline size_t untilLowCode(const unsigned char* p, size_t n)
{
    size_t i = 0;
#ifdef VRX_SCAN_SSE2
    const __m128i one = _mm_set1_epi8(1);
    const __m128i fifteen = _mm_set1_epi8(15);
    for (; i + 16 <= n; i += 16) {
        const __m128i shifted = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), one);
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(shifted, fifteen), shifted));
        if (mask)
            return i + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask)));
    }
#endif
    for (; i < n; ++i)
        if (p[i] >= 1 && p[i] <= 16)
            return i;
    return n;
}

// First byte of 0xE6 or above (the bytes the loader repairs are 0xE6, 0xF1 and 0xF3).
inline size_t untilRepairCandidate(const unsigned char* p, size_t n)
{
    size_t i = 0;
#ifdef VRX_SCAN_SSE2
    const __m128i limit = _mm_set1_epi8(static_cast<char>(0xE6));
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(x, limit), x));
        if (mask)
            return i + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask)));
    }
#endif
    for (; i < n; ++i)
        if (p[i] >= 0xE6)
            return i;
    return n;
}

// First byte that is not plain ASCII or that is a CR.
inline size_t untilHighOrCr(const unsigned char* p, size_t n)
{
    size_t i = 0;
#ifdef VRX_SCAN_SSE2
    const __m128i cr = _mm_set1_epi8('\r');
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int mask = _mm_movemask_epi8(x) | _mm_movemask_epi8(_mm_cmpeq_epi8(x, cr));
        if (mask)
            return i + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask)));
    }
#endif
    for (; i < n; ++i)
        if (p[i] >= 0x80 || p[i] == '\r')
            return i;
    return n;
}

// The first of `starts` places i where p[i] is a or b and p[i + span] is c or d (the first and
// the last byte of a text to find, in either case); `starts` when there is none. The bytes up to
// p[starts - 1 + span] are read.
inline size_t untilPair(const unsigned char* p, size_t starts, size_t span, unsigned char a, unsigned char b,
                        unsigned char c, unsigned char d)
{
    size_t i = 0;
#ifdef VRX_SCAN_SSE2
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
    const __m128i vd = _mm_set1_epi8(static_cast<char>(d));
    for (; i + 16 <= starts; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + span));
        const __m128i first = _mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb));
        const __m128i last = _mm_or_si128(_mm_cmpeq_epi8(y, vc), _mm_cmpeq_epi8(y, vd));
        const int mask = _mm_movemask_epi8(_mm_and_si128(first, last));
        if (mask)
            return i + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask)));
    }
#endif
    for (; i < starts; ++i)
        if ((p[i] == a || p[i] == b) && (p[i + span] == c || p[i + span] == d))
            return i;
    return starts;
}

// The same from the other side: the last of the `starts` places; `starts` when there is none.
inline size_t lastPair(const unsigned char* p, size_t starts, size_t span, unsigned char a, unsigned char b,
                       unsigned char c, unsigned char d)
{
    size_t i = starts;
#ifdef VRX_SCAN_SSE2
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
    const __m128i vd = _mm_set1_epi8(static_cast<char>(d));
    for (; i >= 16; i -= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i - 16));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i - 16 + span));
        const __m128i first = _mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb));
        const __m128i last = _mm_or_si128(_mm_cmpeq_epi8(y, vc), _mm_cmpeq_epi8(y, vd));
        const int mask = _mm_movemask_epi8(_mm_and_si128(first, last));
        if (mask)
            return i - 16 + 31 - static_cast<size_t>(std::countl_zero(static_cast<unsigned>(mask)));
    }
#endif
    while (i > 0) {
        --i;
        if ((p[i] == a || p[i] == b) && (p[i + span] == c || p[i + span] == d))
            return i;
    }
    return starts;
}

// How many of the first n bytes are a, and how many are b. Each match adds one to a byte's
// counter, whose sums are taken before they can pass 255.
inline void countTwo(const unsigned char* p, size_t n, unsigned char a, unsigned char b, size_t& as, size_t& bs)
{
    size_t i = 0;
    as = 0;
    bs = 0;
#ifdef VRX_SCAN_SSE2
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= n) {
        __m128i ca = zero;
        __m128i cb = zero;
        for (int k = 0; k < 255 && i + 16 <= n; ++k, i += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            ca = _mm_sub_epi8(ca, _mm_cmpeq_epi8(x, va));
            cb = _mm_sub_epi8(cb, _mm_cmpeq_epi8(x, vb));
        }
        const __m128i sa = _mm_sad_epu8(ca, zero);
        const __m128i sb = _mm_sad_epu8(cb, zero);
        as += static_cast<size_t>(_mm_cvtsi128_si32(sa) + _mm_extract_epi16(sa, 4));
        bs += static_cast<size_t>(_mm_cvtsi128_si32(sb) + _mm_extract_epi16(sb, 4));
    }
#endif
    for (; i < n; ++i) {
        as += p[i] == a;
        bs += p[i] == b;
    }
}

} // namespace vrx::scan

#include "core/ConvertLogLine.h"

#include "core/ByteScan.h"

#include <array>
#include <cstring>

namespace vrx {

namespace {

// Word tokens: text, and rank in the handling order (code 1 has rank 0).
struct Word {
    const char* text = nullptr;
    unsigned char length = 0;
    unsigned char rank = 0;
};

// " µV" holds the micro sign as its Windows-1252 byte 0xB5.
constexpr std::array<Word, 17> makeWords()
{
    std::array<Word, 17> w{};
    w[2] = {"VERTICAL SCALE", 14, 1};
    w[3] = {" - ", 3, 2};
    w[4] = {"MEASURED", 8, 3};
    w[5] = {" mV", 3, 4};
    w[6] = {" \xB5V", 3, 5};
    w[7] = {"div", 3, 6};
    w[8] = {" MHz", 4, 7};
    w[14] = {"LIMIT", 5, 8};
    w[15] = {"PASS", 4, 9};
    w[16] = {"FAIL", 4, 10};
    return w;
}
constexpr std::array<Word, 17> Words = makeWords();
constexpr int WordRanks = 11;

// 0: plain character, 1: run of spaces, 2: word.
constexpr std::array<unsigned char, 256> makeKinds()
{
    std::array<unsigned char, 256> k{};
    k[1] = 1;
    for (int c = 2; c <= 16; ++c)
        if (Words[c].text)
            k[c] = 2;
    return k;
}
constexpr std::array<unsigned char, 256> Kinds = makeKinds();

constexpr int CountBase = 30;

// Precise check of the word tokens, needed only for lines that grow near the limit:
// a word's position when its turn comes is its place after the runs of spaces, moved by
// the words before it that are handled no later than it.
bool wordsOverflow(std::string_view line, long leading)
{
    long place = leading; // characters before the current one, runs expanded
    std::array<long, WordRanks> grown{};
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    const size_t n = line.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        switch (Kinds[c]) {
        case 1:
            place += p[i + 1] - CountBase; // validated by the first pass
            ++i;
            break;
        case 2: {
            const Word& w = Words[c];
            long position = place + 1;
            for (int r = 1; r <= w.rank; ++r)
                position += grown[r];
            if (position + 1 > MaxLinePosition)
                return true;
            grown[w.rank] += w.length - 1;
            ++place;
            break;
        }
        default:
            ++place;
        }
    }
    return false;
}

} // namespace

ConvertError appendConvertedLine(std::string& out, std::string_view separator, std::string_view line)
{
    const long leading = static_cast<long>(separator.size());
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    const size_t n = line.size();

    // First pass: the runs of spaces (handled before everything else) and the final length.
    long afterRuns = leading; // length so far with only the runs expanded
    long length = leading;    // length so far fully converted
    bool anyWord = false;
    for (size_t i = 0; i < n; ++i) {
        // Plain stretches count one for one.
        const size_t plain = scan::untilLowCode(p + i, n - i);
        afterRuns += static_cast<long>(plain);
        length += static_cast<long>(plain);
        i += plain;
        if (i == n)
            break;
        const unsigned char c = p[i];
        switch (Kinds[c]) {
        case 1: {
            const long position = afterRuns + 1;
            if (position + 2 > MaxLinePosition)
                return ConvertError::Overflow;
            if (i + 1 >= n || p[i + 1] < CountBase)
                return ConvertError::InvalidArgument;
            const long spaces = p[i + 1] - CountBase;
            afterRuns += spaces;
            length += spaces;
            ++i;
            break;
        }
        case 2:
            anyWord = true;
            ++afterRuns;
            length += Words[c].length;
            break;
        default:
            ++afterRuns;
            ++length;
        }
    }

    // A word's position when its turn comes is at most its final position, which is at most
    // the final length less two (every word is at least three characters long).
    if (anyWord && length > MaxLinePosition + 1 && wordsOverflow(line, leading))
        return ConvertError::Overflow;

    // Second pass: write.
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(length));
    char* o = out.data() + start;
    if (!separator.empty()) {
        std::memcpy(o, separator.data(), separator.size());
        o += separator.size();
    }
    size_t i = 0;
    while (i < n) {
        // Copy the plain stretch up to the next token in one go.
        size_t j = i;
        for (;;) {
            j += scan::untilLowCode(p + j, n - j);
            if (j == n || Kinds[p[j]] != 0)
                break;
            ++j; // tab, line feed and the like pass through
        }
        if (j > i) {
            std::memcpy(o, p + i, j - i);
            o += j - i;
            i = j;
            if (i == n)
                break;
        }
        const unsigned char c = p[i];
        if (Kinds[c] == 1) {
            const size_t spaces = p[i + 1] - CountBase;
            std::memset(o, ' ', spaces);
            o += spaces;
            i += 2;
        } else {
            const Word& w = Words[c];
            std::memcpy(o, w.text, w.length);
            o += w.length;
            ++i;
        }
    }
    return ConvertError::None;
}

void LineCheck::feed(std::string_view part)
{
    const auto* p = reinterpret_cast<const unsigned char*>(part.data());
    const size_t n = part.size();
    for (size_t i = 0; i < n; ++i) {
        if (m_countPending) {
            m_countPending = false;
            if (p[i] < CountBase) {
                m_runError = ConvertError::InvalidArgument;
            } else {
                m_afterRuns += p[i] - CountBase;
                m_producesText |= p[i] > CountBase;
            }
            continue;
        }
        if (m_runError != ConvertError::None)
            return; // a failed run of spaces is the line's failure, whatever follows
        const size_t plain = scan::untilLowCode(p + i, n - i);
        m_afterRuns += static_cast<long>(plain);
        m_producesText |= plain > 0;
        i += plain;
        if (i == n)
            break;
        const unsigned char c = p[i];
        switch (Kinds[c]) {
        case 1:
            if (m_afterRuns + 1 + 2 > MaxLinePosition)
                m_runError = ConvertError::Overflow;
            else
                m_countPending = true;
            break;
        case 2: {
            const Word& w = Words[c];
            if (!m_wordOverflow) {
                long position = m_afterRuns + 1;
                for (int r = 1; r <= w.rank; ++r)
                    position += m_grown[r];
                if (position + 1 > MaxLinePosition)
                    m_wordOverflow = true;
                else
                    m_grown[w.rank] += w.length - 1;
            }
            ++m_afterRuns;
            m_producesText = true;
            break;
        }
        default:
            ++m_afterRuns;
            m_producesText = true;
        }
    }
}

ConvertError LineCheck::finish() const
{
    if (m_runError != ConvertError::None)
        return m_runError;
    if (m_countPending)
        return ConvertError::InvalidArgument;
    return m_wordOverflow ? ConvertError::Overflow : ConvertError::None;
}

ConvertResult ConvertLogLine(std::string_view line)
{
    ConvertResult result;
    if (line.empty())
        return result;
    result.error = appendConvertedLine(result.text, {}, line);
    if (!result.ok())
        result.text.clear();
    return result;
}

const char* convertErrorReason(ConvertError error)
{
    switch (error) {
    case ConvertError::None:
        return "";
    case ConvertError::InvalidArgument:
        return "A run of spaces has no valid count character.";
    case ConvertError::Overflow:
        return "The line is too long: a position passes 32767.";
    }
    return "";
}

} // namespace vrx

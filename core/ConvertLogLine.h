#pragma once
// Expands one compact log line as the test program wrote it: control characters stand for
// frequent words and units, and code 1 plus a count character stands for a run of spaces.
// Plain C++ on bytes in the Windows-1252 code page, so the window and a command-line tool
// share it; the count character's code is its byte value.

#include <string>
#include <string_view>

namespace vrx {

enum class ConvertError {
    None,
    InvalidArgument, // code 1 without a count character, or a count character below 30
    Overflow,        // a token whose handling needs a position above 32767
};

struct ConvertResult {
    std::string text;
    ConvertError error = ConvertError::None;
    bool ok() const { return error == ConvertError::None; }
};

// Highest position (1-based) a line may use: positions are signed 16-bit.
inline constexpr long MaxLinePosition = 32767;

// The converted line, or the error; there is no partial result.
//
// The tokens are handled code by code (1, 2, ..., 8, 14, 15, 16), each time from the start of
// the text as it stands, so all runs of spaces are expanded before any word. This function
// reaches the same result, and the same failure, in two linear passes:
//  - A code 1 fails when its position, two characters further on, passes 32767 (Overflow), and
//    otherwise when no count character follows or the count is below 30 (InvalidArgument).
//    Its position is its place in the raw line moved by the runs of spaces before it.
//  - A word token fails (Overflow) when its position plus one passes 32767, its position being
//    its place once the runs and the earlier-handled words before it (same code, or a code that
//    comes earlier in the order) are expanded.
//  - The first failure in handling order wins, so any code 1 failure comes before a word's.
ConvertResult ConvertLogLine(std::string_view line);

// Appends the conversion of `separator + line` to out, as ConvertLogLine would return it;
// out is left as it was on failure. The separator (the loader's CR LF) holds no token codes,
// it only moves the positions of the line's tokens.
ConvertError appendConvertedLine(std::string& out, std::string_view separator, std::string_view line);

// Checks a line as appendConvertedLine does, fed in parts as it is read, for lines too long to
// hold: the same failure (the first in handling order), in constant memory. The bytes must be
// repaired already. `leading` is the length of the separator put in front of the line.
class LineCheck {
public:
    explicit LineCheck(long leading) : m_afterRuns(leading) {}
    void feed(std::string_view part);
    // The line's failure once it has ended, or None.
    ConvertError finish() const;
    // Whether the converted line holds any character.
    bool producesText() const { return m_producesText; }
    // Whether the line is known to fail already, whatever follows (finish() tells how).
    bool failed() const { return m_runError != ConvertError::None || m_wordOverflow; }

private:
    long m_afterRuns;         // characters before the next byte, runs of spaces expanded
    long m_grown[11] = {};    // growth of the words handled so far, by rank
    bool m_countPending = false;
    bool m_producesText = false;
    ConvertError m_runError = ConvertError::None;
    bool m_wordOverflow = false;
};

// Short English reason for a failure, for messages.
const char* convertErrorReason(ConvertError error);

} // namespace vrx

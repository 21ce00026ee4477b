#pragma once
// A log that could not be read or converted, as a value: what failed, in which file and line,
// why, and what became of the lines before it. The window and vrxlog word it the same way;
// only the fate of the earlier lines differs between them.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vrx {

// What became of the lines before the failing one.
enum class EarlierLines {
    Shown,         // they are on the display
    Written,       // they were written out
    WrittenInPart, // they were written out, and the failing line in part
    None,          // nothing of the log went anywhere
};

struct LogFailure {
    enum class Kind {
        CannotOpen,    // the file could not be opened
        Empty,         // nothing to read
        ReadFailed,    // the system failed to read on
        RepairFailed,  // a character to repair beyond position 32767
        ConvertFailed, // ConvertLogLine refused the line
        OutOfMemory    // the memory to hold the text could not be had
    };
    Kind kind = Kind::CannotOpen;
    std::string file;          // the name as the system spells it
    std::int64_t line = 0;     // 1-based line of the file; 0 when no line is concerned
    std::string reason;        // one sentence (UTF-8); empty for Empty and OutOfMemory
    EarlierLines earlierLines = EarlierLines::Shown;
};

// The system's reason for an errno value as a sentence of a message (with its full stop).
inline std::string systemSentence(int error)
{
    return std::string(std::strerror(error)) + '.';
}

// The message (UTF-8, lines parted by LF): names the file as `shownFile` (the caller makes the
// name safe for its medium) and, where it applies, the line, the reason and the earlier lines.
std::string logFailureMessage(const LogFailure& failure, std::string_view shownFile);

} // namespace vrx

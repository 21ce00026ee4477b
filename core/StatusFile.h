#pragma once
// Reading a log's test status file: the outcome of each test, and the counts of passed,
// failed and not applicable tests. The failure is a value; the window and vrxlog word it.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vrx {

class ScanInput;

enum class StatusFailure {
    None,
    NotFound,     // no file of that name
    NotRegular,   // a FIFO, a device or a socket (fileKind says which); never read
    Unreadable,   // the file could not be opened or read on
    NoValue,      // no value at all, or a first value that is no 16-bit number
    Corrupt,      // a value other than -1, 0, 1
    TooManyTests, // more than 32767 records
};

struct StatusRead {
    std::vector<signed char> values;       // one per record read (-1, 0, 1), also those before a failure
    std::array<std::int16_t, 3> counts{};  // passed, failed, not applicable
    StatusFailure failure = StatusFailure::None;
    std::string fileKind;                  // for NotRegular: "a FIFO (named pipe)", ...
    bool ok() const { return failure == StatusFailure::None; }
};

// Values separated by commas or line breaks; blanks around a value are skipped and blank values
// (empty lines, a trailing comma) are no record. A record is one of -1, 0, 1 (an optional sign,
// digits); anything else makes the file corrupt. A file that holds no value, or whose first value
// is not a number or one outside -32768..32767, has NoValue. More than 32767 records overflow the
// counters. Read from where the input stands to its end; opening the file, and telling a missing
// or irregular one, is the file layer's.
StatusRead readStatus(ScanInput& input);

// The same on the bytes of a status file already in memory.
StatusRead parseStatus(std::string_view text);

// The outcome word of a status value (-1, 0, 1): "FAIL", "N/A", "PASS"; empty for any other.
const char* outcomeName(int value);

// "Test # 1  - PASS", "Test # 12 - FAIL", "Test # 100 - N/A": the label is cut to 9
// characters, which keeps the hyphens of tests up to 99 in one column, but never cuts digits.
std::string statusItemLabel(int testNumber, int value);

} // namespace vrx

#include "core/StatusFile.h"

#include "core/LogScanner.h"

#include <algorithm>
#include <cerrno>

namespace vrx {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// What one value of a status file reads as.
enum class StatusValueKind {
    Record,      // -1, 0 or 1
    OtherNumber, // any other number that fits a signed 16-bit integer
    Invalid,     // not a number, or one outside -32768..32767
};

struct StatusValue {
    StatusValueKind kind = StatusValueKind::Invalid;
    int value = 0; // for a record
};

// An optional sign and digits; leading zeros are of no weight.
StatusValue parseStatusValue(std::string_view field)
{
    bool negative = false;
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
        negative = field.front() == '-';
        field.remove_prefix(1);
    }
    if (field.empty())
        return {};
    for (char c : field)
        if (c < '0' || c > '9')
            return {};
    while (field.size() > 1 && field.front() == '0')
        field.remove_prefix(1);
    if (field.size() > 5)
        return {};
    int magnitude = 0;
    for (char c : field)
        magnitude = magnitude * 10 + (c - '0');
    const int value = negative ? -magnitude : magnitude;
    if (value < -32768 || value > 32767)
        return {};
    if (value >= -1 && value <= 1)
        return {StatusValueKind::Record, value};
    return {StatusValueKind::OtherNumber, value};
}

// Collects the values of a status file and turns them into records.
class StatusReader {
public:
    explicit StatusReader(StatusRead& result) : m_r(result) {}

    // False once the file is found bad.
    bool feed(const char* data, size_t size)
    {
        for (size_t i = 0; i < size; ++i) {
            const char c = data[i];
            if (c == ',' || c == '\r' || c == '\n') {
                if (!endValue())
                    return false;
            } else if (redundant(c)) {
                continue;
            } else if (m_field.size() < 64) {
                m_field.push_back(c);
            } else {
                // No 16-bit number, whatever follows: the file is bad here, and the rest of
                // it (which may be very large, or never end) need not be read.
                m_tooLong = true;
                return endValue();
            }
        }
        return true;
    }

    // Characters that cannot change what a value reads as, and are not kept, so that only a
    // value that is bad anyway can outgrow the field: blanks in front, a blank after a blank,
    // and leading zeros beyond the first.
    bool redundant(char c) const
    {
        if (isBlank(c))
            return m_field.empty() || isBlank(m_field.back());
        return c == '0' && (m_field == "0" || m_field == "+0" || m_field == "-0");
    }

    bool endValue()
    {
        std::string_view field(m_field);
        while (!field.empty() && isBlank(field.front()))
            field.remove_prefix(1);
        while (!field.empty() && isBlank(field.back()))
            field.remove_suffix(1);
        const bool blank = field.empty() && !m_tooLong;
        // A value that outgrew the field is no number of 16 bits, whatever it holds.
        const StatusValue value = m_tooLong ? StatusValue{} : parseStatusValue(field);
        m_field.clear();
        m_tooLong = false;
        if (blank)
            return true;
        if (value.kind != StatusValueKind::Record) {
            // A first value that is no 16-bit number at all fails like a file without any
            // value: the message names the file. Later, and for other numbers, it is corrupt.
            const bool unreadable = m_records == 0 && value.kind == StatusValueKind::Invalid;
            m_r.failure = unreadable ? StatusFailure::NoValue : StatusFailure::Corrupt;
            return false;
        }
        if (m_records == 32767) {
            m_r.failure = StatusFailure::TooManyTests;
            return false;
        }
        ++m_records;
        const int index = value.value == 1 ? 0 : value.value == -1 ? 1 : 2;
        ++m_r.counts[index];
        m_r.values.push_back(static_cast<signed char>(value.value));
        return true;
    }

    // After the last byte: the value still open ends, and a file without any value fails
    // before its first record. False once the file is found bad.
    bool finish()
    {
        if (!endValue())
            return false;
        if (m_records == 0) {
            m_r.failure = StatusFailure::NoValue;
            return false;
        }
        return true;
    }

private:
    StatusRead& m_r;
    std::string m_field;
    bool m_tooLong = false;
    int m_records = 0;
};

} // namespace

StatusRead readStatus(ScanInput& input)
{
    StatusRead result;
    StatusReader reader(result);
    std::string chunk(64 * 1024, '\0');
    for (;;) {
        const std::int64_t got = input.read(chunk.data(), chunk.size());
        if (got < 0) {
            result.failure = StatusFailure::Unreadable;
            return result;
        }
        if (got == 0)
            break;
        if (!reader.feed(chunk.data(), static_cast<size_t>(got)))
            return result;
    }
    reader.finish();
    return result;
}

StatusRead parseStatus(std::string_view text)
{
    StatusRead result;
    StatusReader reader(result);
    if (reader.feed(text.data(), text.size()))
        reader.finish();
    return result;
}

} // namespace vrx

namespace vrx {

const char* outcomeName(int value)
{
    switch (value) {
    case -1:
        return "FAIL";
    case 0:
        return "N/A";
    case 1:
        return "PASS";
    }
    return "";
}

std::string statusItemLabel(int testNumber, int value)
{
    std::string label = "Test # " + std::to_string(testNumber) + ' ';
    label.resize(std::max<size_t>(9, label.size() - 1));
    return label + " - " + outcomeName(value);
}

} // namespace vrx

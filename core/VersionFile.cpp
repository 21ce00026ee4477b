#include "core/VersionFile.h"

#include "core/Utf8.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

namespace vrx {

namespace {

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool containsIgnoringAsciiCase(std::string_view text, std::string_view wanted)
{
    const auto found = std::search(text.begin(), text.end(), wanted.begin(), wanted.end(),
                                   [](char a, char b) { return asciiLower(a) == asciiLower(b); });
    return found != text.end() || wanted.empty();
}

} // namespace

void VersionFieldReader::skipSeparator()
{
    if (atEnd())
        return;
    const char c = m_text[m_pos];
    if (c == ',' || c == '\n') {
        ++m_pos;
    } else if (c == '\r') {
        ++m_pos;
        if (!atEnd() && m_text[m_pos] == '\n')
            ++m_pos;
    }
}

std::string VersionFieldReader::next()
{
    while (!atEnd() && m_text[m_pos] == ' ')
        ++m_pos;
    if (atEnd())
        return {};

    if (m_text[m_pos] == '"') {
        const size_t start = m_pos + 1;
        const size_t close = m_text.find('"', start);
        if (close == std::string_view::npos) {
            // An unclosed quote runs to the end of the file.
            m_pos = m_text.size();
            return std::string(m_text.substr(start));
        }
        std::string field(m_text.substr(start, close - start));
        m_pos = close + 1;
        // Whatever follows the closing quote belongs to no field.
        while (!atEnd() && m_text[m_pos] != ',' && !isLineEnd(m_text[m_pos]))
            ++m_pos;
        skipSeparator();
        return field;
    }

    const size_t start = m_pos;
    while (!atEnd() && m_text[m_pos] != ',' && !isLineEnd(m_text[m_pos]))
        ++m_pos;
    std::string field(m_text.substr(start, m_pos - start));
    skipSeparator();
    return field;
}

std::vector<std::string> readVersionFields(std::string_view text)
{
    std::vector<std::string> fields;
    VersionFieldReader reader(text);
    do
        fields.push_back(reader.next());
    while (!reader.atEnd());
    return fields;
}

std::optional<std::string> findProgramEntry(std::string_view text, std::string_view title)
{
    VersionFieldReader reader(text);
    // Only the first field that names the program counts, whatever follows it.
    do {
        std::string field = reader.next();
        if (containsIgnoringAsciiCase(field, title))
            return field;
    } while (!reader.atEnd());
    return std::nullopt;
}

double versionValue(std::string_view text)
{
    std::string compact;
    compact.reserve(std::min<size_t>(text.size(), 64));
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        // Only ASCII can be part of a number; anything else ends it.
        if (static_cast<unsigned char>(c) >= 0x80)
            break;
        compact.push_back(c);
    }

    // Find the longest leading number: sign, digits with at most one ".", exponent.
    size_t pos = 0;
    const size_t n = compact.size();
    bool negative = false;
    if (pos < n && (compact[pos] == '+' || compact[pos] == '-')) {
        negative = compact[pos] == '-';
        ++pos;
    }
    const size_t mantissaStart = pos;
    size_t digits = 0;
    while (pos < n && isAsciiDigit(compact[pos])) {
        ++pos;
        ++digits;
    }
    if (pos < n && compact[pos] == '.') {
        ++pos;
        while (pos < n && isAsciiDigit(compact[pos])) {
            ++pos;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    size_t end = pos;
    if (pos < n && (compact[pos] == 'e' || compact[pos] == 'E')) {
        size_t e = pos + 1;
        if (e < n && (compact[e] == '+' || compact[e] == '-'))
            ++e;
        if (e < n && isAsciiDigit(compact[e])) {
            while (e < n && isAsciiDigit(compact[e]))
                ++e;
            end = e;
        }
    }

    // from_chars reads the C form in every locale; it rejects a leading "+", so the sign is ours.
    double value = 0.0;
    const char* first = compact.data() + mantissaStart;
    const char* last = compact.data() + end;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too large gives infinity, too small gives 0. Which one it is follows from the decimal
        // place of the first non-zero digit plus the exponent; the exponent's sign alone does not
        // tell (1 followed by 400 zeros and e-5 is huge).
        const std::string_view number(first, static_cast<size_t>(last - first));
        const size_t ePos = number.find_first_of("eE");
        const std::string_view mantissa = number.substr(0, ePos);
        const size_t point = std::min(mantissa.find('.'), mantissa.size());
        const size_t lead = mantissa.find_first_of("123456789");
        long long magnitude = 0; // power of ten of the first non-zero digit
        if (lead != std::string_view::npos)
            magnitude = lead < point ? static_cast<long long>(point - lead) - 1
                                     : -static_cast<long long>(lead - point);
        long long exponent = 0;
        if (ePos != std::string_view::npos) {
            size_t e = ePos + 1;
            const bool negativeExponent = e < number.size() && number[e] == '-';
            if (e < number.size() && (number[e] == '+' || number[e] == '-'))
                ++e;
            for (; e < number.size() && exponent < 1000000000; ++e)
                exponent = exponent * 10 + (number[e] - '0');
            if (negativeExponent)
                exponent = -exponent;
        }
        value = magnitude + exponent < 0 ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

std::string decodeVersionData(std::string_view data)
{
    bool valid = true;
    for (size_t i = 0; i < data.size() && valid;) {
        const size_t length = utf8SequenceLength(data, i);
        valid = length > 0;
        i += length;
    }
    if (valid) {
        // A byte order mark is no part of the first field.
        if (data.starts_with("\xEF\xBB\xBF"))
            data.remove_prefix(3);
        return std::string(data);
    }
    std::string text;
    text.reserve(data.size() * 2);
    for (const char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text.push_back(c);
        } else {
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}

VersionJudgement judgeVersionData(std::string_view data, std::string_view title, std::string_view currentVersion)
{
    const std::string text = decodeVersionData(data);
    const std::optional<std::string> entry = findProgramEntry(text, title);
    if (!entry)
        return {};
    // A bare title, or a colon with nothing after it, carries no version.
    if (*entry == title)
        return {};
    const size_t colon = entry->find(':');
    if (colon != std::string::npos && colon == entry->size() - 1)
        return {};

    // Everything after the first colon, blanks included; a field without a colon is all version.
    std::string webVersion = colon == std::string::npos ? *entry : entry->substr(colon + 1);
    const VersionVerdict verdict = versionValue(webVersion) > versionValue(currentVersion)
        ? VersionVerdict::NewerVersion : VersionVerdict::LatestVersion;
    return {verdict, std::move(webVersion)};
}

} // namespace vrx

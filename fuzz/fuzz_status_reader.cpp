// Status file reader: parseStatusText (what readStatusFile does with the file's bytes) against a
// plain model of the format: values parted by commas, CR or LF; blanks around a value skipped;
// blank values are no record; a record is -1, 0 or 1 written as an optional sign and digits;
// anything else is corrupt, except that a first value that is no number of 16 bits gives the
// path; more than 32767 records overflow. Whatever the outcome, the counters
// add up to the number of items, and there are never more items than values in the file.
//
// An input that starts with the bytes 00 'R' 'E' 'P' and one more byte b has the rest repeated
// 200 * b times, so the 32767-record limit is reached from small inputs.

#include "fuzz/FuzzCheck.h"
#include "platform/LogFiles.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

using namespace vrx;

namespace {

struct Model {
    QStringList items;
    std::array<int, 3> counts{};
    std::optional<QString> errorLine;
    size_t values = 0; // fields of the file, blank ones included
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The number a value is written as (an optional sign and digits), as long as it fits a signed
// 16-bit integer; nothing for anything else.
std::optional<int> numberOf(std::string_view v)
{
    bool negative = false;
    if (!v.empty() && (v[0] == '+' || v[0] == '-')) {
        negative = v[0] == '-';
        v.remove_prefix(1);
    }
    if (v.empty() || v.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    long long n = 0;
    for (char c : v) {
        n = n * 10 + (c - '0');
        if (n > 32768)
            return std::nullopt;
    }
    n = negative ? -n : n;
    if (n > 32767)
        return std::nullopt;
    return int(n);
}

Model model(std::string_view text, const QString& path)
{
    Model m;
    int records = 0;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n')
            continue;
        ++m.values;
        std::string_view field = text.substr(start, i - start);
        start = i + 1;
        while (!field.empty() && isBlank(field.front()))
            field.remove_prefix(1);
        while (!field.empty() && isBlank(field.back()))
            field.remove_suffix(1);
        if (field.empty())
            continue;
        const std::optional<int> value = numberOf(field);
        if (!value || *value < -1 || *value > 1) {
            // No 16-bit number as the first value: the path, as for a file without values.
            m.errorLine = !value && records == 0 ? path : CorruptStatusLine;
            return m;
        }
        if (records == 32767) {
            m.errorLine = TooManyTestsLine;
            return m;
        }
        ++records;
        ++m.counts[*value == 1 ? 0 : *value == -1 ? 1 : 2];
        m.items.append(statusItemText(records, *value));
    }
    if (records == 0)
        m.errorLine = path;
    return m;
}

std::string describe(std::string_view input, const StatusFileResult& r, const Model& m)
{
    auto side = [](const QStringList& items, const std::optional<QString>& error) {
        return std::to_string(items.size()) + " items, last '" + (items.isEmpty() ? "" : items.last().toStdString())
            + "', " + (error ? "error '" + error->toStdString() + "'" : std::string("ok"));
    };
    return "input " + fuzz::escaped(input) + "\n*** reader: " + side(r.items, r.errorLine)
        + "\n*** model:  " + side(m.items, m.errorLine);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    static const std::string repeatMark("\0REP", 4);
    // The long runs of make fuzz leave the repeat mark out (VRX_FUZZ_NO_REPEAT): a repeated text
    // costs tens of thousands of records, and the limit it reaches is covered by the brief runs.
    static const bool repeatAllowed = std::getenv("VRX_FUZZ_NO_REPEAT") == nullptr;
    if (repeatAllowed && text.size() >= 5 && text.compare(0, 4, repeatMark) == 0) {
        const size_t times = 200 * size_t(static_cast<unsigned char>(text[4]));
        const std::string unit = text.substr(5);
        text.clear();
        text.reserve(unit.size() * times);
        for (size_t i = 0; i < times; ++i)
            text += unit;
    }

    const QString path = QStringLiteral("/logs/RUN1.TST");
    const StatusFileResult r = parseStatusText(text, path);
    const Model m = model(text, path);

    const int counted = int(r.counts[0]) + int(r.counts[1]) + int(r.counts[2]);
    FUZZ_CHECK(r.counts[0] >= 0 && r.counts[1] >= 0 && r.counts[2] >= 0, describe(text, r, m));
    FUZZ_CHECK(counted == r.items.size(), describe(text, r, m));
    FUZZ_CHECK(size_t(r.items.size()) <= m.values, describe(text, r, m));
    FUZZ_CHECK(r.items.size() <= 32767, describe(text, r, m));
    FUZZ_CHECK(!r.ok() || !r.items.isEmpty(), describe(text, r, m));

    FUZZ_CHECK(r.errorLine == m.errorLine, describe(text, r, m));
    FUZZ_CHECK(r.items.size() == m.items.size(), describe(text, r, m));
    // Every item of a short file; the first and last ones of a long file (the label of a
    // number is checked once, and the runs stay fast).
    for (qsizetype i = 0; i < r.items.size(); i += (i < 200 || i + 200 >= r.items.size()) ? 1 : 997)
        FUZZ_CHECK(r.items[i] == m.items[i], describe(text, r, m));
    for (int i = 0; i < 3; ++i)
        FUZZ_CHECK(int(r.counts[i]) == m.counts[i], describe(text, r, m));
    return 0;
}

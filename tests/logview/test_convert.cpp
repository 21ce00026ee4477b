// Line conversion: the fast conversion against the literal one on many random lines (the
// tables of tokens, counts and failures are the core's own, in tests/core).

#include "core/ConvertLogLine.h"
#include "tests/core/LiteralConvert.h"
#include "tests/logview/LogViewTests.h"

#include <QTest>
#include <random>

using namespace vrx;

namespace {

// A random raw line: plain bytes of every kind, tokens, runs with counts of every code.
std::string randomLine(std::mt19937& rng, size_t length, int tokenPercent, bool badRuns = true)
{
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> percent(0, 99);
    static const char tokens[] = {2, 3, 4, 5, 6, 7, 8, 14, 15, 16};
    std::string s;
    while (s.size() < length) {
        if (percent(rng) < tokenPercent) {
            const int kind = percent(rng);
            if (kind < 40) {
                s.push_back(1);
                const int c = percent(rng);
                if (badRuns && c < 3)
                    continue; // maybe last, maybe followed by anything
                if (badRuns && c < 6)
                    s.push_back(static_cast<char>(byte(rng) % 30)); // below 30: fails
                else
                    s.push_back(static_cast<char>(30 + byte(rng) % 226));
            } else {
                s.push_back(tokens[static_cast<size_t>(byte(rng)) % sizeof tokens]);
            }
        } else {
            s.push_back(static_cast<char>(percent(rng) < 80 ? 32 + byte(rng) % 95 : byte(rng)));
        }
    }
    return s;
}

void compareWithLiteral(const std::string& line, std::string_view separator)
{
    const ConvertResult literal = test::literalConvertLogLine(std::string(separator) + line);
    std::string out = "kept";
    const ConvertError error = appendConvertedLine(out, separator, line);
    if (separator.empty()) {
        const ConvertResult fast = ConvertLogLine(line);
        if (fast.error != literal.error || fast.text != literal.text)
            QFAIL(qPrintable(QStringLiteral("line of %1 bytes: fast %2, literal %3")
                                 .arg(line.size())
                                 .arg(QLatin1String(convertErrorReason(fast.error)), QLatin1String(convertErrorReason(literal.error)))));
    }
    if (error != literal.error)
        QFAIL(qPrintable(QStringLiteral("appended line of %1 bytes: fast %2, literal %3")
                             .arg(line.size())
                             .arg(QLatin1String(convertErrorReason(error)), QLatin1String(convertErrorReason(literal.error)))));
    if (error == ConvertError::None)
        QVERIFY(out == "kept" + literal.text);
    else
        QVERIFY(out == "kept");
}

} // namespace

void ConvertTest::matchesLiteral_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("minLength");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<int>("tokenPercent");
    QTest::addColumn<bool>("withSeparator");
    QTest::addColumn<bool>("badRuns");

    QTest::newRow("short, dense tokens") << 100000 << 0 << 40 << 30 << false << true;
    QTest::newRow("short, after CR LF") << 50000 << 0 << 40 << 30 << true << true;
    QTest::newRow("log-like") << 30000 << 20 << 200 << 10 << false << true;
    QTest::newRow("near the limit, sparse") << 400 << 32600 << 32800 << 0 << false << true;
    QTest::newRow("near the limit, after CR LF") << 400 << 32600 << 32800 << 0 << true << true;
    QTest::newRow("growing past the limit") << 300 << 300 << 2500 << 25 << false << false;
    QTest::newRow("growing past the limit, after CR LF") << 300 << 300 << 2500 << 25 << true << false;
    QTest::newRow("long, many words") << 200 << 8000 << 12000 << 8 << true << false;
}

void ConvertTest::matchesLiteral()
{
    QFETCH(int, lines);
    QFETCH(int, minLength);
    QFETCH(int, maxLength);
    QFETCH(int, tokenPercent);
    QFETCH(bool, withSeparator);
    QFETCH(bool, badRuns);

    std::mt19937 rng(static_cast<unsigned>(lines * 31 + minLength + tokenPercent));
    std::uniform_int_distribution<int> length(minLength, maxLength);
    std::uniform_int_distribution<int> place(0, 1 << 30);
    int failures = 0;
    int overflows = 0;
    for (int i = 0; i < lines; ++i) {
        std::string line;
        if (tokenPercent == 0) {
            // A long plain line with a few tokens dropped in anywhere, runs of every size.
            line = randomLine(rng, static_cast<size_t>(length(rng)), 0);
            for (char& c : line)
                if (static_cast<unsigned char>(c) <= 16)
                    c = 'x';
            const int drops = 1 + place(rng) % 6;
            for (int d = 0; d < drops; ++d) {
                const size_t at = static_cast<size_t>(place(rng)) % (line.size() + 1);
                const std::string token = randomLine(rng, 1, 100);
                line.insert(at, token);
            }
        } else {
            line = randomLine(rng, static_cast<size_t>(length(rng)), tokenPercent, badRuns);
        }
        compareWithLiteral(line, withSeparator ? std::string_view("\r\n") : std::string_view());
        if (QTest::currentTestFailed())
            return;
        const ConvertError error = test::literalConvertLogLine(line).error;
        failures += error == ConvertError::None ? 0 : 1;
        overflows += error == ConvertError::Overflow ? 1 : 0;
    }
    if (minLength > 300)
        QVERIFY2(overflows > 0, "no line near the limit overflowed");
    // Both outcomes must be well represented, or the comparison proves little.
    QVERIFY2(failures > 0 || tokenPercent == 0, "no failing lines generated");
    QVERIFY2(failures < lines, "no good lines generated");
}

void ConvertTest::crowdedLines()
{
    // Lines built from blocks of one code repeated, plain stretches and runs, sized so that
    // their expanded length lies around the limit: the order of the codes decides.
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(0, 1 << 30);
    static const char words[] = {2, 3, 4, 5, 6, 7, 8, 14, 15, 16};
    int outcomes[3] = {0, 0, 0};
    for (int i = 0; i < 1500; ++i) {
        const long target = 30000 + pick(rng) % 12000;
        std::string line;
        long grown = 0;
        while (grown < target) {
            const int kind = pick(rng) % 3;
            if (kind == 0) {
                const int n = pick(rng) % 3000;
                line.append(static_cast<size_t>(n), 'x');
                grown += n;
            } else if (kind == 1) {
                const char code = words[static_cast<size_t>(pick(rng)) % sizeof words];
                const int n = pick(rng) % 600;
                line.append(static_cast<size_t>(n), code);
                grown += n * (code == 2 ? 14 : code == 4 ? 8 : 4);
            } else {
                const int n = pick(rng) % 40;
                for (int r = 0; r < n; ++r) {
                    line += '\x01';
                    line += static_cast<char>(30 + pick(rng) % 226);
                    grown += 127;
                }
            }
        }
        compareWithLiteral(line, pick(rng) % 2 ? std::string_view("\r\n") : std::string_view());
        if (QTest::currentTestFailed())
            return;
        ++outcomes[int(test::literalConvertLogLine(line).error)];
    }
    QVERIFY(outcomes[int(ConvertError::None)] > 100);
    QVERIFY(outcomes[int(ConvertError::Overflow)] > 100);
}

void ConvertTest::everyCountCode()
{
    for (int code = 0; code < 256; ++code) {
        for (const size_t before : {size_t(0), size_t(5), size_t(32760), size_t(32764), size_t(32765)}) {
            for (const char* after : {"", "\x02", "tail\x10"}) {
                std::string line(before, 'y');
                line += '\x01';
                line += static_cast<char>(code);
                line += after;
                compareWithLiteral(line, {});
                compareWithLiteral(line, "\r\n");
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }
}

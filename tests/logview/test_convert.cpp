// Line conversion: the table of tokens and counts, the failures, and the fast conversion
// against the literal one on many random lines.

#include "ConvertLogLine.h"
#include "LiteralConvert.h"
#include "LogViewTests.h"

#include <QTest>
#include <random>

using namespace vrx;

namespace {

QByteArray bytes(std::string_view s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::string str(const QByteArray& b)
{
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

QByteArray spaces(int n)
{
    return QByteArray(n, ' ');
}

const char* errorName(ConvertError e)
{
    switch (e) {
    case ConvertError::None:
        return "None";
    case ConvertError::InvalidArgument:
        return "InvalidArgument";
    case ConvertError::Overflow:
        return "Overflow";
    }
    return "?";
}

} // namespace

void ConvertTest::convert_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("worked example") << QByteArray("\x02\x01#5\x05") << QByteArray("VERTICAL SCALE     5 mV");
    QTest::newRow("code 2") << QByteArray("\x02") << QByteArray("VERTICAL SCALE");
    QTest::newRow("code 3") << QByteArray("a\x03z") << QByteArray("a - z");
    QTest::newRow("code 4") << QByteArray("\x04") << QByteArray("MEASURED");
    QTest::newRow("code 5") << QByteArray("5\x05") << QByteArray("5 mV");
    QTest::newRow("code 6 micro sign byte") << QByteArray("5\x06") << QByteArray("5 \xB5V");
    QTest::newRow("code 7") << QByteArray("2\x07") << QByteArray("2div");
    QTest::newRow("code 8") << QByteArray("100\x08") << QByteArray("100 MHz");
    QTest::newRow("code 14") << QByteArray("\x0e") << QByteArray("LIMIT");
    QTest::newRow("code 15") << QByteArray("\x0f") << QByteArray("PASS");
    QTest::newRow("code 16") << QByteArray("\x10") << QByteArray("FAIL");
    QTest::newRow("adjacent words run together") << QByteArray("\x0f\x10") << QByteArray("PASSFAIL");
    QTest::newRow("every occurrence") << QByteArray("\x05,\x05,\x05") << QByteArray(" mV, mV, mV");
    QTest::newRow("count 30 gives nothing") << QByteArray("a\x01\x1e" "b") << QByteArray("ab");
    QTest::newRow("count 31 gives one") << QByteArray("a\x01\x1f" "b") << QByteArray("a b");
    QTest::newRow("count 32") << QByteArray("\x01 x") << spaces(2) + "x";
    QTest::newRow("count 40") << QByteArray("\x01(x") << spaces(10) + "x";
    QTest::newRow("count 50") << QByteArray("\x01" "2x") << spaces(20) + "x";
    QTest::newRow("count 70") << QByteArray("\x01" "Fx") << spaces(40) + "x";
    QTest::newRow("count 110") << QByteArray("\x01n") << spaces(80);
    QTest::newRow("count 181 (repaired micro)") << QByteArray("\x01\xB5") << spaces(151);
    QTest::newRow("count 255") << QByteArray("\x01\xFF|") << spaces(225) + "|";
    QTest::newRow("count char is not a word") << QByteArray("\x01\x30\x02") << spaces(18) + "VERTICAL SCALE";
    QTest::newRow("runs before words") << QByteArray("\x01!\x04\x01\"\x05") << QByteArray("   MEASURED     mV");
    QTest::newRow("leading CR LF passes") << QByteArray("\r\n\x0f") << QByteArray("\r\nPASS");
    QTest::newRow("no tokens: controls pass")
        << QByteArray("\t\n\v\f\r\x11\x12\x1f\xB5\x80", 10) << QByteArray("\t\n\v\f\r\x11\x12\x1f\xB5\x80", 10);
    QTest::newRow("NUL passes") << QByteArray("a\0b", 3) << QByteArray("a\0b", 3);
}

void ConvertTest::convert()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    const ConvertResult r = ConvertLogLine(str(line));
    QCOMPARE(errorName(r.error), "None");
    QCOMPARE(bytes(r.text), expected);
    // The literal form agrees, so the table also checks the reference.
    QCOMPARE(bytes(test::literalConvertLogLine(str(line)).text), expected);
}

void ConvertTest::failures_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("error");

    const int invalid = int(ConvertError::InvalidArgument);
    const int overflow = int(ConvertError::Overflow);
    const int none = int(ConvertError::None);
    QTest::newRow("code 1 last") << QByteArray("abc\x01") << invalid;
    QTest::newRow("code 1 alone") << QByteArray("\x01") << invalid;
    QTest::newRow("count is a token code") << QByteArray("\x01\x02") << invalid;
    QTest::newRow("count is code 1") << QByteArray("\x01\x01" "A") << invalid;
    QTest::newRow("count 29") << QByteArray("\x01\x1d") << invalid;
    QTest::newRow("count CR") << QByteArray("\x01\r\n") << invalid;
    QTest::newRow("second run bad") << QByteArray("\x01 \x01\x05") << invalid;

    // Positions: a word needs its own position plus one, a run its position plus two.
    QTest::newRow("word at 32766") << QByteArray(32765, 'x') + "\x02" << none;
    QTest::newRow("word at 32767") << QByteArray(32766, 'x') + "\x02" << overflow;
    QTest::newRow("word far beyond") << QByteArray(40000, 'x') + "\x0f" << overflow;
    QTest::newRow("run at 32765") << QByteArray(32764, 'x') + "\x01 " << none;
    QTest::newRow("run at 32766") << QByteArray(32765, 'x') + "\x01 " << overflow;
    QTest::newRow("run at 32766 without count") << QByteArray(32765, 'x') + "\x01" << overflow;
    QTest::newRow("run at 32765 without count") << QByteArray(32764, 'x') + "\x01" << invalid;
    QTest::newRow("long plain line") << QByteArray(70000, 'x') << none;
    QTest::newRow("runs push a word beyond") << QByteArray("\x01\xFF").repeated(146) + "\x10" << overflow;
    QTest::newRow("runs after a word do not") << "\x10" + QByteArray("\x01\xFF").repeated(146) << none;
    QTest::newRow("vanishing runs pull a word back") << QByteArray("\x01\x1e").repeated(10) + QByteArray(32760, 'x') + "\x0f"
                                                     << none;
    QTest::newRow("later code not counted")
        << QByteArray("\x10").repeated(3000) + QByteArray(25000, 'x') + "\x02" << none;
    QTest::newRow("earlier code counted")
        << QByteArray("\x02").repeated(3000) + QByteArray(100, 'x') + "\x10" << overflow;
    QTest::newRow("run failure before word overflow")
        << "\x01\x10" + QByteArray(40000, 'x') + "\x02" << invalid;
    QTest::newRow("run overflow before a bad run") << QByteArray(40000, 'x') + "\x01\x10" << overflow;
}

void ConvertTest::failures()
{
    QFETCH(QByteArray, line);
    QFETCH(int, error);
    const ConvertResult r = ConvertLogLine(str(line));
    QCOMPARE(errorName(r.error), errorName(ConvertError(error)));
    QCOMPARE(errorName(test::literalConvertLogLine(str(line)).error), errorName(ConvertError(error)));
    if (!r.ok())
        QVERIFY(r.text.empty());
}

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
                                 .arg(QLatin1String(errorName(fast.error)), QLatin1String(errorName(literal.error)))));
    }
    if (error != literal.error)
        QFAIL(qPrintable(QStringLiteral("appended line of %1 bytes: fast %2, literal %3")
                             .arg(line.size())
                             .arg(QLatin1String(errorName(error)), QLatin1String(errorName(literal.error)))));
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

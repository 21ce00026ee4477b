#include "LogFiles.h"

#include "ByteScan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <future>
#include <thread>

namespace vrx {

namespace {

constexpr qint64 ReadChunk = 4 << 20;
const std::string_view LineSeparator = "\r\n";

QString shownPath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Builds the display text line by line.
class LogTextBuilder {
public:
    explicit LogTextBuilder(LogReadResult& result, const QString& file) : m_r(result), m_file(file) {}

    // Repairs and converts one raw line (changed in place); false on failure, with the error set.
    bool addLine(char* data, size_t size)
    {
        const int number = m_r.lines + 1;
        if (!repairLogLine(data, size))
            return fail(LogReadError::Kind::RepairFailed, number,
                        QStringLiteral("A character to repair stands beyond position 32767."));
        // No separator while the display is still empty: empty lines at the start leave no trace.
        const std::string_view separator = m_started ? LineSeparator : std::string_view();
        const ConvertError error = appendConvertedLine(m_r.text, separator, std::string_view(data, size));
        if (error != ConvertError::None)
            return fail(LogReadError::Kind::ConvertFailed, number, QString::fromLatin1(convertErrorReason(error)));
        m_started = m_started || !m_r.text.empty();
        m_r.lines = number;
        return true;
    }

    // Hands the text built so far to the sink, when there is one and enough has gathered.
    void flush(bool all)
    {
        if (m_sink && !m_r.text.empty() && (all || m_r.text.size() >= m_pieceSize)) {
            (*m_sink)(m_r.text);
            m_r.text.clear();
        }
    }

    bool started() const { return m_started; }
    void setStarted() { m_started = true; }

    // Takes over the text and lines of a part converted by a builder of its own, which
    // followed this one's lines; false when that part failed (its line counted on from here).
    bool absorb(const LogReadResult& part)
    {
        m_r.text += part.text;
        const int before = m_r.lines;
        m_r.lines += part.lines;
        if (!part.error)
            return true;
        m_r.error = *part.error;
        m_r.error->line += before;
        return false;
    }

    void setSink(const LogTextSink* sink, size_t pieceSize)
    {
        m_sink = sink && *sink ? sink : nullptr;
        m_pieceSize = pieceSize;
    }

    bool fail(LogReadError::Kind kind, int line, const QString& reason)
    {
        m_r.error = LogReadError{kind, m_file, line, reason};
        return false;
    }

private:
    LogReadResult& m_r;
    QString m_file;
    bool m_started = false;
    const LogTextSink* m_sink = nullptr;
    size_t m_pieceSize = 0;
};

// Splits `buffer` from `pos` into lines. CR LF or a lone CR end a line; a CR that is the last
// byte only ends a line at the end of the input, since an LF may follow in the next chunk.
// Returns false on a failed line. `pos` is left at the first byte not yet used, `scanned`
// at the first byte not yet searched for a CR.
bool takeLines(LogTextBuilder& builder, std::string& buffer, size_t& pos, size_t& scanned, bool atEnd)
{
    char* b = buffer.data();
    const size_t size = buffer.size();
    while (scanned < size) {
        auto* cr = static_cast<char*>(std::memchr(b + scanned, '\r', size - scanned));
        if (!cr) {
            scanned = size;
            break;
        }
        const size_t end = static_cast<size_t>(cr - b);
        if (end + 1 == size && !atEnd) {
            scanned = end; // decide when more has arrived
            return true;
        }
        if (!builder.addLine(b + pos, end - pos))
            return false;
        pos = end + 1;
        if (pos < size && b[pos] == '\n')
            ++pos;
        scanned = pos;
    }
    return true;
}

// Converts the lines of b[begin, end), which ends right after a line end.
bool takeCompleteLines(LogTextBuilder& builder, char* b, size_t begin, size_t end)
{
    size_t pos = begin;
    while (pos < end) {
        const auto* cr = static_cast<const char*>(std::memchr(b + pos, '\r', end - pos));
        const size_t lineEnd = static_cast<size_t>(cr - b);
        if (!builder.addLine(b + pos, lineEnd - pos))
            return false;
        pos = lineEnd + 1;
        if (pos < end && b[pos] == '\n')
            ++pos;
    }
    return true;
}

// Where the line that holds or follows the CR at c ends: after the CR and its LF, if any.
size_t afterLineEnd(const char* b, size_t c)
{
    return b[c + 1] == '\n' ? c + 2 : c + 1;
}

// Once the display has text, a large stretch of complete lines is converted in two halves at
// once, the second on another thread; the text is the same as converting them in order.
// Returns false on a failed line; `pos` moves past the lines converted.
bool takeLinesInParallel(LogTextBuilder& builder, std::string& buffer, size_t& pos, const QString& file)
{
    constexpr size_t MinHalf = 256 * 1024;
    char* b = buffer.data();
    const size_t size = buffer.size();
    if (!builder.started() || size - pos < 2 * MinHalf || std::thread::hardware_concurrency() < 2)
        return true;
    // The last CR whose next byte is here to tell whether an LF follows.
    size_t last = size - 1;
    while (last > pos && b[last - 1] != '\r')
        --last;
    if (last <= pos || last - pos < 2 * MinHalf)
        return true;
    const size_t end = afterLineEnd(b, last - 1);
    const auto* cr = static_cast<const char*>(std::memchr(b + pos + (end - pos) / 2, '\r', end - pos - (end - pos) / 2));
    const size_t middle = afterLineEnd(b, static_cast<size_t>(cr - b));
    if (middle >= end)
        return true;

    LogReadResult second;
    second.text.reserve((end - middle) * 2);
    auto convertSecond = std::async(std::launch::async, [&] {
        LogTextBuilder builder2(second, file);
        builder2.setStarted();
        takeCompleteLines(builder2, b, middle, end);
    });
    const bool firstFine = takeCompleteLines(builder, b, pos, middle);
    convertSecond.wait();
    if (!firstFine)
        return false;
    pos = end;
    return builder.absorb(second);
}

} // namespace

bool repairLogLine(char* data, size_t size)
{
    auto* p = reinterpret_cast<unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        i += scan::untilRepairCandidate(p + i, size - i);
        if (i == size)
            break;
        const unsigned char c = p[i];
        unsigned char repaired;
        if (c == 0xF1)
            repaired = 0xB1; // ±
        else if (c == 0xF3)
            repaired = '<';  // ≤ has no place in Windows-1252
        else if (c == 0xE6)
            repaired = 0xB5; // µ
        else
            continue;
        if (static_cast<long>(i) + 1 > MaxLinePosition)
            return false;
        p[i] = repaired;
    }
    return true;
}

LogReadResult convertLogBytes(std::string_view bytes, const QString& fileName)
{
    LogReadResult result;
    result.opened = true;
    LogTextBuilder builder(result, fileName);
    if (bytes.empty()) {
        builder.fail(LogReadError::Kind::Empty, 0, {});
        return result;
    }
    result.text.reserve(bytes.size() + bytes.size() / 4);
    std::string buffer(bytes);
    size_t pos = 0;
    size_t scanned = 0;
    if (!takeLines(builder, buffer, pos, scanned, true))
        return result;
    if (pos < buffer.size())
        builder.addLine(buffer.data() + pos, buffer.size() - pos);
    return result;
}

LogReadResult readLogFile(const QString& path)
{
    return streamLogFile(path, {});
}

LogReadResult streamLogFile(const QString& path, const LogTextSink& sink, size_t pieceSize)
{
    LogReadResult result;
    LogTextBuilder builder(result, path);
    builder.setSink(&sink, pieceSize);
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        builder.fail(LogReadError::Kind::CannotOpen, 0,
                     QFileInfo(path).isDir() ? QStringLiteral("It is a folder.") : file.errorString() + '.');
        return result;
    }
    result.opened = true;
    const qint64 fileSize = file.size();
    // Runs of spaces make the text longer than the file. Room that is reserved but never
    // written costs no memory, while growing later would hold the text twice for a moment.
    if (sink)
        result.text.reserve(pieceSize + 2 * ReadChunk);
    else if (fileSize > 0)
        result.text.reserve(static_cast<size_t>(fileSize) * 2);

    std::string buffer;
    size_t pos = 0;
    size_t scanned = 0;
    bool atEnd = false;
    for (;;) {
        const bool fine = takeLinesInParallel(builder, buffer, pos, path)
            && (scanned = std::max(scanned, pos), takeLines(builder, buffer, pos, scanned, atEnd));
        builder.flush(!fine);
        if (!fine)
            return result;
        if (atEnd)
            break;
        // Keep the unfinished line, read the next chunk behind it.
        buffer.erase(0, pos);
        scanned -= pos;
        pos = 0;
        const size_t kept = buffer.size();
        buffer.resize(kept + ReadChunk);
        const qint64 got = file.read(buffer.data() + kept, ReadChunk);
        if (got < 0) {
            builder.fail(LogReadError::Kind::ReadFailed, result.lines + 1, file.errorString() + '.');
            return result;
        }
        buffer.resize(kept + static_cast<size_t>(got));
        atEnd = got == 0;
    }
    if (pos < buffer.size())
        builder.addLine(buffer.data() + pos, buffer.size() - pos);
    else if (result.lines == 0)
        builder.fail(LogReadError::Kind::Empty, 0, {});
    builder.flush(true);
    return result;
}

QString logReadMessage(const LogReadError& error)
{
    const QString file = QLatin1Char('"') + shownPath(error.file) + QLatin1Char('"');
    switch (error.kind) {
    case LogReadError::Kind::CannotOpen:
        return QStringLiteral("The log file %1 could not be opened.\n%2").arg(file, error.reason);
    case LogReadError::Kind::Empty:
        return QStringLiteral("The log file %1 is empty.").arg(file);
    case LogReadError::Kind::ReadFailed:
        return QStringLiteral("The log file %1 could not be read at line %2.\n%3\nOnly the lines before line %2 are shown.")
            .arg(file, QString::number(error.line), error.reason);
    case LogReadError::Kind::RepairFailed:
    case LogReadError::Kind::ConvertFailed:
        return QStringLiteral("The log file %1 cannot be shown from line %2 on.\n%3\nOnly the lines before line %2 are shown.")
            .arg(file, QString::number(error.line), error.reason);
    }
    return {};
}

// ---- Windows-1252 ----

namespace {

constexpr char16_t HighHalf[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

constexpr std::array<char16_t, 256> makeWindows1252()
{
    std::array<char16_t, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[b] = static_cast<char16_t>(b);
    for (int b = 0x80; b < 0xA0; ++b)
        t[b] = HighHalf[b - 0x80];
    return t;
}
constexpr std::array<char16_t, 256> Windows1252 = makeWindows1252();

} // namespace

char16_t windows1252ToUnicode(unsigned char byte)
{
    return Windows1252[byte];
}

QString decodeWindows1252(std::string_view bytes)
{
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0, n = bytes.size(); i < n; ++i)
        out[i] = Windows1252[in[i]];
    return text;
}

namespace {

// UTF-8 of every Windows-1252 byte, built from the one decoding table.
struct Utf8Table {
    char bytes[256][3];
    unsigned char length[256];
    Utf8Table()
    {
        for (int b = 0; b < 256; ++b) {
            const char16_t c = Windows1252[b];
            if (c < 0x80) {
                bytes[b][0] = static_cast<char>(c);
                length[b] = 1;
            } else if (c < 0x800) {
                bytes[b][0] = static_cast<char>(0xC0 | (c >> 6));
                bytes[b][1] = static_cast<char>(0x80 | (c & 0x3F));
                length[b] = 2;
            } else {
                bytes[b][0] = static_cast<char>(0xE0 | (c >> 12));
                bytes[b][1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                bytes[b][2] = static_cast<char>(0x80 | (c & 0x3F));
                length[b] = 3;
            }
        }
    }
};

} // namespace

std::string displayTextToUtf8(std::string_view bytes, LineEnds lineEnds)
{
    static const Utf8Table table;
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    std::string out;
    out.resize(n + n / 8 + 16);
    size_t o = 0;
    for (size_t i = 0; i < n;) {
        if (out.size() - o < 16) {
            out.resize(out.size() + (n - i) + (n - i) / 4 + 16);
            continue;
        }
        // Plain ASCII without CR is copied as it stands.
        const size_t plain = std::min(scan::untilHighOrCr(in + i, n - i), out.size() - o - 3);
        std::memcpy(out.data() + o, in + i, plain);
        o += plain;
        i += plain;
        if (i >= n || out.size() - o < 3)
            continue;
        const unsigned char b = in[i++];
        if (b < 0x80) {
            // The display's lines are parted by CR LF; a CR there is always followed by LF.
            if (!(b == '\r' && lineEnds == LineEnds::Lf && i < n && in[i] == '\n'))
                out[o++] = static_cast<char>(b);
            continue;
        }
        std::memcpy(out.data() + o, table.bytes[b], 3);
        o += table.length[b];
    }
    out.resize(o);
    return out;
}

// ---- Test status file ----

QString derivedStatusPath(const QString& logPath)
{
    return logPath.left(qMax<qsizetype>(0, logPath.size() - 3)) + QStringLiteral("tst");
}

QString statusFilePath(const QString& logPath)
{
    const QString derived = derivedStatusPath(logPath);
    if (QFileInfo::exists(derived))
        return derived;
    const QFileInfo info(derived);
    const QString name = info.fileName();
    const QStringList entries =
        info.absoluteDir().entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return derived.left(derived.size() - name.size()) + entry;
    }
    return derived;
}

QString outcomeWord(int value)
{
    switch (value) {
    case -1:
        return QStringLiteral("FAIL");
    case 0:
        return QStringLiteral("N/A");
    case 1:
        return QStringLiteral("PASS");
    }
    return {};
}

QString statusItemText(int testNumber, int value)
{
    QString label = QStringLiteral("Test # ") + QString::number(testNumber) + QLatin1Char(' ');
    label.truncate(qMax<qsizetype>(9, label.size() - 1));
    return label + QStringLiteral(" - ") + outcomeWord(value);
}

QString statusNotFoundLine(const QString& path)
{
    return QLatin1Char('"') + shownPath(path) + QStringLiteral("\"  not found.");
}

QString statusErrorMessage(const QString& firstLine)
{
    return firstLine + QLatin1Char('\n') + StatusUnavailableLine;
}

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
    StatusReader(StatusFileResult& result, const QString& path) : m_r(result), m_path(path) {}

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
                m_tooLong = true;
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
            m_r.errorLine = unreadable ? shownPath(m_path) : CorruptStatusLine;
            return false;
        }
        if (m_records == 32767) {
            m_r.errorLine = TooManyTestsLine;
            return false;
        }
        ++m_records;
        const int index = value.value == 1 ? 0 : value.value == -1 ? 1 : 2;
        ++m_r.counts[index];
        m_r.items.append(statusItemText(m_records, value.value));
        return true;
    }

    // After the last byte: the value still open ends, and a file without any value fails
    // before its first record. False once the file is found bad.
    bool finish()
    {
        if (!endValue())
            return false;
        if (m_records == 0) {
            m_r.errorLine = shownPath(m_path);
            return false;
        }
        return true;
    }

private:
    StatusFileResult& m_r;
    QString m_path;
    std::string m_field;
    bool m_tooLong = false;
    int m_records = 0;
};

} // namespace

StatusFileResult readStatusFile(const QString& path)
{
    StatusFileResult result;
    if (!QFileInfo::exists(path)) {
        result.errorLine = statusNotFoundLine(path);
        return result;
    }
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        result.errorLine = shownPath(path);
        return result;
    }
    StatusReader reader(result, path);
    std::string chunk(64 * 1024, '\0');
    for (;;) {
        const qint64 got = file.read(chunk.data(), static_cast<qint64>(chunk.size()));
        if (got < 0) {
            result.errorLine = shownPath(path);
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

StatusFileResult parseStatusText(std::string_view text, const QString& path)
{
    StatusFileResult result;
    StatusReader reader(result, path);
    if (reader.feed(text.data(), text.size()))
        reader.finish();
    return result;
}

} // namespace vrx

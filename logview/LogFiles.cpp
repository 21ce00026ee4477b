#include "LogFiles.h"

#include "ByteScan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <future>
#include <new>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrx {

namespace {

constexpr qint64 ReadChunk = 4 << 20;
// A line longer than this is checked as it is read and, where its text is wanted, converted
// in pieces, so that no more than its raw bytes are held at once (and nothing in checkLogFile).
constexpr size_t LongLine = ReadChunk;
const std::string_view LineSeparator = "\r\n";

// What a file that is no regular file is, for messages.
QString fileKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO (named pipe)");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("no regular file");
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error)) + QLatin1Char('.');
}

// A file opened for reading only when it is a regular file. Anything else is refused before it
// is read: a FIFO or a device such as /dev/zero would block or never end. The file is opened
// without blocking, so that even a FIFO put in place after the check cannot hold the program.
class RegularFile {
public:
    explicit RegularFile(const QString& path)
    {
        const QByteArray name = nativePathBytes(path);
        struct stat info {};
        if (::stat(name.constData(), &info) != 0) {
            m_error = errno;
            return;
        }
        if (!S_ISREG(info.st_mode)) {
            m_mode = info.st_mode;
            return;
        }
        do
            m_fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            m_mode = info.st_mode;
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        m_size = info.st_size;
    }
    ~RegularFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int error() const { return m_error; }       // errno of a failed stat or open, else 0
    bool notRegular() const { return !isOpen() && m_error == 0; }
    bool isFolder() const { return S_ISDIR(m_mode); }
    QString kind() const { return fileKind(m_mode); }
    qint64 size() const { return m_size; }

    // Bytes read, 0 at the end, -1 on an error (errno set).
    qint64 read(char* data, size_t size)
    {
        ssize_t got;
        do
            got = ::read(m_fd, data, size);
        while (got < 0 && errno == EINTR);
        if (got > 0)
            m_offset += got;
        return got;
    }
    qint64 remaining() const { return std::max<qint64>(0, m_size - m_offset); }

private:
    int m_fd = -1;
    int m_error = 0;
    mode_t m_mode = 0;
    qint64 m_size = 0;
    qint64 m_offset = 0;
};

// Builds the display text line by line.
class LogTextBuilder {
public:
    explicit LogTextBuilder(LogReadResult& result, const QString& file) : m_r(result), m_file(file) {}

    // Repairs and converts one raw line (changed in place); false on failure, with the error set.
    bool addLine(char* data, size_t size)
    {
        const qint64 number = m_r.lines + 1;
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

    // Converts a long line that LineCheck has passed (repaired, changed in place) in pieces,
    // handing each to the sink as it goes; with `keep` false only counts it.
    void addCheckedLine(std::string& raw, bool producesText, bool keep)
    {
        const std::string_view separator = m_started ? LineSeparator : std::string_view();
        if (keep) {
            constexpr size_t Piece = 1 << 20;
            bool first = true;
            for (size_t at = 0; first || at < raw.size(); first = false) {
                size_t end = std::min(raw.size(), at + Piece);
                // A run of spaces stays whole: its count character goes with its code 1
                // (a count character is never 1 itself in a line that passed).
                if (end < raw.size() && raw[end - 1] == '\x01')
                    ++end;
                // Each piece converts as in its line: the check has passed, and positions in
                // a piece are no further on than in the line.
                appendConvertedLine(m_r.text, first ? separator : std::string_view(),
                                    std::string_view(raw).substr(at, end - at));
                at = end;
                flush(false);
            }
        }
        m_started = m_started || !separator.empty() || producesText;
        ++m_r.lines;
    }

    // Converts a part of a long line not yet known to pass and hands it on; the part must not
    // end inside a run of spaces. What the conversion says is left to the line's check.
    void passOnPart(std::string_view part, bool firstOfLine)
    {
        const std::string_view separator = m_started && firstOfLine ? LineSeparator : std::string_view();
        appendConvertedLine(m_r.text, separator, part);
        flush(false);
    }

    bool started() const { return m_started; }
    const LogReadResult& result() const { return m_r; }
    void setStarted() { m_started = true; }

    // Takes over the text and lines of a part converted by a builder of its own, which
    // followed this one's lines; false when that part failed (its line counted on from here).
    bool absorb(const LogReadResult& part)
    {
        m_r.text += part.text;
        const qint64 before = m_r.lines;
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

    bool fail(LogReadError::Kind kind, qint64 line, const QString& reason)
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

namespace {

// Repairs a part of a line that starts `offset` bytes into it.
bool repairLinePart(char* data, size_t size, size_t offset)
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
        if (offset + i + 1 > static_cast<size_t>(MaxLinePosition))
            return false;
        p[i] = repaired;
    }
    return true;
}

} // namespace

bool repairLogLine(char* data, size_t size)
{
    return repairLinePart(data, size, 0);
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

namespace {

enum class TextUse {
    Keep,   // all of the text in the result
    Stream, // handed to a sink in pieces
    PassOn, // handed to a sink in pieces, a long line's before it is known to pass
    None,   // only checked
};

// Reads on a line that has grown past LongLine without a line end; `buffer` holds its start.
// The line is repaired and checked part by part as it is read, and kept (raw) only when its
// text is wanted. Afterwards `buffer` holds what follows the line end, `skipLf` tells that an
// LF right at the start of the next read belongs to that line end, and `atEnd` that the file
// ended with the line. False when the line failed or the file could not be read.
bool takeLongLine(LogTextBuilder& builder, RegularFile& file, std::string& buffer, TextUse use,
                  bool& skipLf, bool& atEnd)
{
    const qint64 number = builder.result().lines + 1;
    const bool keep = use == TextUse::Keep || use == TextUse::Stream;
    LineCheck check(builder.started() ? static_cast<long>(LineSeparator.size()) : 0);
    std::string raw;
    size_t length = 0;
    // Passing on: a code 1 at the end of a part waits for its count character in the next.
    std::string part;
    bool firstPart = true;
    auto passOn = [&](const char* data, size_t size, bool last) {
        // Small slices: a run of spaces makes its two bytes up to 255 characters.
        constexpr size_t Slice = 1 << 16;
        part.append(data, size);
        size_t at = 0;
        while (at < part.size()) {
            size_t end = std::min(part.size(), at + Slice);
            if (part[end - 1] == '\x01') {
                if (end < part.size())
                    ++end;   // its count character comes along
                else if (!last && --end == at)
                    break;   // it waits for the next read
            }
            builder.passOnPart(std::string_view(part).substr(at, end - at), firstPart);
            firstPart = false;
            at = end;
        }
        part.erase(0, at);
    };
    auto take = [&](char* data, size_t size) {
        if (!repairLinePart(data, size, length))
            return builder.fail(LogReadError::Kind::RepairFailed, number,
                                QStringLiteral("A character to repair stands beyond position 32767."));
        check.feed(std::string_view(data, size));
        if (keep)
            raw.append(data, size);
        else if (use == TextUse::PassOn)
            passOn(data, size, false);
        length += size;
        return true;
    };
    if (keep) {
        // The line may run to the end of the file: room for that at once, so that growing
        // never holds the line twice.
        raw.reserve(buffer.size() + static_cast<size_t>(file.remaining()));
    }
    if (!take(buffer.data(), buffer.size()))
        return false;
    buffer.clear();
    std::string chunk(ReadChunk, '\0');
    for (;;) {
        const qint64 got = file.read(chunk.data(), chunk.size());
        if (got < 0)
            return builder.fail(LogReadError::Kind::ReadFailed, number, systemReason(errno));
        if (got == 0) {
            atEnd = true;
            break;
        }
        const size_t n = static_cast<size_t>(got);
        const auto* cr = static_cast<const char*>(std::memchr(chunk.data(), '\r', n));
        const size_t end = cr ? static_cast<size_t>(cr - chunk.data()) : n;
        if (!take(chunk.data(), end))
            return false;
        if (cr) {
            size_t next = end + 1;
            if (next < n && chunk[next] == '\n')
                ++next;
            skipLf = next == n;
            buffer.assign(chunk.data() + next, n - next);
            break;
        }
    }
    if (use == TextUse::PassOn)
        passOn(nullptr, 0, true);
    const ConvertError error = check.finish();
    if (error != ConvertError::None)
        return builder.fail(LogReadError::Kind::ConvertFailed, number, QString::fromLatin1(convertErrorReason(error)));
    builder.addCheckedLine(raw, check.producesText(), keep);
    return true;
}

LogReadResult readLog(const QString& path, TextUse use, const LogTextSink& sink, size_t pieceSize)
{
    LogReadResult result;
    LogTextBuilder builder(result, path);
    static const LogTextSink discard = [](const std::string&) {};
    builder.setSink(use == TextUse::None ? &discard : &sink, pieceSize);
    RegularFile file(path);
    if (!file.isOpen()) {
        QString reason;
        if (file.isFolder())
            reason = QStringLiteral("It is a folder.");
        else if (file.notRegular())
            reason = QStringLiteral("It is %1, not a regular file.").arg(file.kind());
        else
            reason = systemReason(file.error());
        builder.fail(LogReadError::Kind::CannotOpen, 0, reason);
        return result;
    }
    result.opened = true;
    try {
        const qint64 fileSize = file.size();
        // Runs of spaces make the text longer than the file. Room that is reserved but never
        // written costs no memory, while growing later would hold the text twice for a moment.
        if (use != TextUse::Keep)
            result.text.reserve(pieceSize + 2 * ReadChunk);
        else if (fileSize > 0)
            result.text.reserve(static_cast<size_t>(fileSize) * 2);

        std::string buffer;
        size_t pos = 0;
        size_t scanned = 0;
        bool atEnd = false;
        bool skipLf = false;
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
            if (scanned == buffer.size() && buffer.size() >= LongLine) {
                const bool lineFine = takeLongLine(builder, file, buffer, use, skipLf, atEnd);
                builder.flush(!lineFine);
                if (!lineFine)
                    return result;
                scanned = 0;
                if (atEnd)
                    break;
                continue;
            }
            const size_t kept = buffer.size();
            buffer.resize(kept + ReadChunk);
            const qint64 got = file.read(buffer.data() + kept, ReadChunk);
            if (got < 0) {
                builder.fail(LogReadError::Kind::ReadFailed, result.lines + 1, systemReason(errno));
                builder.flush(true);
                return result;
            }
            buffer.resize(kept + static_cast<size_t>(got));
            if (skipLf && got > 0) {
                // The LF of a long line's CR LF came with this read.
                if (buffer[kept] == '\n')
                    buffer.erase(kept, 1);
                skipLf = false;
            }
            atEnd = got == 0;
        }
        if (pos < buffer.size())
            builder.addLine(buffer.data() + pos, buffer.size() - pos);
        else if (result.lines == 0)
            builder.fail(LogReadError::Kind::Empty, 0, {});
        builder.flush(true);
    } catch (const std::bad_alloc&) {
        // Nothing of the log is shown: the display stays as it was.
        const qint64 line = result.lines + 1;
        result = LogReadResult{};
        result.error = LogReadError{LogReadError::Kind::OutOfMemory, path, line, {}};
    }
    return result;
}

} // namespace

LogReadResult readLogFile(const QString& path)
{
    return readLog(path, TextUse::Keep, {}, 0);
}

LogReadResult streamLogFile(const QString& path, const LogTextSink& sink, size_t pieceSize, LongLines longLines)
{
    if (!sink)
        return readLog(path, TextUse::Keep, sink, pieceSize);
    return readLog(path, longLines == LongLines::PassedOn ? TextUse::PassOn : TextUse::Stream, sink, pieceSize);
}

LogReadResult checkLogFile(const QString& path)
{
    return readLog(path, TextUse::None, {}, 0);
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
    case LogReadError::Kind::OutOfMemory:
        if (error.line <= 0)
            return QStringLiteral("The log file %1 could not be shown.\nThere is not enough memory to hold its text.").arg(file);
        return QStringLiteral("The log file %1 could not be read at line %2.\nThere is not enough memory to hold its text.")
            .arg(file, QString::number(error.line));
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

const std::vector<QString>& FolderListings::names(const QByteArray& folder)
{
    const auto found = m_names.find(folder);
    if (found != m_names.end())
        return found->second;
    std::vector<QString>& names = m_names[folder];
    if (DIR* dir = ::opendir(folder.isEmpty() ? "." : folder.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.push_back(pathFromNativeBytes(name));
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

QString statusFilePath(const QString& logPath)
{
    FolderListings listings;
    return statusFilePath(logPath, listings);
}

QString statusFilePath(const QString& logPath, FolderListings& listings)
{
    const QString derived = derivedStatusPath(logPath);
    struct stat info {};
    if (::stat(nativePathBytes(derived).constData(), &info) == 0)
        return derived;
    const qsizetype slash = derived.lastIndexOf(QLatin1Char('/'));
    const QString name = derived.mid(slash + 1);
    const QString folder = slash < 0 ? QString() : derived.left(slash + 1);
    for (const QString& entry : listings.names(nativePathBytes(folder))) {
        if (entry.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        // Any entry but a folder, as the listing of files has always taken it.
        const QString candidate = folder + entry;
        if (::stat(nativePathBytes(candidate).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
            return candidate;
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
    RegularFile file(path);
    if (file.error() == ENOENT) {
        result.errorLine = statusNotFoundLine(path);
        return result;
    }
    if (file.notRegular() && !file.isFolder()) {
        // A FIFO or a device would block or never end; it is named for what it is.
        result.errorLine = QStringLiteral("\"%1\" is %2, not a regular file.").arg(shownPath(path), file.kind());
        return result;
    }
    if (!file.isOpen()) {
        result.errorLine = shownPath(path);
        return result;
    }
    StatusReader reader(result, path);
    std::string chunk(64 * 1024, '\0');
    for (;;) {
        const qint64 got = file.read(chunk.data(), chunk.size());
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

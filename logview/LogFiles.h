#pragma once
// Reading a log and its test status file, without any window: the main window and a
// command-line tool call the same functions and get the same text, items and messages.

#include "ConvertLogLine.h"
#include "NativePath.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <map>
#include <vector>
#include <optional>
#include <string>
#include <string_view>

namespace vrx {

// ---- Log file ----

struct LogReadError {
    enum class Kind {
        CannotOpen,   // the file could not be opened
        Empty,        // nothing to read
        ReadFailed,   // the system failed to read on
        RepairFailed, // a character to repair beyond position 32767
        ConvertFailed, // ConvertLogLine refused the line
        OutOfMemory    // the memory to hold the text could not be had
    };
    Kind kind = Kind::CannotOpen;
    QString file;
    qint64 line = 0;     // 1-based line of the file; 0 when no line is concerned
    QString reason;      // one sentence; empty for Empty
};

struct LogReadResult {
    bool opened = false;  // false: nothing was read and the display is to stay as it was
    std::string text;     // display text in Windows-1252: the converted lines joined by CR LF,
                          // complete, or the lines before the failing one
    qint64 lines = 0;     // lines of the file read and converted
    std::optional<LogReadError> error;
    bool ok() const { return opened && !error; }
};

// Reads a log file: CR LF and a lone CR end a line, a lone LF stays in its line; the DOS code
// page's ±, ≤ and µ (bytes 0xF1, 0xF3, 0xE6) are repaired to ±, < and µ of Windows-1252;
// each line is converted, and put behind CR LF unless the text is still empty (so empty lines
// at the start leave no trace). Streams the file; memory is about the size of the result.
LogReadResult readLogFile(const QString& path);

// Receives the display text in pieces, in order; each piece is the text after the previous one.
using LogTextSink = std::function<void(const std::string& piece)>;

// How the text of a line too long to convert at once reaches the sink: Held, the raw line is
// kept until it is known to convert, so that a failure hands on nothing of it; PassedOn, it is
// converted and handed on as it is read, in constant memory, for a reader that has checked the
// file before and throws away all it got when a read fails after all.
enum class LongLines { Held, PassedOn };

// Reads a log as readLogFile does, but hands the display text to sink in pieces of about
// pieceSize bytes instead of keeping it (result.text stays empty). On a failure the text of the
// lines before the failing one has been handed on. Without a sink it is readLogFile.
LogReadResult streamLogFile(const QString& path, const LogTextSink& sink, size_t pieceSize = 4 << 20,
                            LongLines longLines = LongLines::Held);

// Reads a log as readLogFile does only to learn whether it converts and how many lines it has:
// no text is kept, and memory stays the same whatever the length of a line.
LogReadResult checkLogFile(const QString& path);

// The same on bytes already in memory (file name only for the error).
LogReadResult convertLogBytes(std::string_view bytes, const QString& fileName = {});

// Repairs one raw line in place; false when a character to repair stands beyond position
// 32767 (the line is then left partly repaired and must not be used).
bool repairLogLine(char* data, size_t size);

// The message for a failed log: names the file and, where it applies, line and reason.
QString logReadMessage(const LogReadError& error);

// ---- Windows-1252 ----

// Unicode text of Windows-1252 bytes. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 control characters of the same code.
QString decodeWindows1252(std::string_view bytes);

// The Unicode character a Windows-1252 byte stands for.
char16_t windows1252ToUnicode(unsigned char byte);

// The display text as UTF-8 for a text file: the same characters as decodeWindows1252,
// with the CR LF between lines kept or turned into LF (a lone LF inside a line stays).
enum class LineEnds { CrLf, Lf };
std::string displayTextToUtf8(std::string_view bytes, LineEnds lineEnds);

// ---- Test status file ----

// The log's path with its last three characters replaced by "tst" (run1.log -> run1.tst).
QString derivedStatusPath(const QString& logPath);

// derivedStatusPath(), or, when no file of exactly that name exists, the file in the same
// folder whose name matches it without regard to case (DOS media carry upper-case names).
// The derived path when neither exists.
QString statusFilePath(const QString& logPath);

// Remembers the names in each folder once listed, so that finding the status files of many
// logs in one large folder lists it once. For one run over a set of logs; files made after
// the listing are not seen.
class FolderListings {
public:
    const std::vector<QString>& names(const QByteArray& folder);

private:
    std::map<QByteArray, std::vector<QString>> m_names;
};

// statusFilePath(), looking up folders through `listings`.
QString statusFilePath(const QString& logPath, FolderListings& listings);

// "Test # 1  - PASS", "Test # 12 - FAIL", "Test # 100 - N/A": the label is cut to 9
// characters, which keeps the hyphens of tests up to 99 in one column, but never cuts digits.
QString statusItemText(int testNumber, int value);

// The outcome word of a status value (-1, 0, 1); empty for any other value.
QString outcomeWord(int value);

struct StatusFileResult {
    QStringList items;                 // one per record read, also those before a failure
    std::array<qint16, 3> counts{};    // passed, failed, not applicable
    std::optional<QString> errorLine;  // first line of the message when the file failed
    bool ok() const { return !errorLine; }
};

// Values separated by commas or line breaks; blanks around a value are skipped and blank values
// (empty lines, a trailing comma) are no record. A record is one of -1, 0, 1 (an optional sign,
// digits); anything else makes the file corrupt. The file's path is the message instead when it
// holds no value, or when its first value is not a number or one outside -32768..32767. More
// than 32767 records overflow the counters.
StatusFileResult readStatusFile(const QString& path);

// The same on the bytes of a status file already in memory; `path` only names the file in the
// message (no value, or a first value that is no 16-bit number).
StatusFileResult parseStatusText(std::string_view text, const QString& path = {});

// First lines of the status error message.
QString statusNotFoundLine(const QString& path);   // "\"path\"  not found."
inline const QString CorruptStatusLine = QStringLiteral("Corrupt or invalid file format.");
inline const QString TooManyTestsLine = QStringLiteral("Too many tests: more than 32767 in the file.");

inline const QString StatusErrorTitle = QStringLiteral("Test Status File Error");
inline const QString StatusUnavailableLine = QStringLiteral("Test Status Data will not be available.");

// The whole message: first line, a line feed alone, then StatusUnavailableLine.
QString statusErrorMessage(const QString& firstLine);

} // namespace vrx

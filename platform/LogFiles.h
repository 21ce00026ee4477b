#pragma once
// Reading a log and its test status file on paths as Qt names them, without any window: the
// main window and vrxlog call the same functions and get the same text, items and messages.
// Qt Core only, on the file layer's readers; the failures are the core's own values.

#include "core/ConvertLogLine.h"
#include "core/DisplayLines.h"
#include "core/LogReader.h"
#include "core/StatusFile.h"
#include "core/Windows1252.h"
#include "files/Readers.h"
#include "platform/DisplayText.h"
#include "platform/NativePath.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>
#include <optional>
#include <string>
#include <string_view>

namespace vrx {

// ---- Log file ----

// The core's readers (LogReader.h) on a path as Qt names it; a failure names the file as the
// system spells it (LogFailure::file).
LogRead readLogFile(const QString& path);

// Reads a log as readLogFile does, but hands the display text to sink in pieces of about
// pieceSize bytes instead of keeping it (the result's text stays empty). On a failure the text
// of the lines before the failing one has been handed on. Without a sink it is readLogFile.
LogRead streamLogFile(const QString& path, const LogTextSink& sink, size_t pieceSize = 4 << 20,
                      LongLines longLines = LongLines::Held);

// Reads a log as readLogFile does only to learn whether it converts and how many lines it has:
// no text is kept, and memory stays the same whatever the length of a line.
LogRead checkLogFile(const QString& path);

// The system's bytes of a path as Qt names it, as the file layer takes names.
std::string systemName(const QString& path);

// The same on bytes already in memory (file name only for the failure).
LogRead convertLogBytes(std::string_view bytes, const QString& fileName = {});

// The window's message for a failed log: names the file and, where it applies, line and
// reason, and what became of the lines before a failing line (failure.earlierLines).
QString logReadMessage(const LogFailure& failure);


// ---- Test status file ----

// The log's path with its last three characters replaced by "tst" (run1.log -> run1.tst).
QString derivedStatusPath(const QString& logPath);

// derivedStatusPath(), or, when no file of exactly that name exists, the file in the same
// folder whose name matches it without regard to case (DOS media carry upper-case names).
// A folder is never taken for a status file when a file of a matching name is there. The
// derived path when neither exists.
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

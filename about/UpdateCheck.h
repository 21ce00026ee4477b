#pragma once
// The on-line update check: fetch the version data file from the author's web site, find
// this program's entry, compare its version with ours, and tell the user.
//
// The reading and judging are plain functions over text, so they can be tested (and
// fed arbitrary bytes) without a window or a server.

#include "Platform.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

class QWidget;

namespace vrx {

// Reads the version data file field by field. Blanks in front of a field are skipped; a
// field that starts with a double quote runs to the next double quote (and may hold commas
// and line ends; the quotes are dropped, anything after the closing quote up to the next
// comma or line end is ignored); any other field ends at a comma or at a line end
// (LF, CR or CR LF).
class VersionFieldReader {
public:
    explicit VersionFieldReader(QStringView text) : m_text(text) {}

    // The next field; an empty text gives one empty field.
    QString next();
    bool atEnd() const { return m_pos >= m_text.size(); }

private:
    void skipSeparator();

    QStringView m_text;
    qsizetype m_pos = 0;
};

// All fields of a version data text, in order.
QStringList readVersionFields(QStringView text);

// The first field that contains the title, compared in lower case; nothing when none does.
std::optional<QString> findProgramEntry(QStringView text, const QString& title);

// Numeric value of a version text: blanks, tabs and line feeds removed, then an optional
// sign, digits with at most one "." and an optional exponent, read the same in any locale;
// 0 when the text does not start with a number.
double versionValue(QStringView text);

// The downloaded bytes as text: UTF-8 when they are valid UTF-8, else Latin-1.
QString decodeVersionData(const QByteArray& data);

enum class UpdateOutcome {
    LocalFailure,           // the reason the file could not be saved here; nothing was asked of the server
    DownloadFailed,         // "Web Datafile not found."
    DownloadedFileMissing,  // "Downloaded Datafile not foud."
    NoEntry,                // "Data for this program not found."
    NewerVersion,           // "A newer version  ( x )  is available."
    LatestVersion,          // "This is the latest version."
};

struct UpdateVerdict {
    UpdateOutcome outcome = UpdateOutcome::NoEntry;
    QString webVersion;     // the version text found on the web, for NewerVersion and LatestVersion
    QString reason;         // for LocalFailure: what failed, naming the file
};

// Judges the contents of the version data file for the given program title and version.
UpdateVerdict judgeVersionData(const QByteArray& data, const QString& title, const QString& currentVersion);

struct UpdateMessage {
    QString text;
    MessageButtons buttons = MessageButtons::Ok;
    bool offersHomepage = false;   // a Yes answer opens the home page
};

UpdateMessage updateMessage(const UpdateVerdict& verdict);

// The version text as a message shows it: its first line, at most ShownVersionLength
// characters, with "…" when anything was left out.
constexpr qsizetype ShownVersionLength = 80;
QString shownVersion(const QString& version);

// "Current Version: " + the version, the title of every message of the check.
QString updateMessageTitle(const QString& currentVersion);

// The download folder: the AppData folder + "vbTemp", and the file the data is saved to.
QString downloadFolder(Platform& platform);
QString localVersionFile(const QString& folder);

// Creates the download folder when missing (a failure here, or a version file that cannot be
// written, is a LocalFailure and no request is sent), downloads the version data file into it and
// judges it. Shows nothing.
UpdateVerdict fetchUpdateVerdict(Platform& platform, const DownloadOptions& options = {});

// Shows the verdict's message over parent and, on Yes to a question, opens the home page.
void reportUpdateVerdict(Platform& platform, QWidget* parent, const UpdateVerdict& verdict);

// The whole check: fetch, then report.
UpdateVerdict runUpdateCheck(Platform& platform, QWidget* parent, const DownloadOptions& options = {});

} // namespace vrx

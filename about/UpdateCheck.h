#pragma once
// The on-line update check: fetch the version data file from the author's web site, find
// this program's entry, compare its version with ours, and tell the user.
//
// Reading and judging the file are the core's (VersionFile.h); here the bytes are fetched,
// the verdict worded and shown.

#include "platform/Platform.h"
#include "core/VersionFile.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <functional>

class QWidget;

namespace vrx {

// The core's value of a version text (VersionFile.h) for text as Qt holds it.
double versionValue(QStringView text);

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
// characters, with "…" when anything was left out; control characters, line and paragraph
// separators and format characters (the marks that turn the direction of text among them)
// shown as U+FFFD (shownText).
constexpr qsizetype ShownVersionLength = 80;
QString shownVersion(const QString& version);

// "Current Version: " + the version, the title of every message of the check.
QString updateMessageTitle(const QString& currentVersion);

// The download folder: the AppData folder + "vbTemp", and the file the data is saved to.
QString downloadFolder(Platform& platform);
QString localVersionFile(const QString& folder);

// Creates the download folder when missing (a failure here, or a version file that cannot be
// written, is a LocalFailure and no request is sent), starts the download of the version data
// file into it and returns at once. `done` gets the verdict later, from the event loop, unless
// `context` is destroyed first. Shows nothing.
void startUpdateCheck(Platform& platform, const DownloadOptions& options, QObject* context,
                      std::function<void(const UpdateVerdict&)> done);

// Shows the verdict's message over parent and, on Yes to a question, opens the home page.
void reportUpdateVerdict(Platform& platform, QWidget* parent, const UpdateVerdict& verdict);

} // namespace vrx

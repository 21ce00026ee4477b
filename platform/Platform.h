#pragma once
// Everything the program asks of the user or the system goes through this interface:
// the Qt implementation serves the real program, a scripted one serves the tests.

#include "core/PageLayout.h"

#include <QString>
#include <QUrl>
#include <QVariant>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QObject;
class QPrinter;
class QWidget;

namespace vrx {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Information, Question };
enum class MessageResult { Ok, Yes, No };

struct OpenFileRequest {
    QString fileName;   // preset file name, e.g. "*.log"
    QString filter;     // Qt filter text, e.g. "Log Files (*.log *.LOG)"
    QString initialDir;
    QString title;      // dialog caption
};

struct OpenFileResult {
    QString fullPath;   // full path of the chosen file
    QString title;      // file name without its folder
};

struct PrinterDialogRequest {
    int copies = 1;
    bool hidePrintToFile = true;
    bool noSelection = true;
    // The document's pages: the dialog offers the range 1 to pageCount.
    qint64 pageCount = 0;
};

struct PrinterChoice {
    QString printerName;
    int copies = 1;
    // The pages to print; empty for all of them.
    PageSelection pages;
    // The printer as the dialog set it up (paper, orientation, two-sided printing, colour, the
    // queue's own options), to print every copy on. Null when there is none: the named printer
    // is then used as the system has it set up.
    std::shared_ptr<QPrinter> printer;
    // The list of pages as the user typed it, when the dialog took the pages as text; it is
    // read by the command (parsePageList), and `pages` is then not used.
    std::optional<QString> pageList;
};

struct DownloadOptions {
    std::chrono::milliseconds timeout{20000};
    qint64 maxBytes = 1024 * 1024;
    QByteArray trustedCertificates;   // PEM, trusted instead of the system's (tests); empty: the system's
};

// Outcome of a download; ok only when a 2xx answer was written whole to the target file.
struct DownloadResult {
    bool ok = false;
    QString error;
    bool local = false;   // failed on this machine (the file could not be written), no request sent
};

// Receives the outcome of a download, once.
using DownloadDone = std::function<void(const DownloadResult&)>;

// How far a long task has come, as the user sees it: a window with the task's state and a
// Cancel button, shown once the task has taken a moment (nothing is shown for a quick one).
// It goes when this object does.
class TaskProgress {
public:
    virtual ~TaskProgress() = default;
    // Tells how far the task has come, out of the total it was started with, and in words;
    // false once the user has asked to cancel the task.
    virtual bool update(qint64 done, const QString& text) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // A modal message box; returns the button chosen.
    virtual MessageResult messageBox(QWidget* parent, const QString& text, const QString& title,
                                     MessageButtons buttons, MessageIcon icon) = 0;

    // The file-open dialog; nothing when the user cancels.
    virtual std::optional<OpenFileResult> openFile(QWidget* parent, const OpenFileRequest& request) = 0;

    // True when the system has at least one printer to print on.
    virtual bool printerInstalled() = 0;

    // The printer dialog; nothing when the user cancels.
    virtual std::optional<PrinterChoice> printerDialog(QWidget* parent,
                                                       const PrinterDialogRequest& request) = 0;

    // Per-user settings store, addressed by application name, section and key.
    virtual QVariant readSetting(const QString& appName, const QString& section, const QString& key,
                                 const QVariant& defaultValue) = 0;
    virtual void writeSetting(const QString& appName, const QString& section, const QString& key,
                              const QVariant& value) = 0;

    // Environment lookup; empty when the variable is not set.
    virtual QString environment(const QString& name) = 0;

    // True when a file or a folder of that name exists.
    virtual bool exists(const QString& path) = 0;

    // Screen-wide busy pointer.
    virtual void setBusy(bool busy) = 0;

    // Let the event loop process what is pending, once; user input is left for later.
    virtual void processEvents() = 0;

    // Starts telling the progress of a task of `total` steps over the parent window, which
    // takes no input until the task ends.
    virtual std::unique_ptr<TaskProgress> startProgress(QWidget* parent, const QString& title, qint64 total) = 0;

    // Hand a URL (web page, mailto:) to the desktop.
    virtual void openUrl(const QUrl& url) = 0;

    // Starts downloading a URL into a file and returns at once, so the windows keep working
    // meanwhile. `done` gets the outcome later, from the event loop; when `context` is
    // destroyed first, the transfer ends there and `done` is never called.
    virtual void download(const QUrl& url, const QString& targetFile, const DownloadOptions& options,
                          QObject* context, DownloadDone done) = 0;

    // The user's home folder.
    virtual QString homeFolder() = 0;

    // The "AppData" folder: the AppData environment variable when set, else the per-user
    // data folder of the desktop (normally ~/.local/share). No trailing separator.
    QString appDataFolder();

    // Per-user data folder of this program: the AppData folder + "VRX PV". Never created.
    QString userDataFolder();
};

// Joins a folder and a name with the native separator.
QString joinPath(const QString& folder, const QString& name);

} // namespace vrx

#pragma once
// The log view: the converted log in Display, the status area behind it, and what can be done
// with them (open a log, show or cover the status area, clear, find). It owns its widgets and
// its state; whoever holds its menu items follows it through the signals.

#include "core/DisplayLines.h"
#include "core/LineIndex.h"
#include "files/LogSource.h"
#include "logview/FindText.h"
#include "logview/LogTextView.h"

#include <QPointer>
#include <QString>
#include <QStringView>
#include <QTimer>
#include <QWidget>
#include <QtGlobal>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QFrame;
class QLabel;
class QListWidget;

namespace vrx {

class LogLoad;
class Platform;
struct StatusFileResult;

// A task that ends within this time is done before the command returns, as if it ran on the
// window's own thread: no progress is shown. Longer ones show their progress and go on while
// the window answers.
inline constexpr std::chrono::milliseconds AtOnce{100};

// The view's area, in twips.
inline constexpr int LogViewWidth = 10215;
inline constexpr int LogViewHeight = 8265;

// Places of Display, in twips: covering the status area, or below it.
inline constexpr int DisplayCoveredTop = 0;
inline constexpr int DisplayCoveredHeight = 8160;
inline constexpr int DisplayShownTop = 1680;
inline constexpr int DisplayShownHeight = 6480;

class LogView : public QWidget {
    Q_OBJECT
public:
    // Lays out the controls with the parent's font and colours; dialogs and message boxes
    // stand over the parent's window.
    LogView(Platform& platform, QWidget* parent);
    ~LogView() override;

    // Controls; each has its member's name as object name (the counters "Label2_<index>").
    LogTextView* Display = nullptr;
    QFrame* TestFrame = nullptr;
    QListWidget* StatusList = nullptr;
    QLabel* Label3 = nullptr;
    std::array<QLabel*, 3> Label2{}; // pass, fail, n/a
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;

    // "&Open File": asks for a log starting in startFolder, then opens it.
    void openFromDialog(const QString& startFolder);
    // Opens a log as "&Open File" does after its dialog (also dropped files and the command
    // line's): folderChosen tells the file's folder, then the log and its status file are read.
    // A log that is not read at once shows its first lines, and more as they are read, with
    // its progress; its status file is read once the log has been read.
    void open(const QString& fullPath);
    // Whether a log is being read.
    bool isReading() const;
    // Ends the reading of a log at once; the lines read so far stay shown.
    void stopReading();
    // Whether a search goes on.
    bool isFinding() const;
    // Ends a search at once: nothing is selected, nothing is said.
    void stopFinding();
    // Logs of up to this many bytes are held as they were read; larger ones are read again from
    // their file, and checked, whenever their lines are wanted (tests read small logs so).
    void setHeldSize(std::int64_t bytes) { m_heldSize = bytes; }
    // Called with each log file as it is opened, before it is read (tests slow the reading).
    void setFileOpened(std::function<void(LogSource&)> opened) { m_fileOpened = std::move(opened); }
    // Looks whether the shown log's file changed on disk, was replaced or is gone, and says so
    // once for each log shown (the window's owner calls it when the window becomes active; a
    // timer too; and at once when a part of the log read again no longer reads as it did).
    void lookForChange();

    bool isStatusShown() const { return m_statusShown; }
    // Uncovers the status area, or covers it again.
    void setStatusShown(bool shown);
    // "&Clear Display/Status": after asking, empties the display and makes the status
    // unavailable. Returns whether it was cleared.
    bool clear();

    // Finds the request's text in Display after its selection (down) or before it (up) and
    // selects the match; when there is none, says so in a message box over dialogParent
    // (the view's window when null). Returns whether it found one at once; a search of a large
    // log goes on with its progress shown (Esc stops it), and matchSelected tells its match.
    // While a log is read, the search waits for its end.
    bool findNext(const FindRequest& request, QWidget* dialogParent = nullptr);
    // F8 and Shift+F8: selects the next (or previous) line after the caret that holds the word
    // FAIL, as findNext does, over the lines read so far while a log is read.
    bool findFailure(bool down, QWidget* dialogParent = nullptr);
    // The row of Display that holds the start of the selection, on the screen (global
    // coordinates); empty when it is not shown.
    QRect selectedRowOnScreen() const;

    // Says that what was asked (printing) was refused because a part of the log no longer reads
    // as it did: the change itself, when it has not been told yet, else the refusal.
    void refusedForChange(const QString& refused, QWidget* parent = nullptr);

    // The display text: the converted log, lines joined by CR LF (decoded from the bytes).
    QString displayText() const;
    // The same in Windows-1252, as the log file's bytes were, and its lines (for printing).
    std::string displayBytes() const { return Display->lines().text(); }
    const DisplayLines& displayLines() const { return Display->lines(); }
    // The shown log's file name without its folder ("scope-fail.log"); empty when none is shown.
    const QString& logFileName() const { return m_logFileName; }

    // Passed, failed and not-applicable tests of the last status file read.
    const std::array<qint16, 3>& testCounts() const { return m_testCounts; }

signals:
    // A log's folder, as soon as it is chosen (also when reading it fails afterwards).
    void folderChosen(const QString& folder);
    // A log was read whole and is shown.
    void logOpened();
    // Whether Clear has something to clear: a long log being read, which Clear also stops; after
    // a reading that shows nothing, whether a log was opened before.
    void clearAvailableChanged(bool available);
    // Whether the display holds a whole log that may be printed.
    void printableChanged(bool printable);
    // Whether the status area may be shown: a good status file came with the log.
    void statusAvailableChanged(bool available);
    // The status area was uncovered (true) or covered (false).
    void statusShownChanged(bool shown);
    // A search selected its match.
    void matchSelected();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Goes on with a log once its reading has ended: the outcome "&Open File" gives.
    void finishReading();
    // Shows more of the log being read, and how far the reading has come.
    void showReading();
    bool finishFinding();
    void showFinding();
    // Whether a dialog or message box is open: what a task has to say waits for its end.
    bool dialogOpen() const;
    // Tells that the shown log's file changed, and asks whether to read it again.
    void tellChange(LogSource::Change change);
    // Shows these lines; a part of them found changed when it is read again is told at once.
    void showLines(DisplayLines lines, bool grow);
    // Reads what was added to the shown log and shows it with the rest, the view kept at the
    // end where it was there.
    void followLog();
    void finishFollowing(std::unique_ptr<LogLoad> load);
    // Reads the shown log's status file again when it has changed since it was read.
    void followStatus();
    // Fills the status list and the counters from a status file read; says what is wrong with it
    // once, until it reads well again.
    void showStatus(const StatusFileResult& status);
    bool runFind(const FindRequest& request, QWidget* dialogParent);
    // What the user is told when text cannot be handed on because the log changed.
    QString changedLogText(const QString& refused) const;

    void buildControls();
    // Empties the display; nothing is printable then.
    void resetDisplay();
    // True when the display may be cleared: it is empty, or the user answered Yes.
    bool clearScreenQuery();
    void coverStatus();
    void placeDisplay(int top, int height);
    void statusError(const QString& firstLine);

    Platform& m_platform;
    QString m_logFileName;
    std::array<qint16, 3> m_testCounts{};
    bool m_statusShown = false;

    // The log being read, until its end has been dealt with.
    std::unique_ptr<LogLoad> m_load;
    QString m_loadPath;
    bool m_loadShown = false;      // its lines found so far are shown
    bool m_logOpenedOnce = false;  // a log was read whole and shown, at some time
    size_t m_blocksShown = 0;
    QTimer m_readingTimer;
    // A search asked for while a log is read, made once it has been.
    std::optional<FindRequest> m_pendingFind;
    QPointer<QWidget> m_pendingFindParent;

    std::unique_ptr<FindRun> m_find;
    QPointer<QWidget> m_findParent;
    QTimer m_findingTimer;

    // The shown log's file, and whether its change was told.
    std::shared_ptr<LogSource> m_file;
    QString m_filePath;
    bool m_changeTold = false;
    QTimer m_fileTimer;
    std::function<void(LogSource&)> m_fileOpened;
    std::int64_t m_heldSize = LogSource::HeldSize;
    // The index of the shown log's lines, read on from as the log grows; none when it is not
    // followed (its reading failed, or a reading on did).
    std::unique_ptr<LineIndex> m_index;
    bool m_followAtEnd = false;    // the view showed the last line when the reading on began
    // The shown log's status file, as it was when last read.
    QString m_statusPath;
    files::FileState m_statusState;
    bool m_statusErrorTold = false;
};

// What the user is told when Copy is refused for a selection of this many characters.
QString copyRefusedText(qint64 characters);

// The folder of a path: everything before its last separator ("/" for a file in the root);
// empty when the path has no separator.
QString folderOfPath(const QString& fullPath);

} // namespace vrx

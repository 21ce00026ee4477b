#pragma once
// The main window's log commands: open a log, show or cover the status area, clear, find.
// Given the widgets they act on; the main window owns the widgets and the menu items.

#include "FindText.h"

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <array>
#include <functional>
#include <string>
#include <string_view>

class QAction;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QWidget;

namespace vrx {

class Platform;

struct LogViewWidgets {
    QWidget* window = nullptr;           // parent of the dialogs and message boxes
    QPlainTextEdit* display = nullptr;   // Display
    QListWidget* statusList = nullptr;   // StatusList
    std::array<QLabel*, 3> counters{};   // Label2(0..2): pass, fail, n/a
    QAction* printDisplay = nullptr;     // "&Print"
    QAction* clearTests = nullptr;       // "&Clear Display/Status"
    QAction* showTestStatus = nullptr;   // "&Show Test Status" (checkable)
};

// Places of Display, in twips: covering the status area, or below it.
inline constexpr int DisplayCoveredTop = 0;
inline constexpr int DisplayCoveredHeight = 8160;
inline constexpr int DisplayShownTop = 1680;
inline constexpr int DisplayShownHeight = 6480;

class LogViewCommands {
public:
    LogViewCommands(Platform& platform, const LogViewWidgets& widgets);

    // "&Open File": asks for a log starting in defaultDir, updates defaultDir, loads it.
    void LoadLogFile_Click(QString& defaultDir);

    // Loads a chosen log as "&Open File" does after its dialog (also used for dropped files):
    // defaultDir becomes the file's folder, then the log and its status file are read.
    void openChosenLog(const QString& fullPath, const QString& title, QString& defaultDir);

    // "&Show Test Status": uncovers the status area, or covers it again.
    void ShowTestStatus_Click();
    // "&Clear Display/Status": after asking, empties the display and makes the status unavailable.
    void ClearTests_Click();
    // True when the display may be cleared: it is empty, or the user answered Yes.
    bool ClearScreenQuery();
    // Empties the display and disables "&Print".
    void ResetDisplay();

    // Finds the request's text in Display after its selection (down) or before it (up) and
    // selects the match; when there is none, says so in a message box over dialogParent
    // (the main window when null). Returns whether it found one.
    bool FindNext(const FindRequest& request, QWidget* dialogParent = nullptr);

    // The display text: the converted log, lines joined by CR LF (decoded from the bytes).
    QString displayText() const;
    // The display text decoded a part at a time, for whoever goes through all of it without
    // needing it whole (printing): calls take with each part in order.
    void forEachDisplayPiece(const std::function<void(QStringView)>& take) const;
    // The same in Windows-1252, as the log file's bytes were.
    const std::string& displayBytes() const { return m_displayBytes; }

    // Passed, failed and not-applicable tests of the last status file read.
    const std::array<qint16, 3>& testCounts() const { return m_testCounts; }
    bool statusShown() const { return m_statusShown; }

private:
    void placeDisplay(int top, int height);
    void statusError(const QString& firstLine);

    Platform& m_platform;
    LogViewWidgets m_w;
    std::string m_displayBytes;
    std::array<qint16, 3> m_testCounts{};
    bool m_statusShown = false;
};

// Puts a display text (Windows-1252, lines joined by CR LF) into the text box at once.
// A text box keeps a layout object per paragraph, which for a million paragraphs costs
// seconds and hundreds of megabytes; a long log therefore goes in as paragraphs of several
// lines each, its lines parted by line separators, so it shows and scrolls the same.
void showLogText(QPlainTextEdit* display, std::string_view bytes);

// The Unicode text showLogText hands to the text box.
QString displayDocumentText(std::string_view bytes, int linesPerParagraph);

// Paragraphs of the text box at most; beyond it lines share paragraphs.
inline constexpr int MaxDisplayParagraphs = 20000;

// The folder of a path: everything before its last separator ("/" for a file in the root);
// empty when the path has no separator.
QString folderOfPath(const QString& fullPath);

} // namespace vrx

#pragma once
// The main window's log commands: open a log, show or cover the status area, clear.
// Given the widgets they act on; the main window owns the widgets and the menu items.

#include <QString>
#include <array>

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

class LogViewCommands {
public:
    LogViewCommands(Platform& platform, const LogViewWidgets& widgets);

    // "&Open File": asks for a log starting in defaultDir, updates defaultDir, loads it.
    void LoadLogFile_Click(QString& defaultDir);

    // Loads a chosen log as "&Open File" does after its dialog (also used for dropped files).
    void openChosenLog(const QString& fullPath, const QString& title, QString& defaultDir);

    void ShowTestStatus_Click();
    void ClearTests_Click();
    bool ClearScreenQuery();
    void ResetDisplay();

    // The display text: the converted log, lines joined by CR LF.
    const QString& displayText() const { return m_displayText; }

private:
    Platform& m_platform;
    LogViewWidgets m_w;
    QString m_displayText;
};

} // namespace vrx

#pragma once
// The program's working window: the converted log in Display, the status area behind it,
// and the File, View and About commands.

#include "logview/LogView.h"

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QListWidget;
class QMimeData;
class QMenu;
class QPoint;

namespace vrx {

class FindForm;
class LogTextView;
class Platform;

class MainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit MainForm(Platform& platform, QWidget* parent = nullptr);
    ~MainForm() override;

    // The log view's controls; each has its member's name as object name (the counters
    // "Label2_<index>"), which tests look it up by.
    LogTextView* Display = nullptr;
    QFrame* TestFrame = nullptr;
    QListWidget* StatusList = nullptr;
    QLabel* Label3 = nullptr;
    std::array<QLabel*, 3> Label2{};
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;

    // Menus and their items.
    QMenu* F = nullptr;
    QAction* LoadLogFile = nullptr;
    QAction* PrintDisplay = nullptr;
    QAction* Fs01 = nullptr;
    QAction* FExit = nullptr;
    QMenu* V = nullptr;
    QAction* ShowTestStatus = nullptr;
    QAction* ClearTests = nullptr;
    QAction* AboutProg = nullptr;

    // Window keys outside the menus: Ctrl+F opens the find window ("Find…", also in Display's
    // context menu), F3 finds the last text again, F8 and Shift+F8 select the next and the
    // previous line that holds FAIL (also in the context menu).
    QAction* FindInLog = nullptr;
    QAction* FindAgain = nullptr;
    QAction* NextFailure = nullptr;
    QAction* PreviousFailure = nullptr;

    // The folder the open-log dialog starts in; "&Open File" moves it to each log's folder.
    const QString& defaultDir() const { return m_defaultDir; }
    void setDefaultDir(const QString& folder) { m_defaultDir = folder; }
    const QString& savedDefaultDir() const { return m_savedDefaultDir; }
    bool introShown() const { return m_introShown; }
    LogView& logView() { return *m_logView; }
    // The find window; null until it is first opened.
    FindForm* findForm() const { return m_findForm; }

    // Display's context menu: the text box's own entries, a separator, "Find…" and the two
    // failure commands.
    // The caller owns the menu.
    QMenu* displayContextMenu(const QPoint& position);

    // The log a drop would open: its one URL when that names an existing file of this machine.
    static QString droppedLogPath(const QMimeData* mime);

    // A log to open as "&Open File" does after its dialog, once the splash has been shown
    // (the FILE of the command line); empty for none.
    void setStartLog(const QString& path) { m_startLog = path; }

    // Shows the splash for the given number of seconds; returns when it has closed.
    void Intro(int seconds);

    // What the unload handler does last to end the program; QCoreApplication::quit by
    // default. Tests put a recorder here.
    void setEndProgram(std::function<void()> endProgram) { m_endProgram = std::move(endProgram); }

public slots:
    void LoadLogFile_Click();
    void PrintDisplay_Click();
    void FExit_Click();
    void ShowTestStatus_Click();
    void ClearTests_Click();
    void AboutProg_Click();
    void FindInLog_Click();
    void FindAgain_Click();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void connectLogView();
    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void findNext(const FindRequest& request, QWidget* dialogParent);

    Platform& m_platform;
    LogView* m_logView = nullptr;
    FindForm* m_findForm = nullptr;
    QString m_defaultDir;
    QString m_savedDefaultDir;
    QString m_startLog;
    bool m_introShown = false;
    bool m_unloaded = false;
    bool m_placed = false;
    std::function<void()> m_endProgram;
};

} // namespace vrx

#pragma once
// The program's working window: the converted log in Display, the status area behind it,
// and the File, View and About commands.

#include "LogViewCommands.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;

namespace vrx {

class Platform;

class MainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit MainForm(Platform& platform, QWidget* parent = nullptr);
    ~MainForm() override;

    // Controls, named as in the window's design.
    QPlainTextEdit* Display = nullptr;
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

    const QString& defaultDir() const { return m_defaultDir; }
    const QString& savedDefaultDir() const { return m_savedDefaultDir; }
    bool introShown() const { return m_introShown; }
    LogViewCommands& logView() { return *m_logView; }

    // Shows the splash for the given number of seconds; returns when it has closed.
    void Intro(int seconds);

public slots:
    void LoadLogFile_Click();
    void PrintDisplay_Click();
    void FExit_Click();
    void ShowTestStatus_Click();
    void ClearTests_Click();
    void AboutProg_Click();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void Form_Load();
    void Form_Activate();
    void Form_Unload();

    Platform& m_platform;
    std::unique_ptr<LogViewCommands> m_logView;
    QString m_defaultDir;
    QString m_savedDefaultDir;
    bool m_introShown = false;
    bool m_unloaded = false;
};

} // namespace vrx

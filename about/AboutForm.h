#pragma once
// The About window: release, author, e-mail link and the update check.

#include "platform/Platform.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace vrx {

struct UpdateVerdict;

class AboutForm : public QDialog {
    Q_OBJECT
public:
    AboutForm(Platform& platform, QWidget* owner);
    ~AboutForm() override;

    // "Version: 1.3,  Date: Jan 2025", an empty line, the authorship line, two line feeds.
    static QString aboutText();

    // Controls, in tab order.
    QPushButton* Command_Close = nullptr;
    QLabel* Label_About = nullptr;
    QLabel* Label_eMail = nullptr;
    QPushButton* Command_CheckUpdate = nullptr;

    // Download limits of the update check (tests shorten the timeout).
    DownloadOptions downloadOptions;

public slots:
    void Command_Close_Click();
    void Command_CheckUpdate_Click();
    void Label_eMail_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    // Escape closes; Enter presses the focused button. Returns true when the key was used.
    bool buttonKeyDown(QPushButton* button, QKeyEvent* event);
    void updateCheckDone(const UpdateVerdict& verdict);

    Platform& m_platform;
    bool m_checking = false; // while the update check fetches, the window takes no input
};

// "&About": shows the About window modally over the owner and returns when it is closed.
void AboutProg_Click(Platform& platform, QWidget* owner);

} // namespace vrx

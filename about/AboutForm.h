#pragma once
// The About window: release, author, e-mail link and the update check.

#include <QDialog>

namespace vrx {

class Platform;

class AboutForm : public QDialog {
    Q_OBJECT
public:
    AboutForm(Platform& platform, QWidget* owner);

private:
    Platform& m_platform;
};

// "&About": shows the About window modally over the owner and returns when it is closed.
void AboutProg_Click(Platform& platform, QWidget* owner);

} // namespace vrx

#include "about/AboutForm.h"

#include "about/Author.h"
#include "platform/FormStyle.h"
#include "platform/Identity.h"
#include "platform/Twips.h"
#include "about/UpdateCheck.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace vrx {

namespace {

constexpr int ClientWidth = 3990;
constexpr int ClientHeight = 2145;

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, const QRect& place)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(place);
    // Neither button is the window's default: Enter acts on the focused button only.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

AboutForm::AboutForm(Platform& platform, QWidget* owner) : QDialog(owner), m_platform(platform)
{
    setObjectName(QStringLiteral("AboutForm"));
    // A title bar without minimize, maximize or close box; the window closes through its
    // own button or Escape.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    setFont(designFont(QStringLiteral("MS Sans Serif"), 8.25, QFont::SansSerif));
    setFixedSize(twips(this, ClientWidth), twips(this, ClientHeight));

    Command_Close = makeButton(this, QStringLiteral("Command_Close"), QStringLiteral("Close"),
                               twipsRect(this, 2640, 1560, 1095, 375));

    Label_About = new QLabel(QStringLiteral("Label_About"), this);
    Label_About->setObjectName(QStringLiteral("Label_About"));
    // Screen readers read a label's own text as its name; the description says what it is.
    Label_About->setAccessibleDescription(QStringLiteral("About this program"));
    Label_About->setTextFormat(Qt::PlainText);
    Label_About->setWordWrap(true);
    Label_About->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label_About->setGeometry(twipsRect(this, 240, 240, 3495, 735));

    Label_eMail = new QLabel(AuthorEmail, this);
    Label_eMail->setObjectName(QStringLiteral("Label_eMail"));
    Label_eMail->setAccessibleDescription(QStringLiteral("E-mail the author"));
    Label_eMail->setTextFormat(Qt::PlainText);
    QFont underlined = designFont(QStringLiteral("MS Sans Serif"), 8.25, QFont::SansSerif);
    underlined.setUnderline(true);
    Label_eMail->setFont(underlined);
    Label_eMail->setCursor(Qt::PointingHandCursor);
    Label_eMail->move(twips(this, 240), twips(this, 1080));
    Label_eMail->adjustSize();   // the label sizes itself to the address
    Label_eMail->installEventFilter(this);

    Command_CheckUpdate = makeButton(this, QStringLiteral("Command_CheckUpdate"),
                                     QStringLiteral("Check for Update"),
                                     twipsRect(this, 240, 1560, 1455, 375));

    setTabOrder(Command_Close, Command_CheckUpdate);
    setTabOrder(Command_CheckUpdate, Command_Close);
    Command_Close->installEventFilter(this);
    Command_CheckUpdate->installEventFilter(this);
    connect(Command_Close, &QPushButton::clicked, this, &AboutForm::Command_Close_Click);
    connect(Command_CheckUpdate, &QPushButton::clicked, this, &AboutForm::Command_CheckUpdate_Click);

    Form_Load();
    Command_Close->setFocus(Qt::OtherFocusReason);
}

QString AboutForm::aboutText()
{
    const QString lf = QStringLiteral("\n");
    return QStringLiteral("Version: ") + VersionText() + QStringLiteral(",  Date: ") + ReleaseDate + lf + lf
        + authorshipLine() + lf + lf;
}

AboutForm::~AboutForm()
{
    // Closed while a check ran (the program ended): the check ends with the window.
    if (m_checking)
        m_platform.setBusy(false);
}

void AboutForm::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + ProgramTitle);
    setAccessibleName(windowTitle());
    Label_About->setText(aboutText());
}

void AboutForm::Command_Close_Click()
{
    if (m_checking)
        return;
    reject();
}

void AboutForm::Command_CheckUpdate_Click()
{
    if (m_checking)
        return;
    m_checking = true;
    // The window takes no input while the version file is fetched; the fetch runs on from the
    // event loop, so the windows still paint and the busy pointer shows, and no second check
    // or Close can start meanwhile.
    setEnabled(false);
    m_platform.setBusy(true);
    startUpdateCheck(m_platform, downloadOptions, this,
                     [this](const UpdateVerdict& verdict) { updateCheckDone(verdict); });
}

void AboutForm::updateCheckDone(const UpdateVerdict& verdict)
{
    // The window comes back before the outcome is shown, so the message box over it is usable.
    m_platform.setBusy(false);
    setEnabled(true);
    m_checking = false;
    // Disabling the window took the focus away; give it back before the message box, which
    // returns it to the button when it closes.
    Command_CheckUpdate->setFocus(Qt::OtherFocusReason);
    reportUpdateVerdict(m_platform, this, verdict);
}

void AboutForm::Label_eMail_Click()
{
    // The shell's answer is not checked: without a mail program nothing happens, and the
    // About window stays open either way.
    m_platform.openUrl(authorMailUrl());
}

bool AboutForm::buttonKeyDown(QPushButton* button, QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        Command_Close_Click();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Buttons that are not the default ignore Enter in a dialog; here Enter presses the
        // focused one, as Space does. A held-down key does not repeat the command.
        if (!event->isAutoRepeat() && button->isEnabled())
            button->click();
        return true;
    default:
        return false;
    }
}

bool AboutForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && (watched == Command_Close || watched == Command_CheckUpdate))
        return buttonKeyDown(static_cast<QPushButton*>(watched), static_cast<QKeyEvent*>(event));
    if (watched == Label_eMail && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && Label_eMail->rect().contains(mouse->position().toPoint())) {
            Label_eMail_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void AboutForm::keyPressEvent(QKeyEvent* event)
{
    // Escape from anywhere in the window closes it; Enter has no default button to press.
    if (event->key() == Qt::Key_Escape) {
        Command_Close_Click();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AboutForm::closeEvent(QCloseEvent* event)
{
    // The window manager may still offer to close the window; not while the check runs.
    if (m_checking) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void AboutProg_Click(Platform& platform, QWidget* owner)
{
    // Built afresh for every opening, so caption and text are set anew each time.
    AboutForm form(platform, owner);
    form.exec();
}

} // namespace vrx

#include "logview/FindForm.h"

#include "platform/FormStyle.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace vrx {

namespace {

template <typename Control>
Control* named(Control* control, const QString& name, const QString& accessibleName)
{
    control->setObjectName(name);
    control->setAccessibleName(accessibleName);
    return control;
}

} // namespace

FindForm::FindForm(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FindForm"));
    // A tool window of its owner: it stays in front of it without blocking it, and has no
    // taskbar entry of its own.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    setWindowTitle(QStringLiteral("Find"));
    setFont(designFont(QStringLiteral("MS Sans Serif"), 8.25, QFont::SansSerif));

    FindWhatLabel = named(new QLabel(QStringLiteral("Find &what:"), this), QStringLiteral("FindWhatLabel"),
                          QStringLiteral("Find what:"));
    FindWhat = named(new QLineEdit(this), QStringLiteral("FindWhat"), QStringLiteral("Find what:"));
    FindWhatLabel->setBuddy(FindWhat);
    MatchCase = named(new QCheckBox(QStringLiteral("&Match case"), this), QStringLiteral("MatchCase"),
                      QStringLiteral("Match case"));
    Direction = named(new QGroupBox(QStringLiteral("Direction"), this), QStringLiteral("Direction"),
                      QStringLiteral("Direction"));
    Up = named(new QRadioButton(QStringLiteral("&Up"), Direction), QStringLiteral("Up"), QStringLiteral("Up"));
    Down = named(new QRadioButton(QStringLiteral("&Down"), Direction), QStringLiteral("Down"),
                 QStringLiteral("Down"));
    Down->setChecked(true);
    FindNext = named(new QPushButton(QStringLiteral("Find &Next"), this), QStringLiteral("FindNext"),
                     QStringLiteral("Find Next"));
    Cancel = named(new QPushButton(QStringLiteral("&Cancel"), this), QStringLiteral("Cancel"),
                   QStringLiteral("Cancel"));

    // Every control has its access key: Alt+W, M, U, D, N, C, none the same and none of the
    // main window's menus (F, V, A), whose keys stay live while this tool window is active.
    // Enter is "Find Next" wherever the focus is; Escape closes the window (QDialog's reject).
    FindNext->setDefault(true);
    FindNext->setEnabled(false);
    connect(FindWhat, &QLineEdit::textChanged, this,
            [this](const QString& text) { FindNext->setEnabled(!text.isEmpty()); });
    connect(FindNext, &QPushButton::clicked, this, &FindForm::FindNext_Click);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* directions = new QHBoxLayout(Direction);
    directions->addWidget(Up);
    directions->addWidget(Down);

    auto* grid = new QGridLayout(this);
    grid->addWidget(FindWhatLabel, 0, 0);
    grid->addWidget(FindWhat, 0, 1, 1, 2);
    grid->addWidget(MatchCase, 1, 0, 1, 2, Qt::AlignBottom);
    grid->addWidget(Direction, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(FindNext);
    buttons->addWidget(Cancel);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 3, 2, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(FindWhat, MatchCase);
    setTabOrder(MatchCase, Up);
    setTabOrder(Up, Down);
    setTabOrder(Down, FindNext);
    setTabOrder(FindNext, Cancel);
}

void FindForm::showFind()
{
    if (!m_placed && parentWidget()) {
        placeBesideOwner();
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
    FindWhat->setFocus();
    FindWhat->selectAll();
    // A button that had the focus when the window closed (Cancel, then Escape) stays the
    // default one; Enter in the text is "Find Next" again.
    FindNext->setDefault(true);
}

FindRequest FindForm::request() const
{
    return {FindWhat->text(), MatchCase->isChecked(), Down->isChecked()};
}

FindRequest FindForm::lastRequest() const
{
    return {m_lastText, MatchCase->isChecked(), Down->isChecked()};
}

void FindForm::FindNext_Click()
{
    const FindRequest wanted = request();
    if (wanted.text.isEmpty())
        return;
    m_lastText = wanted.text;
    emit findNextRequested(wanted);
    // A message ("Cannot find") may have taken the focus, and the window manager hands it to
    // the main window when the message closes; the keyboard stays with this window, so that
    // Enter searches again and Escape closes it.
    if (isVisible()) {
        raise();
        activateWindow();
    }
}

namespace {

// A window frame's size around a client size, as the owner's frame shows it (the window manager
// draws both alike); before the window is shown its own frame is not known.
QSize framed(const QSize& client, const QWidget* owner)
{
    const QRect frame = owner->frameGeometry();
    const QRect inner = owner->geometry();
    return client + QSize(frame.width() - inner.width(), frame.height() - inner.height());
}

} // namespace

void FindForm::placeBesideOwner()
{
    QWidget* owner = parentWidget()->window();
    const QScreen* screen = owner->screen();
    if (!screen)
        return;
    adjustSize();
    const QRect area = screen->availableGeometry();
    const QRect ownerFrame = owner->frameGeometry();
    const QSize size = framed(this->size(), owner);
    constexpr int Gap = 8;
    // Beside the owner, level with its top, where the screen has room: the text stays free.
    QPoint place(ownerFrame.right() + 1 + Gap, ownerFrame.top());
    if (place.x() + size.width() - 1 > area.right()) {
        place.setX(ownerFrame.left() - Gap - size.width());
        if (place.x() < area.left()) {
            // No room: at the top right inside the owner; a found line it would cover
            // moves it away (keepClearOf).
            const QRect client = owner->geometry();
            place = QPoint(client.right() - size.width() - Gap + 1, client.top() + Gap);
        }
    }
    place.setY(std::clamp(place.y(), area.top(), std::max(area.top(), area.bottom() - size.height() + 1)));
    move(place); // a window's position is its frame's
}

void FindForm::keepClearOf(const QRect& globalRect)
{
    const QRect frame = frameGeometry();
    if (!isVisible() || globalRect.isEmpty() || !frame.intersects(globalRect))
        return;
    const QScreen* screen = this->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    constexpr int Gap = 8;
    // Below the line when it fits on the screen, else above it.
    int top = globalRect.bottom() + 1 + Gap;
    if (!area.isNull() && top + frame.height() - 1 > area.bottom())
        top = globalRect.top() - Gap - frame.height();
    move(frame.left(), top);
}

} // namespace vrx

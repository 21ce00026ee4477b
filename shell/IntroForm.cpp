#include "shell/IntroForm.h"

#include "shell/Application.h"
#include "platform/FormStyle.h"
#include "platform/Identity.h"
#include "platform/Twips.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <qdrawutil.h>

namespace vrx {

namespace {
// A thin fixed dialog frame on every side, and the client area inside it, in twips.
constexpr int FrameTwips = 45;
constexpr int ClientWidthTwips = 2025;
constexpr int ClientHeightTwips = 810;
constexpr int LabelLeftTwips = 240;
constexpr int LabelTopTwips = 240;
// Outer width = label width + this: 45 frame + 240 left of the label + 270 right of it + 45 frame.
constexpr int WidthBesideLabelTwips = 600;
// If the window manager never activates the splash, its timer is started after this long
// anyway, so that it cannot stay up for good.
constexpr int ActivationGraceMs = 1000;
} // namespace

IntroForm::IntroForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("IntroForm"));
    // No title bar (so no system menu and no buttons), and no taskbar entry. The thin frame
    // is drawn by paintEvent.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAccessibleName(ProgramTitle);
    setAutoFillBackground(true);
    {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, pal.color(QPalette::Button));
        setPalette(pal);
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer); // closes one whole interval after activation, not early
    connect(Timer1, &QTimer::timeout, this, &IntroForm::Timer1_Timer);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(designFont(QStringLiteral("Times New Roman"), 14.25, QFont::Serif));
    QPalette pal = Label1->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label1->setPalette(pal);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setGeometry(twipsRect(this, FrameTwips + LabelLeftTwips, FrameTwips + LabelTopTwips, 750, 315));
    setCaption(QStringLiteral("Label1"));
    Label1->installEventFilter(this);

    setFixedSize(twips(this, ClientWidthTwips + 2 * FrameTwips), twips(this, ClientHeightTwips + 2 * FrameTwips));
}

QString IntroForm::labelCaption()
{
    QString title = ProgramTitle;
    title.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return title + QStringLiteral(", v") + VersionText() + QStringLiteral(" - ") + ReleaseDate + QStringLiteral(" / QX");
}

void IntroForm::setCaption(const QString& caption)
{
    // The label grows with its caption, so that the window's width can follow it.
    m_caption = caption;
    // Without a buddy the label draws its text as it is, and screen readers read that same
    // text, the one "&" included.
    Label1->setText(captionToLabelText(caption));
    Label1->adjustSize();
}

void IntroForm::prepare(int intervalMs)
{
    Timer1->setInterval(intervalMs);
    setCaption(labelCaption());
    setFixedWidth(Label1->width() + twips(this, WidthBesideLabelTwips));
    centreOnScreen(this);
}

bool IntroForm::event(QEvent* event)
{
    const bool result = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return result;
}

void IntroForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    activateWindow();
    QTimer::singleShot(ActivationGraceMs, this, [this] { Form_Activate(); });
}

void IntroForm::Form_Activate()
{
    if (m_activated || m_closing)
        return;
    m_activated = true;
    QApplication::processEvents();
    if (!m_closing)
        Timer1->start();
}

void IntroForm::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    const int width = qMax(1, twips(this, FrameTwips));
    qDrawWinPanel(&painter, rect(), palette(), false);
    if (width > 2)
        qDrawPlainRect(&painter, rect().adjusted(2, 2, -2, -2), palette().color(QPalette::Button), width - 2);
}

// A click is a press and a release on the same place: the label or the window beside it.
void IntroForm::mousePressEvent(QMouseEvent* event)
{
    m_pressedOnWindow = event->button() == Qt::LeftButton;
    QDialog::mousePressEvent(event);
}

void IntroForm::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_pressedOnWindow && event->button() == Qt::LeftButton
        && rect().contains(event->position().toPoint());
    m_pressedOnWindow = false;
    if (click)
        Form_Click();
    else
        QDialog::mouseReleaseEvent(event);
}

bool IntroForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label1) {
        if (event->type() == QEvent::MouseButtonPress) {
            m_pressedOnLabel = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const bool click = m_pressedOnLabel && mouse->button() == Qt::LeftButton
                && Label1->rect().contains(mouse->position().toPoint());
            m_pressedOnLabel = false;
            if (click)
                Label1_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// The splash has no keys of its own: Escape and Enter do not close it.
void IntroForm::keyPressEvent(QKeyEvent* event)
{
    event->accept();
}

void IntroForm::Form_Click()
{
    Label1_Click();
}

void IntroForm::Timer1_Timer()
{
    Label1_Click();
}

void IntroForm::Label1_Click()
{
    Timer1->stop();
    if (m_closing)
        return;
    m_closing = true;
    done(QDialog::Accepted);
}

} // namespace vrx

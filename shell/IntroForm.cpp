#include "IntroForm.h"

#include "Application.h"
#include "Identity.h"
#include "Twips.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>

namespace vrx {

namespace {
constexpr int FrameTwips = 45;
constexpr int ClientWidthTwips = 2025;
constexpr int ClientHeightTwips = 810;
} // namespace

IntroForm::IntroForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("IntroForm"));
    // No title bar, a thin fixed frame, and no taskbar entry.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::Tool);
    setWindowModality(Qt::ApplicationModal);
    setAccessibleName(ProgramTitle);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(false);
    connect(Timer1, &QTimer::timeout, this, &IntroForm::Timer1_Timer);

    Label1 = new QLabel(QStringLiteral("Label1"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont serif(QStringLiteral("Times New Roman"));
    serif.setStyleHint(QFont::Serif);
    serif.setPointSizeF(14.25);
    Label1->setFont(serif);
    QPalette pal = Label1->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label1->setPalette(pal);
    Label1->move(twips(this, 240) - twips(this, FrameTwips), twips(this, 240) - twips(this, FrameTwips));
    Label1->adjustSize();
    Label1->installEventFilter(this);

    setFixedSize(twips(this, ClientWidthTwips + 2 * FrameTwips), twips(this, ClientHeightTwips + 2 * FrameTwips));
    setStyleSheet(QStringLiteral("vrx--IntroForm { border: %1px solid palette(dark); }").arg(twips(this, FrameTwips)));
}

QString IntroForm::labelCaption()
{
    QString title = ProgramTitle;
    title.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return title + QStringLiteral(", v") + VersionText() + QStringLiteral(" - ") + ReleaseDate + QStringLiteral(" / QX");
}

void IntroForm::prepare(int seconds)
{
    const qint16 interval = static_cast<qint16>(seconds * 1000);
    Timer1->setInterval(interval);
    // QLabel shows "&" literally; the doubled caption is turned back into what the user sees.
    QString shown = labelCaption();
    shown.replace(QStringLiteral("&&"), QStringLiteral("&"));
    Label1->setText(shown);
    Label1->adjustSize();
    const int outerWidth = Label1->width() + twips(this, 600);
    setFixedWidth(outerWidth);
    // Centred on the screen with its new width.
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - rect().center());
    }
}

bool IntroForm::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && !m_activated) {
        m_activated = true;
        Form_Activate();
    }
    return QDialog::event(event);
}

void IntroForm::Form_Activate()
{
    QApplication::processEvents();
    Timer1->start();
}

void IntroForm::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Form_Click();
    QDialog::mousePressEvent(event);
}

bool IntroForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label1 && event->type() == QEvent::MouseButtonPress) {
        Label1_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
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
    done(QDialog::Accepted);
}

} // namespace vrx

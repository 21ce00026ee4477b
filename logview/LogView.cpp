#include "logview/LogView.h"

#include "platform/FormStyle.h"
#include "platform/Identity.h"
#include "platform/LogFiles.h"
#include "logview/SelectedText.h"
#include "platform/Platform.h"
#include "platform/Twips.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QLocale>

#include <algorithm>
#include <array>
#include <new>
#include <utility>

namespace vrx {

namespace {

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

LogView::LogView(Platform& platform, QWidget* parent) : QWidget(parent), m_platform(platform)
{
    setObjectName(QStringLiteral("LogView"));
    setFixedSize(twips(this, LogViewWidth), twips(this, LogViewHeight));
    buildControls();
}

LogView::~LogView() = default;

void LogView::buildControls()
{
    const QFont sansFont = font();
    const QColor buttonFace = palette().color(QPalette::Button);

    TestFrame = new QFrame(this);
    TestFrame->setObjectName(QStringLiteral("TestFrame"));
    TestFrame->setAccessibleName(tr("Test status"));
    TestFrame->setFrameShape(QFrame::Box);
    TestFrame->setFrameShadow(QFrame::Sunken);
    TestFrame->setGeometry(twipsRect(this, 120, 0, 9975, 1575));

    StatusList = new QListWidget(TestFrame);
    StatusList->setObjectName(QStringLiteral("StatusList"));
    StatusList->setAccessibleName(tr("Test status list"));
    StatusList->setGeometry(twipsRect(this, 3840, 240, 2175, 1185));
    StatusList->setFont(designFont(QStringLiteral("Courier New"), 9, QFont::TypeWriter));
    {
        QPalette pal = StatusList->palette();
        pal.setColor(QPalette::Base, buttonFace);
        StatusList->setPalette(pal);
    }

    Label3 = makeLabel(TestFrame, QStringLiteral("Label3"), QStringLiteral("Test Status: "));
    Label3->setFont(designFont(QStringLiteral("MS Sans Serif"), 12, QFont::SansSerif));
    Label3->setGeometry(twipsRect(this, 2400, 240, 1350, 300));
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The counters form one array: objectName "Label2_<index>", with the index as a property.
    // Their accessible name is their number; the caption to their left labels them.
    const QString counterDescription[3] = {tr("Number of passed tests"), tr("Number of failed tests"),
                                           tr("Number of not applicable tests")};
    const int counterTop[3] = {240, 600, 960};
    const int counterWidth[3] = {450, 495, 495};
    for (int i = 0; i < 3; ++i) {
        Label2[i] = makeLabel(TestFrame, QStringLiteral("Label2_%1").arg(i), QStringLiteral("0"));
        Label2[i]->setProperty("index", i);
        Label2[i]->setAccessibleDescription(counterDescription[i]);
        Label2[i]->setGeometry(twipsRect(this, 6720, counterTop[i], counterWidth[i], 195));
        Label2[i]->setFont(sansFont);
    }

    // The three captions size themselves to their text, from a fixed top-left corner.
    auto placeCaption = [this, &sansFont](QLabel* label, int top, QLabel* counter) {
        label->setFont(sansFont);
        label->adjustSize();
        label->move(twips(this, 6240), twips(this, top));
        label->setBuddy(counter); // no access key; tells screen readers what the number is
    };
    Label4 = makeLabel(TestFrame, QStringLiteral("Label4"), QStringLiteral("Pass:"));
    Label5 = makeLabel(TestFrame, QStringLiteral("Label5"), QStringLiteral("Fail:"));
    Label6 = makeLabel(TestFrame, QStringLiteral("Label6"), QStringLiteral("N/A:"));
    placeCaption(Label4, 240, Label2[0]);
    placeCaption(Label5, 600, Label2[1]);
    placeCaption(Label6, 960, Label2[2]);
    // Screen readers read each caption as it is shown; the abbreviation is spelled out beside it.
    Label6->setAccessibleDescription(tr("Not applicable"));

    Display = new LogTextView(this);
    Display->setObjectName(QStringLiteral("Display"));
    Display->setAccessibleName(tr("Log text"));
    Display->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Display->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Display->setFont(designFont(QStringLiteral("Courier"), 9.75, QFont::TypeWriter));
    {
        QPalette pal = Display->palette();
        pal.setColor(QPalette::Base, buttonFace);
        Display->setPalette(pal);
    }
    Display->setGeometry(twipsRect(this, 120, DisplayCoveredTop, 9975, DisplayCoveredHeight));
    Display->raise(); // in front of the status area

    // Logs dropped on the view are the window's to open; the read-only text box leaves them.
    Display->setAcceptDrops(false);
    Display->viewport()->setAcceptDrops(false);

    // Keyboard order: only Display and StatusList take the focus, Display first.
    TestFrame->setFocusPolicy(Qt::NoFocus);
    Display->setFocusPolicy(Qt::StrongFocus);
    StatusList->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(Display, StatusList);
    Display->setFocus();
    connect(Display, &LogTextView::copyRefused, this, [this](qint64 characters) {
        m_platform.messageBox(window(), copyRefusedText(characters), ProgramTitle, MessageButtons::Ok,
                              MessageIcon::Information);
    });
}

QString copyRefusedText(qint64 characters)
{
    const QLocale locale;
    return QStringLiteral("The selection is too large to copy: it holds %1 characters, and at most %2 can be "
                          "copied at once.")
        .arg(locale.toString(characters), locale.toString(MaxTextRequest));
}

void LogView::openFromDialog(const QString& startFolder)
{
    OpenFileRequest request;
    request.fileName = QStringLiteral("*.log");
    // DOS media carry upper-case names; the one "*.log" entry lists both.
    request.filter = QStringLiteral("Log Files (*.log *.LOG)");
    request.initialDir = startFolder;
    request.title = QStringLiteral("Log File");
    const std::optional<OpenFileResult> choice = m_platform.openFile(window(), request);
    if (!choice)
        return;
    open(choice->fullPath);
}

void LogView::open(const QString& fullPath)
{
    // The folder is told at once, also when reading fails afterwards.
    const QString folder = folderOfPath(fullPath);
    if (!folder.isEmpty())
        emit folderChosen(folder);

    DisplayLines lines;
    const LogRead log = readLogLines(fullPath, lines);
    if (!log.opened) {
        m_platform.messageBox(window(), logReadMessage(*log.failure), ProgramTitle, MessageButtons::Ok,
                              MessageIcon::Information);
        return;
    }
    resetDisplay();
    try {
        Display->setLines(std::move(lines));
    } catch (const std::bad_alloc&) {
        // The text was read but cannot be shown: nothing of it stays, and the user is told.
        resetDisplay();
        m_platform.messageBox(window(), logReadMessage({LogFailure::Kind::OutOfMemory, nativePathBytes(fullPath).toStdString(), 0, {}}),
                              ProgramTitle, MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    if (log.failure) {
        // The lines read so far stay; nothing is printable, so a part is never taken for the whole.
        m_platform.messageBox(window(), logReadMessage(*log.failure), ProgramTitle, MessageButtons::Ok,
                              MessageIcon::Information);
        return;
    }

    m_logFileName = QFileInfo(fullPath).fileName();
    m_platform.processEvents();
    Display->setFocus();
    emit printableChanged(true);
    emit logOpened();

    StatusList->clear();
    for (int i = 0; i < 3; ++i) {
        m_testCounts[i] = 0;
        Label2[i]->setText(QStringLiteral("0"));
    }

    StatusFileResult status = readStatusFile(statusFilePath(fullPath));
    StatusList->addItems(status.items);
    m_testCounts = status.counts;
    if (!status.ok()) {
        statusError(*status.errorLine);
        return;
    }
    for (int i = 0; i < 3; ++i)
        Label2[i]->setText(QString::number(m_testCounts[i]));
    QLabel* failCounter = Label2[1];
    QPalette palette = failCounter->palette();
    palette.setColor(QPalette::WindowText, m_testCounts[1] != 0
                                               ? QColor(255, 0, 0)
                                               : QApplication::palette(failCounter).color(QPalette::ButtonText));
    failCounter->setPalette(palette);
    emit statusAvailableChanged(true);
}

void LogView::statusError(const QString& firstLine)
{
    coverStatus();
    m_platform.messageBox(window(), statusErrorMessage(firstLine), StatusErrorTitle, MessageButtons::Ok,
                          MessageIcon::Information);
}

void LogView::coverStatus()
{
    placeDisplay(DisplayCoveredTop, DisplayCoveredHeight);
    m_statusShown = false;
    emit statusAvailableChanged(false);
    emit statusShownChanged(false);
}

void LogView::setStatusShown(bool shown)
{
    if (shown)
        placeDisplay(DisplayShownTop, DisplayShownHeight);
    else
        placeDisplay(DisplayCoveredTop, DisplayCoveredHeight);
    m_statusShown = shown;
    emit statusShownChanged(m_statusShown);
}

bool LogView::clear()
{
    if (!clearScreenQuery())
        return false;
    resetDisplay();
    coverStatus();
    return true;
}

bool LogView::clearScreenQuery()
{
    if (Display->isEmpty())
        return true;
    const MessageResult answer = m_platform.messageBox(
        window(),
        QStringLiteral("This will clear screen and (re)set all test status.") + NewLine
            + QStringLiteral("Do you want to continue ?"),
        QStringLiteral("Create Log File"), MessageButtons::YesNo, MessageIcon::Question);
    return answer != MessageResult::No;
}

void LogView::resetDisplay()
{
    Display->clear();
    m_logFileName.clear();
    emit printableChanged(false);
}

bool LogView::findNext(const FindRequest& request, QWidget* dialogParent)
{
    // The search runs over the lines in memory, from the selection on. It does not wrap
    // round: it stops at the end (or, going up, at the start) and says the text cannot be
    // found, so that the user knows every match has been passed. Moving the cursor to the
    // other end starts the search again.
    const qint64 from = request.down ? Display->selectionEnd() : Display->selectionStart();
    try {
        const std::optional<std::uint64_t> match =
            findInLines(Display->lines(), request.text, std::uint64_t(from), request.matchCase, request.down);
        if (!match) {
            // A long text (the field takes 32,767 characters) is shown by its start, so that the
            // message stays a line or two and its button on the screen.
            constexpr qsizetype Shown = 80;
            QString text = request.text;
            if (text.size() > Shown) {
                qsizetype cut = Shown - 1;
                if (text.at(cut - 1).isHighSurrogate())
                    --cut;
                text = text.left(cut) + QChar(0x2026);
            }
            m_platform.messageBox(dialogParent ? dialogParent : window(),
                                  QStringLiteral("Cannot find \"") + text + QLatin1Char('"'), ProgramTitle,
                                  MessageButtons::Ok, MessageIcon::Information);
            return false;
        }
        // Showing the match lays out its line, which may be a huge one.
        Display->setSelection(qint64(*match), qint64(*match) + request.text.size());
        return true;
    } catch (const std::bad_alloc&) {
        m_platform.messageBox(dialogParent ? dialogParent : window(),
                              QStringLiteral("There is not enough memory to search the log."), ProgramTitle,
                              MessageButtons::Ok, MessageIcon::Information);
        return false;
    }
}

QRect LogView::selectedRowOnScreen() const
{
    const QRect character = Display->characterRect(Display->selectionStart());
    if (character.isEmpty())
        return {};
    return QRect(Display->viewport()->mapToGlobal(QPoint(0, character.top())),
                 QSize(Display->viewport()->width(), character.height()));
}

QString LogView::displayText() const
{
    return decodeWindows1252(Display->lines().text());
}

void LogView::placeDisplay(int top, int height)
{
    const QRect place = twipsRect(Display, 0, top, 0, height);
    Display->setGeometry(Display->x(), place.y(), Display->width(), place.height());
}

QString folderOfPath(const QString& fullPath)
{
    qsizetype separator = fullPath.lastIndexOf(QLatin1Char('/'));
    if (QDir::separator() != QLatin1Char('/'))
        separator = std::max(separator, fullPath.lastIndexOf(QDir::separator()));
    if (separator < 0)
        return {};
    if (separator == 0)
        return QStringLiteral("/");
    return fullPath.left(separator);
}

} // namespace vrx

#include "logview/LogView.h"

#include "logview/LogLoad.h"
#include "logview/SelectedText.h"
#include "platform/FormStyle.h"
#include "platform/Identity.h"
#include "files/Files.h"
#include "platform/LogFiles.h"
#include "platform/Platform.h"
#include "platform/Twips.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
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
    m_readingTimer.setInterval(100);
    connect(&m_readingTimer, &QTimer::timeout, this, &LogView::showReading);
    m_findingTimer.setInterval(100);
    connect(&m_findingTimer, &QTimer::timeout, this, &LogView::showFinding);
    // A file changed on disk is noticed at once, also while the window is not used: a log that
    // grows while a test runs shows its new lines within a quarter second. The check asks the
    // system for the state of the log and its status file only.
    m_fileTimer.setInterval(250);
    connect(&m_fileTimer, &QTimer::timeout, this, &LogView::lookForChange);
    m_fileTimer.start();
}

// The threads of a reading or a search end with them; the lines shown tell no one any more.
LogView::~LogView()
{
    Display->lines().onChange({});
}

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
    connect(Display, &LogTextView::copyOutOfMemory, this, [this] {
        m_platform.messageBox(window(), tr("There is not enough memory to copy the selection."), ProgramTitle,
                              MessageButtons::Ok, MessageIcon::Information);
    });
    connect(Display, &LogTextView::copyRefusedChanged, this,
            [this] { refusedForChange(tr("Nothing was copied; open it again to copy it as it is now.")); });
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

    LogFailure failure;
    std::shared_ptr<LogSource> file = LogSource::open(systemName(fullPath), failure, m_heldSize);
    if (!file) {
        m_platform.messageBox(window(), logReadMessage(failure), ProgramTitle, MessageButtons::Ok,
                              MessageIcon::Information);
        return;
    }
    if (m_fileOpened)
        m_fileOpened(*file);
    // The log being read or searched gives way to this one.
    stopFinding();
    stopReading();
    m_pendingFind.reset();
    m_load = std::make_unique<LogLoad>(std::move(file));
    m_loadPath = fullPath;
    m_loadShown = false;
    m_blocksShown = 0;
    if (m_load->waitFor(AtOnce)) {
        finishReading();
        return;
    }
    // A long read: its first lines now, the rest as they are found, and how far it has come.
    connect(m_load.get(), &LogLoad::finished, this, &LogView::finishReading);
    resetDisplay();
    m_loadShown = true;
    // What is shown can be cleared, which also ends the reading.
    emit clearAvailableChanged(true);
    showReading();
    m_readingTimer.start();
}

bool LogView::isReading() const
{
    return m_load != nullptr;
}

void LogView::stopReading()
{
    m_readingTimer.stop();
    if (!m_load)
        return;
    m_load.reset();
    Display->hideProgress();
}

void LogView::showReading()
{
    if (!m_load)
        return;
    const size_t blocks = m_load->blocksFound();
    if (blocks != m_blocksShown) {
        m_blocksShown = blocks;
        try {
            // Reading on, the lines found so far are shown once they are more than those shown.
            DisplayLines lines = m_load->linesSoFar();
            if (!m_load->readsOn() || lines.count() > Display->lines().count())
                showLines(std::move(lines), true);
        } catch (const std::bad_alloc&) {
            // The lines show once they are all read, or the end says why they cannot.
        }
    }
    Display->showProgress(tr("Reading %p%"), tr("Reading the log"), int(m_load->fractionRead() * 100));
}

bool LogView::dialogOpen() const
{
    return QApplication::activeModalWidget() != nullptr || QApplication::activePopupWidget() != nullptr;
}

void LogView::finishReading()
{
    if (!m_load || !m_load->done())
        return;
    // The end of the reading may say something: not over a dialog that is open.
    if (dialogOpen()) {
        QTimer::singleShot(100, this, &LogView::finishReading);
        return;
    }
    m_readingTimer.stop();
    Display->hideProgress();
    // The reading's thread has ended; the object goes once this slot has returned.
    std::unique_ptr<LogLoad> load = std::move(m_load);
    QObject::disconnect(load.get(), nullptr, this, nullptr);
    if (load->readsOn()) {
        finishFollowing(std::move(load));
        return;
    }
    const LogRead log = load->result();
    const bool shown = m_loadShown;
    const QString fullPath = m_loadPath;
    const std::optional<FindRequest> pendingFind = std::exchange(m_pendingFind, std::nullopt);
    const QPointer<QWidget> pendingFindParent = m_pendingFindParent;
    const auto dropFind = [&] {
        if (pendingFind)
            m_platform.messageBox(pendingFindParent ? pendingFindParent.data() : window(),
                                  tr("The search for \"%1\" was not made: the log was not read whole.")
                                      .arg(pendingFind->text.left(80)),
                                  ProgramTitle, MessageButtons::Ok, MessageIcon::Information);
    };
    if (!load->startFailure().empty()) {
        // Nothing was read: the display stays as it was before, as after any failure to open.
        if (shown)
            resetDisplay();
        emit clearAvailableChanged(m_logOpenedOnce);
        m_platform.messageBox(window(),
                              tr("The log file \"%1\" could not be read: the system could not start the work "
                                 "for it (%2).")
                                  .arg(shownPath(fullPath), QString::fromStdString(load->startFailure())),
                              ProgramTitle, MessageButtons::Ok, MessageIcon::Information);
        dropFind();
        return;
    }
    if (!log.opened) {
        // Nothing of the log is shown when it could not be held.
        if (shown)
            resetDisplay();
        emit clearAvailableChanged(m_logOpenedOnce);
        m_platform.messageBox(window(), logReadMessage(*log.failure), ProgramTitle, MessageButtons::Ok,
                              MessageIcon::Information);
        dropFind();
        return;
    }
    DisplayLines lines = load->lines();
    const std::shared_ptr<LogSource> file = load->file();
    if (!shown)
        resetDisplay();
    try {
        showLines(std::move(lines), shown);
    } catch (const std::bad_alloc&) {
        // The text was read but cannot be shown: nothing of it stays, and the user is told.
        resetDisplay();
        emit clearAvailableChanged(m_logOpenedOnce);
        m_platform.messageBox(window(), logReadMessage({LogFailure::Kind::OutOfMemory, file->name(), 0, {}}),
                              ProgramTitle, MessageButtons::Ok, MessageIcon::Information);
        dropFind();
        return;
    }
    m_file = file;
    m_filePath = fullPath;
    m_changeTold = false;
    // A log read whole is followed as it grows; one that failed shows the lines before.
    m_index = log.failure ? nullptr : load->takeIndex();
    if (log.failure) {
        // The lines read so far stay; nothing is printable, so a part is never taken for the
        // whole. Clear is as it was before the log was opened, however long the reading took:
        // a long reading offered it to stop the reading.
        if (shown)
            emit clearAvailableChanged(m_logOpenedOnce);
        m_platform.messageBox(window(), logReadMessage(*log.failure), ProgramTitle, MessageButtons::Ok,
                              MessageIcon::Information);
        if (pendingFind && !Display->isEmpty())
            findNext(*pendingFind, pendingFindParent);
        else
            dropFind();
        return;
    }

    m_logFileName = QFileInfo(fullPath).fileName();
    m_platform.processEvents();
    Display->setFocus();
    emit printableChanged(true);
    m_logOpenedOnce = true;
    emit logOpened();

    StatusList->clear();
    for (int i = 0; i < 3; ++i) {
        m_testCounts[i] = 0;
        Label2[i]->setText(QStringLiteral("0"));
    }

    m_statusPath = statusFilePath(fullPath);
    files::stateOfPath(systemName(m_statusPath), m_statusState);
    m_statusErrorTold = false;
    showStatus(readStatusFile(m_statusPath));
    // A file that changed while it was read is said to have changed, once all else is done; one
    // that grew meanwhile is read on.
    lookForChange();
    if (pendingFind && m_file)
        findNext(*pendingFind, pendingFindParent);
}

void LogView::showLines(DisplayLines lines, bool grow)
{
    // A part of the log found changed when it is read again (for the screen, a screen reader, a
    // search or a printout) is told at once, from whichever thread found it.
    QPointer<LogView> view(this);
    lines.onChange([view] {
        QMetaObject::invokeMethod(view, [view] {
            if (view)
                view->lookForChange();
        }, Qt::QueuedConnection);
    });
    if (grow)
        Display->growLines(std::move(lines));
    else
        Display->setLines(std::move(lines));
}

void LogView::showStatus(const StatusFileResult& status)
{
    StatusList->clear();
    StatusList->addItems(status.items);
    m_testCounts = status.counts;
    if (!status.ok()) {
        for (int i = 0; i < 3; ++i)
            Label2[i]->setText(QStringLiteral("0"));
        // A status file that turns bad while it is followed is said to be so once.
        if (!m_statusErrorTold) {
            m_statusErrorTold = true;
            statusError(*status.errorLine);
        } else {
            coverStatus();
        }
        return;
    }
    m_statusErrorTold = false;
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

void LogView::lookForChange()
{
    if (!m_file || m_changeTold || m_load || Display->isEmpty())
        return;
    LogSource::Change change = m_file->change();
    // A part read again that no longer reads as it did is a change, whatever the file's times say.
    if (change == LogSource::Change::None && !Display->lines().intact())
        change = LogSource::Change::Rewritten;
    if (change == LogSource::Change::Appended && m_index && Display->lines().intact()) {
        // A test writing its log: what it added is read and shown, with no question.
        followLog();
        return;
    }
    if (change != LogSource::Change::None)
        tellChange(change);
    else
        followStatus();
}

void LogView::followStatus()
{
    if (m_statusPath.isEmpty() || dialogOpen())
        return;
    files::FileState now;
    files::stateOfPath(systemName(m_statusPath), now);
    if (now == m_statusState)
        return;
    m_statusState = now;
    showStatus(readStatusFile(m_statusPath));
}

void LogView::followLog()
{
    m_followAtEnd = Display->showsEnd();
    m_load = std::make_unique<LogLoad>(m_file, std::move(m_index));
    m_loadPath = m_filePath;
    m_loadShown = true;
    m_blocksShown = m_load->blocksFound();
    if (m_load->waitFor(AtOnce)) {
        finishReading();
        return;
    }
    // A large addition reads with its progress, as a log does.
    connect(m_load.get(), &LogLoad::finished, this, &LogView::finishReading);
    showReading();
    m_readingTimer.start();
}

void LogView::finishFollowing(std::unique_ptr<LogLoad> load)
{
    const LogRead log = load->result();
    const std::optional<FindRequest> pendingFind = std::exchange(m_pendingFind, std::nullopt);
    const QPointer<QWidget> pendingFindParent = m_pendingFindParent;
    if (!load->startFailure().empty() || !log.opened) {
        // Not read on: the lines stay as they were, and the log is followed no further.
        m_platform.messageBox(window(),
                              tr("The lines added to the log file \"%1\" could not be read: the system could not "
                                 "start the work for them (%2).")
                                  .arg(shownPath(m_filePath), QString::fromStdString(load->startFailure())),
                              ProgramTitle, MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    try {
        showLines(load->lines(), true);
    } catch (const std::bad_alloc&) {
        m_platform.messageBox(window(), logReadMessage({LogFailure::Kind::OutOfMemory, m_file->name(), 0, {}}),
                              ProgramTitle, MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    if (m_followAtEnd)
        Display->scrollToEnd();
    if (log.failure) {
        // The lines before the one that failed stay, and are followed no further.
        m_platform.messageBox(window(), logReadMessage(*log.failure), ProgramTitle, MessageButtons::Ok,
                              MessageIcon::Information);
    } else {
        m_index = load->takeIndex();
        m_file->takeStateIfRead();
    }
    followStatus();
    if (pendingFind)
        findNext(*pendingFind, pendingFindParent);
}

void LogView::tellChange(LogSource::Change change)
{
    if (m_changeTold || !m_file)
        return;
    if (dialogOpen()) {
        QTimer::singleShot(500, this, [this, change] { tellChange(change); });
        return;
    }
    m_changeTold = true;
    const QString shown = QLatin1Char('"') + shownPath(m_filePath) + QLatin1Char('"');
    // A held log, or a file that is still the one read (open, though replaced or deleted), shows
    // as it was read; of a large log rewritten or shortened, the parts that no longer read as
    // they did cannot be shown, copied, searched or printed.
    const bool kept = m_file->snapshot().sums == nullptr || change == LogSource::Change::Gone
        || change == LogSource::Change::Replaced || change == LogSource::Change::Appended;
    const QString keeps = kept ? tr("The window keeps showing it as it was read.")
                               : tr("The window keeps showing the parts of it that still read as they did; the others "
                                    "show as empty lines, and nothing of it can be copied, searched or printed.");
    if (change == LogSource::Change::Gone) {
        m_platform.messageBox(window(), tr("The log file %1 is no longer there.").arg(shown) + QLatin1Char('\n') + keeps,
                              ProgramTitle, MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    QString what;
    switch (change) {
    case LogSource::Change::Replaced:
        what = tr("The log file %1 has been replaced by another file since it was opened.");
        break;
    case LogSource::Change::Truncated:
        what = tr("The log file %1 has been shortened since it was opened.");
        break;
    case LogSource::Change::Appended:
        what = tr("The log file %1 has grown since it was opened.");
        break;
    default:
        what = tr("The log file %1 has changed since it was opened.");
        break;
    }
    const MessageResult answer = m_platform.messageBox(
        window(), what.arg(shown) + QLatin1Char('\n') + keeps + QLatin1Char('\n') + tr("Do you want to open it again?"),
        ProgramTitle, MessageButtons::YesNo, MessageIcon::Question);
    if (answer == MessageResult::Yes && m_file)
        open(m_filePath);
}

QString LogView::changedLogText(const QString& refused) const
{
    return tr("The log file %1 has changed since it was opened.").arg(QLatin1Char('"') + shownPath(m_filePath) + QLatin1Char('"'))
        + QLatin1Char('\n') + refused;
}

void LogView::refusedForChange(const QString& refused, QWidget* parent)
{
    // The change itself is told once, and says what can no longer be done; what the user asked
    // for afterwards is answered on its own.
    if (!m_changeTold && m_file) {
        const LogSource::Change change = m_file->change();
        tellChange(change == LogSource::Change::None ? LogSource::Change::Rewritten : change);
        return;
    }
    m_platform.messageBox(parent ? parent : window(), changedLogText(refused), ProgramTitle, MessageButtons::Ok,
                          MessageIcon::Information);
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
    stopFinding();
    stopReading();
    m_pendingFind.reset();
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
    Display->lines().onChange({});
    m_index.reset();
    m_statusPath.clear();
    Display->clear();
    m_logFileName.clear();
    m_file.reset();
    emit printableChanged(false);
}

bool LogView::findNext(const FindRequest& request, QWidget* dialogParent)
{
    // The search runs over the lines shown, from the selection on. It does not wrap round: it
    // stops at the end (or, going up, at the start) and says the text cannot be found, so that
    // the user knows every match has been passed. Moving the cursor to the other end starts the
    // search again.
    if (m_load) {
        // The lines are still being read: the search is made over all of them, once they are.
        m_pendingFind = request;
        m_pendingFindParent = dialogParent;
        return false;
    }
    return runFind(request, dialogParent);
}

bool LogView::findFailure(bool down, QWidget* dialogParent)
{
    // What those who read these logs look for first. The lines read so far are searched at once,
    // also while a large log is still being read.
    FindRequest request;
    request.text = QStringLiteral("FAIL");
    request.matchCase = true;
    request.wholeWord = true;
    request.selectLine = true;
    request.down = down;
    return runFind(request, dialogParent);
}

bool LogView::runFind(const FindRequest& request, QWidget* dialogParent)
{
    stopFinding();
    const qint64 from = request.down ? Display->selectionEnd() : Display->selectionStart();
    m_find = std::make_unique<FindRun>(Display->lines(), request, std::uint64_t(from));
    m_findParent = dialogParent;
    if (m_find->waitFor(AtOnce))
        return finishFinding();
    connect(m_find.get(), &FindRun::finished, this, [this] { finishFinding(); });
    showFinding();
    m_findingTimer.start();
    return false;
}

bool LogView::isFinding() const
{
    return m_find != nullptr;
}

void LogView::stopFinding()
{
    m_findingTimer.stop();
    if (!m_find)
        return;
    m_find.reset();
    Display->hideProgress();
}

void LogView::showFinding()
{
    if (m_find)
        Display->showProgress(tr("Finding %p%"), tr("Finding the text"), m_find->percent());
}

bool LogView::finishFinding()
{
    if (!m_find || !m_find->done())
        return false;
    if (dialogOpen()) {
        QTimer::singleShot(100, this, [this] { finishFinding(); });
        return false;
    }
    m_findingTimer.stop();
    Display->hideProgress();
    const std::unique_ptr<FindRun> run = std::move(m_find);
    QObject::disconnect(run.get(), nullptr, this, nullptr);
    QWidget* const parent = m_findParent ? m_findParent.data() : window();
    if (!run->startFailure().empty()) {
        m_platform.messageBox(parent,
                              tr("The search could not be made: the system could not start the work for it (%1).")
                                  .arg(QString::fromStdString(run->startFailure())),
                              ProgramTitle, MessageButtons::Ok, MessageIcon::Information);
        return false;
    }
    if (run->outOfMemory()) {
        m_platform.messageBox(parent, QStringLiteral("There is not enough memory to search the log."), ProgramTitle,
                              MessageButtons::Ok, MessageIcon::Information);
        return false;
    }
    if (!run->linesIntact()) {
        refusedForChange(tr("The search was not made; open it again to search it as it is now."), parent);
        return false;
    }
    const std::optional<std::uint64_t> match = run->match();
    const FindRequest& request = run->request();
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
        m_platform.messageBox(parent, QStringLiteral("Cannot find \"") + text + QLatin1Char('"'), ProgramTitle,
                              MessageButtons::Ok, MessageIcon::Information);
        return false;
    }
    try {
        // Showing the match lays out its line, which may be a huge one.
        if (request.selectLine)
            Display->selectLine(Display->lineOf(qint64(*match)));
        else
            Display->setSelection(qint64(*match), qint64(*match) + request.text.size());
    } catch (const std::bad_alloc&) {
        m_platform.messageBox(parent, QStringLiteral("There is not enough memory to search the log."), ProgramTitle,
                              MessageButtons::Ok, MessageIcon::Information);
        return false;
    }
    emit matchSelected();
    return true;
}

void LogView::keyPressEvent(QKeyEvent* event)
{
    // Esc stops a search that goes on.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && m_find) {
        stopFinding();
        return;
    }
    QWidget::keyPressEvent(event);
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

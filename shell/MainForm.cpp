#include "shell/MainForm.h"

#include "about/AboutForm.h"
#include "shell/Application.h"
#include "logview/FindForm.h"
#include "platform/FormStyle.h"
#include "shell/Icon.h"
#include "platform/Identity.h"
#include "shell/IntroForm.h"
#include "platform/NativePath.h"
#include "platform/Platform.h"
#include "print/PrintCommand.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include "logview/LogTextView.h"
#include <QUrl>

#include <sys/stat.h>

namespace vrx {

MainForm::MainForm(Platform& platform, QWidget* parent)
    : QMainWindow(parent), m_platform(platform), m_endProgram([] { QCoreApplication::quit(); })
{
    setObjectName(QStringLiteral("MainForm"));
    // The thin border of a fixed-size window on Windows, with no sizing frame or maximize box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(programIcon());
    setFont(designFont(QStringLiteral("MS Sans Serif"), 8.25, QFont::SansSerif));

    buildControls();
    buildMenus();
    // A fixed single border: the window keeps the size of its client area plus the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connectLogView();
    Form_Load();
}

MainForm::~MainForm() = default;

void MainForm::buildControls()
{
    m_logView = new LogView(m_platform, this);
    setCentralWidget(m_logView);
    Display = m_logView->Display;
    TestFrame = m_logView->TestFrame;
    StatusList = m_logView->StatusList;
    Label3 = m_logView->Label3;
    Label2 = m_logView->Label2;
    Label4 = m_logView->Label4;
    Label5 = m_logView->Label5;
    Label6 = m_logView->Label6;

    // A log dropped anywhere on the window opens like one chosen in the open dialog.
    setAcceptDrops(true);

    // The text box's own context menu, with "Find…" added.
    Display->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Display, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        const std::unique_ptr<QMenu> menu(displayContextMenu(position));
        menu->exec(Display->viewport()->mapToGlobal(position));
    });
}

void MainForm::connectLogView()
{
    // The menu items follow the log view: what it can print, clear and show.
    connect(m_logView, &LogView::printableChanged, PrintDisplay, &QAction::setEnabled);
    connect(m_logView, &LogView::logOpened, ClearTests, [this] { ClearTests->setEnabled(true); });
    connect(m_logView, &LogView::clearAvailableChanged, ClearTests, &QAction::setEnabled);
    connect(m_logView, &LogView::statusAvailableChanged, ShowTestStatus, &QAction::setEnabled);
    connect(m_logView, &LogView::statusShownChanged, ShowTestStatus, &QAction::setChecked);
    connect(m_logView, &LogView::folderChosen, this, [this](const QString& folder) { m_defaultDir = folder; });
    // The find window never hides the line it has just selected, also when the search ran on
    // while the window answered.
    connect(m_logView, &LogView::matchSelected, this, [this] {
        if (m_findForm)
            m_findForm->keepClearOf(m_logView->selectedRowOnScreen());
    });
}

void MainForm::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));
    bar->setNativeMenuBar(false);
    // Menus keep the desktop's menu font; the window's own font is for its controls.
    bar->setFont(QApplication::font(bar));

    F = bar->addMenu(tr("&File"));
    F->setObjectName(QStringLiteral("F"));
    LoadLogFile = F->addAction(tr("&Open File"), this, &MainForm::LoadLogFile_Click);
    LoadLogFile->setObjectName(QStringLiteral("LoadLogFile"));
    PrintDisplay = F->addAction(tr("&Print"), this, &MainForm::PrintDisplay_Click);
    PrintDisplay->setObjectName(QStringLiteral("PrintDisplay"));
    PrintDisplay->setEnabled(false);
    Fs01 = F->addSeparator();
    Fs01->setObjectName(QStringLiteral("Fs01"));
    FExit = F->addAction(tr("&Exit"), this, &MainForm::FExit_Click);
    FExit->setObjectName(QStringLiteral("FExit"));

    V = bar->addMenu(tr("&View"));
    V->setObjectName(QStringLiteral("V"));
    ShowTestStatus = V->addAction(tr("&Show Test Status"), this, &MainForm::ShowTestStatus_Click);
    ShowTestStatus->setObjectName(QStringLiteral("ShowTestStatus"));
    ShowTestStatus->setCheckable(true);
    ShowTestStatus->setEnabled(false);
    ClearTests = V->addAction(tr("&Clear Display/Status"), this, &MainForm::ClearTests_Click);
    ClearTests->setObjectName(QStringLiteral("ClearTests"));
    ClearTests->setEnabled(false);

    // "&About" is a command right on the menu bar, with no menu under it.
    AboutProg = bar->addAction(tr("&About"), this, &MainForm::AboutProg_Click);
    AboutProg->setObjectName(QStringLiteral("AboutProg"));

    // The find keys belong to the window, not to a menu: the menus stay as they are.
    FindInLog = new QAction(tr("Find…"), this);
    FindInLog->setObjectName(QStringLiteral("FindInLog"));
    FindInLog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    FindInLog->setShortcutContext(Qt::WindowShortcut);
    connect(FindInLog, &QAction::triggered, this, &MainForm::FindInLog_Click);
    addAction(FindInLog);
    FindAgain = new QAction(tr("Find Next"), this);
    FindAgain->setObjectName(QStringLiteral("FindAgain"));
    FindAgain->setShortcut(QKeySequence(Qt::Key_F3));
    FindAgain->setShortcutContext(Qt::WindowShortcut);
    connect(FindAgain, &QAction::triggered, this, &MainForm::FindAgain_Click);
    addAction(FindAgain);
    // From failure to failure: the lines that hold the word FAIL.
    NextFailure = new QAction(tr("Next Failure"), this);
    NextFailure->setObjectName(QStringLiteral("NextFailure"));
    NextFailure->setShortcut(QKeySequence(Qt::Key_F8));
    NextFailure->setShortcutContext(Qt::WindowShortcut);
    connect(NextFailure, &QAction::triggered, this, [this] { m_logView->findFailure(true); });
    addAction(NextFailure);
    PreviousFailure = new QAction(tr("Previous Failure"), this);
    PreviousFailure->setObjectName(QStringLiteral("PreviousFailure"));
    PreviousFailure->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8));
    PreviousFailure->setShortcutContext(Qt::WindowShortcut);
    connect(PreviousFailure, &QAction::triggered, this, [this] { m_logView->findFailure(false); });
    addAction(PreviousFailure);
}

QMenu* MainForm::displayContextMenu(const QPoint& position)
{
    QMenu* menu = Display->createStandardContextMenu(position);
    menu->addSeparator();
    menu->addAction(FindInLog);
    menu->addAction(NextFailure);
    menu->addAction(PreviousFailure);
    return menu;
}

void MainForm::Form_Load()
{
    setWindowTitle(mainCaption());
    m_savedDefaultDir = establishDefaultDir(m_platform);
    m_defaultDir = m_savedDefaultDir;
}

bool MainForm::event(QEvent* event)
{
    const bool result = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return result;
}

void MainForm::showEvent(QShowEvent* event)
{
    // Centred on the screen at the first showing only; the user may move it afterwards.
    if (!m_placed) {
        m_placed = true;
        centreOnScreen(this);
    }
    QMainWindow::showEvent(event);
}

void MainForm::Form_Activate()
{
    if (m_introShown) {
        // Back in the window: the log shown may have changed on disk meanwhile.
        m_logView->lookForChange();
        return;
    }
    m_introShown = true;
    Intro(3);
    // The splash has no owner; hand the input back to this window once it is gone.
    if (isVisible())
        activateWindow();
    if (!m_startLog.isEmpty()) {
        const QString path = std::exchange(m_startLog, QString());
        m_logView->open(path);
    }
}

void MainForm::Intro(int seconds)
{
    // Timer intervals are 16-bit signed milliseconds: 32 seconds at most. Out-of-range
    // values are held to that range rather than wrapping round to a negative interval.
    const int intervalMs = qBound(0, seconds, 32) * 1000;
    IntroForm intro; // no owner: centred on the screen, modal for the whole program
    intro.prepare(intervalMs);
    intro.exec();
}

QString MainForm::droppedLogPath(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return {};
    // One log at a time: a drop of several files is refused, as the pointer shows, rather than
    // opening one of them and passing over the others without a word.
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1)
        return {};
    // Only a file of this machine: file:///path or file://localhost/path. A file on another
    // host (file://otherhost/path) is not the local /path.
    const QUrl& url = urls.constFirst();
    if (!url.isLocalFile()
        || !(url.host().isEmpty() || url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0))
        return {};
    // The address carries the name's bytes percent-encoded; Qt's own decoding would turn a
    // Latin-1 name into replacement characters, naming no file.
    const QString path = pathFromNativeBytes(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    struct stat st {};
    const bool isFile = ::stat(nativePathBytes(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
    return isFile ? QDir::toNativeSeparators(path) : QString();
}

// A dropped log is only read: the drop is taken as a copy, or as a link where the source offers
// no copy, never as a move, after which the source would delete its file.
static bool acceptAsCopy(QDropEvent* event)
{
    if (event->possibleActions() & Qt::CopyAction)
        event->setDropAction(Qt::CopyAction);
    else if (event->possibleActions() & Qt::LinkAction)
        event->setDropAction(Qt::LinkAction);
    else
        return false;
    event->accept();
    return true;
}

void MainForm::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedLogPath(event->mimeData()).isEmpty())
        acceptAsCopy(event);
}

void MainForm::dragMoveEvent(QDragMoveEvent* event)
{
    // Each move may bring another proposal (Shift asks for a move); the answer stays a copy.
    if (!droppedLogPath(event->mimeData()).isEmpty())
        acceptAsCopy(event);
    else
        event->ignore();
}

void MainForm::dropEvent(QDropEvent* event)
{
    const QString path = droppedLogPath(event->mimeData());
    if (path.isEmpty() || !acceptAsCopy(event))
        return;
    // Opened exactly as a file chosen in the open dialog.
    m_logView->open(path);
}

void MainForm::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void MainForm::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A log still being read or searched stops here, at once.
    m_logView->stopFinding();
    m_logView->stopReading();
    saveDefaultDirIfChanged(m_platform, m_savedDefaultDir, m_defaultDir);
    // Ends the program at once; any other window goes with it.
    if (m_endProgram)
        m_endProgram();
}

void MainForm::LoadLogFile_Click()
{
    m_logView->openFromDialog(m_defaultDir);
}

void MainForm::PrintDisplay_Click()
{
    // The lines shown now: a log followed as it grows shows more meanwhile, and the printout is
    // of what was shown when Print was chosen. A copy shares the index and the bytes.
    const DisplayLines lines = m_logView->displayLines();
    if (vrx::PrintDisplay_Click(m_platform, this, lines, m_logView->logFileName()) == vrx::PrintOutcome::LogChanged)
        m_logView->refusedForChange(
            tr("The copy being printed was dropped before it reached the printer; open it again to print it as it is now."));
}

void MainForm::FExit_Click()
{
    close();
}

void MainForm::ShowTestStatus_Click()
{
    // The state is the view's, not read from the check mark: a checkable menu item has
    // already turned its mark over when its handler runs.
    m_logView->setStatusShown(!m_logView->isStatusShown());
}

void MainForm::ClearTests_Click()
{
    m_logView->clear();
}

void MainForm::AboutProg_Click()
{
    vrx::AboutProg_Click(m_platform, this);
}

void MainForm::FindInLog_Click()
{
    if (!m_findForm) {
        m_findForm = new FindForm(this);
        connect(m_findForm, &FindForm::findNextRequested, this,
                [this](const FindRequest& request) { findNext(request, m_findForm); });
        // Esc (Cancel) in the find window also stops a search that goes on.
        connect(m_findForm, &QDialog::rejected, m_logView, &LogView::stopFinding);
    }
    m_findForm->showFind();
}

void MainForm::FindAgain_Click()
{
    const FindRequest request = m_findForm ? m_findForm->lastRequest() : FindRequest{};
    if (request.text.isEmpty())
        FindInLog_Click();
    else
        findNext(request, nullptr);
}

void MainForm::findNext(const FindRequest& request, QWidget* dialogParent)
{
    m_logView->findNext(request, dialogParent);
}

} // namespace vrx

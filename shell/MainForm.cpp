#include "MainForm.h"

#include "AboutForm.h"
#include "Application.h"
#include "FindForm.h"
#include "FormStyle.h"
#include "Icon.h"
#include "Identity.h"
#include "IntroForm.h"
#include "NativePath.h"
#include "Platform.h"
#include "PrintCommand.h"
#include "Twips.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QUrl>

#include <sys/stat.h>

namespace vrx {

namespace {

// Client area under the menu bar, in twips.
constexpr int ClientWidth = 10215;
constexpr int ClientHeight = 8265;

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

MainForm::MainForm(Platform& platform, QWidget* parent)
    : QMainWindow(parent), m_platform(platform), m_endProgram([] { QCoreApplication::quit(); })
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(programIcon());
    setFont(designFont(QStringLiteral("MS Sans Serif"), 8.25, QFont::SansSerif));

    buildControls();
    buildMenus();
    // A fixed single border: the window keeps the size of its client area plus the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    LogViewWidgets widgets;
    widgets.window = this;
    widgets.display = Display;
    widgets.statusList = StatusList;
    widgets.counters = Label2;
    widgets.printDisplay = PrintDisplay;
    widgets.clearTests = ClearTests;
    widgets.showTestStatus = ShowTestStatus;
    m_logView = std::make_unique<LogViewCommands>(m_platform, widgets);

    Form_Load();
}

MainForm::~MainForm() = default;

void MainForm::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(this, ClientWidth), twips(this, ClientHeight));
    setCentralWidget(client);

    const QFont sansFont = font();
    const QColor buttonFace = palette().color(QPalette::Button);

    TestFrame = new QFrame(client);
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
    auto placeCaption = [this](QLabel* label, int top, QLabel* counter) {
        label->setFont(font());
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

    Display = new QPlainTextEdit(client);
    Display->setObjectName(QStringLiteral("Display"));
    Display->setAccessibleName(tr("Log text"));
    Display->setReadOnly(true);
    Display->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Display->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Display->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Display->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Display->setTabChangesFocus(true);
    Display->setFont(designFont(QStringLiteral("Courier"), 9.75, QFont::TypeWriter));
    {
        QPalette pal = Display->palette();
        pal.setColor(QPalette::Base, buttonFace);
        Display->setPalette(pal);
    }
    Display->setGeometry(twipsRect(this, 120, 0, 9975, 8160));
    Display->raise(); // in front of the status area

    // A log dropped anywhere on the window opens like one chosen in the open dialog; the
    // read-only text box leaves drops to the window.
    Display->setAcceptDrops(false);
    Display->viewport()->setAcceptDrops(false);
    setAcceptDrops(true);

    // The text box's own context menu, with "Find…" added.
    Display->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Display, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        const std::unique_ptr<QMenu> menu(displayContextMenu(position));
        menu->exec(Display->viewport()->mapToGlobal(position));
    });

    // Keyboard order: only Display and StatusList take the focus, Display first.
    TestFrame->setFocusPolicy(Qt::NoFocus);
    Display->setFocusPolicy(Qt::StrongFocus);
    StatusList->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(Display, StatusList);
    Display->setFocus();
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
}

QMenu* MainForm::displayContextMenu(const QPoint& position)
{
    QMenu* menu = Display->createStandardContextMenu(position);
    menu->addSeparator();
    menu->addAction(FindInLog);
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
    if (m_introShown)
        return;
    m_introShown = true;
    Intro(3);
    // The splash has no owner; hand the input back to this window once it is gone.
    if (isVisible())
        activateWindow();
    if (!m_startLog.isEmpty()) {
        const QString path = std::exchange(m_startLog, QString());
        m_logView->openChosenLog(path, QFileInfo(path).fileName(), m_defaultDir);
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
    if (!mime || !mime->hasUrls() || mime->urls().isEmpty())
        return {};
    const QUrl url = mime->urls().constFirst();
    if (!url.isLocalFile())
        return {};
    // The address carries the name's bytes percent-encoded; Qt's own decoding would turn a
    // Latin-1 name into replacement characters, naming no file.
    const QString path = pathFromNativeBytes(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    struct stat st {};
    const bool isFile = ::stat(nativePathBytes(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
    return isFile ? QDir::toNativeSeparators(path) : QString();
}

void MainForm::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedLogPath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainForm::dropEvent(QDropEvent* event)
{
    const QString path = droppedLogPath(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened exactly as a file chosen in the open dialog.
    m_logView->openChosenLog(path, QFileInfo(path).fileName(), m_defaultDir);
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
    saveDefaultDirIfChanged(m_platform, m_savedDefaultDir, m_defaultDir);
    // Ends the program at once; any other window goes with it.
    if (m_endProgram)
        m_endProgram();
}

void MainForm::LoadLogFile_Click()
{
    m_logView->LoadLogFile_Click(m_defaultDir);
}

void MainForm::PrintDisplay_Click()
{
    vrx::PrintDisplay_Click(m_platform, this, [this](const auto& take) { m_logView->forEachDisplayPiece(take); });
}

void MainForm::FExit_Click()
{
    close();
}

void MainForm::ShowTestStatus_Click()
{
    m_logView->ShowTestStatus_Click();
}

void MainForm::ClearTests_Click()
{
    m_logView->ClearTests_Click();
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
                [this](const FindRequest& request) { m_logView->FindNext(request, m_findForm); });
    }
    m_findForm->showFind();
}

void MainForm::FindAgain_Click()
{
    const FindRequest request = m_findForm ? m_findForm->lastRequest() : FindRequest{};
    if (request.text.isEmpty())
        FindInLog_Click();
    else
        m_logView->FindNext(request);
}

} // namespace vrx

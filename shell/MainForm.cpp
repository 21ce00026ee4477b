#include "MainForm.h"

#include "AboutForm.h"
#include "Application.h"
#include "Icon.h"
#include "IntroForm.h"
#include "Platform.h"
#include "PrintCommand.h"
#include "Twips.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>

namespace vrx {

namespace {

// Client area under the menu bar, in twips.
constexpr int ClientWidth = 10215;
constexpr int ClientHeight = 8265;

QFont designFont(const QString& family, qreal points, QFont::StyleHint hint)
{
    QFont font(family);
    font.setPointSizeF(points);
    font.setStyleHint(hint);
    if (hint == QFont::TypeWriter)
        font.setFixedPitch(true);
    return font;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, const QString& accessible)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setAccessibleName(accessible);
    return label;
}

} // namespace

MainForm::MainForm(Platform& platform, QWidget* parent) : QMainWindow(parent), m_platform(platform)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(programIcon());
    setFont(designFont(QStringLiteral("MS Sans Serif"), 8.25, QFont::SansSerif));

    buildControls();
    buildMenus();

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

    Label3 = makeLabel(TestFrame, "Label3", QStringLiteral("Test Status: "), tr("Test Status"));
    Label3->setFont(designFont(QStringLiteral("MS Sans Serif"), 12, QFont::SansSerif));
    Label3->setGeometry(twipsRect(this, 2400, 240, 1350, 300));
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    const char* counterNames[3] = {"Label2_0", "Label2_1", "Label2_2"};
    const QString counterAccessible[3] = {tr("Passed tests"), tr("Failed tests"), tr("Not applicable tests")};
    const int counterTop[3] = {240, 600, 960};
    const int counterWidth[3] = {450, 495, 495};
    for (int i = 0; i < 3; ++i) {
        Label2[i] = makeLabel(TestFrame, counterNames[i], QStringLiteral("0"), counterAccessible[i]);
        Label2[i]->setProperty("index", i);
        Label2[i]->setGeometry(twipsRect(this, 6720, counterTop[i], counterWidth[i], 195));
        Label2[i]->setFont(sansFont);
    }

    // The three captions size themselves to their text, from their designed top-left corner.
    auto placeCaption = [this](QLabel* label, int top) {
        label->setFont(font());
        label->adjustSize();
        label->move(twips(this, 6240), twips(this, top));
    };
    Label4 = makeLabel(TestFrame, "Label4", QStringLiteral("Pass:"), tr("Pass"));
    Label5 = makeLabel(TestFrame, "Label5", QStringLiteral("Fail:"), tr("Fail"));
    Label6 = makeLabel(TestFrame, "Label6", QStringLiteral("N/A:"), tr("Not applicable"));
    placeCaption(Label4, 240);
    placeCaption(Label5, 600);
    placeCaption(Label6, 960);

    Display = new QPlainTextEdit(client);
    Display->setObjectName(QStringLiteral("Display"));
    Display->setAccessibleName(tr("Log text"));
    Display->setReadOnly(true);
    Display->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Display->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Display->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Display->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Display->setFont(designFont(QStringLiteral("Courier"), 9.75, QFont::TypeWriter));
    {
        QPalette pal = Display->palette();
        pal.setColor(QPalette::Base, buttonFace);
        Display->setPalette(pal);
    }
    Display->setGeometry(twipsRect(this, 120, 0, 9975, 8160));
    Display->raise(); // in front of the status area

    // Keyboard order: only Display and StatusList take the focus, Display first.
    TestFrame->setFocusPolicy(Qt::NoFocus);
    setTabOrder(Display, StatusList);
    Display->setFocus();
}

void MainForm::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setNativeMenuBar(false);

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
}

void MainForm::Form_Load()
{
    setWindowTitle(mainCaption());
    m_savedDefaultDir = establishDefaultDir(m_platform);
    m_defaultDir = m_savedDefaultDir;
}

bool MainForm::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QMainWindow::event(event);
}

void MainForm::Form_Activate()
{
    if (m_introShown)
        return;
    m_introShown = true;
    Intro(3);
}

void MainForm::Intro(int seconds)
{
    IntroForm intro;
    intro.prepare(seconds);
    intro.exec();
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
    QCoreApplication::quit();
}

void MainForm::LoadLogFile_Click()
{
    m_logView->LoadLogFile_Click(m_defaultDir);
}

void MainForm::PrintDisplay_Click()
{
    vrx::PrintDisplay_Click(m_platform, this, m_logView->displayText());
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

} // namespace vrx

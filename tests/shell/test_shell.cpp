#include "shell/Application.h"
#include "logview/FindForm.h"
#include "tests/support/FormChecks.h"
#include "platform/Identity.h"
#include "platform/LogFiles.h"
#include "shell/IntroForm.h"
#include "shell/MainForm.h"
#include "tests/support/ScriptedPlatform.h"
#include "platform/Twips.h"
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFrame>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>

using namespace vrx;
using vrx::test::ScriptedPlatform;

namespace {

const QString Caption = QStringLiteral("View & Print VRX Log Files, v1.3 - Jan 2025 / QX");
const QString SettingKey = ScriptedPlatform::settingKey(SettingsAppName, QStringLiteral("Settings"),
                                                        QStringLiteral("DefaultPath"));

// Watches for the splash while a test runs and closes it with a click on its label, so that
// no test can hang in the splash's modal loop. Counts the splashes it has seen.
class SplashCloser : public QObject {
public:
    explicit SplashCloser(int delayMs = 30) : m_delayMs(delayMs)
    {
        connect(&m_poll, &QTimer::timeout, this, &SplashCloser::poll);
        m_poll.start(10);
    }
    int seen = 0;
    bool timerWasRunning = false;

private:
    void poll()
    {
        auto* splash = qobject_cast<IntroForm*>(QApplication::activeModalWidget());
        if (!splash || splash == m_current)
            return;
        m_current = splash;
        ++seen;
        QTimer::singleShot(m_delayMs, splash, [this, splash] {
            timerWasRunning = splash->timerStarted();
            QTest::mouseClick(splash->Label1, Qt::LeftButton);
        });
    }
    int m_delayMs;
    QTimer m_poll;
    QPointer<IntroForm> m_current;
};

// A main window on a scripted platform whose end-of-program step is only counted.
struct Harness {
    QTemporaryDir temp;
    ScriptedPlatform platform;
    int endProgramCalls = 0;

    Harness()
    {
        platform.env.insert(QStringLiteral("AppData"), temp.filePath(QStringLiteral("appdata")));
        platform.home = temp.filePath(QStringLiteral("home"));
        QDir().mkpath(platform.home);
    }
    QString dataFolder() const { return temp.filePath(QStringLiteral("appdata/VRX PV")); }
    // A file in the temporary folder with the given bytes.
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(temp.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    std::unique_ptr<MainForm> makeWindow()
    {
        auto window = std::make_unique<MainForm>(platform);
        window->setEndProgram([this] { ++endProgramCalls; });
        return window;
    }
};

QList<QWidget*> tabChain(QWidget* start)
{
    QList<QWidget*> chain;
    QWidget* w = start;
    do {
        if (w->focusPolicy() & Qt::TabFocus && w->isEnabled())
            chain.append(w);
        w = w->nextInFocusChain();
    } while (w && w != start && chain.size() < 50);
    return chain;
}

} // namespace

class TestShell : public QObject {
    Q_OBJECT
private slots:
    void caption()
    {
        QCOMPARE(mainCaption(), Caption);
        Harness h;
        auto w = h.makeWindow();
        QCOMPARE(w->windowTitle(), Caption);
    }

    void captionToLabelText_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shown");
        QTest::newRow("doubled ampersand") << "View && Print" << "View & Print";
        QTest::newRow("access key") << "&File" << "File";
        QTest::newRow("literal then key") << "a&&&b" << "a&b";
        QTest::newRow("trailing marker") << "end&" << "end";
        QTest::newRow("no ampersand") << "Label1" << "Label1";
        QTest::newRow("empty") << "" << "";
    }
    void captionToLabelText()
    {
        QFETCH(QString, caption);
        QFETCH(QString, shown);
        QCOMPARE(vrx::captionToLabelText(caption), shown);
    }

    // The folder the open dialog starts in, from the stored setting down to the home folder.
    void defaultDirChain_data()
    {
        QTest::addColumn<QString>("stored");      // "", "existing" or "missing"
        QTest::addColumn<bool>("dataFolderPresent");
        QTest::addColumn<QString>("expected");    // "stored", "data" or "home"
        QTest::newRow("stored folder exists") << "existing" << true << "stored";
        QTest::newRow("stored folder exists, no data folder") << "existing" << false << "stored";
        QTest::newRow("stored folder missing, data folder present") << "missing" << true << "data";
        QTest::newRow("stored folder missing, no data folder") << "missing" << false << "home";
        QTest::newRow("first run, data folder present") << "" << true << "data";
        QTest::newRow("first run, no data folder") << "" << false << "home";
    }
    void defaultDirChain()
    {
        QFETCH(QString, stored);
        QFETCH(bool, dataFolderPresent);
        QFETCH(QString, expected);

        Harness h;
        const QString storedFolder = h.temp.filePath(stored == QLatin1String("existing") ? "Logs" : "Gone");
        if (stored == QLatin1String("existing"))
            QVERIFY(QDir().mkpath(storedFolder));
        if (!stored.isEmpty())
            h.platform.settings.insert(SettingKey, storedFolder);
        if (dataFolderPresent)
            QVERIFY(QDir().mkpath(h.dataFolder()));

        const QString want = expected == QLatin1String("stored") ? storedFolder
            : expected == QLatin1String("data")                  ? QDir::toNativeSeparators(h.dataFolder())
                                                                 : h.platform.home;
        QCOMPARE(establishDefaultDir(h.platform), want);

        auto w = h.makeWindow();
        QCOMPARE(w->defaultDir(), want);
        QCOMPARE(w->savedDefaultDir(), want);
        // Nothing is written and nothing created at start.
        QCOMPARE(h.platform.settingWrites, 0);
        QCOMPARE(QFileInfo::exists(h.dataFolder()), dataFolderPresent);
        QCOMPARE(h.platform.settings.value(SettingKey).toString(), stored.isEmpty() ? QString() : storedFolder);
    }

    // The setting is written at unload only when DefaultDir changed, character by character.
    // A log dropped onto the window opens as if chosen in the open dialog.
    void dropOpensLikeTheOpenDialog_data()
    {
        QTest::addColumn<QStringList>("dropped");     // names in the temporary folder, or URLs
        QTest::addColumn<bool>("opens");
        QTest::newRow("one log") << QStringList{"run1.log"} << true;
        QTest::newRow("several: refused") << QStringList{"run1.log", "other.log"} << false;
        QTest::newRow("web address") << QStringList{"http://example.com/run1.log"} << false;
        QTest::newRow("this host by name") << QStringList{"file://localhost%1/run1.log"} << true;
        QTest::newRow("another host") << QStringList{"file://otherhost%1/run1.log"} << false;
        QTest::newRow("folder") << QStringList{"logs"} << false;
        QTest::newRow("missing file") << QStringList{"gone.log"} << false;
        QTest::newRow("Latin-1 name") << QStringList{"latin1"} << true;
    }
    void dropOpensLikeTheOpenDialog()
    {
        QFETCH(QStringList, dropped);
        QFETCH(bool, opens);
        Harness h;
        QVERIFY(QDir().mkpath(h.temp.filePath(QStringLiteral("logs"))));
        h.write(QStringLiteral("run1.log"), "\x0fone\r\n");
        h.write(QStringLiteral("run1.tst"), "1\r\n");
        h.write(QStringLiteral("other.log"), "other\r\n");

        // What "&Open File" shows for the same log.
        Harness chosen;
        chosen.platform.openAnswers.append(OpenFileResult{h.temp.filePath(QStringLiteral("run1.log")), QStringLiteral("run1.log")});
        auto reference = chosen.makeWindow();
        reference->LoadLogFile_Click();

        auto w = h.makeWindow();
        const QString before = w->defaultDir();
        QList<QUrl> urls;
        for (const QString& d : dropped) {
            if (d == QLatin1String("latin1")) {
                // A file manager sends the name's bytes percent-encoded: r\xe9s.log as r%E9s.log.
                const QByteArray folder = QFile::encodeName(h.temp.path());
                for (const char* name : {"/r\xe9s.log", "/r\xe9s.tst"}) {
                    QFile f;
                    QVERIFY(f.open(::creat((folder + name).constData(), 0644), QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
                    f.write(name[5] == 'l' ? "\x0fone\r\n" : "1\r\n");
                }
                urls += QUrl::fromEncoded("file://" + QUrl::toPercentEncoding(h.temp.path(), "/") + "/r%E9s.log");
                continue;
            }
            urls += d.contains(QLatin1String("://")) ? QUrl(QString(d).replace(QLatin1String("%1"), h.temp.path())) : QUrl::fromLocalFile(h.temp.filePath(d));
        }
        QMimeData mime;
        mime.setUrls(urls);
        // The file manager offers a move (Shift held); the log is only ever copied.
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::ShiftModifier);
        enter.setDropAction(Qt::MoveAction);
        QApplication::sendEvent(w.get(), &enter);
        QCOMPARE(enter.isAccepted(), opens);
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::ShiftModifier);
        drop.setDropAction(Qt::MoveAction);
        QApplication::sendEvent(w.get(), &drop);
        if (opens) {
            QCOMPARE(enter.dropAction(), Qt::CopyAction);
            QCOMPARE(drop.dropAction(), Qt::CopyAction);
        }

        if (opens) {
            QCOMPARE(w->logView().displayText(), reference->logView().displayText());
            QCOMPARE(w->defaultDir(), h.temp.path());
            QVERIFY(w->PrintDisplay->isEnabled());
            QVERIFY(w->ShowTestStatus->isEnabled());
            QCOMPARE(w->StatusList->count(), 1);
        } else {
            QVERIFY(w->logView().displayText().isEmpty());
            QCOMPARE(w->defaultDir(), before);
            QVERIFY(!w->PrintDisplay->isEnabled());
        }
        QVERIFY(h.platform.messages.isEmpty());
        QVERIFY(h.platform.openRequests.isEmpty());
    }

    // What the command line asks for; Qt's own options are passed over as QApplication takes them.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("logPath");
        QTest::addColumn<QString>("output");   // a line the output starts or ends with
        using A = CommandLine::Action;
        QTest::newRow("nothing") << QStringList{"vrxpv"} << int(A::Run) << QString() << QString();
        QTest::newRow("a log") << QStringList{"vrxpv", "run1.log"} << int(A::Run) << "run1.log" << QString();
        QTest::newRow("only the first counts") << QStringList{"vrxpv", "a.log", "b.log"} << int(A::Run) << "a.log" << QString();
        QTest::newRow("a name like an option after --") << QStringList{"vrxpv", "--", "-v"} << int(A::Run) << "-v" << QString();
        QTest::newRow("--help") << QStringList{"vrxpv", "--help"} << int(A::Help) << QString() << "Usage: vrxpv [options] [FILE]\n";
        QTest::newRow("-h") << QStringList{"vrxpv", "-h", "x.log"} << int(A::Help) << QString() << "Usage: vrxpv [options] [FILE]\n";
        QTest::newRow("--version") << QStringList{"vrxpv", "--version"} << int(A::Version) << QString() << "vrxpv 1.3 (Jan 2025)\n";
        QTest::newRow("unknown option") << QStringList{"vrxpv", "--bogus"} << int(A::Error) << QString()
                                        << "vrxpv: Unknown option 'bogus'.\n";
        QTest::newRow("Qt's option, left to QApplication") << QStringList{"vrxpv", "-reverse"} << int(A::Run) << QString() << QString();
        QTest::newRow("Qt's option with its value") << QStringList{"vrxpv", "-platform", "xcb", "run1.log"} << int(A::Run)
                                                    << "run1.log" << QString();
        QTest::newRow("Qt's option, then --version") << QStringList{"vrxpv", "-reverse", "--version"} << int(A::Version)
                                                     << QString() << "vrxpv 1.3 (Jan 2025)\n";
        QTest::newRow("--version=3") << QStringList{"vrxpv", "--version=3"} << int(A::Error) << QString()
                                     << "vrxpv: Unexpected value after '--version'.\n";
        QTest::newRow("--help=x") << QStringList{"vrxpv", "--help=x"} << int(A::Error) << QString()
                                  << "vrxpv: Unexpected value after '--help'.\n";
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, logPath);
        QFETCH(QString, output);
        const CommandLine line = parseCommandLine(arguments);
        QCOMPARE(int(line.action), action);
        QCOMPARE(line.logPath, logPath);
        QVERIFY2(line.output.startsWith(output) || line.output.endsWith(output), qPrintable(line.output));
    }

    // The log named on the command line opens after the splash, as "&Open File" opens it.
    void commandLineLogOpensLikeOpenFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("log and status file") << "run1.log";
        QTest::newRow("no status file") << "nostatus.log";
        QTest::newRow("missing file") << "gone.log";
    }
    void commandLineLogOpensLikeOpenFile()
    {
        QFETCH(QString, name);
        Harness h;
        h.write(QStringLiteral("run1.log"), "\x0fone\r\n");
        h.write(QStringLiteral("run1.tst"), "1,0,-1\r\n");
        h.write(QStringLiteral("nostatus.log"), "other\r\n");
        const QString path = h.temp.filePath(name);

        Harness chosen;
        chosen.platform.openAnswers.append(OpenFileResult{path, name});
        auto reference = chosen.makeWindow();
        reference->LoadLogFile_Click();

        SplashCloser closer;
        auto w = h.makeWindow();
        w->setStartLog(path);
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTRY_VERIFY(w->introShown() && QApplication::activeModalWidget() == nullptr);
        QTRY_COMPARE(h.platform.messages.size(), chosen.platform.messages.size());
        for (qsizetype i = 0; i < h.platform.messages.size(); ++i) {
            QCOMPARE(h.platform.messages[i].title, chosen.platform.messages[i].title);
            QCOMPARE(h.platform.messages[i].text, chosen.platform.messages[i].text);
        }
        QCOMPARE(w->logView().displayBytes(), reference->logView().displayBytes());
        QCOMPARE(w->StatusList->count(), reference->StatusList->count());
        QCOMPARE(w->PrintDisplay->isEnabled(), reference->PrintDisplay->isEnabled());
        QCOMPARE(w->defaultDir(), h.temp.path());
        QVERIFY(h.platform.openRequests.isEmpty());
        QVERIFY(w->LoadLogFile->isEnabled());
    }

    void saveAtUnload_data()
    {
        QTest::addColumn<QString>("newDir");   // relative to the start folder's parent; "" = unchanged
        QTest::addColumn<bool>("viaExit");     // "&Exit", else the window's close
        QTest::addColumn<bool>("written");
        QTest::newRow("unchanged, exit") << "" << true << false;
        QTest::newRow("unchanged, close") << "" << false << false;
        QTest::newRow("same folder again, exit") << "Logs" << true << false;
        QTest::newRow("other folder, exit") << "Other" << true << true;
        QTest::newRow("other folder, close") << "Other" << false << true;
        QTest::newRow("letter case differs, exit") << "logs" << true << true;
        QTest::newRow("letter case differs, close") << "LOGS" << false << true;
    }
    void saveAtUnload()
    {
        QFETCH(QString, newDir);
        QFETCH(bool, viaExit);
        QFETCH(bool, written);

        Harness h;
        const QString start = h.temp.filePath(QStringLiteral("Logs"));
        QVERIFY(QDir().mkpath(start));
        h.platform.settings.insert(SettingKey, start);
        auto w = h.makeWindow();
        QCOMPARE(w->defaultDir(), start);
        if (!newDir.isEmpty())
            w->setDefaultDir(h.temp.filePath(newDir));

        if (viaExit)
            w->FExit->trigger();
        else
            QVERIFY(w->close());

        QCOMPARE(h.platform.settingWrites, written ? 1 : 0);
        QCOMPARE(h.platform.settings.value(SettingKey).toString(), written ? h.temp.filePath(newDir) : start);
        QCOMPARE(h.endProgramCalls, 1);
    }

    // The close box of a shown window goes the same way as "&Exit".
    void closeBoxOfShownWindowSaves()
    {
        Harness h;
        SplashCloser closer;
        auto w = h.makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTRY_COMPARE(closer.seen, 1);
        w->setDefaultDir(h.temp.path());
        QVERIFY(w->windowHandle()->close());
        QCOMPARE(h.platform.settingWrites, 1);
        QCOMPARE(h.platform.settings.value(SettingKey).toString(), h.temp.path());
        QCOMPARE(h.endProgramCalls, 1);
        QVERIFY(!w->isVisible());
    }

    // "&Exit" and the close box while a large log is read from a slow disk: the window goes at
    // once, and the reading with it.
    void unloadWhileReading_data()
    {
        QTest::addColumn<bool>("viaExit");
        QTest::newRow("exit") << true;
        QTest::newRow("close") << false;
    }
    void unloadWhileReading()
    {
        QFETCH(bool, viaExit);
        Harness h;
        h.write(QStringLiteral("large.log"), QByteArray("DC VOLTS 200mV RANGE  190.0  PASS\r\n").repeated(240000));
        h.write(QStringLiteral("large.tst"), "1\r\n");
        auto w = h.makeWindow();
        // Each read past the first megabyte takes a while, so the whole log would take seconds.
        std::atomic<bool> unloaded{false};
        std::atomic<int> lateReads{0};
        w->logView().setFileOpened([&](LogSource& file) {
            file.setReadHook([&](std::int64_t offset) {
                if (unloaded.load())
                    ++lateReads;
                if (offset >= (1 << 20))
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
            });
        });
        w->logView().open(h.temp.filePath(QStringLiteral("large.log")));
        QVERIFY(w->logView().isReading());

        QElapsedTimer took;
        took.start();
        if (viaExit)
            w->FExit->trigger();
        else
            QVERIFY(w->close());
        unloaded.store(true);
        QVERIFY2(took.elapsed() < 1000, qPrintable(QString::number(took.elapsed())));
        QVERIFY(!w->logView().isReading());
        QCOMPARE(h.endProgramCalls, 1);
        QTest::qWait(400);
        QCOMPARE(lateReads.load(), 0);
        QVERIFY(h.platform.messages.isEmpty());
        QVERIFY(!w->PrintDisplay->isEnabled());
    }

    void menuTree()
    {
        Harness h;
        auto w = h.makeWindow();
        QMenuBar* bar = w->menuBar();

        // File, View and the About command, in that order, right on the bar.
        const QList<QAction*> top = bar->actions();
        QCOMPARE(top.size(), 3);
        QCOMPARE(top.at(0), w->F->menuAction());
        QCOMPARE(top.at(1), w->V->menuAction());
        QCOMPARE(top.at(2), w->AboutProg);
        QCOMPARE(w->F->title(), QStringLiteral("&File"));
        QCOMPARE(w->V->title(), QStringLiteral("&View"));
        QVERIFY(w->AboutProg->menu() == nullptr);

        QCOMPARE(w->F->actions(), (QList<QAction*>{w->LoadLogFile, w->PrintDisplay, w->Fs01, w->FExit}));
        QVERIFY(w->Fs01->isSeparator());
        QCOMPARE(w->V->actions(), (QList<QAction*>{w->ShowTestStatus, w->ClearTests}));
    }

    void menuItemsAsCreated_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("File") << "F" << "&File" << true;
        QTest::newRow("Open File") << "LoadLogFile" << "&Open File" << true;
        QTest::newRow("Print") << "PrintDisplay" << "&Print" << false;
        QTest::newRow("Exit") << "FExit" << "&Exit" << true;
        QTest::newRow("View") << "V" << "&View" << true;
        QTest::newRow("Show Test Status") << "ShowTestStatus" << "&Show Test Status" << false;
        QTest::newRow("Clear Display/Status") << "ClearTests" << "&Clear Display/Status" << false;
        QTest::newRow("About") << "AboutProg" << "&About" << true;
    }
    void menuItemsAsCreated()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        Harness h;
        auto w = h.makeWindow();
        QAction* action = w->findChild<QAction*>(name);
        if (auto* menu = w->findChild<QMenu*>(name))
            action = menu->menuAction();
        QVERIFY2(action, qPrintable(name));
        QCOMPARE(action->text(), text);
        QCOMPARE(action->isEnabled(), enabled);
        QVERIFY(!action->isChecked());
        QVERIFY(action->shortcut().isEmpty());
    }

    // Ctrl+F, F3 and Display's "Find…" open the find window, a tool window over the main
    // window; Enter finds the next match, F3 the last text again, Escape closes the window.
    void findInTheLog()
    {
        Harness h;
        const QString path = h.temp.filePath(QStringLiteral("run1.log"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("one beta\r\ntwo BETA\r\nthree");
        }
        SplashCloser closer;
        auto w = h.makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTRY_COMPARE(closer.seen, 1);
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        h.platform.openAnswers.append(OpenFileResult{path, QStringLiteral("run1.log")});
        w->LoadLogFile_Click();
        h.platform.messages.clear(); // no status file
        QTRY_VERIFY(w->isActiveWindow());
        QCOMPARE(w->FindInLog->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
        QCOMPARE(w->FindAgain->shortcut(), QKeySequence(Qt::Key_F3));

        // With nothing searched yet, F3 opens the window.
        QVERIFY(!w->findForm());
        QTest::keyClick(w->Display, Qt::Key_F3);
        FindForm* find = w->findForm();
        QVERIFY(find);
        QVERIFY(find->isVisible());
        QCOMPARE(find->windowTitle(), QStringLiteral("Find"));
        QCOMPARE(find->windowType(), Qt::Tool);
        QCOMPARE(find->parentWidget(), w.get());
        QVERIFY(!find->isModal());
        // Each control has an access key of its own, none of them a menu's of the main window,
        // whose keys stay live while the find window is active.
        QCOMPARE(find->FindWhatLabel->text(), QStringLiteral("Find &what:"));
        QCOMPARE(find->MatchCase->text(), QStringLiteral("&Match case"));
        QCOMPARE(find->Up->text(), QStringLiteral("&Up"));
        QCOMPARE(find->Down->text(), QStringLiteral("&Down"));
        QCOMPARE(find->FindNext->text(), QStringLiteral("Find &Next"));
        QCOMPARE(find->Cancel->text(), QStringLiteral("&Cancel"));
        QSet<QChar> keys;
        for (const QString& text : {find->FindWhatLabel->text(), find->MatchCase->text(), find->Up->text(),
                                    find->Down->text(), find->FindNext->text(), find->Cancel->text(),
                                    w->F->title(), w->V->title(), w->AboutProg->text()})
            keys.insert(text.at(text.indexOf(QLatin1Char('&')) + 1).toLower());
        QCOMPARE(keys.size(), 9);
        QVERIFY(find->Down->isChecked());
        QVERIFY(!find->MatchCase->isChecked());
        QVERIFY(!find->FindNext->isEnabled());
        QCOMPARE(test::misreadControls(find), QString());
        QCOMPARE(test::fontsNotAsNamed(find), QString());
        // Escape closes it wherever the focus is in it.
        for (QWidget* control : QList<QWidget*>{find->FindWhat, find->MatchCase, find->Up, find->Down, find->Cancel}) {
            find->showFind();
            control->setFocus();
            QTest::keyClick(control, Qt::Key_Escape);
            QVERIFY2(!find->isVisible(), qPrintable(control->objectName()));
        }

        // Ctrl+F; Enter goes down match by match and stops at the end.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w->Display, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(find->isVisible());
        QTest::keyClicks(find->FindWhat, QStringLiteral("beta"));
        QVERIFY(find->FindNext->isEnabled());
        QTest::keyClick(find->FindWhat, Qt::Key_Return);
        QCOMPARE(w->Display->selectionStart(), 4);
        QCOMPARE(w->Display->selectedText(), QStringLiteral("beta"));
        // The find window does not cover the line it selected.
        QVERIFY(!w->logView().selectedRowOnScreen().isEmpty());
        QVERIFY(!find->frameGeometry().intersects(w->logView().selectedRowOnScreen()));
        QTest::keyClick(find->FindWhat, Qt::Key_Return);
        QCOMPARE(w->Display->selectedText(), QStringLiteral("BETA"));
        QVERIFY(h.platform.messages.isEmpty());
        QTest::keyClick(find->FindWhat, Qt::Key_Return);
        QCOMPARE(h.platform.messages.size(), 1);
        QCOMPARE(h.platform.messages[0].text, QStringLiteral("Cannot find \"beta\""));
        QCOMPARE(h.platform.messages[0].title, ProgramTitle);
        QCOMPARE(w->Display->selectionStart(), 13);

        // Up with the case matched, then F3 in the main window with the same settings.
        find->Up->setChecked(true);
        find->MatchCase->setChecked(true);
        QTest::keyClick(find->FindWhat, Qt::Key_Return);
        QCOMPARE(w->Display->selectionStart(), 4);
        QTest::keyClick(find, Qt::Key_Escape);
        QVERIFY(!find->isVisible());
        w->Display->setCursorPosition(w->Display->characterCount());
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w->Display, Qt::Key_F3);
        QCOMPARE(w->Display->selectionStart(), 4);
        QVERIFY(!find->isVisible());
        QCOMPARE(h.platform.messages.size(), 1);

        // Display's own context menu, then "Find…" and the failure keys.
        const std::unique_ptr<QMenu> menu(w->displayContextMenu(QPoint(5, 5)));
        const QList<QAction*> entries = menu->actions();
        QVERIFY(entries.size() >= 6);
        QCOMPARE(entries.mid(entries.size() - 3), (QList<QAction*>{w->FindInLog, w->NextFailure, w->PreviousFailure}));
        QCOMPARE(w->FindInLog->text(), QStringLiteral("Find…"));
        QCOMPARE(w->NextFailure->text() + QLatin1Char(' ') + w->NextFailure->shortcut().toString(),
                 QStringLiteral("Next Failure F8"));
        QCOMPARE(w->PreviousFailure->text() + QLatin1Char(' ') + w->PreviousFailure->shortcut().toString(),
                 QStringLiteral("Previous Failure Shift+F8"));
        QVERIFY(entries.at(entries.size() - 4)->isSeparator());
        QVERIFY(entries.at(entries.size() - 5)->text().startsWith(QStringLiteral("Select All")));
        QVERIFY(std::any_of(entries.begin(), entries.end(),
                            [](QAction* a) { return a->text().startsWith(QStringLiteral("&Copy")); }));
        w->FindInLog->trigger();
        QVERIFY(find->isVisible());
        QCOMPARE(find->FindWhat->selectedText(), QStringLiteral("beta"));
    }

    // Control places in pixels at 96 DPI (15 twips a pixel).
    void controlPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("place");
        QTest::newRow("Display") << "Display" << QRect(8, 0, 665, 544);
        QTest::newRow("TestFrame") << "TestFrame" << QRect(8, 0, 665, 105);
        QTest::newRow("StatusList") << "StatusList" << QRect(256, 16, 145, 79);
        QTest::newRow("Label3") << "Label3" << QRect(160, 16, 90, 20);
        QTest::newRow("Label2(0)") << "Label2_0" << QRect(448, 16, 30, 13);
        QTest::newRow("Label2(1)") << "Label2_1" << QRect(448, 40, 33, 13);
        QTest::newRow("Label2(2)") << "Label2_2" << QRect(448, 64, 33, 13);
    }
    void controlPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QRect, place);
        Harness h;
        auto w = h.makeWindow();
        auto* control = w->findChild<QWidget*>(name);
        QVERIFY2(control, qPrintable(name));
        QCOMPARE(control->geometry(), place);
    }

    void captionsSizeThemselves_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("top");
        QTest::addColumn<QString>("counter");
        QTest::newRow("Pass") << "Label4" << "Pass:" << 16 << "Label2_0";
        QTest::newRow("Fail") << "Label5" << "Fail:" << 40 << "Label2_1";
        QTest::newRow("N/A") << "Label6" << "N/A:" << 64 << "Label2_2";
    }
    void captionsSizeThemselves()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(int, top);
        QFETCH(QString, counter);
        Harness h;
        auto w = h.makeWindow();
        auto* label = w->findChild<QLabel*>(name);
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->pos(), QPoint(416, top));
        QCOMPARE(label->size(), label->sizeHint());
        // Each caption ends before its counter and stands on its line.
        auto* number = w->findChild<QLabel*>(counter);
        QVERIFY(label->geometry().right() < number->x());
        QCOMPARE(number->y(), label->y());
        QCOMPARE(number->text(), QStringLiteral("0"));
    }

    void fonts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::addColumn<qreal>("points");
        QTest::addColumn<bool>("fixedPitch");
        QTest::newRow("Display") << "Display" << "Courier" << 9.75 << true;
        QTest::newRow("StatusList") << "StatusList" << "Courier New" << 9.0 << true;
        QTest::newRow("Label3") << "Label3" << "MS Sans Serif" << 12.0 << false;
        QTest::newRow("Label2(0)") << "Label2_0" << "MS Sans Serif" << 8.25 << false;
        QTest::newRow("Label4") << "Label4" << "MS Sans Serif" << 8.25 << false;
        QTest::newRow("window") << "MainForm" << "MS Sans Serif" << 8.25 << false;
    }
    void fonts()
    {
        QFETCH(QString, name);
        QFETCH(QString, family);
        QFETCH(qreal, points);
        QFETCH(bool, fixedPitch);
        Harness h;
        auto w = h.makeWindow();
        QWidget* control = name == QLatin1String("MainForm") ? w.get() : w->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->font().families().value(0), family);
        QCOMPARE(control->font().pointSizeF(), points);
        QVERIFY(!control->font().bold());
        // Whatever face stands in, it keeps the kind: columns of the log stay aligned.
        QCOMPARE(QFontInfo(control->font()).fixedPitch(), fixedPitch);
    }

    void windowAsCreated()
    {
        Harness h;
        auto w = h.makeWindow();
        QCOMPARE(w->objectName(), QStringLiteral("MainForm"));
        QVERIFY(!w->windowIcon().isNull());

        // Fixed border, no maximize button.
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(w->windowFlags() & Qt::WindowCloseButtonHint);
        QWidget* client = w->centralWidget();
        w->adjustSize();
        QCOMPARE(client->size(), QSize(681, 551));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QCOMPARE(w->size(), QSize(681, 551 + w->menuBar()->height()));
        QCOMPARE(client->y(), w->menuBar()->geometry().bottom() + 1);

        // Display: empty, read-only but selectable, button-face background, scroll bar.
        QVERIFY(w->Display->toPlainText().isEmpty());
        w->Display->setPlainText(QStringLiteral("ab"));
        QTest::keyClicks(w->Display, QStringLiteral("x"));
        for (const int key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return})
            QTest::keyClick(w->Display, Qt::Key(key));
        QTest::keyClick(w->Display, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->Display->toPlainText(), QStringLiteral("ab"));
        QTest::keyClick(w->Display, Qt::Key_Right, Qt::ShiftModifier);   // the mouse: TextViewTest
        QCOMPARE(w->Display->selectedText(), QStringLiteral("a"));
        w->Display->clear();
        QCOMPARE(w->Display->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        const QColor buttonFace = w->palette().color(QPalette::Button);
        QCOMPARE(w->Display->palette().color(QPalette::Base), buttonFace);
        QCOMPARE(w->StatusList->palette().color(QPalette::Base), buttonFace);
        QCOMPARE(w->StatusList->count(), 0);
        QCOMPARE(w->Label3->text(), QStringLiteral("Test Status: "));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(w->Label2[i]->text(), QStringLiteral("0"));
            QCOMPARE(w->Label2[i]->property("index").toInt(), i);
            QCOMPARE(w->Label2[i]->palette().color(QPalette::WindowText),
                     w->Label4->palette().color(QPalette::WindowText));
        }
        QCOMPARE(w->defaultDir(), h.platform.home);
        QVERIFY(!w->introShown());
    }

    // Only Display and StatusList take the focus, Display first.
    void tabOrder()
    {
        Harness h;
        auto w = h.makeWindow();
        QCOMPARE(tabChain(w->Display), (QList<QWidget*>{w->Display, w->StatusList}));
        QCOMPARE(w->focusWidget(), w->Display);
        QTest::keyClick(w->Display, Qt::Key_Tab);   // Tab leaves the text box, not typed into it
        QCOMPARE(w->focusWidget(), w->StatusList);
    }

    void accessibleNames()
    {
        Harness h;
        auto w = h.makeWindow();
        for (QWidget* control : {static_cast<QWidget*>(w->Display), static_cast<QWidget*>(w->TestFrame),
                                 static_cast<QWidget*>(w->StatusList)})
            QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
        // Every label reads as the text it shows; a description may add to it.
        QCOMPARE(test::misreadControls(w.get()), QString());
        QCOMPARE(w->Label6->accessibleDescription(), QStringLiteral("Not applicable"));
        // A counter reads as its number and is labelled by the caption beside it.
        for (int i = 0; i < 3; ++i) {
            QAccessibleInterface* counter = QAccessible::queryAccessibleInterface(w->Label2[i]);
            QVERIFY(counter);
            QCOMPARE(counter->text(QAccessible::Name), QStringLiteral("0"));
            QVERIFY(!counter->text(QAccessible::Description).isEmpty());
        }
        QCOMPARE(w->Label4->buddy(), w->Label2[0]);
        QCOMPARE(w->Label5->buddy(), w->Label2[1]);
        QCOMPARE(w->Label6->buddy(), w->Label2[2]);
    }

    // At 96 DPI every text fits its box in the font the window really gets: the face it names
    // or that face's Liberation stand-in, not a wider fallback.
    void textsFitTheirBoxes_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("main window") << "main";
        QTest::newRow("splash") << "splash";
        QTest::newRow("find window") << "find";
    }
    void textsFitTheirBoxes()
    {
        QFETCH(QString, window);
        Harness h;
        std::unique_ptr<MainForm> owner; // goes after the find window it owns
        std::unique_ptr<QWidget> form;
        if (window == QLatin1String("splash")) {
            auto intro = std::make_unique<IntroForm>();
            intro->prepare(3000);
            form = std::move(intro);
        } else if (window == QLatin1String("find")) {
            owner = h.makeWindow();
            owner->FindInLog->trigger();
            form.reset(owner->findForm());
        } else {
            form = h.makeWindow();
        }
        QCOMPARE(logicalDpi(form.get()), 96.0);
        QCOMPARE(test::fontsNotAsNamed(form.get()), QString());
        const QList<test::TextFit> fits = test::textFits(form.get());
        QVERIFY(!fits.isEmpty());
        for (const test::TextFit& fit : fits)
            QVERIFY2(fit.fits(), qPrintable(fit.describe()));
    }

    // Display lies in front of the status area: while covered, nothing of it shows.
    void displayCoversStatusArea()
    {
        Harness h;
        auto w = h.makeWindow();
        w->StatusList->addItem(QStringLiteral("Test   1 - PASS"));
        w->Label2[0]->setText(QStringLiteral("1"));
        QWidget* client = w->centralWidget();
        const QImage covered = client->grab().toImage();
        w->TestFrame->hide();
        const QImage withoutFrame = client->grab().toImage();
        w->TestFrame->show();
        QCOMPARE(covered, withoutFrame);

        // With Display moved down the frame shows, and the two do not overlap.
        w->Display->setGeometry(8, 112, 665, 432);
        QVERIFY(!w->TestFrame->geometry().intersects(w->Display->geometry()));
        QVERIFY(client->grab().toImage() != covered);
    }

    void shownWindowIsCentredAndFixed()
    {
        Harness h;
        SplashCloser closer;
        auto w = h.makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTRY_COMPARE(closer.seen, 1);
        const QRect area = w->screen()->availableGeometry();
        QVERIFY(qAbs(w->frameGeometry().center().x() - area.center().x()) <= 1);
        QVERIFY(qAbs(w->frameGeometry().center().y() - area.center().y()) <= 1);
        QCOMPARE(w->centralWidget()->size(), QSize(681, 551));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QCOMPARE(w->focusWidget(), w->Display);
    }

    // The splash opens at the first activation only, and the timer runs once it is active.
    void splashShownOnceAtFirstActivation()
    {
        Harness h;
        SplashCloser closer;
        auto w = h.makeWindow();
        QVERIFY(!w->introShown());
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTRY_COMPARE(closer.seen, 1);
        QVERIFY(closer.timerWasRunning);
        QVERIFY(w->introShown());
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        QTRY_VERIFY(w->isActiveWindow());

        // Another window takes the focus, then the main window again: no second splash.
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::qWait(100);
        QCOMPARE(closer.seen, 1);
    }

    void splashAsCreated()
    {
        IntroForm splash;
        QCOMPARE(splash.Label1->text(), QStringLiteral("Label1"));
        QVERIFY(!splash.Timer1->isActive());
        QCOMPARE(splash.Label1->pos(), QPoint(19, 19)); // 240 inside a 45-twip frame
        QCOMPARE(splash.size(), QSize(141, 60));
        QCOMPARE(splash.minimumSize(), splash.maximumSize());
        // No title bar and no taskbar entry.
        QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(splash.windowType(), Qt::Tool);
        QVERIFY(splash.windowTitle().isEmpty());
        QCOMPARE(splash.Label1->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(splash.Label1->font().families().value(0), QStringLiteral("Times New Roman"));
        QCOMPARE(splash.Label1->font().pointSizeF(), 14.25);
        QCOMPARE(splash.Label1->font().styleHint(), QFont::Serif);
    }

    void splashPrepared()
    {
        IntroForm splash;
        splash.prepare(3000);
        QCOMPARE(splash.Timer1->interval(), 3000);
        QVERIFY(!splash.Timer1->isActive());
        QCOMPARE(IntroForm::labelCaption(), QStringLiteral("View && Print VRX Log Files, v1.3 - Jan 2025 / QX"));
        QCOMPARE(splash.caption(), IntroForm::labelCaption());
        // One visible ampersand, the same text as the main caption, and read so.
        QCOMPARE(splash.Label1->text(), Caption);
        QCOMPARE(splash.Label1->text().count(QLatin1Char('&')), 1);
        QCOMPARE(test::shownText(splash.Label1), Caption);
        QCOMPARE(test::misreadControls(&splash), QString());
        // The label follows its text; the window is 600 twips (40 pixels) wider.
        QCOMPARE(splash.Label1->size(), splash.Label1->sizeHint());
        QVERIFY(splash.Label1->width() > 50);
        QCOMPARE(splash.width(), splash.Label1->width() + 40);
        QCOMPARE(splash.height(), 60);
        QCOMPARE(splash.Label1->geometry().right() + 1 + 21, splash.width()); // 270 right + 45 frame
        const QRect area = splash.screen()->availableGeometry();
        QVERIFY(qAbs(splash.geometry().center().x() - area.center().x()) <= 1);
        QVERIFY(qAbs(splash.geometry().center().y() - area.center().y()) <= 1);
    }

    void splashClosesOnTimer()
    {
        IntroForm splash;
        splash.prepare(150);
        bool forced = false;
        QTimer::singleShot(5000, &splash, [&] { forced = true; splash.Label1_Click(); });
        QElapsedTimer clock;
        clock.start();
        splash.exec();
        QVERIFY(!forced);
        QVERIFY(clock.elapsed() >= 150);
        QVERIFY(splash.timerStarted());
        QVERIFY(!splash.Timer1->isActive());
        QVERIFY(!splash.isVisible());
    }

    void splashClosesOnClick_data()
    {
        QTest::addColumn<bool>("onLabel");
        QTest::newRow("label") << true;
        QTest::newRow("window beside the label") << false;
    }
    void splashClosesOnClick()
    {
        QFETCH(bool, onLabel);
        IntroForm splash;
        splash.prepare(30000);
        bool forced = false;
        bool stillOpenAfterKeys = false;
        QTimer::singleShot(5000, &splash, [&] { forced = true; splash.Label1_Click(); });
        QTimer::singleShot(100, &splash, [&] {
            // Keys do nothing to the splash.
            QTest::keyClick(&splash, Qt::Key_Escape);
            QTest::keyClick(&splash, Qt::Key_Return);
            stillOpenAfterKeys = splash.isVisible();
            if (onLabel)
                QTest::mouseClick(splash.Label1, Qt::LeftButton);
            else
                QTest::mouseClick(&splash, Qt::LeftButton, {}, QPoint(splash.width() - 8, splash.height() / 2));
        });
        QElapsedTimer clock;
        clock.start();
        splash.exec();
        QVERIFY(!forced);
        QVERIFY(stillOpenAfterKeys);
        QVERIFY(clock.elapsed() < 3000);
        QVERIFY(!splash.Timer1->isActive());
    }

    // Intro returns only once the splash has closed, after its interval.
    // The menu items follow what the log view can do, step by step as the user goes through
    // the menus: "o" opens run1.log (good status), "b" bad.log (bad status file), "s" chooses
    // "&Show Test Status", "c" chooses "&Clear Display/Status" and answers Yes.
    void menuItemsFollowTheLogView_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("print");
        QTest::addColumn<bool>("clear");
        QTest::addColumn<bool>("showEnabled");
        QTest::addColumn<bool>("shown");
        QTest::newRow("nothing yet") << "" << false << false << false << false;
        QTest::newRow("opened") << "o" << true << true << true << false;
        QTest::newRow("opened, shown") << "os" << true << true << true << true;
        QTest::newRow("opened, shown, covered") << "oss" << true << true << true << false;
        QTest::newRow("shown, then cleared") << "osc" << false << true << false << false;
        QTest::newRow("shown, then a bad status file") << "osb" << true << true << false << false;
        QTest::newRow("bad status file, then a good one") << "bo" << true << true << true << false;
        QTest::newRow("cleared, opened, shown") << "ocos" << true << true << true << true;
    }
    void menuItemsFollowTheLogView()
    {
        QFETCH(QString, steps);
        QFETCH(bool, print);
        QFETCH(bool, clear);
        QFETCH(bool, showEnabled);
        QFETCH(bool, shown);

        Harness h;
        h.write(QStringLiteral("run1.log"), "\x0fone\r\n");
        h.write(QStringLiteral("run1.tst"), "1\r\n");
        h.write(QStringLiteral("bad.log"), "bad\r\n");
        h.write(QStringLiteral("bad.tst"), "x\r\n");
        auto w = h.makeWindow();
        for (const QChar step : steps) {
            if (step == QLatin1Char('o') || step == QLatin1Char('b')) {
                const QString name = step == QLatin1Char('o') ? QStringLiteral("run1.log") : QStringLiteral("bad.log");
                h.platform.openAnswers.append(OpenFileResult{h.temp.filePath(name), name});
                w->LoadLogFile->trigger();
            } else if (step == QLatin1Char('s')) {
                w->ShowTestStatus->trigger();
            } else {
                h.platform.messageAnswers.append(MessageResult::Yes);
                w->ClearTests->trigger();
            }
        }
        QCOMPARE(w->PrintDisplay->isEnabled(), print);
        QCOMPARE(w->ClearTests->isEnabled(), clear);
        QCOMPARE(w->ShowTestStatus->isEnabled(), showEnabled);
        QCOMPARE(w->ShowTestStatus->isChecked(), shown);
        QCOMPARE(w->logView().isStatusShown(), shown);
        QCOMPARE(w->Display->geometry().top(), twips(w->Display, shown ? 1680 : 0));
        QCOMPARE(w->defaultDir(), steps.isEmpty() ? w->savedDefaultDir() : h.temp.path());
    }

    void introWaitsForTheSplash()
    {
        Harness h;
        auto w = h.makeWindow();
        QPointer<IntroForm> seen;
        bool appeared = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto* s = qobject_cast<IntroForm*>(QApplication::activeModalWidget())) {
                seen = s;
                appeared = true;
            }
        });
        poll.start(10);
        QElapsedTimer clock;
        clock.start();
        w->Intro(1);
        QVERIFY(clock.elapsed() >= 1000);
        QVERIFY(clock.elapsed() < 4000);
        QVERIFY(appeared);
        QVERIFY(seen.isNull()); // the splash is gone once Intro returns
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
};

QTEST_MAIN(TestShell)
#include "test_shell.moc"

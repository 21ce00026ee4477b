// Bad input through the main window's "&Open File" and through vrxlog: every file that can land
// on a user's disk must give a clear message, leave the window usable and responsive, write
// nothing, and leave the log and its status file exactly as they were.

#include "platform/Identity.h"
#include "platform/LogFiles.h"
#include "shell/Application.h"
#include "shell/MainForm.h"
#include "tests/support/FolderListing.h"
#include "platform/QtPlatform.h"
#include "tests/support/ScriptedPlatform.h"
#include "about/UpdateCheck.h"

#include <QAction>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <future>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace vrx;
using vrx::test::ScriptedPlatform;

namespace {

// Kinds of bad input; each scenario builds one in a fresh folder.
enum class Input {
    Empty,
    OneCr,
    HugeLine,
    RandomLog,
    Folder,
    Unreadable,
    ManyStatusValues,
    HugeStatusValue,
    RandomStatus,
    LinkLoop,
    FifoLog,
    DeviceLog,
    FifoStatus,
    DeviceStatus,
    SparseBadStatus,
    ControlCharName,
    Latin1Name,
};

// What the window's menus look like afterwards.
struct Menus {
    bool print;
    bool clear;
    bool showStatus;
};

const QString GoodLine = QStringLiteral("CH1 OK");

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

void makeFifo(const QString& path)
{
    if (::mkfifo(nativePathBytes(path).constData(), 0600) != 0)
        qFatal("cannot make FIFO %s", qPrintable(path));
}

// By the name's bytes, so that a name of no valid UTF-8 is written as it stands.
void writeFile(const QString& path, const QByteArray& content)
{
    std::FILE* f = std::fopen(nativePathBytes(path).constData(), "wb");
    if (!f || std::fwrite(content.constData(), 1, size_t(content.size()), f) != size_t(content.size()) || std::fclose(f) != 0)
        qFatal("cannot write %s", qPrintable(path));
}

// Takes the right to read any file away from a process running as root, for as long as it
// lives, so that a file without read permission is unreadable to it as to anyone else.
class NoReadOverride {
public:
    NoReadOverride()
    {
        if (geteuid() != 0)
            return;
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_active = syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~NoReadOverride()
    {
        if (m_active)
            syscall(SYS_capset, &m_header, m_saved);
    }
    bool works() const { return geteuid() != 0 || m_active; }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};

// One bad file in a fresh folder, with what the user must see.
struct Scenario {
    QTemporaryDir temp;
    QString logs;     // the folder the user picks from; nothing in it may change
    QString log;      // the path the open dialog answers
    QString status;   // its status file

    // The folder's own removal goes by decoded names: a name of no valid UTF-8 goes first.
    ~Scenario() { ::unlink(nativePathBytes(log).constData()); }

    explicit Scenario(Input input)
    {
        logs = temp.filePath(QStringLiteral("logs"));
        QDir().mkpath(logs);
        log = logs + QStringLiteral("/run.log");
        status = logs + QStringLiteral("/run.tst");
        const QByteArray good = GoodLine.toLatin1() + "\r\n";
        switch (input) {
        case Input::Empty:
            writeFile(log, {});
            break;
        case Input::OneCr:
            writeFile(log, "\r");
            break;
        case Input::HugeLine: {
            QByteArray line(50 * 1024 * 1024, 'A');
            for (qsizetype i = 0; i < line.size(); i += 61)
                line[i] = char('0' + i % 10);
            writeFile(log, line);
            break;
        }
        case Input::RandomLog:
            writeFile(log, randomBytes(256 * 1024, 7));
            break;
        case Input::Folder:
            log = logs + QStringLiteral("/x.log");
            status = logs + QStringLiteral("/x.tst");
            QDir().mkpath(log);
            break;
        case Input::Unreadable:
            writeFile(log, good);
            writeFile(status, "1\r\n");
            QFile::setPermissions(log, QFileDevice::WriteOwner);
            break;
        case Input::ManyStatusValues: {
            writeFile(log, good);
            QByteArray values;
            for (int i = 0; i < 40000; ++i)
                values += i % 3 == 0 ? "1\r\n" : i % 3 == 1 ? "-1\r\n" : "0\r\n";
            writeFile(status, values);
            break;
        }
        case Input::HugeStatusValue:
            writeFile(log, good);
            writeFile(status, "1\r\n99999999999\r\n");
            break;
        case Input::RandomStatus:
            writeFile(log, good);
            writeFile(status, randomBytes(64 * 1024, 11));
            break;
        case Input::LinkLoop:
            log = logs + QStringLiteral("/loop.log");
            status = logs + QStringLiteral("/loop.tst");
            QFile::link(logs + QStringLiteral("/loop2.log"), log);
            QFile::link(log, logs + QStringLiteral("/loop2.log"));
            break;
        case Input::FifoLog:
            makeFifo(log);
            break;
        case Input::DeviceLog:
            QFile::link(QStringLiteral("/dev/zero"), log);
            break;
        case Input::FifoStatus:
            writeFile(log, good);
            makeFifo(status);
            break;
        case Input::DeviceStatus:
            writeFile(log, good);
            QFile::link(QStringLiteral("/dev/zero"), status);
            break;
        case Input::SparseBadStatus: {
            // The first value is bad after 65 bytes; 10 GB of holes follow, which must not be read.
            writeFile(log, good);
            QFile f(status);
            if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(65, '7')) != 65 || !f.resize(10LL << 30))
                qFatal("cannot write %s", qPrintable(status));
            break;
        }
        case Input::ControlCharName:
            log = logs + QStringLiteral("/a\nb\x1b[31m.log");
            status = logs + QStringLiteral("/a\nb\x1b[31m.tst");
            writeFile(log, good);
            break;
        case Input::Latin1Name:
            // "café.log" as DOS media carry it: the é is the one byte 0xE9, no valid UTF-8.
            log = logs + pathFromNativeBytes("/caf\xe9.log");
            status = logs + pathFromNativeBytes("/caf\xe9.tst");
            writeFile(log, good);
            break;
        }
    }
};

// Names appear in messages with their control characters and undecodable bytes escaped.
QString expand(QString pattern, const Scenario& s)
{
    return pattern.replace(QStringLiteral("%log"), shownPath(s.log)).replace(QStringLiteral("%tst"), shownPath(s.status));
}

// Time one open may take at most; a 50 MB line is read, converted and shown in that time.
constexpr qint64 ResponseBoundMs = 60000;
// Every other bad file is refused or read in a moment, however large it claims to be.
constexpr qint64 QuickBoundMs = 10000;

qint64 boundFor(Input input)
{
    return input == Input::HugeLine ? ResponseBoundMs : QuickBoundMs;
}

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT
private slots:
    void openCommand_data();
    void openCommand();
    void vrxlog_data();
    void vrxlog();
    void readerFindings_data();
    void readerFindings();
    void vrxlogUnderMemoryLimit_data();
    void vrxlogUnderMemoryLimit();
    void windowUnderMemoryLimit_data();
    void windowUnderMemoryLimit();
    void settingsFileNotRegular();
    void latin1FolderSetting();
};

namespace {

void addScenarios()
{
    QTest::addColumn<int>("input");
    QTest::addColumn<QString>("title");      // message box title; empty: no message
    QTest::addColumn<QString>("message");    // exact text, or a pattern when it starts with "^"
    QTest::addColumn<bool>("print");         // menus afterwards
    QTest::addColumn<bool>("clear");
    QTest::addColumn<bool>("showStatus");
    QTest::addColumn<int>("items");          // status items afterwards, -1: not checked
    QTest::addColumn<QString>("text");       // vrxlog text: expected stderr pattern, or "" for success
    QTest::addColumn<QString>("statusOut");  // vrxlog status: expected line of the report on stdout

    const QString title = ProgramTitle;
    const QString statusTitle = StatusErrorTitle;
    const QString unavailable = QStringLiteral("\nTest Status Data will not be available.");
    const QString notFound = QStringLiteral("\"%tst\"  not found.") + unavailable;

    QTest::newRow("0 bytes") << int(Input::Empty) << title
                             << QStringLiteral("The log file \"%log\" is empty.") << false << false << false << -1
                             << QStringLiteral("^vrxlog: The log file \"%log\" is empty.\n$") << QString();
    QTest::newRow("one CR") << int(Input::OneCr) << statusTitle << notFound << true << true << false << 0
                            << QString() << QStringLiteral("Test Status File Error: \"%tst\"  not found.");
    QTest::newRow("50 MB line without line end")
        << int(Input::HugeLine) << statusTitle << notFound << true << true << false << 0 << QString()
        << QStringLiteral("Test Status File Error: \"%tst\"  not found.");
    QTest::newRow("random bytes")
        << int(Input::RandomLog) << title
        << QStringLiteral("^The log file \"%log\" cannot be shown from line (\\d+) on\\.\n"
                          "A run of spaces has no valid count character\\.\n"
                          "Only the lines before line \\1 are shown\\.$")
        << false << false << false << -1
        << QStringLiteral("^vrxlog: The log file \"%log\" cannot be shown from line (\\d+) on\\.\n"
                          "  A run of spaces has no valid count character\\.\n"
                          "(  (Only the lines before line \\1|No lines) were written\\.\n)?$")
        << QString();
    QTest::newRow("folder named x.log")
        << int(Input::Folder) << title << QStringLiteral("The log file \"%log\" could not be opened.\nIt is a folder.")
        << false << false << false << -1
        << QStringLiteral("^vrxlog: The log file \"%log\" could not be opened.\n  It is a folder.\n$") << QString();
    QTest::newRow("no read permission")
        << int(Input::Unreadable) << title
        << QStringLiteral("The log file \"%log\" could not be opened.\nPermission denied.") << false << false
        << false << -1
        << QStringLiteral("^vrxlog: The log file \"%log\" could not be opened.\n  Permission denied.\n$")
        << QString();
    QTest::newRow("status file of 40,000 values")
        << int(Input::ManyStatusValues) << statusTitle << TooManyTestsLine + unavailable << true << true << false
        << 32767 << QString() << QStringLiteral("Test Status File Error: ") + TooManyTestsLine;
    QTest::newRow("status value 99999999999")
        << int(Input::HugeStatusValue) << statusTitle << CorruptStatusLine + unavailable << true << true << false
        << 1 << QString() << QStringLiteral("Test Status File Error: ") + CorruptStatusLine;
    // Its first value is no number, so the message names the file.
    QTest::newRow("status file of random bytes")
        << int(Input::RandomStatus) << statusTitle << QStringLiteral("%tst") + unavailable << true << true << false
        << 0 << QString() << QStringLiteral("Test Status File Error: %tst");
    QTest::newRow("symbolic link loop")
        << int(Input::LinkLoop) << title
        << QStringLiteral("The log file \"%log\" could not be opened.\nToo many levels of symbolic links.")
        << false << false << false << -1
        << QStringLiteral("^vrxlog: The log file \"%log\" could not be opened.\n  Too many levels of symbolic links.\n$")
        << QString();
    // Files that are no regular files are refused before they are read: a FIFO would block
    // for good, a device such as /dev/zero would never end.
    QTest::newRow("FIFO as log")
        << int(Input::FifoLog) << title
        << QStringLiteral("The log file \"%log\" could not be opened.\nIt is a FIFO (named pipe), not a regular file.")
        << false << false << false << -1
        << QStringLiteral("^vrxlog: The log file \"%log\" could not be opened.\n  It is a FIFO \\(named pipe\\), not a regular file.\n$")
        << QString();
    QTest::newRow("log linked to /dev/zero")
        << int(Input::DeviceLog) << title
        << QStringLiteral("The log file \"%log\" could not be opened.\nIt is a character device, not a regular file.")
        << false << false << false << -1
        << QStringLiteral("^vrxlog: The log file \"%log\" could not be opened.\n  It is a character device, not a regular file.\n$")
        << QString();
    QTest::newRow("FIFO as status file")
        << int(Input::FifoStatus) << statusTitle
        << QStringLiteral("\"%tst\" is a FIFO (named pipe), not a regular file.") + unavailable << true << true << false
        << 0 << QString() << QStringLiteral("Test Status File Error: \"%tst\" is a FIFO (named pipe), not a regular file.");
    QTest::newRow("status file linked to /dev/zero")
        << int(Input::DeviceStatus) << statusTitle
        << QStringLiteral("\"%tst\" is a character device, not a regular file.") + unavailable << true << true << false
        << 0 << QString() << QStringLiteral("Test Status File Error: \"%tst\" is a character device, not a regular file.");
    QTest::newRow("status file bad at once, then 10 GB")
        << int(Input::SparseBadStatus) << statusTitle << QStringLiteral("%tst") + unavailable << true << true << false
        << 0 << QString() << QStringLiteral("Test Status File Error: %tst");
    QTest::newRow("newline and escape in the name")
        << int(Input::ControlCharName) << statusTitle << notFound << true << true << false << 0 << QString()
        << QStringLiteral("Test Status File Error: \"%tst\"  not found.");
    QTest::newRow("Latin-1 name") << int(Input::Latin1Name) << statusTitle << notFound << true << true << false << 0
                                  << QString() << QStringLiteral("Test Status File Error: \"%tst\"  not found.");
}

void compareMessage(const QString& actual, const QString& expected)
{
    if (expected.startsWith(QLatin1Char('^'))) {
        const QRegularExpression pattern(expected);
        QVERIFY2(pattern.match(actual).hasMatch(), qPrintable(actual + QStringLiteral(" !~ ") + expected));
    } else {
        QCOMPARE(actual, expected);
    }
}

} // namespace

void TestBadInput::openCommand_data()
{
    addScenarios();
}

void TestBadInput::openCommand()
{
    QFETCH(int, input);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QFETCH(bool, print);
    QFETCH(bool, clear);
    QFETCH(bool, showStatus);
    QFETCH(int, items);

    Scenario s(static_cast<Input>(input));
    QVERIFY(s.temp.isValid());
    ScriptedPlatform platform;
    platform.env.insert(QStringLiteral("AppData"), s.temp.filePath(QStringLiteral("appdata")));
    platform.home = s.temp.filePath(QStringLiteral("home"));
    MainForm window(platform);
    window.setEndProgram([] {});
    const QStringList before = test::folderListing(s.temp.path());

    std::optional<NoReadOverride> noOverride;
    if (static_cast<Input>(input) == Input::Unreadable) {
        noOverride.emplace();
        if (!noOverride->works())
            QSKIP("cannot take the right to read every file away from this root process");
    }

    platform.openAnswers.append(OpenFileResult{s.log, QFileInfo(s.log).fileName()});
    QElapsedTimer clock;
    clock.start();
    window.LoadLogFile->trigger();
    const qint64 elapsed = clock.elapsed();
    noOverride.reset();
    QVERIFY2(elapsed < boundFor(static_cast<Input>(input)), qPrintable(QStringLiteral("open took %1 ms").arg(elapsed)));

    // The one message the user sees, once the log is read: a log that takes longer than a
    // moment is read on a thread of its own, and its outcome comes from the event loop.
    QTRY_COMPARE_WITH_TIMEOUT(platform.messages.size(), 1, int(boundFor(static_cast<Input>(input))));
    QCOMPARE(platform.messages[0].title, title);
    compareMessage(platform.messages[0].text, expand(message, s));
    QCOMPARE(platform.messages[0].buttons, MessageButtons::Ok);

    // The commands the failed open leaves enabled; the always available ones still are.
    QCOMPARE(window.PrintDisplay->isEnabled(), print);
    QCOMPARE(window.ClearTests->isEnabled(), clear);
    QCOMPARE(window.ShowTestStatus->isEnabled(), showStatus);
    QVERIFY(!window.ShowTestStatus->isChecked());
    QVERIFY(window.LoadLogFile->isEnabled());
    QVERIFY(window.FExit->isEnabled());
    QVERIFY(window.AboutProg->isEnabled());
    if (items >= 0) {
        QCOMPARE(window.StatusList->count(), items);
        for (QLabel* counter : window.Label2)
            QCOMPARE(counter->text(), QStringLiteral("0"));
    }
    QCOMPARE(QApplication::activeModalWidget(), nullptr);

    // Still responsive: the event loop runs.
    bool ticked = false;
    QTimer::singleShot(0, &window, [&ticked] { ticked = true; });
    QTRY_VERIFY_WITH_TIMEOUT(ticked, 5000);

    // Nothing written, the log and status file untouched (bytes and modification times).
    QCOMPARE(test::folderListing(s.temp.path()), before);
    QCOMPARE(platform.settingWrites, 0);

    // Still usable: a good log opens after the bad one.
    const QString good = s.temp.filePath(QStringLiteral("good.log"));
    writeFile(good, GoodLine.toLatin1());
    writeFile(s.temp.filePath(QStringLiteral("good.tst")), "1");
    platform.messages.clear();
    platform.openAnswers.append(OpenFileResult{good, QStringLiteral("good.log")});
    window.LoadLogFile->trigger();
    QCOMPARE(platform.messages.size(), 0);
    QCOMPARE(window.Display->toPlainText(), GoodLine);
    QVERIFY(window.PrintDisplay->isEnabled());
    QVERIFY(window.ShowTestStatus->isEnabled());
    QCOMPARE(window.StatusList->count(), 1);
}

void TestBadInput::vrxlog_data()
{
    addScenarios();
}

// The same files through the command-line tool: a log that cannot be read is reported on
// standard error with exit status 1; a bad status file is part of the status report.
void TestBadInput::vrxlog()
{
    QFETCH(int, input);
    QFETCH(QString, text);
    QFETCH(QString, statusOut);

    Scenario s(static_cast<Input>(input));
    QVERIFY(s.temp.isValid());
    // Root reads anything: for the unreadable log the tool runs without that right.
    QString program = QStringLiteral(VRXLOG_PATH);
    QStringList prefix;
    if (static_cast<Input>(input) == Input::Unreadable && geteuid() == 0) {
        program = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (program.isEmpty())
            QSKIP("run as root without setpriv: the unreadable log is covered through the open command");
        prefix = {QStringLiteral("--bounding-set=-dac_override,-dac_read_search"), QStringLiteral(VRXLOG_PATH)};
    }
    if (static_cast<Input>(input) == Input::Latin1Name)
        QSKIP("QProcess passes arguments as text; vrxlog's Latin-1 names are run through a shell in test_vrxlog");
    const QStringList before = test::folderListing(s.temp.path());

    for (const QString& command : {QStringLiteral("text"), QStringLiteral("status")}) {
        QProcess process;
        process.setWorkingDirectory(s.temp.path());
        QElapsedTimer clock;
        clock.start();
        process.start(program, prefix + QStringList{command, s.log});
        const bool finished = process.waitForFinished(int(boundFor(static_cast<Input>(input))));
        if (!finished)
            process.kill();
        QVERIFY(finished);
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        if (!text.isEmpty()) {
            QCOMPARE(process.exitCode(), 1);
            compareMessage(err, expand(text, s));
            // "text" may have written the lines before a failing one; "status" writes nothing.
            if (command == QLatin1String("status"))
                QVERIFY(out.isEmpty());
        } else {
            QCOMPARE(process.exitCode(), 0);
            QCOMPARE(err, QString());
            if (command == QLatin1String("status"))
                QVERIFY2(out.contains(expand(statusOut, s) + QStringLiteral("\nTest Status Data will not be available.\n")),
                         qPrintable(out.right(300)));
        }
    }
    QCOMPARE(test::folderListing(s.temp.path()), before);
}

// Inputs the fuzz targets found mishandled once, kept here by name.
void TestBadInput::readerFindings_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<int>("items");
    QTest::addColumn<bool>("ok");
    QTest::newRow("value after 100 blanks") << QByteArray(100, ' ') + "1" << 1 << true;
    QTest::newRow("value after 100 tabs and blanks") << QByteArray(50, '\t') + QByteArray(50, ' ') + "-1,0" << 2 << true;
    QTest::newRow("value with 100 leading zeros") << "-" + QByteArray(100, '0') + "1" << 1 << true;
    QTest::newRow("blanks only") << QByteArray(10000, ' ') << 0 << false;
    QTest::newRow("long bad value") << "1," + QByteArray(100, '7') << 1 << false;
    QTest::newRow("65 digits, then no end") << QByteArray(65, '7') + QByteArray(1000, '\0') << 0 << false;
}

void TestBadInput::readerFindings()
{
    QFETCH(QByteArray, status);
    QFETCH(int, items);
    QFETCH(bool, ok);
    const StatusFileResult r = parseStatusText(std::string_view(status.constData(), size_t(status.size())));
    QCOMPARE(r.items.size(), items);
    QCOMPARE(r.ok(), ok);

    // A version of 1 followed by 400 zeros and e-5 is about 1e395: larger than any release.
    const QString huge = QStringLiteral("1") + QString(400, QLatin1Char('0')) + QStringLiteral("e-5");
    QVERIFY(std::isinf(versionValue(huge)) && versionValue(huge) > 0);
    QCOMPARE(versionValue(QStringLiteral("0.") + QString(400, QLatin1Char('0')) + QStringLiteral("1e5")), 0.0);
    QCOMPARE(judgeVersionData((ProgramTitle + QStringLiteral(":") + huge).toUtf8(), ProgramTitle,
                              QStringLiteral("1.3")).outcome,
             UpdateOutcome::NewerVersion);
    // An empty log line behind nothing converts to nothing.
    QVERIFY(ConvertLogLine({}).ok());
    // Line numbers past 2^31 stay right; names keep no control character and no raw byte,
    // and a name of no valid UTF-8 comes back to the same bytes.
    QVERIFY(logReadMessage({LogFailure::Kind::ConvertFailed, "x", 3000000000LL, {}})
                .contains(QStringLiteral("from line 3000000000 on")));
    QCOMPARE(shownPath(QStringLiteral("a\nb\x1b[1m\tc\x7f")), QStringLiteral("a\\nb\\x1b[1m\\tc\\x7f"));
    const QByteArray latin1("/m\xe9s/caf\xe9\xff\xc3.log \xc3\xa9");
    QCOMPARE(nativePathBytes(pathFromNativeBytes(latin1)), latin1);
    QCOMPARE(shownPath(pathFromNativeBytes(latin1)), QStringLiteral("/m\\xe9s/caf\\xe9\\xff\\xc3.log \u00e9"));
    // NEL (U+0085) and the byte 0x85 of no valid UTF-8 are two names, shown apart.
    QCOMPARE(shownPath(pathFromNativeBytes("\xc2\x85|\x85")), QStringLiteral("\\u0085|\\x85"));
}

// A line far past the limit, under a memory limit that only the child has: "status" judges it
// without keeping it, "pdf" keeps what reaches the paper, "text" converts it in pieces, from a
// file (checked first, then read again) or from a pipe (held up to a bound, then passed on).
// bad.log is the same line with a bad run of spaces at its very end.
void TestBadInput::vrxlogUnderMemoryLimit_data()
{
    QTest::addColumn<QString>("command");   // VRXLOG stands for the program
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");
    const QString tooLong = QStringLiteral("vrxlog: The log file \"%1\" cannot be shown from line 1 on.\n"
                                           "  The line is too long: a position passes 32767.\n");
    QTest::newRow("status") << QStringLiteral("VRXLOG status run.log") << 0 << QString();
    QTest::newRow("pdf") << QStringLiteral("VRXLOG pdf -o out.pdf run.log") << 0 << QString();
    QTest::newRow("text") << QStringLiteral("VRXLOG text run.log >/dev/null") << 0 << QString();
    QTest::newRow("text of a file on standard input") << QStringLiteral("VRXLOG text - <run.log >/dev/null") << 0
                                                      << QString();
    QTest::newRow("text of a pipe") << QStringLiteral("cat run.log | VRXLOG text - >/dev/null") << 0 << QString();
    QTest::newRow("text, failing at the line's end")
        << QStringLiteral("VRXLOG text bad.log >/dev/null") << 1
        << tooLong.arg(QStringLiteral("bad.log")) + QStringLiteral("  No lines were written.\n");
    QTest::newRow("text of a pipe, failing at the line's end")
        << QStringLiteral("cat bad.log | VRXLOG text - >/dev/null") << 1
        << tooLong.arg(QStringLiteral("standard input")) + QStringLiteral("  Only a first part of line 1 was written.\n");
}

void TestBadInput::vrxlogUnderMemoryLimit()
{
    QFETCH(QString, command);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer reserves far more address space than the limit allows");
#endif
    QTemporaryDir temp;
    // One line of 1 GB of NUL bytes: holes in the file, no disk used.
    QFile log(temp.filePath(QStringLiteral("run.log")));
    QVERIFY(log.open(QIODevice::WriteOnly) && log.resize(1LL << 30));
    log.close();
    QFile bad(temp.filePath(QStringLiteral("bad.log")));
    QVERIFY(bad.open(QIODevice::WriteOnly) && bad.seek(1LL << 30) && bad.write("\x01", 1) == 1);
    bad.close();
    const QStringList before = test::folderListing(temp.path());
    QProcess process;
    process.setWorkingDirectory(temp.path());
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"),
                                              QStringLiteral("ulimit -v 700000; ") + QString(command).replace(QStringLiteral("VRXLOG"), QStringLiteral("\"$0\"")),
                                              QStringLiteral(VRXLOG_PATH)});
    const bool finished = process.waitForFinished(60000);
    if (!finished)
        process.kill();
    QVERIFY(finished);
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()), err);
    QCOMPARE(process.exitCode(), exitCode);
    if (command.contains(QStringLiteral("pdf")))
        QVERIFY(QFile::remove(temp.filePath(QStringLiteral("out.pdf"))));
    QCOMPARE(test::folderListing(temp.path()), before);
}

// The window under a memory limit that only a child has: the test runs itself again for the
// row under the limit (a limit in this process would hold for every later test). No request
// for text (the open, a copy and its paste, a screen reader's) may end the program.
enum class Limited { HugeLine, CopyAll, ReadAll };

void TestBadInput::windowUnderMemoryLimit_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("limitKiB");
    // A line of 1 GB of NUL bytes (holes in the file): the window holds where it begins, not its
    // bytes; the text it makes, which the first screen needs whole, is what does not fit. The
    // window says that memory ran out and stays as after any failed open, ready for the next log.
    QTest::newRow("open a line of 1 GB") << int(Limited::HugeLine) << 900000;
    // A log of 200 MB whose text, whole, would not fit beside it: Select All and Copy says that
    // the selection is too large and leaves the clipboard empty; a paste, here or in another
    // program (which asks for UTF-8), gets nothing.
    QTest::newRow("Select All, Copy, paste") << int(Limited::CopyAll) << 1000000;
    // A screen reader asking for the whole text of that log gets the empty answer at once,
    // though here the text would fit; it reads a line as before.
    QTest::newRow("a screen reader reads the whole text") << int(Limited::ReadAll) << 2000000;
}

void TestBadInput::windowUnderMemoryLimit()
{
    QFETCH(int, kind);
    QFETCH(int, limitKiB);
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer reserves far more address space than the limit allows");
#endif
    const QByteArray log = qgetenv("VRX_LIMITED_LOG");
    const QByteArray line = "CH1 OK \x01(  1.00\x05 \x0f  record of a long log            ";
    if (log.isEmpty()) {
        QTemporaryDir temp;
        QFile file(temp.filePath(QStringLiteral("run.log")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (Limited(kind) == Limited::HugeLine) {
            QVERIFY(file.resize(1LL << 30));
        } else {
            QByteArray chunk;
            while (chunk.size() < (1 << 20))
                chunk += line + "\r\n";
            for (int i = 0; i < 200; ++i)
                QCOMPARE(file.write(chunk), chunk.size());
            QFile status(temp.filePath(QStringLiteral("run.tst")));
            QVERIFY(status.open(QIODevice::WriteOnly) && status.write("1\r\n") == 3);
        }
        file.close();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VRX_LIMITED_LOG"), file.fileName());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("ulimit -v %1; exec \"$0\" \"$1\"").arg(limitKiB),
                                                QCoreApplication::applicationFilePath(),
                                                QStringLiteral("windowUnderMemoryLimit:") + QString::fromUtf8(QTest::currentDataTag())});
        const bool finished = child.waitForFinished(120000);
        if (!finished)
            child.kill();
        QVERIFY(finished);
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 child.readAllStandardOutput().right(2000).constData());
        return;
    }
    ScriptedPlatform platform;
    MainForm window(platform);
    window.setEndProgram([] {});
    platform.openAnswers.append(OpenFileResult{QString::fromLocal8Bit(log), QStringLiteral("run.log")});
    window.LoadLogFile->trigger();
    // A log this large is read on while the window answers.
    QTRY_VERIFY_WITH_TIMEOUT(!window.logView().isReading(), 60000);
    if (Limited(kind) == Limited::HugeLine) {
        QCOMPARE(platform.messages.size(), 1);
        QCOMPARE(platform.messages[0].title, ProgramTitle);
        QCOMPARE(platform.messages[0].text, QStringLiteral("The log file \"%1\" could not be shown.\n"
                                                           "There is not enough memory to hold its text.")
                                                .arg(QString::fromLocal8Bit(log)));
        QVERIFY(window.Display->toPlainText().isEmpty());
        QVERIFY(!window.PrintDisplay->isEnabled());
        QVERIFY(!window.ClearTests->isEnabled());
        QVERIFY(window.LoadLogFile->isEnabled());
        return;
    }
    QCOMPARE(platform.messages.size(), 0);
    QVERIFY(window.PrintDisplay->isEnabled());
    const qint64 characters = window.Display->characterCount();
    QVERIFY(characters > 200LL << 20);
    const QString firstLine = QStringLiteral("CH1 OK ") + QString(10, QLatin1Char(' '))
                              + QStringLiteral("  1.00 mV PASS  record of a long log            \n");
    if (Limited(kind) == Limited::CopyAll) {
        QApplication::clipboard()->setText(QStringLiteral("copied before"));
        QTest::keySequence(window.Display, QKeySequence::SelectAll);
        QTest::keySequence(window.Display, QKeySequence::Copy);
        const QMimeData* pasted = QApplication::clipboard()->mimeData();
        QVERIFY(!pasted || (pasted->text().isEmpty() && pasted->data(QStringLiteral("text/plain")).isEmpty()));
        QCOMPARE(platform.messages.size(), 1);
        QCOMPARE(platform.messages[0].title, ProgramTitle);
        QCOMPARE(platform.messages[0].text,
                 QStringLiteral("The selection is too large to copy: it holds %1 characters, and at most %2 can be "
                                "copied at once.")
                     .arg(QLocale().toString(characters), QLocale().toString(16LL << 20)));
        QCOMPARE(platform.messages[0].buttons, MessageButtons::Ok);
        QCOMPARE(platform.messages[0].icon, MessageIcon::Information);
        // A part of the log still copies.
        window.Display->setSelection(0, firstLine.size());
        QTest::keySequence(window.Display, QKeySequence::Copy);
        QCOMPARE(platform.messages.size(), 1);
        QCOMPARE(QApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain")), firstLine.toUtf8());
    } else {
        QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(window.Display)->textInterface();
        QCOMPARE(text->characterCount(), int(characters));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(text->text(0, text->characterCount()), QString());
        int start = -1;
        int end = -1;
        QCOMPARE(text->textAtOffset(0, QAccessible::NoBoundary, &start, &end), QString());
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(text->textAtOffset(5, QAccessible::LineBoundary, &start, &end), firstLine);
        QCOMPARE(start, 0);
        QCOMPARE(end, int(firstLine.size()));
    }
}

// A FIFO where the settings file belongs would block reading the setting for good, and the
// main window would never come up: it counts as no setting stored.
void TestBadInput::settingsFileNotRegular()
{
    QTemporaryDir temp;
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.path()));
    const QString folder = temp.filePath(QStringLiteral("VB and VBA Program Settings"));
    QDir().mkpath(folder);
    const QString settings = folder + QLatin1Char('/') + SettingsAppName + QStringLiteral(".conf");
    QVERIFY(::mkfifo(QFile::encodeName(settings).constData(), 0600) == 0);
    auto* platform = new QtPlatform;
    auto read = std::async(std::launch::async, [platform] {
        return platform->readSetting(SettingsAppName, QStringLiteral("Settings"), QStringLiteral("DefaultPath"),
                                     QStringLiteral("none")).toString();
    });
    const bool ended = read.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!ended) {
        // Unblocks the reader, so that the test ends to report the failure.
        QFile writer(settings);
        if (writer.open(QIODevice::WriteOnly))
            writer.close();
    }
    QVERIFY(ended);
    QCOMPARE(read.get(), QStringLiteral("none"));
    platform->writeSetting(SettingsAppName, QStringLiteral("Settings"), QStringLiteral("DefaultPath"), QStringLiteral("/x"));
    delete platform;
    struct stat info {};
    QVERIFY(::stat(QFile::encodeName(settings).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
    qputenv("XDG_CONFIG_HOME", savedConfig);
}

// A folder whose name is no UTF-8 (Latin-1 from DOS media) is the one the next run starts in:
// the setting keeps its bytes instead of turning them into U+FFFD, which names no folder.
void TestBadInput::latin1FolderSetting()
{
    QTemporaryDir temp;
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.path()));
    const QString folder = pathFromNativeBytes(QFile::encodeName(temp.path()) + "/caf\xe9");
    QVERIFY(::mkdir(nativePathBytes(folder).constData(), 0700) == 0);
    {
        QtPlatform platform;
        QVERIFY(platform.exists(folder));
        QVERIFY(saveDefaultDirIfChanged(platform, QString(), folder));
    }
    // As the next run reads it: from the file, not from what this process keeps of it.
    QFile stored(temp.filePath(QStringLiteral("VB and VBA Program Settings/")) + SettingsAppName + QStringLiteral(".conf"));
    QVERIFY(stored.open(QIODevice::ReadWrite));
    QVERIFY(stored.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
    stored.close();
    QtPlatform platform;
    QCOMPARE(establishDefaultDir(platform), folder);
    ::rmdir(nativePathBytes(folder).constData());
    qputenv("XDG_CONFIG_HOME", savedConfig);
}

QTEST_MAIN(TestBadInput)
#include "test_bad_input.moc"

// vrxlog end to end: the built program run on the sample logs and on bad input.

#include "tests/support/FolderListing.h"
#include "logview/LogView.h"
#include "print/DevicePrinter.h"
#include "shell/MainForm.h"
#include "tests/support/ScriptedPlatform.h"

#include <QDir>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QFileInfo>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace vrx;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Run vrxlog(const QStringList& arguments, const QString& workDir = {})
{
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.start(QStringLiteral(VRXLOG_PATH), arguments);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString sample(const QString& name)
{
    return QStringLiteral(SAMPLES_DIR "/") + name;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Every message is a line behind "vrxlog: ", or an indented line that goes on with the one
// before it, so that a script can tell where each message begins.
bool wellFormedMessages(const QString& err)
{
    if (err.isEmpty())
        return true;
    if (!err.startsWith(QStringLiteral("vrxlog: ")) || !err.endsWith(QLatin1Char('\n')))
        return false;
    const QStringList lines = err.chopped(1).split(QLatin1Char('\n'));
    for (const QString& line : lines)
        if (!line.startsWith(QStringLiteral("vrxlog: ")) && !(line.startsWith(QStringLiteral("  ")) && line.size() > 2))
            return false;
    return true;
}

// The display text the main window shows after opening the log.
QString windowDisplayText(const QString& log)
{
    test::ScriptedPlatform platform;
    platform.openAnswers.append(OpenFileResult{log, QFileInfo(log).fileName()});
    MainForm window(platform);
    window.setEndProgram([] {});
    window.LoadLogFile_Click();
    return window.logView().displayText();
}

// The level fields of the zlib headers of a PDF file's compressed streams.
QSet<int> flateLevels(const QString& pdf)
{
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    static const QRegularExpression flate(QStringLiteral("/Filter /FlateDecode\\s*>>\\s*stream\\r?\\n"));
    QSet<int> levels;
    for (auto it = flate.globalMatch(QString::fromLatin1(bytes)); it.hasNext();) {
        const qsizetype at = it.next().capturedEnd();
        if (at + 2 <= bytes.size() && (quint8(bytes[at]) & 0x0F) == 8)   // deflate
            levels.insert(quint8(bytes[at + 1]) >> 6);
    }
    return levels;
}

} // namespace

class TestVrxlog : public QObject {
    Q_OBJECT
private slots:
    void textEqualsTheWindowsDisplay_data()
    {
        QTest::addColumn<QString>("log");
        for (const char* name : {"scope-pass.log", "scope-fail.log", "RUN7.LOG", "meter-corrupt.log", "probe-nostatus.log"})
            QTest::newRow(name) << sample(QLatin1String(name));
    }
    void textEqualsTheWindowsDisplay()
    {
        QFETCH(QString, log);
        const QString shown = windowDisplayText(log);
        QVERIFY(!shown.isEmpty());

        const Run crlf = vrxlog({QStringLiteral("text"), QStringLiteral("--crlf"), log});
        QCOMPARE(crlf.exitCode, 0);
        QCOMPARE(QString::fromUtf8(crlf.out), shown + QStringLiteral("\r\n"));

        const Run lf = vrxlog({QStringLiteral("text"), log});
        QCOMPARE(lf.exitCode, 0);
        QString expected = shown + QStringLiteral("\r\n");
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(QString::fromUtf8(lf.out), expected);
    }

    // The same log on paper from vrxlog pdf and from the window's File > Print: the same pages,
    // with the same text on each, also for lines past the printed width and lines that end in
    // LF alone.
    void pdfEqualsTheWindowsPrintout_data()
    {
        QTest::addColumn<QByteArray>("log");   // empty: the sample scope-fail.log
        QTest::newRow("sample") << QByteArray();
        QByteArray lf;
        for (int i = 1; i <= 70; ++i)
            lf += "Test " + QByteArray::number(i) + "\x01(\x0F" + (i % 9 == 0 ? QByteArray(5000, 'x') + "\r" : QByteArray()) + "\n";
        QTest::newRow("LF alone, long lines") << lf + "\r\nlast\r\n";
    }
    void pdfEqualsTheWindowsPrintout()
    {
        QFETCH(QByteArray, log);
        QTemporaryDir dir;
        QString path = sample(QStringLiteral("scope-fail.log"));
        if (!log.isEmpty()) {
            path = dir.filePath(QStringLiteral("lf.log"));
            writeFile(path, log);
        }
        const QString byVrxlog = dir.filePath(QStringLiteral("vrxlog.pdf"));
        QCOMPARE(vrxlog({QStringLiteral("pdf"), QStringLiteral("--paper"), QStringLiteral("a4"), QStringLiteral("-o"),
                         byVrxlog, path}).exitCode, 0);
        const QString byWindow = dir.filePath(QStringLiteral("window.pdf"));
        {
            test::ScriptedPlatform platform;
            platform.openAnswers.append(OpenFileResult{path, QFileInfo(path).fileName()});
            MainForm window(platform);
            window.setEndProgram([] {});
            window.LoadLogFile_Click();
            // On paper of vrxlog's (A4, printed to its edges), so that a line past the printed
            // width is cut at the same place.
            QFile file(byWindow);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QPdfWriter writer(&file);
            QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF());
            layout.setMode(QPageLayout::FullPageMode);
            writer.setPageLayout(layout);
            writer.setResolution(1200);
            DevicePrinter device(writer, byWindow, &file);
            PrintDocument(device, window.logView().displayLines());
        }
        const auto pages = [](const QString& pdf) {
            QProcess text;
            text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
            text.waitForFinished(30000);
            return QString::fromUtf8(text.readAllStandardOutput()).split(QLatin1Char('\f'));
        };
        const QStringList window = pages(byWindow);
        QVERIFY(window.size() > 1);
        QCOMPARE(pages(byVrxlog), window);
    }

    void textOfRepairedAndHighBytes()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("high.log"));
        // 0xF1, 0xF3, 0xE6 are repaired; 0x80 is the euro sign; 0x81 has no character.
        writeFile(log, QByteArray("\xF1\xF3\xE6 \x80\x81|\x01\x28|\x06\r\n\r\nlast", 19));
        const Run run = vrxlog({QStringLiteral("text"), log});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QString::fromUtf8(run.out),
                 QString::fromUtf8("\u00B1<\u00B5 \u20AC\u0081|          | \u00B5V\n\nlast\n"));
    }

    void textToAFile()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("pass.txt"));
        const Run run = vrxlog({QStringLiteral("text"), QStringLiteral("-o"), out, sample(QStringLiteral("scope-pass.log"))});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.isEmpty());
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()),
                 windowDisplayText(sample(QStringLiteral("scope-pass.log"))).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                     + QLatin1Char('\n'));
    }

    void statusSummaries()
    {
        const Run run = vrxlog({QStringLiteral("status"), sample(QStringLiteral("scope-fail.log")),
                                sample(QStringLiteral("probe-nostatus.log")), sample(QStringLiteral("meter-corrupt.log"))});
        QCOMPARE(run.exitCode, 0);
        const QString out = QString::fromUtf8(run.out);
        QVERIFY2(out.contains(QStringLiteral("Test # 1  - PASS\n")), qPrintable(out));
        QVERIFY(out.contains(QStringLiteral("Test # 8  - FAIL\n")));
        QVERIFY(out.contains(QStringLiteral("Test # 10 - N/A\n")));
        QVERIFY(out.contains(QStringLiteral("Pass: 23  Fail: 3  N/A: 1\n")));
        QVERIFY(out.contains(QStringLiteral("Test Status File Error: \"") + sample(QStringLiteral("probe-nostatus.tst"))
                             + QStringLiteral("\"  not found.\nTest Status Data will not be available.\n")));
        QVERIFY(out.contains(QStringLiteral("Test Status File Error: Corrupt or invalid file format.\n")));
    }

    void statusOfUpperCaseNames()
    {
        const Run run = vrxlog({QStringLiteral("status"), sample(QStringLiteral("RUN7.LOG"))});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(QString::fromUtf8(run.out).contains(QRegularExpression(QStringLiteral("Pass: \\d+  Fail: 0  N/A: \\d+\n"))));
    }

    // The samples are as the test program writes its logs: no line wider than 80 columns, and
    // each test's line (it says MEASURED and ends with the outcome) says what the status file
    // says for that test; with a corrupt status file, the values read before the bad one.
    void samplesAsTheTestProgramWritesThem_data()
    {
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("status");   // "valid", "corrupt" or "missing"
        for (const char* name : {"scope-pass.log", "scope-fail.log", "RUN7.LOG"})
            QTest::newRow(name) << name << "valid";
        QTest::newRow("meter-corrupt.log") << "meter-corrupt.log" << "corrupt";
        QTest::newRow("probe-nostatus.log") << "probe-nostatus.log" << "missing";
    }
    void samplesAsTheTestProgramWritesThem()
    {
        QFETCH(QString, log);
        QFETCH(QString, status);
        const Run text = vrxlog({QStringLiteral("text"), sample(log)});
        QCOMPARE(text.exitCode, 0);
        QStringList outcomes;
        for (const QString& line : QString::fromUtf8(text.out).split(QLatin1Char('\n'))) {
            QVERIFY2(line.size() <= 80, qPrintable(line));
            if (line.contains(QLatin1String("MEASURED")))
                outcomes << line.section(QLatin1Char(' '), -1);
        }
        QVERIFY(!outcomes.isEmpty());

        const Run summary = vrxlog({QStringLiteral("status"), sample(log)});
        QCOMPARE(summary.exitCode, 0);
        const QString out = QString::fromUtf8(summary.out);
        QStringList items;
        for (const QString& line : out.split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("Test #")))
                items << line.section(QStringLiteral(" - "), -1);
        if (status == QLatin1String("valid")) {
            QCOMPARE(items, outcomes);
            QVERIFY2(out.contains(QStringLiteral("Pass: %1  Fail: %2  N/A: %3\n")
                                      .arg(outcomes.count(QStringLiteral("PASS")))
                                      .arg(outcomes.count(QStringLiteral("FAIL")))
                                      .arg(outcomes.count(QStringLiteral("N/A")))),
                     qPrintable(out));
        } else if (status == QLatin1String("corrupt")) {
            QVERIFY(!items.isEmpty() && items.size() < outcomes.size());
            QCOMPARE(items, outcomes.mid(0, items.size()));
            QVERIFY(out.contains(QLatin1String("Corrupt or invalid file format.")));
        } else {
            QVERIFY(items.isEmpty());
            QVERIFY(out.contains(QLatin1String("not found.")));
        }
    }

    void badInput_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");   // "<dir>" makes a folder, "<none>" nothing
        QTest::addColumn<QString>("message");
        for (const char* command : {"text", "status"}) {
            QTest::addRow("%s missing", command) << command << "gone.log" << QByteArray("<none>") << "could not be opened";
            QTest::addRow("%s empty", command) << command << "empty.log" << QByteArray() << "is empty";
            QTest::addRow("%s folder", command) << command << "folder.log" << QByteArray("<dir>") << "could not be opened";
            QTest::addRow("%s malformed", command) << command << "bad.log" << QByteArray("good\r\nbad \x01") << "from line 2 on";
        }
    }
    void badInput()
    {
        QFETCH(QString, command);
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString log = dir.filePath(name);
        if (bytes == "<dir>")
            QVERIFY(QDir().mkpath(log));
        else if (bytes != "<none>")
            writeFile(log, bytes);
        const QString good = sample(QStringLiteral("scope-pass.log"));
        const QStringList before = test::folderListing(dir.path());

        // The bad log is reported, and the good one after it is still processed.
        const Run run = vrxlog({command, log, good}, dir.path());
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY2(wellFormedMessages(run.err), qPrintable(run.err));
        QVERIFY2(run.err.contains(log), qPrintable(run.err));
        QVERIFY(run.out.contains(command == QLatin1String("text") ? QByteArray("VRX VERIFICATION LOG") : QByteArray("Test # 1  - PASS")));
        QCOMPARE(test::folderListing(dir.path()), before);
    }

    void binaryFileStopsAtItsBadLine()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("binary.log"));
        QByteArray bytes = "first line\r\n";
        for (int i = 0; i < 4096; ++i)
            bytes += char(32 + (i * 7919) % 224);    // no line end, no token code
        bytes += QByteArray("\0\x01\x02", 3);       // a run of spaces whose count is a token code
        writeFile(log, bytes);
        const Run run = vrxlog({QStringLiteral("text"), log});
        QCOMPARE(run.exitCode, 1);
        // Like iconv, the text before the bad line is written; the message says so.
        QCOMPARE(run.out, QByteArray("first line\n"));
        QVERIFY2(run.err.contains(log), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("from line 2 on")), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("\n  Only the lines before line 2 were written.\n")), qPrintable(run.err));

        // Into a file, a failed log leaves no file behind.
        const QString out = dir.filePath(QStringLiteral("binary.txt"));
        QCOMPARE(vrxlog({QStringLiteral("text"), QStringLiteral("-o"), out, log}).exitCode, 1);
        QVERIFY(!QFileInfo::exists(out));
    }

    void unreadableStatusFile()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("run.log"));
        writeFile(log, "line\r\n");
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("run.tst"))));   // a folder cannot be read
        const Run run = vrxlog({QStringLiteral("status"), log});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QString::fromUtf8(run.out),
                 log + QStringLiteral(":\nTest Status File Error: ") + dir.filePath(QStringLiteral("run.tst"))
                     + QStringLiteral("\nTest Status Data will not be available.\n"));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown command") << QStringList{"show", "a.log"};
        QTest::newRow("no log") << QStringList{"text"};
        QTest::newRow("unknown option") << QStringList{"text", "--utf16", "a.log"};
        QTest::newRow("-o for two logs") << QStringList{"text", "-o", "x.txt", "a.log", "b.log"};
        QTest::newRow("pdf without -o") << QStringList{"pdf", "a.log"};
        QTest::newRow("bad paper") << QStringList{"pdf", "--paper", "a3", "-o", "x.pdf", "a.log"};
        QTest::newRow("-o without name") << QStringList{"text", "a.log", "-o"};
        QTest::newRow("-o empty name") << QStringList{"text", "-o", "", "a.log"};
        QTest::newRow("standard input twice") << QStringList{"text", "-", "-"};
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        const Run run = vrxlog(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(wellFormedMessages(run.err), qPrintable(run.err));
    }

    // The options' spellings, each taken or refused with the message it has always had.
    // In the arguments, LOG stands for a one-line log and OUT for a file in the same folder.
    void optionSpellings_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err");      // the first line of the message; empty for none
        QTest::addColumn<QByteArray>("text");  // what reaches OUT, or standard output without OUT

        const QByteArray line = "one\n";
        QTest::newRow("-o FILE") << QStringList{"text", "-o", "OUT", "LOG"} << 0 << "" << line;
        QTest::newRow("--output FILE") << QStringList{"text", "--output", "OUT", "LOG"} << 0 << "" << line;
        QTest::newRow("--output=FILE") << QStringList{"text", "--output=OUT", "LOG"} << 0 << "" << line;
        QTest::newRow("options after the log") << QStringList{"text", "LOG", "--crlf", "-o", "OUT"} << 0 << ""
                                               << QByteArray("one\r\n");
        QTest::newRow("the last -o counts") << QStringList{"text", "-o", "nowhere/x", "-o", "OUT", "LOG"} << 0
                                            << "" << line;
        QTest::newRow("after --, a log") << QStringList{"text", "-o", "OUT", "--", "-o"} << 1 << "" << QByteArray();
        QTest::newRow("-oFILE") << QStringList{"text", "-oOUT", "LOG"} << 2
                                << "vrxlog: unknown option '-oOUT' for 'text'" << QByteArray();
        QTest::newRow("-o=FILE") << QStringList{"text", "-o=OUT", "LOG"} << 2
                                 << "vrxlog: unknown option '-o=OUT' for 'text'" << QByteArray();
        QTest::newRow("-output") << QStringList{"text", "-output", "OUT", "LOG"} << 2
                                 << "vrxlog: unknown option '-output' for 'text'" << QByteArray();
        QTest::newRow("--o") << QStringList{"text", "--o", "OUT", "LOG"} << 2
                             << "vrxlog: unknown option '--o' for 'text'" << QByteArray();
        QTest::newRow("--crlf=yes") << QStringList{"text", "--crlf=yes", "LOG"} << 2
                                    << "vrxlog: unknown option '--crlf=yes' for 'text'" << QByteArray();
        QTest::newRow("--crlf is text's") << QStringList{"status", "--crlf", "LOG"} << 2
                                          << "vrxlog: unknown option '--crlf' for 'status'" << QByteArray();
        QTest::newRow("--paper is pdf's") << QStringList{"text", "--paper", "a4", "LOG"} << 2
                                          << "vrxlog: unknown option '--paper' for 'text'" << QByteArray();
        QTest::newRow("the first wrong word is named") << QStringList{"text", "--bad", "LOG", "-o"} << 2
                                                       << "vrxlog: unknown option '--bad' for 'text'" << QByteArray();
        QTest::newRow("-o last") << QStringList{"text", "LOG", "-o"} << 2 << "vrxlog: -o needs a file name"
                                 << QByteArray();
        QTest::newRow("--output last") << QStringList{"text", "LOG", "--output"} << 2
                                       << "vrxlog: --output needs a file name" << QByteArray();
        QTest::newRow("--paper last") << QStringList{"pdf", "-o", "OUT", "LOG", "--paper"} << 2
                                      << "vrxlog: --paper needs a4 or letter" << QByteArray();
        QTest::newRow("--paper=A3") << QStringList{"pdf", "-o", "OUT", "--paper=A3", "LOG"} << 2
                                    << "vrxlog: --paper takes a4 or letter, not 'a3'" << QByteArray();
        QTest::newRow("--output=") << QStringList{"text", "--output=", "LOG"} << 2
                                   << "vrxlog: -o needs a file name, not an empty one ('-' is standard output)"
                                   << QByteArray();
    }
    void optionSpellings()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        QFETCH(QByteArray, text);
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("one.log"));
        const QString out = dir.filePath(QStringLiteral("out.txt"));
        writeFile(log, "one\r\n");
        for (QString& argument : arguments)
            argument.replace(QStringLiteral("LOG"), log).replace(QStringLiteral("OUT"), out);

        const Run run = vrxlog(arguments);
        QCOMPARE(run.exitCode, exitCode);
        if (err.isEmpty())
            QVERIFY2(exitCode != 0 || run.err.isEmpty(), qPrintable(run.err));
        else
            QCOMPARE(run.err, err.replace(QStringLiteral("OUT"), out)
                                  + QStringLiteral("\n  Try 'vrxlog %1 --help'.\n").arg(arguments.constFirst()));
        if (exitCode == 0) {
            QFile written(out);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll(), text);
        } else if (exitCode == 2) {
            QVERIFY(run.out.isEmpty());
            QVERIFY(!QFile::exists(out));
        }
    }

    void help()
    {
        const Run run = vrxlog({QStringLiteral("--help")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.startsWith("Usage: vrxlog text"));
    }

    // A command's own help, wherever --help stands before "--"; after it, or as an option's
    // value, it is a name.
    void commandHelp_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");   // what standard output starts with
        QTest::newRow("text --help") << QStringList{"text", "--help"} << 0 << QByteArray("Usage: vrxlog text [--crlf]");
        QTest::newRow("status -h") << QStringList{"status", "-h"} << 0 << QByteArray("Usage: vrxlog status LOG...\n");
        QTest::newRow("pdf --help") << QStringList{"pdf", "--help"} << 0 << QByteArray("Usage: vrxlog pdf [--paper");
        // Worded as vrxpv --version words it.
        QTest::newRow("--version") << QStringList{"--version"} << 0 << QByteArray("vrxlog 1.3 (Jan 2025)\n");
        QTest::newRow("after a log and a wrong option") << QStringList{"text", "a.log", "--bad", "--help"} << 0
                                                         << QByteArray("Usage: vrxlog text");
        QTest::newRow("after --, a log") << QStringList{"text", "--", "--help"} << 1 << QByteArray();
        QTest::newRow("as -o's value, a file") << QStringList{"status", "-o", "--help", "a.log"} << 2 << QByteArray();
    }
    void commandHelp()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QTemporaryDir dir;
        const Run run = vrxlog(arguments, dir.path());
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.out.startsWith(out), run.out.constData());
        QVERIFY2(exitCode != 0 || run.err.isEmpty(), qPrintable(run.err));
        QVERIFY2(wellFormedMessages(run.err), qPrintable(run.err));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("--help"))));
    }

    // With several logs, a line before each says which one follows, as head and tail write it;
    // -q leaves it out, and one log has none. LOG1 and LOG2 are logs of one line, NONE is missing.
    void severalLogs_data()
    {
        QTest::addColumn<QString>("command");   // shell words after vrxlog
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("two logs") << "text LOG1 LOG2" << 0 << QByteArray("==> LOG1 <==\none\n\n==> LOG2 <==\ntwo\n");
        QTest::newRow("-q") << "text -q LOG1 LOG2" << 0 << QByteArray("one\ntwo\n");
        QTest::newRow("--quiet after them, CR LF") << "text LOG1 LOG2 --quiet --crlf" << 0 << QByteArray("one\r\ntwo\r\n");
        QTest::newRow("CR LF") << "text --crlf LOG1 LOG2" << 0
                               << QByteArray("==> LOG1 <==\r\none\r\n\r\n==> LOG2 <==\r\ntwo\r\n");
        QTest::newRow("one log") << "text LOG2" << 0 << QByteArray("two\n");
        QTest::newRow("standard input among them") << "text LOG1 - <LOG2" << 0
                                                   << QByteArray("==> LOG1 <==\none\n\n==> standard input <==\ntwo\n");
        QTest::newRow("a log that cannot be opened has none") << "text LOG1 NONE LOG2" << 1
                                                                << QByteArray("==> LOG1 <==\none\n\n==> LOG2 <==\ntwo\n");
    }
    void severalLogs()
    {
        QFETCH(QString, command);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("LOG1")), "one\r\n");
        writeFile(dir.filePath(QStringLiteral("LOG2")), "two");
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec \"%1\" %2").arg(QStringLiteral(VRXLOG_PATH), command)});
        QVERIFY(process.waitForFinished(60000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), exitCode);
        QCOMPARE(process.readAllStandardOutput(), out);
        QVERIFY2(exitCode != 0 || err.isEmpty(), qPrintable(err));
        QVERIFY2(wellFormedMessages(err), qPrintable(err));
    }

    void pdfHasThePrintLayout_data()
    {
        QTest::addColumn<QString>("paper");
        QTest::addColumn<double>("pageHeight");   // millimetres
        QTest::newRow("a4") << "a4" << 297.0;
        QTest::newRow("letter") << "letter" << 279.4;
    }
    void pdfHasThePrintLayout()
    {
        QFETCH(QString, paper);
        QFETCH(double, pageHeight);
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("sixty.log"));
        QByteArray bytes;
        for (int i = 1; i <= 60; ++i)
            bytes += "L" + QByteArray::number(i) + "\r\n";
        writeFile(log, bytes);
        const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
        const Run run = vrxlog({QStringLiteral("pdf"), QStringLiteral("--paper"), paper, QStringLiteral("-o"), pdf, log});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));

        QProcess process;
        process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
        QVERIFY(process.waitForFinished(30000));
        const QString html = QString::fromUtf8(process.readAllStandardOutput());
        static const QRegularExpression pageTag(QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)")re"));
        static const QRegularExpression word(
            QStringLiteral(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="([\d.]+)">([^<]*)</word>)re"));
        const double mmPerPoint = 25.4 / 72.0;
        const double twipsMm = 56.7 / (1440.0 / 25.4);   // the layout's millimetre on paper

        QList<QHash<QString, QPointF>> pages;
        for (auto it = QRegularExpression(QStringLiteral("<page |<word [^>]*>[^<]*</word>")).globalMatch(html); it.hasNext();) {
            const QString piece = it.next().captured(0);
            if (piece == QLatin1String("<page ")) {
                pages.append(QHash<QString, QPointF>());
                continue;
            }
            const auto m = word.match(piece);
            if (m.hasMatch() && !pages.isEmpty())
                pages.last().insert(m.captured(4), QPointF(m.captured(1).toDouble() * mmPerPoint, m.captured(2).toDouble() * mmPerPoint));
        }
        const auto size = pageTag.match(html);
        QVERIFY(size.hasMatch());
        QVERIFY(qAbs(size.captured(2).toDouble() * mmPerPoint - pageHeight) < 0.5);
        QCOMPARE(pages.size(), 2);

        // Lines at x 18 mm, the first of a page at 25 mm and each next one 5 mm lower; the
        // footer "Page N of 2" at 88 mm / 270 mm. A word's box starts a little below the top
        // of its line cell, by the same amount on every line.
        const QPointF first = pages[0].value(QStringLiteral("L1"));
        QVERIFY(qAbs(first.x() - 18 * twipsMm) < 0.3);
        const double cellGap = first.y() - 25 * twipsMm;
        QVERIFY2(cellGap >= 0 && cellGap < 2, qPrintable(QString::number(cellGap)));
        QVERIFY(qAbs(pages[0].value(QStringLiteral("L48")).y() - (25 + 47 * 5) * twipsMm - cellGap) < 0.3);
        QVERIFY(qAbs(pages[1].value(QStringLiteral("L49")).y() - 25 * twipsMm - cellGap) < 0.3);
        QVERIFY(qAbs(pages[1].value(QStringLiteral("L60")).y() - (25 + 11 * 5) * twipsMm - cellGap) < 0.3);
        for (int p = 0; p < 2; ++p) {
            const QPointF footer = pages[p].value(QStringLiteral("Page"));
            QVERIFY(qAbs(footer.x() - 88 * twipsMm) < 0.3);
            QVERIFY(qAbs(footer.y() - 270 * twipsMm - cellGap) < 0.3);
        }
        QVERIFY(html.contains(QStringLiteral(">2</word>")));

        // Titled after the log, as the window's print jobs are named.
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY(info.waitForFinished(30000));
        QVERIFY(QString::fromUtf8(info.readAllStandardOutput()).contains(QStringLiteral("Title:           sixty.log\n")));
    }

    // Outputs and command lines that once lost data or aborted. Every row runs through the
    // shell (for redirections and names that are no UTF-8) with a desktop platform named and
    // no display, and must end in time, leave the log and its status file as they were and
    // leave no hidden temporary behind.
    void hostileOutputs_data()
    {
        QTest::addColumn<QString>("setup");     // what %node is: "", "file", "readonly", "link", "fifo", "mknod 1 3", "latin1",
                                                // "big" (a log of 100 samples, written in large blocks), "kept" (a
                                                // file whose bytes, permissions and time must stay)
        QTest::addColumn<QString>("command");   // shell words after vrxlog; %log, %tst, %node, %dir
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");   // standard error matches this pattern
        QTest::addColumn<QString>("out");       // standard output matches this pattern
        const QString noOutput = QStringLiteral("^$");
        const QString text = QStringLiteral("VRX VERIFICATION LOG");

        // Same file as an input.
        QTest::newRow("text -o the log") << "" << "text -o %log %log" << 2
                                         << "^vrxlog: the output \"%log\" is the log \"%log\"; logs are only read\n$" << noOutput;
        QTest::newRow("text -o the status file") << "" << "text -o %tst %log" << 2
                                                 << "^vrxlog: the output \"%tst\" is the status file \"%tst\" of \"%log\"" << noOutput;
        QTest::newRow("pdf -o a link to the log") << "link" << "pdf -o %node %log" << 2
                                                  << "^vrxlog: the output \"%node\" is the log \"%log\"" << noOutput;
        QTest::newRow("standard output appended to the log") << "" << "text %log >>%log" << 2
                                                             << "^vrxlog: the output \"standard output\" is the log" << noOutput;
        // Devices and FIFOs are written into, never replaced.
        QTest::newRow("text -o a null device node") << "mknod 1 3" << "text -o %node %log" << 0 << "^$" << noOutput;
        QTest::newRow("pdf -o a full device node") << "mknod 1 7" << "pdf -o %node %log" << 1
                                                   << "^vrxlog: cannot write \"%node\": No space left on device\n$" << noOutput;
        // A disk that fills up while the PDF is drawn, in a temporary beside the target.
        QTest::newRow("pdf -o onto a full disk") << "full disk" << "pdf -o %dir/full/out.pdf %node" << 1
                                                 << "^vrxlog: cannot write \"%dir/full/out.pdf\": No space left on device\n$"
                                                 << noOutput;
        QTest::newRow("text -o /dev/full") << "" << "text -o /dev/full %log" << 1
                                           << "^vrxlog: cannot write \"/dev/full\": No space left on device\n$" << noOutput;
        QTest::newRow("text -o a FIFO") << "fifo" << "text -o %node %log" << 0 << "^$" << noOutput;
        // Read-only targets and missing folders; the message names the file, not a temporary.
        QTest::newRow("text -o a read-only file") << "readonly" << "text -o %node %log" << 1
                                                  << "^vrxlog: cannot write \"%node\": The file is read-only.\n$" << noOutput;
        QTest::newRow("pdf -o a read-only file") << "readonly" << "pdf -o %node %log" << 1
                                                 << "^vrxlog: cannot write \"%node\": The file is read-only.\n$" << noOutput;
        QTest::newRow("pdf -o in a missing folder") << "" << "pdf -o %dir/none/x.pdf %log" << 1
                                                    << "^vrxlog: cannot write \"%dir/none/x.pdf\": No such file or directory\n$" << noOutput;
        QTest::newRow("pdf -o replaces a file") << "file" << "pdf -o %node %log" << 0 << "^$" << noOutput;
        // Standard output that cannot be written.
        QTest::newRow("status to /dev/full") << "" << "status %log %log >/dev/full" << 1
                                             << "^vrxlog: write error: No space left on device\n$" << noOutput;
        QTest::newRow("text with standard output closed") << "" << "text %log >&-" << 1
                                                          << "^vrxlog: write error: Bad file descriptor\n$" << noOutput;
        QTest::newRow("large text to /dev/full") << "big" << "text %node >/dev/full" << 1
                                                 << "^vrxlog: write error: No space left on device\n$" << noOutput;
        QTest::newRow("large text with standard output closed") << "big" << "text %node >&-" << 1
                                                                << "^vrxlog: write error: Bad file descriptor\n$" << noOutput;
        QTest::newRow("large text through a pipe") << "big" << "text %node | wc -lc" << 0 << "^$"
                                                   << "^ *4298 +275198\n$";
        // Names: Qt's options, '-', Latin-1 bytes.
        QTest::newRow("Qt options as file names") << "" << "status -- -platform -reverse -plugin %log" << 1
                                                  << "^vrxlog: The log file \"-platform\" could not be opened\\.\n  No such file"
                                                  << "^%log:\nTest # 1  - PASS\n";
        QTest::newRow("- reads standard input") << "" << "text - <%log" << 0 << "^$" << text;
        QTest::newRow("-o - writes standard output") << "" << "text -o - %log" << 0 << "^$" << text;
        QTest::newRow("pdf -o - writes standard output") << "" << "pdf -o - %log" << 0 << "^$" << "^%PDF-";
        QTest::newRow("Latin-1 name") << "latin1" << "status \"$(printf '%dir/caf\\351.log')\"" << 0 << "^$"
                                      << "^%dir/caf\\\\xe9.log:\nTest # 1  - PASS\n(.*\n)*Pass: 23  Fail: 3  N/A: 1\n$";
        // A backslash is escaped as well, so that a name holding \ and n reads apart from one holding
        // a line end, and format characters (a direction mark, a line separator) show as escapes.
        QTest::newRow("names that would read alike") << ""
            << "status 'a\\nb.log' \"$(printf 'a\\nb.log')\" \"$(printf 'r\\342\\200\\256e\\342\\200\\250.log')\"" << 1
            << R"(^vrxlog: The log file "a\\\\nb\.log" could not be opened\.\n  No such file or directory\.\n)"
               R"(vrxlog: The log file "a\\nb\.log" could not be opened\.\n  No such file or directory\.\n)"
               R"(vrxlog: The log file "r\\u202ee\\u2028\.log" could not be opened\.\n  No such file or directory\.\n$)"
            << noOutput;
        QTest::newRow("a direction mark in a heading")
            << "" << "cp %log \"$(printf 'r\\342\\200\\256.log')\" && \"$VRXLOG\" text \"$(printf 'r\\342\\200\\256.log')\" %log | grep '^==>'"
            << 0 << "^$" << R"(^==> r\\u202e\.log <==\n==> %dir/run\.log <==\n$)";
        // Standard input streams: a pipe is not copied anywhere first (no temporary folder is
        // needed), an endless one gives its lines at once, and a file is read from where the
        // caller left it.
        QTest::newRow("- streams a pipe") << "" << "cat %log | TMPDIR=%dir/none \"$VRXLOG\" text -" << 0 << "^$" << text;
        QTest::newRow("- of an endless pipe") << "" << "yes \"$(printf 'x\\r')\" | \"$VRXLOG\" text - | head -2" << 0
                                              << "^$" << "^x\nx\n$";
        QTest::newRow("- from where the caller left it")
            << "" << "{ dd bs=1 count=10 of=/dev/null 2>/dev/null; exec \"$VRXLOG\" text -; } <%log" << 0 << "^$"
            << "^RIFICATION LOG ";
        // Ended while it writes (a pipe that has not ended yet): the temporary goes with it.
        QTest::newRow("text -o ended by a signal")
            << "" << "(cat %log; exec sleep 3) 2>/dev/null | \"$VRXLOG\" text -o %dir/out.txt - & sleep 1; "
                     "ls -A %dir | grep -c '^[.]out[.]txt[.]'; kill $!; { wait $!; } 2>/dev/null; "
                     "ls -A %dir | grep -c 'out[.]txt'; exit 0"
            << 0 << "^$" << "^1\n0\n$";
        // Names the temporary's suffix made too long once; the output is written.
        QTest::newRow("text -o a 255-byte name") << "" << "text -o %dir/" + QString(255, QLatin1Char('n')) + " %log" << 0
                                                 << "^$" << "^$";
        // An existing target keeps its owner, group and permissions, also when root writes it.
        QTest::newRow("text -o another user's file") << "owned" << "text -o %node %log" << 0 << "^$" << "^$";
        // A log that cannot be opened leaves the target as it was: bytes, permissions and time.
        QTest::newRow("text -o, the log missing") << "kept" << "text -o %node %dir/typo.log" << 1
            << "^vrxlog: The log file \"%dir/typo.log\" could not be opened.\n  No such file or directory.\n$" << noOutput;
        QTest::newRow("text -o, the log a folder") << "kept" << "text -o %node %dir" << 1
            << "^vrxlog: The log file \"%dir\" could not be opened.\n  It is a folder.\n$" << noOutput;
        QTest::newRow("text -o, standard input a device") << "kept" << "text -o %node - </dev/null" << 1
            << "^vrxlog: The log file \"standard input\" could not be opened.\n  It is a character device" << noOutput;
        QTest::newRow("pdf -o, the log missing") << "kept" << "pdf -o %node %dir/typo.log" << 1
            << "^vrxlog: The log file \"%dir/typo.log\" could not be opened." << noOutput;
        QTest::newRow("status -o refused") << "kept" << "status -o %node %log" << 2
            << "^vrxlog: 'status' writes to standard output only\n" << noOutput;
    }
    void hostileOutputs()
    {
        QFETCH(QString, setup);
        QFETCH(QString, command);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QFETCH(QString, out);
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("run.log"));
        const QString tst = dir.filePath(QStringLiteral("run.tst"));
        const QString node = dir.filePath(QStringLiteral("node"));
        QVERIFY(QFile::copy(sample(QStringLiteral("scope-fail.log")), log));
        QVERIFY(QFile::copy(sample(QStringLiteral("scope-fail.tst")), tst));
        const QByteArray nodeBytes = "the user's own file";
        QProcess fifoReader;
        // QTemporaryDir removes names by text; those that are no UTF-8 go by their bytes.
        const auto removeByteNames = qScopeGuard([&dir] {
            for (const char* name : {"/caf\xE9.log", "/caf\xE9.TST"})
                ::unlink((QFile::encodeName(dir.path()) + name).constData());
        });
        const QDateTime keptTime(QDate(2020, 1, 1), QTime(12, 0), Qt::UTC);
        if (setup == QLatin1String("file") || setup == QLatin1String("readonly") || setup == QLatin1String("owned")
            || setup == QLatin1String("kept")) {
            writeFile(node, nodeBytes);
            if (setup == QLatin1String("kept")) {
                QCOMPARE(::chmod(QFile::encodeName(node).constData(), 0640), 0);
                QFile kept(node);
                QVERIFY(kept.open(QIODevice::ReadWrite) && kept.setFileTime(keptTime, QFileDevice::FileModificationTime));
            }
            if (setup == QLatin1String("readonly"))
                QVERIFY(QFile::setPermissions(node, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
            if (setup == QLatin1String("owned")) {
                if (geteuid() != 0)
                    QSKIP("files of another user are made only as root");
                QCOMPARE(::chown(QFile::encodeName(node).constData(), 65534, 65534), 0);
                QCOMPARE(::chmod(QFile::encodeName(node).constData(), 0604), 0);
            }
        } else if (setup == QLatin1String("link")) {
            QVERIFY(QFile::link(log, node));
        } else if (setup == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(node).constData(), 0600), 0);
            fifoReader.start(QStringLiteral("cat"), {node});
            QVERIFY(fifoReader.waitForStarted());
        } else if (setup.startsWith(QLatin1String("mknod"))) {
            if (geteuid() != 0)
                QSKIP("device nodes are made only as root");
            const QStringList numbers = setup.split(QLatin1Char(' '));
            QCOMPARE(::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666,
                             makedev(numbers[1].toUInt(), numbers[2].toUInt())), 0);
        } else if (setup == QLatin1String("big") || setup == QLatin1String("full disk")) {
            QFile sampleLog(log);
            QVERIFY(sampleLog.open(QIODevice::ReadOnly));
            writeFile(node, sampleLog.readAll().repeated(setup == QLatin1String("big") ? 100 : 40));
        } else if (setup == QLatin1String("latin1")) {
            // Names that are no UTF-8 cannot pass through QString: written by their bytes.
            for (const auto& [from, to] : {std::pair{log, QByteArray("/caf\xE9.log")}, std::pair{tst, QByteArray("/caf\xE9.TST")}}) {
                QFile source(from);
                QVERIFY(source.open(QIODevice::ReadOnly));
                const QByteArray bytes = source.readAll();
                std::FILE* copy = std::fopen((QFile::encodeName(dir.path()) + to).constData(), "wb");
                QVERIFY(copy);
                QCOMPARE(std::fwrite(bytes.constData(), 1, size_t(bytes.size()), copy), size_t(bytes.size()));
                QCOMPARE(std::fclose(copy), 0);
            }
        }
        // 16 KB of room: the log's PDF takes some 120 KB.
        const QString full = dir.filePath(QStringLiteral("full"));
        if (setup == QLatin1String("full disk")) {
            if (geteuid() != 0)
                QSKIP("file systems are mounted only as root");
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("full")));
            QCOMPARE(QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=16k", "vrxlog-test", full}), 0);
        }
        const auto unmount = qScopeGuard([&] {
            if (setup == QLatin1String("full disk"))
                QProcess::execute(QStringLiteral("umount"), {full});
        });
        const auto expand = [&](QString pattern) {
            return pattern.replace(QStringLiteral("%log"), log).replace(QStringLiteral("%tst"), tst)
                .replace(QStringLiteral("%node"), node).replace(QStringLiteral("%dir"), dir.path());
        };
        const auto digest = [&] {
            QByteArray all;
            for (const QString& file : {log, tst}) {
                QFile f(file);
                all += f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : "-";
            }
            return all;
        };
        const QByteArray inputsBefore = digest();

        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("VRXLOG"), QStringLiteral(VRXLOG_PATH));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        // A command that names $VRXLOG itself (a pipeline) runs as it stands.
        const QString line = command.contains(QStringLiteral("$VRXLOG")) ? expand(command)
                                                                         : QStringLiteral("exec \"$VRXLOG\" ") + expand(command);
        process.start(QStringLiteral("sh"), {QStringLiteral("-c"), line});
        process.closeWriteChannel();
        QVERIFY2(process.waitForFinished(60000), "vrxlog did not end within 60 s");
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(QRegularExpression(expand(message)).match(err).hasMatch(), qPrintable(err));
        QVERIFY2(wellFormedMessages(err), qPrintable(err));
        QVERIFY2(QRegularExpression(expand(out)).match(output).hasMatch(), qPrintable(output.left(300)));
        QCOMPARE(process.exitCode(), exitCode);

        QCOMPARE(digest(), inputsBefore);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Hidden | QDir::System | QDir::AllEntries | QDir::NoDotAndDotDot)
                     .filter(QRegularExpression(QStringLiteral("^\\."))),
                 QStringList());
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(node).constData(), &st) == 0, !setup.isEmpty() && setup != QLatin1String("latin1"));
        if (setup == QLatin1String("owned")) {
            QCOMPARE(st.st_uid, uid_t(65534));
            QCOMPARE(st.st_gid, gid_t(65534));
            QCOMPARE(st.st_mode & 07777, mode_t(0604));
            QFile replaced(node);
            QVERIFY(replaced.open(QIODevice::ReadOnly));
            QVERIFY(replaced.readAll().startsWith("VRX VERIFICATION LOG"));
        }
        if (qstrcmp(QTest::currentDataTag(), "text -o a 255-byte name") == 0) {
            QFile written(dir.filePath(QString(255, QLatin1Char('n'))));
            QVERIFY(written.open(QIODevice::ReadOnly));
            QVERIFY(written.readAll().startsWith("VRX VERIFICATION LOG"));
        }
        if (setup.startsWith(QLatin1String("mknod")))
            QVERIFY(S_ISCHR(st.st_mode));
        if (setup == QLatin1String("fifo")) {
            QVERIFY(S_ISFIFO(st.st_mode));
            QVERIFY(fifoReader.waitForFinished(10000));
            QVERIFY(fifoReader.readAllStandardOutput().startsWith("VRX VERIFICATION LOG"));
        }
        if (setup == QLatin1String("readonly") || setup == QLatin1String("kept")) {
            QFile kept(node);
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), nodeBytes);
        }
        if (setup == QLatin1String("kept")) {
            QCOMPARE(st.st_mode & 07777, mode_t(0640));
            QCOMPARE(QFileInfo(node).lastModified().toSecsSinceEpoch(), keptTime.toSecsSinceEpoch());
        }
        if (setup == QLatin1String("file")) {
            QFile replaced(node);
            QVERIFY(replaced.open(QIODevice::ReadOnly));
            QVERIFY(replaced.read(5) == "%PDF-");
        }
    }

    void pdfOfABadLogWritesNothing()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
        const Run run = vrxlog({QStringLiteral("pdf"), QStringLiteral("-o"), pdf, dir.filePath(QStringLiteral("gone.log"))});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(!QFileInfo::exists(pdf));
        QVERIFY(!QFileInfo::exists(pdf + QStringLiteral(".part")));
    }

    // vrxlog alone has its PDF pages compressed at a quicker level: the print library, which the
    // window links too, leaves zlib as it is.
    void quickCompressionInVrxlogOnly()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("two.log"));
        writeFile(log, "A\r\nB\r\n");
        const QString byVrxlog = dir.filePath(QStringLiteral("vrxlog.pdf"));
        QCOMPARE(vrxlog({QStringLiteral("pdf"), QStringLiteral("-o"), byVrxlog, log}).exitCode, 0);
        const QString byLibrary = dir.filePath(QStringLiteral("library.pdf"));
        {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(byLibrary);
            DevicePrinter device(printer);
            PrintDocument(device, DisplayLines(std::string("A\r\nB")));
        }
#ifdef VRXLOG_QUICK_PDF
        const int vrxlogLevel = 1;   // the level field of the zlib header: "fast", levels 2 to 5
#else
        const int vrxlogLevel = 2;
#endif
        QCOMPARE(flateLevels(byVrxlog), QSet<int>{vrxlogLevel});
        QCOMPARE(flateLevels(byLibrary), QSet<int>{2});   // zlib's default
    }
};

QTEST_MAIN(TestVrxlog)
#include "test_vrxlog.moc"

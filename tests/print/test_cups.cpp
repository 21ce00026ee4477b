// Printing on a real CUPS scheduler with the two virtual PDF printers that
// scripts/start-cups sets up (VRX-PDF-A and VRX-PDF-B).

#include "print/SystemDefaultPrinter.h"
#include "print/PrintCommand.h"
#include "platform/QtPlatform.h"
#include "tests/support/ScriptedPlatform.h"
#include "tests/print/TestPrint.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QUuid>
#include <QtTest>

#include <cups/cups.h>
#include <pwd.h>
#include <unistd.h>

using namespace vrx;

namespace {

const QString PrinterA = QStringLiteral("VRX-PDF-A");
const QString PrinterB = QStringLiteral("VRX-PDF-B");
constexpr int JobTimeoutMs = 120000;

// Why the scheduler or the test printers cannot be used; empty when they can.
QString cupsProblem()
{
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 3000, nullptr);
    if (http == nullptr)
        return QStringLiteral("no CUPS scheduler answers at %1").arg(QString::fromUtf8(cupsServer()));
    QString problem;
    for (const QString& name : {PrinterA, PrinterB}) {
        cups_dest_t* dest = cupsGetNamedDest(http, name.toUtf8().constData(), nullptr);
        if (dest == nullptr)
            problem = QStringLiteral("the printer %1 is missing (scripts/start-cups adds it)").arg(name);
        cupsFreeDests(1, dest);
    }
    httpClose(http);
    return problem;
}

QString otherTestPrinter(const QString& printer)
{
    return printer == PrinterA ? PrinterB : PrinterA;
}

// Highest job id of a printer, completed jobs included.
int lastJobId(const QString& printer)
{
    cups_job_t* jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, printer.toUtf8().constData(), 0, CUPS_WHICHJOBS_ALL);
    int last = 0;
    for (int i = 0; i < n; ++i)
        last = qMax(last, jobs[i].id);
    cupsFreeJobs(n, jobs);
    return last;
}

struct JobState {
    int id;
    ipp_jstate_t state;
};

QList<JobState> jobsAfter(const QString& printer, int afterId)
{
    cups_job_t* jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, printer.toUtf8().constData(), 0, CUPS_WHICHJOBS_ALL);
    QList<JobState> found;
    for (int i = 0; i < n; ++i)
        if (jobs[i].id > afterId)
            found << JobState{jobs[i].id, jobs[i].state};
    cupsFreeJobs(n, jobs);
    return found;
}

// The folder cups-pdf writes this user's files to, from its configuration.
QString pdfOutputFolder()
{
    QString out = QStringLiteral("/var/spool/cups-pdf/${USER}");
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly | QIODevice::Text)) {
        static const QRegularExpression outLine(QStringLiteral(R"(^Out\s+(\S.*)$)"));
        while (!conf.atEnd()) {
            const auto m = outLine.match(QString::fromLocal8Bit(conf.readLine()).trimmed());
            if (m.hasMatch())
                out = m.captured(1).trimmed();
        }
    }
    const passwd* user = getpwuid(getuid());
    if (user != nullptr) {
        out.replace(QStringLiteral("${HOME}"), QString::fromLocal8Bit(user->pw_dir));
        out.replace(QStringLiteral("${USER}"), QString::fromLocal8Bit(user->pw_name));
    }
    return out;
}

QStringList pdfFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files);
}

QString lpstatDefault()
{
    QProcess lpstat;
    lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-d")});
    lpstat.waitForFinished(10000);
    return QString::fromLocal8Bit(lpstat.readAllStandardOutput()).trimmed();
}

QString pdfText(const QString& file)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

int pdfPages(const QString& file)
{
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {file});
    process.waitForFinished(30000);
    static const QRegularExpression pages(QStringLiteral(R"(^Pages:\s+(\d+))"), QRegularExpression::MultilineOption);
    return pages.match(QString::fromUtf8(process.readAllStandardOutput())).captured(1).toInt();
}

// Puts a default printer back when a test ends, passed or not.
class DefaultGuard {
public:
    DefaultGuard() : m_saved(cupsDefaultPrinterName()) {}
    ~DefaultGuard()
    {
        if (!m_saved.isEmpty() && cupsDefaultPrinterName() != m_saved)
            cupsSelectDefaultPrinter(m_saved);
    }
    const QString& saved() const { return m_saved; }

private:
    QString m_saved;
};

} // namespace

void TestPrintCups::initTestCase()
{
    const QString problem = cupsProblem();
    if (problem.isEmpty())
        return;
    if (qgetenv("CI") == "true")
        QFAIL(qPrintable(problem));
    QSKIP(qPrintable(problem));
}

void TestPrintCups::selectDefaultPrinter()
{
    DefaultGuard guard;
    QVERIFY2(!guard.saved().isEmpty(), "no default printer (scripts/start-cups makes one)");
    const QString other = otherTestPrinter(guard.saved());
    test::ScriptedPlatform platform;

    SelectDefaultPrinter(platform, other);
    QCOMPARE(cupsDefaultPrinterName(), other);
    QCOMPARE(SystemDefaultPrinterName(), other);
    QCOMPARE(lpstatDefault(), QStringLiteral("system default destination: ") + other);

    // An unknown printer changes nothing and shows nothing.
    SelectDefaultPrinter(platform, QStringLiteral("VRX-No-Such-Printer"));
    QVERIFY(!cupsSelectDefaultPrinter(QStringLiteral("VRX-No-Such-Printer")));
    QCOMPARE(cupsDefaultPrinterName(), other);

    SelectDefaultPrinter(platform, guard.saved());
    QCOMPARE(cupsDefaultPrinterName(), guard.saved());
    QCOMPARE(lpstatDefault(), QStringLiteral("system default destination: ") + guard.saved());
    QVERIFY(platform.messages.isEmpty());
}

void TestPrintCups::twoCopiesOnAnotherPrinter()
{
    DefaultGuard guard;
    const QString before = guard.saved();
    QVERIFY2(!before.isEmpty(), "no default printer (scripts/start-cups makes one)");
    const QString target = otherTestPrinter(before);

    const QString folder = pdfOutputFolder();
    const QStringList filesBefore = pdfFiles(folder);
    const int lastTarget = lastJobId(target);
    const int lastDefault = lastJobId(before);

    // 60 lines: two pages; the first line makes this run's files recognisable.
    const QString marker = QStringLiteral("RUN-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
    QStringList lines{marker};
    for (int i = 2; i <= 60; ++i)
        lines << QStringLiteral("Line %1 Vert. scale 5 mV/div PASS").arg(i);

    test::ScriptedPlatform platform;
    platform.printerAnswers << PrinterChoice{target, 2};
    PrintDisplay_Click(platform, nullptr, lines.join(QStringLiteral("\r\n")));
    QVERIFY2(platform.messages.isEmpty(), platform.messages.isEmpty() ? "" : qPrintable(platform.messages[0].text));
    QVERIFY(!platform.busy);

    // The default printer is the same, right after the command.
    QCOMPARE(cupsDefaultPrinterName(), before);

    // Two jobs on the picked printer, none on the default one; wait until both are done.
    QDeadlineTimer deadline(JobTimeoutMs);
    QList<JobState> jobs;
    QStringList newFiles;
    for (;;) {
        jobs = jobsAfter(target, lastTarget);
        newFiles.clear();
        for (const QString& f : pdfFiles(folder))
            if (!filesBefore.contains(f) && pdfText(QDir(folder).filePath(f)).contains(marker))
                newFiles << f;
        const bool jobsDone = jobs.size() >= 2 && std::all_of(jobs.begin(), jobs.end(), [](const JobState& j) {
            return j.state >= IPP_JSTATE_STOPPED;
        });
        if ((jobsDone && newFiles.size() >= 2) || deadline.hasExpired())
            break;
        QThread::msleep(250);
    }
    QCOMPARE(jobs.size(), 2);
    for (const JobState& job : jobs)
        QVERIFY2(job.state == IPP_JSTATE_COMPLETED, qPrintable(QStringLiteral("job %1 state %2").arg(job.id).arg(job.state)));
    QVERIFY(jobsAfter(before, lastDefault).isEmpty());

    QVERIFY2(newFiles.size() == 2, qPrintable(QStringLiteral("PDFs in %1: %2").arg(folder, newFiles.join(", "))));
    for (const QString& f : newFiles) {
        const QString path = QDir(folder).filePath(f);
        QCOMPARE(pdfPages(path), 2);
        const QString text = pdfText(path);
        QVERIFY(text.contains(QStringLiteral("Page 1 of 2")));
        QVERIFY(text.contains(QStringLiteral("Page 2 of 2")));
        QVERIFY(text.contains(QStringLiteral("Line 48 Vert. scale 5 mV/div PASS")));
        QVERIFY(text.contains(QStringLiteral("Line 60 Vert. scale 5 mV/div PASS")));
        QFile::remove(path);
    }

    QCOMPARE(cupsDefaultPrinterName(), before);
    QCOMPARE(lpstatDefault(), QStringLiteral("system default destination: ") + before);
}

void TestPrintCups::unknownPrinterIsReported()
{
    // A printer that went away between the dialog and printing: a message, no job elsewhere.
    DefaultGuard guard;
    const int lastDefault = lastJobId(guard.saved());
    // The scheduler has printers, so the real platform offers the dialog.
    QVERIFY(QtPlatform().printerInstalled());
    test::ScriptedPlatform platform;
    platform.printerAnswers << PrinterChoice{QStringLiteral("VRX-No-Such-Printer"), 1};
    PrintDisplay_Click(platform, nullptr, QStringLiteral("A\r\nB"));
    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].text,
             QStringLiteral("The log could not be printed on VRX-No-Such-Printer.\r\n"
                            "The printer \"VRX-No-Such-Printer\" is not available."));
    QVERIFY(!platform.busy);
    QVERIFY(jobsAfter(guard.saved(), lastDefault).isEmpty());
    QCOMPARE(cupsDefaultPrinterName(), guard.saved());
}

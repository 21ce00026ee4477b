// Printing on a real CUPS scheduler with the two virtual PDF printers that
// scripts/start-cups sets up (VRX-PDF-A and VRX-PDF-B).

#include "print/SystemDefaultPrinter.h"
#include "print/DevicePrinter.h"
#include "print/PrintCommand.h"
#include "platform/QtPlatform.h"
#include "tests/support/ScriptedPlatform.h"
#include "tests/print/TestPrint.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
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

QString pdfInfo(const QString& file)
{
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {file});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

int pdfPages(const QString& file)
{
    static const QRegularExpression pages(QStringLiteral(R"(^Pages:\s+(\d+))"), QRegularExpression::MultilineOption);
    return pages.match(pdfInfo(file)).captured(1).toInt();
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
    QVERIFY2(!guard.saved().isEmpty(), "no default printer (the tests name VRX-PDF-A in an lpoptions of their own)");
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

namespace {

// A job's attributes as the scheduler keeps them ("job-name", "media", "sides", ...).
QMap<QString, QString> jobAttributes(int jobId)
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/jobs/%d", jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    QMap<QString, QString> attributes;
    for (ipp_attribute_t* a = ippFirstAttribute(response); a != nullptr; a = ippNextAttribute(response)) {
        char value[2048];
        if (ippGetName(a) != nullptr) {
            ippAttributeString(a, value, sizeof value);
            attributes.insert(QString::fromUtf8(ippGetName(a)), QString::fromUtf8(value));
        }
    }
    ippDelete(response);
    return attributes;
}

struct PrintedJobs {
    QList<JobState> jobs;
    QStringList files;   // the PDFs cups-pdf wrote for them
};

// Waits until count jobs after afterId on the printer are done and their PDFs, which hold the
// marker, are written. A PDF printer may write a job over an earlier one of the same name, so
// files are told by their time and content, not by their names.
PrintedJobs waitForJobs(const QString& printer, int afterId, int count, const QString& marker,
                        const QDateTime& since)
{
    const QDir folder(pdfOutputFolder());
    QDeadlineTimer deadline(JobTimeoutMs);
    PrintedJobs done;
    for (;;) {
        done.jobs = jobsAfter(printer, afterId);
        done.files.clear();
        for (const QFileInfo& f : folder.entryInfoList({QStringLiteral("*.pdf")}, QDir::Files))
            if (f.lastModified() >= since && pdfText(f.filePath()).contains(marker))
                done.files << f.filePath();
        const bool jobsDone = done.jobs.size() >= count
            && std::all_of(done.jobs.begin(), done.jobs.end(),
                           [](const JobState& j) { return j.state >= IPP_JSTATE_STOPPED; });
        if ((jobsDone && done.files.size() >= count) || deadline.hasExpired())
            return done;
        QThread::msleep(250);
    }
}

// A log of n lines, each with a marker that makes this run's files recognisable.
QString markedLog(int n, QString* marker)
{
    *marker = QStringLiteral("RUN-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
    QStringList lines;
    for (int i = 1; i <= n; ++i)
        lines << QStringLiteral("Line %1 Vert. scale 5 mV/div PASS ").arg(i) + *marker;
    return lines.join(QStringLiteral("\r\n"));
}

QStringList footersOf(const QString& pdf)
{
    static const QRegularExpression footer(QStringLiteral(R"(Page \d+ of \d+)"));
    QStringList found;
    for (auto it = footer.globalMatch(pdfText(pdf)); it.hasNext();)
        found << it.next().captured(0);
    return found;
}

// The real print dialog, worked by drive once it shows; message boxes answer from the script.
class DialogPlatform : public test::ScriptedPlatform {
public:
    std::function<void(QPrintDialog&)> drive;
    QString problem;   // what drive found wrong in the dialog

    std::optional<PrinterChoice> printerDialog(QWidget* parent, const PrinterDialogRequest& request) override
    {
        printerRequests.append(request);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QPrintDialog*>(w);
                if (dialog != nullptr && dialog->isVisible()) {
                    poll.stop();
                    drive(*dialog);
                    return;
                }
            }
        });
        poll.start(50);
        return QtPlatform().printerDialog(parent, request);
    }
};

} // namespace

void TestPrintCups::twoCopiesOnAnotherPrinter()
{
    DefaultGuard guard;
    const QString before = guard.saved();
    QVERIFY2(!before.isEmpty(), "no default printer (the tests name VRX-PDF-A in an lpoptions of their own)");
    const QString target = otherTestPrinter(before);

    const QDateTime start = QDateTime::currentDateTime().addSecs(-2);
    const int lastTarget = lastJobId(target);
    const int lastDefault = lastJobId(before);

    // 60 lines: two pages. The printer comes from the dialog set to Letter paper.
    QString marker;
    const QString log = markedLog(60, &marker);
    test::ScriptedPlatform platform;
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setPrinterName(target);
    printer->setPageSize(QPageSize(QPageSize::Letter));
    platform.printerAnswers << PrinterChoice{target, 2, {}, printer};
    PrintDisplay_Click(platform, nullptr, log, QStringLiteral("scope-fail.log"));
    QVERIFY2(platform.messages.isEmpty(), platform.messages.isEmpty() ? "" : qPrintable(platform.messages[0].text));
    QVERIFY(!platform.busy);

    // The default printer is the same, right after the command.
    QCOMPARE(cupsDefaultPrinterName(), before);

    // Two jobs on the picked printer, none on the default one, each named after the log.
    const PrintedJobs printed = waitForJobs(target, lastTarget, 2, marker, start);
    QCOMPARE(printed.jobs.size(), 2);
    QStringList names;
    for (const JobState& job : printed.jobs) {
        QVERIFY2(job.state == IPP_JSTATE_COMPLETED, qPrintable(QStringLiteral("job %1 state %2").arg(job.id).arg(job.state)));
        const auto attributes = jobAttributes(job.id);
        names << attributes.value(QStringLiteral("job-name"));
        // The queue's name for 8.5 x 11 inch paper: this one also calls it ANSI A.
        static const QRegularExpression letter(QStringLiteral("^(Letter|AnsiA|na_letter.*)$"));
        QVERIFY2(letter.match(attributes.value(QStringLiteral("media"))).hasMatch(),
                 qPrintable(attributes.value(QStringLiteral("media"))));
    }
    names.sort();
    QCOMPARE(names, (QStringList{"scope-fail.log (copy 1 of 2)", "scope-fail.log (copy 2 of 2)"}));
    QVERIFY(jobsAfter(before, lastDefault).isEmpty());

    QVERIFY2(printed.files.size() == 2, qPrintable(printed.files.join(", ")));
    for (const QString& path : printed.files) {
        QCOMPARE(pdfPages(path), 2);
        QVERIFY(pdfInfo(path).contains(QStringLiteral("Page size:       612 x 792 pts (letter)")));
        QCOMPARE(footersOf(path), (QStringList{"Page 1 of 2", "Page 2 of 2"}));
        const QString text = pdfText(path);
        QVERIFY(text.contains(QStringLiteral("Line 48 Vert. scale 5 mV/div PASS")));
        QVERIFY(text.contains(QStringLiteral("Line 60 Vert. scale 5 mV/div PASS")));
        QFile::remove(path);
    }

    QCOMPARE(cupsDefaultPrinterName(), before);
    QCOMPARE(lpstatDefault(), QStringLiteral("system default destination: ") + before);
}

void TestPrintCups::dialogChoicesTakeEffect()
{
    // In the print dialog: the two-sided printer, pages 2 to 3 of the 4, two copies, printed on
    // both sides along the long edge. The boxes for a range of pages go up to the last page,
    // and Collate is not offered.
    const QString printerName = QStringLiteral("VRX-PDF-C");
    cups_dest_t* duplexPrinter = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printerName.toUtf8().constData(), nullptr);
    cupsFreeDests(duplexPrinter != nullptr ? 1 : 0, duplexPrinter);
    if (duplexPrinter == nullptr)
        QSKIP("the printer VRX-PDF-C is missing (scripts/start-cups adds it)");
    DefaultGuard guard;
    const QDateTime start = QDateTime::currentDateTime().addSecs(-2);
    const int lastJob = lastJobId(printerName);

    QString marker;
    const QString log = markedLog(4 * 48, &marker);
    DialogPlatform platform;
    platform.drive = [&](QPrintDialog& dialog) {
        auto* printers = dialog.findChild<QComboBox*>(QStringLiteral("printers"));
        auto* to = dialog.findChild<QSpinBox*>(QStringLiteral("to"));
        auto* collate = dialog.findChild<QCheckBox*>(QStringLiteral("collate"));
        if (printers == nullptr || to == nullptr || collate == nullptr) {
            platform.problem = QStringLiteral("the dialog's controls were not found");
        } else if (to->maximum() != 4 || collate->isVisibleTo(&dialog)) {
            platform.problem = QStringLiteral("pages offered up to %1, collate %2")
                                   .arg(to->maximum())
                                   .arg(collate->isVisibleTo(&dialog) ? "shown" : "hidden");
        } else {
            printers->setCurrentIndex(printers->findText(printerName));
            // The list of pages, which Qt also hands to the queue to pick pages from: they must
            // be picked once only.
            dialog.findChild<QRadioButton*>(QStringLiteral("pagesRadioButton"))->click();
            dialog.findChild<QLineEdit*>(QStringLiteral("pagesLineEdit"))->setText(QStringLiteral("2-3"));
            dialog.findChild<QSpinBox*>(QStringLiteral("copies"))->setValue(2);
            dialog.findChild<QRadioButton*>(QStringLiteral("duplexLong"))->click();
        }
        dialog.accept();
    };
    PrintDisplay_Click(platform, nullptr, log, QStringLiteral("pages.log"));
    QVERIFY2(platform.problem.isEmpty(), qPrintable(platform.problem));
    // Its paper is Letter, and its unprintable border cuts off the foot of the page: asked, and
    // answered Yes.
    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].text,
             QStringLiteral("The paper chosen leaves 207 x 270 mm for the log's pages, which need 112 x 275 mm: 48 "
                            "lines and the page number at the foot. Lines or page numbers would be lost.\r\n\r\n"
                            "Print anyway?"));

    const PrintedJobs printed = waitForJobs(printerName, lastJob, 2, marker, start);
    QCOMPARE(printed.jobs.size(), 2);
    QStringList names;
    for (const JobState& job : printed.jobs) {
        const auto attributes = jobAttributes(job.id);
        names << attributes.value(QStringLiteral("job-name"));
        QCOMPARE(attributes.value(QStringLiteral("sides")), QStringLiteral("two-sided-long-edge"));
        QCOMPARE(attributes.value(QStringLiteral("media")), QStringLiteral("Letter"));
        QVERIFY2(!attributes.contains(QStringLiteral("page-ranges")), qPrintable(attributes.value("page-ranges")));
    }
    names.sort();
    QCOMPARE(names, (QStringList{"pages.log (copy 1 of 2)", "pages.log (copy 2 of 2)"}));
    QVERIFY2(printed.files.size() == 2, qPrintable(printed.files.join(", ")));
    for (const QString& path : printed.files) {
        QCOMPARE(pdfPages(path), 2);
        QCOMPARE(footersOf(path), (QStringList{"Page 2 of 4", "Page 3 of 4"}));
        const QString text = pdfText(path);
        QVERIFY(text.contains(QStringLiteral("Line 49 Vert. scale")));
        QVERIFY(text.contains(QStringLiteral("Line 144 Vert. scale")));
        QVERIFY(!text.contains(QStringLiteral("Line 48 Vert. scale")));
        QVERIFY(!text.contains(QStringLiteral("Line 145 Vert. scale")));
        QFile::remove(path);
    }
    QCOMPARE(cupsDefaultPrinterName(), guard.saved());
}

void TestPrintCups::spoolFileHasNoName()
{
    // While a document is drawn for a queue, nothing of it has a name in the temporary folder,
    // so a program killed meanwhile leaves nothing there.
    QTemporaryDir temporary;
    const QByteArray savedTemporary = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    const auto restore = qScopeGuard([&] { qputenv("TMPDIR", savedTemporary); });
    QCOMPARE(QDir::tempPath(), temporary.path());
    const int lastJob = lastJobId(PrinterA);
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(PrinterA);
    DevicePrinter device(printer);
    device.print(QStringLiteral("drawn, never sent"));
    QCOMPARE(QDir(temporary.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    device.abandonDocument();
    QVERIFY(jobsAfter(PrinterA, lastJob).isEmpty());
    QVERIFY(printer.outputFileName().isEmpty());   // the printer prints on its queue again
}

void TestPrintCups::unknownPrinterIsReported()
{
    // A printer that went away between the dialog and printing: a message, no job elsewhere.
    DefaultGuard guard;
    const int lastDefault = lastJobId(guard.saved());
    // The scheduler has printers, so the real platform offers the dialog.
    QVERIFY(QtPlatform().printerInstalled());
    test::ScriptedPlatform platform;
    platform.printerAnswers << PrinterChoice{QStringLiteral("VRX-No-Such-Printer"), 1, {}, nullptr};
    PrintDisplay_Click(platform, nullptr, QStringLiteral("A\r\nB"));
    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].text,
             QStringLiteral("The log could not be printed on VRX-No-Such-Printer.\r\n"
                            "The printer \"VRX-No-Such-Printer\" is not available."));
    QVERIFY(!platform.busy);
    QVERIFY(jobsAfter(guard.saved(), lastDefault).isEmpty());
    QCOMPARE(cupsDefaultPrinterName(), guard.saved());
}

#include "print/PrintCommand.h"

#include "platform/DisplayText.h"
#include "platform/Identity.h"
#include "platform/NativePath.h"
#include "platform/Platform.h"
#include "print/PrintModule.h"
#include "print/PrinterSystem.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>

namespace vrx {

QString printJobName(const QString& logName, int copy, int copies)
{
    const QString name = logName.isEmpty() ? ProgramTitle : logName;
    if (copies <= 1)
        return name;
    return QStringLiteral("%1 (copy %2 of %3)").arg(name).arg(copy).arg(copies);
}

namespace {

using PrintCopy = std::function<void(Printer&, const PageSelection&)>;

// The user chose Cancel while the log was printed.
struct PrintCancelled {};

// The printer as the layout uses it, telling the user each page it finishes out of all the
// pages of all copies, and stopping the printing when the user cancels.
class PagesTold : public Printer {
public:
    PagesTold(Printer& printer, TaskProgress& progress, qint64 pagesPerCopy, int copies)
        : m_printer(printer), m_progress(progress), m_pagesPerCopy(pagesPerCopy), m_copies(copies)
    {
        tell();
    }

    void setFontName(const QString& name) override { m_printer.setFontName(name); }
    void setFontSize(float points) override { m_printer.setFontSize(points); }
    float currentX() const override { return m_printer.currentX(); }
    void setCurrentX(float twips) override { m_printer.setCurrentX(twips); }
    float currentY() const override { return m_printer.currentY(); }
    void setCurrentY(float twips) override { m_printer.setCurrentY(twips); }
    void setForeColor(QRgb colour) override { m_printer.setForeColor(colour); }
    void print(const QString& text) override
    {
        m_printer.print(text);
        m_onPage = true;
    }
    void newPage() override
    {
        pageDone();
        m_printer.newPage();
    }
    void endDoc() override
    {
        pageDone();
        m_printer.endDoc();
    }
    QString deviceName() const override { return m_printer.deviceName(); }
    void setJobName(const QString& name) override { m_printer.setJobName(name); }
    QSizeF printableSize() const override { return m_printer.printableSize(); }

private:
    void pageDone()
    {
        if (!m_onPage)
            return;
        m_onPage = false;
        ++m_pagesDone;
        tell();
    }

    void tell()
    {
        // The page being printed, or the last one once all are done.
        const qint64 next = std::min(m_pagesDone, m_pagesPerCopy * m_copies - 1);
        QString text = QStringLiteral("Printing page %1 of %2").arg(next % m_pagesPerCopy + 1).arg(m_pagesPerCopy);
        if (m_copies > 1)
            text += QStringLiteral(", copy %1 of %2").arg(next / m_pagesPerCopy + 1).arg(m_copies);
        if (!m_progress.update(m_pagesDone, text + QStringLiteral(" on ") + m_printer.deviceName()))
            throw PrintCancelled();
    }

    Printer& m_printer;
    TaskProgress& m_progress;
    qint64 m_pagesPerCopy;
    int m_copies;
    qint64 m_pagesDone = 0;
    bool m_onPage = false;
};

// "no pages", "1 page", "4 pages".
QString pagesOfLog(qint64 pageCount)
{
    return pageCount == 0 ? QStringLiteral("no pages")
                          : pageCount == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(pageCount);
}

// "Pages 5 to 9 are not in the log, which has 4 pages. Nothing was printed.", or, when other
// pages were printed, "Page 5 is not in the log, which has 4 pages, and was not printed."
QString notInTheLogMessage(const PageSelection& pages, qsizetype pageCount, bool othersPrinted)
{
    QStringList spans;
    qint64 chosen = 0;
    for (const PageSpan& span : pages) {
        spans << (span.first == span.last ? QString::number(span.first)
                                          : QStringLiteral("%1 to %2").arg(span.first).arg(span.last));
        chosen += span.last - span.first + 1;
    }
    const bool one = chosen == 1;
    const QString which = (one ? QStringLiteral("Page ") + spans.join(QString()) + QStringLiteral(" is")
                               : QStringLiteral("Pages ") + spans.join(QStringLiteral(", ")) + QStringLiteral(" are"));
    const QString text = which + QStringLiteral(" not in the log, which has ") + pagesOfLog(pageCount);
    if (othersPrinted)
        return text + (one ? QStringLiteral(", and was not printed.") : QStringLiteral(", and were not printed."));
    return text + QStringLiteral(". Nothing was printed.");
}

// Typed text that is no list of pages, named as typed (its first 80 characters, made safe).
QString notAPageListMessage(const QString& typed, qsizetype pageCount)
{
    constexpr qsizetype Shown = 80;
    const QString example = QStringLiteral(" (a list reads like 1,3-4). Nothing was printed.");
    if (typed.trimmed().isEmpty())
        return QStringLiteral("The list of pages is empty; this log has ") + pagesOfLog(pageCount) + example;
    const QString shown = shownText(QStringView(typed).left(Shown), UnsafeShown::Replaced)
        + (typed.size() > Shown ? QString(QChar(0x2026)) : QString());
    return QStringLiteral("The pages \"") + shown + QStringLiteral("\" are not a list of pages of this log, which has ")
        + pagesOfLog(pageCount) + example;
}

constexpr double MillimetresPerTwip = 25.4 / 1440.0;

// Asks whether to print on paper that cuts the pages off; true to print.
bool printOnSmallPaper(Platform& platform, QWidget* window, const QSizeF& printable, qsizetype pageCount)
{
    const LayoutExtent needed = layoutExtent(pageCount);
    const auto down = [](double twips) { return QString::number(std::floor(twips * MillimetresPerTwip)); };
    const auto up = [](double twips) { return QString::number(std::ceil(twips * MillimetresPerTwip)); };
    const QString question = QStringLiteral("The paper chosen leaves %1 x %2 mm for the log's pages, which need "
                                            "%3 x %4 mm: 48 lines and the page number at the foot. Lines or page "
                                            "numbers would be lost.")
                                 .arg(down(printable.width()), down(printable.height()), up(needed.width),
                                      up(needed.height))
        + NewLine + NewLine + QStringLiteral("Print anyway?");
    return platform.messageBox(window, question, ProgramTitle, MessageButtons::YesNo, MessageIcon::Question)
        == MessageResult::Yes;
}

// The command, printing each copy through printCopy.
PrintOutcome printCommand(Platform& platform, QWidget* window, qsizetype lineCount, const QString& logName,
                  const PrintCopy& printCopy, PrinterSystem& printers)
{
    // Without any printer the dialog would offer a Print button that can only fail.
    if (!platform.printerInstalled()) {
        platform.messageBox(window, NoPrinterMessage, ProgramTitle, MessageButtons::Ok, MessageIcon::None);
        return PrintOutcome::Told;
    }

    // Up to the end of the dialog every failure ends the command quietly, like Cancel.
    const qsizetype pageCount = countPages(lineCount);
    QString savedPrinterName;
    std::optional<PrinterChoice> choice;
    try {
        savedPrinterName = printers.defaultPrinterName();
        PrinterDialogRequest request;
        request.copies = 1;
        request.hidePrintToFile = true;
        request.noSelection = true;
        request.pageCount = pageCount;
        choice = platform.printerDialog(window, request);
    } catch (const std::exception&) {
        return PrintOutcome::Told;
    }
    if (!choice)
        return PrintOutcome::Told;

    QString failure;
    bool logChanged = false;
    const auto cannotPrint = [&](const std::exception& error) {
        return QStringLiteral("The log could not be printed on ") + choice->printerName + QStringLiteral(".")
            + NewLine + QString::fromStdString(error.what());
    };
    // Pages typed as a list are read here: text that is no list prints nothing, and pages of
    // it past the end are named once the others are printed.
    PageSelection pages = choice->pages;
    PageSelection pastTheEnd;
    if (choice->pageList) {
        const std::optional<PageSelection> listed = parsePageList(choice->pageList->toStdString());
        if (listed) {
            pages = *listed;
            pastTheEnd = pagesPastTheEnd(pages, pageCount);
        } else {
            failure = notAPageListMessage(*choice->pageList, pageCount);
        }
    }
    if (failure.isEmpty() && !pages.empty() && selectedPageCount(pages, pageCount) == 0)
        failure = notInTheLogMessage(pages, pageCount, false);
    std::unique_ptr<Printer> printer;
    if (failure.isEmpty()) {
        try {
            printer = printers.openPrinter(*choice);
        } catch (const std::exception& error) {
            failure = cannotPrint(error);
        }
    }
    // The layout is fixed on the page: a paper too small for it loses lines, so the user decides.
    if (printer && !pageHoldsLayout(printer->printableSize(), pageCount)
        && !printOnSmallPaper(platform, window, printer->printableSize(), pageCount))
        printer.reset();

    bool printed = false;
    platform.setBusy(true);
    try {
        if (printer) {
            // A long print tells its pages as they are done; Cancel drops the copy being
            // printed, and the copies already handed to the printer stay with it.
            const qint64 pagesPerCopy = pages.empty() ? pageCount : selectedPageCount(pages, pageCount);
            const std::unique_ptr<TaskProgress> progress =
                platform.startProgress(window, ProgramTitle, pagesPerCopy * choice->copies);
            PagesTold told(*printer, *progress, std::max<qint64>(1, pagesPerCopy), choice->copies);
            for (int copy = 1; copy <= choice->copies; ++copy) {
                told.setJobName(printJobName(logName, copy, choice->copies));
                printCopy(told, pages);
            }
            printer->endDoc();   // nothing is pending: no page, no job
            printed = true;
        }
    } catch (const PrintCancelled&) {
        // The user stopped it: nothing to tell.
    } catch (const LogChangedError&) {
        // The copy being printed is dropped with the printer; the copies before it were whole.
        logChanged = true;
    } catch (const std::exception& error) {
        failure = cannotPrint(error);
    }
    printer.reset();

    // The default printer is put back even when printing failed. A default that cannot be read
    // now (the printing system went away meanwhile) is not taken for a changed one.
    QString restoreFailure;
    try {
        const QString currentPrinterName = savedPrinterName.isEmpty() ? QString() : printers.defaultPrinterName();
        if (!currentPrinterName.isEmpty() && currentPrinterName != savedPrinterName) {
            printers.selectDefaultPrinter(savedPrinterName);
            if (printers.defaultPrinterName() != savedPrinterName)
                restoreFailure = QStringLiteral("The default printer could not be set back to ") + savedPrinterName
                    + QStringLiteral(".");
        }
    } catch (const std::exception& error) {
        restoreFailure = QStringLiteral("The default printer could not be set back to ") + savedPrinterName
            + QStringLiteral(".") + NewLine + QString::fromStdString(error.what());
    }
    platform.setBusy(false);

    if (printed && !pastTheEnd.empty())
        failure = notInTheLogMessage(pastTheEnd, pageCount, true);
    if (!failure.isEmpty())
        platform.messageBox(window, failure, ProgramTitle, MessageButtons::Ok, MessageIcon::None);
    if (!restoreFailure.isEmpty())
        platform.messageBox(window, restoreFailure, ProgramTitle, MessageButtons::Ok, MessageIcon::None);
    return logChanged ? PrintOutcome::LogChanged : PrintOutcome::Told;
}

} // namespace

PrintOutcome PrintDisplay_Click(Platform& platform, QWidget* window, const DisplayLines& displayText,
                                const QString& logName)
{
    SystemPrinters printers(platform);
    return PrintDisplay_Click(platform, window, displayText, printers, logName);
}

PrintOutcome PrintDisplay_Click(Platform& platform, QWidget* window, const DisplayLines& displayText,
                                PrinterSystem& printers, const QString& logName)
{
    const auto busy = [&platform](bool on) { platform.setBusy(on); };
    return printCommand(platform, window, qsizetype(displayText.count()), logName,
                        [&](Printer& printer, const PageSelection& pages) {
                            PrintDocument(printer, displayText, busy, pages);
                        },
                        printers);
}

PrintOutcome PrintDisplay_Click(Platform& platform, QWidget* window, const QString& displayText,
                                const QString& logName)
{
    return PrintDisplay_Click(platform, window, DisplayLines(encodeWindows1252(displayText)), logName);
}

PrintOutcome PrintDisplay_Click(Platform& platform, QWidget* window, const QString& displayText,
                                PrinterSystem& printers, const QString& logName)
{
    return PrintDisplay_Click(platform, window, DisplayLines(encodeWindows1252(displayText)), printers, logName);
}

} // namespace vrx

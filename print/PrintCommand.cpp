#include "print/PrintCommand.h"

#include "platform/Identity.h"
#include "platform/Platform.h"
#include "print/PrintModule.h"
#include "print/PrinterSystem.h"

#include <exception>
#include <functional>

namespace vrx {

void PrintDisplay_Click(Platform& platform, QWidget* window, const QString& displayText)
{
    SystemPrinters printers(platform);
    PrintDisplay_Click(platform, window, displayText, printers);
}

void PrintDisplay_Click(Platform& platform, QWidget* window, const QString& displayText, PrinterSystem& printers)
{
    PrintDisplay_Click(platform, window, [&displayText](const auto& take) { take(QStringView(displayText)); }, printers);
}

void PrintDisplay_Click(Platform& platform, QWidget* window, const TextPieces& displayText)
{
    SystemPrinters printers(platform);
    PrintDisplay_Click(platform, window, displayText, printers);
}

namespace {

// The command, printing each copy through printCopy.
void printCommand(Platform& platform, QWidget* window, const std::function<void(Printer&)>& printCopy,
                  PrinterSystem& printers)
{
    // Without any printer the dialog would offer a Print button that can only fail.
    if (!platform.printerInstalled()) {
        platform.messageBox(window, NoPrinterMessage, ProgramTitle, MessageButtons::Ok, MessageIcon::None);
        return;
    }

    // Up to the end of the dialog every failure ends the command quietly, like Cancel.
    QString savedPrinterName;
    std::optional<PrinterChoice> choice;
    try {
        savedPrinterName = printers.defaultPrinterName();
        PrinterDialogRequest request;
        request.copies = 1;
        request.hidePrintToFile = true;
        request.noSelection = true;
        choice = platform.printerDialog(window, request);
    } catch (const std::exception&) {
        return;
    }
    if (!choice)
        return;

    platform.setBusy(true);
    QString failure;
    try {
        std::unique_ptr<Printer> printer = printers.openPrinter(choice->printerName);
        for (int copy = 0; copy < choice->copies; ++copy)
            printCopy(*printer);
        printer->endDoc();   // nothing is pending: no page, no job
    } catch (const std::exception& error) {
        failure = QStringLiteral("The log could not be printed on ") + choice->printerName + QStringLiteral(".")
            + NewLine + QString::fromStdString(error.what());
    }

    // The default printer is put back even when printing failed.
    QString restoreFailure;
    try {
        if (!savedPrinterName.isEmpty() && printers.defaultPrinterName() != savedPrinterName) {
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

    if (!failure.isEmpty())
        platform.messageBox(window, failure, ProgramTitle, MessageButtons::Ok, MessageIcon::None);
    if (!restoreFailure.isEmpty())
        platform.messageBox(window, restoreFailure, ProgramTitle, MessageButtons::Ok, MessageIcon::None);
}

} // namespace

void PrintDisplay_Click(Platform& platform, QWidget* window, const TextPieces& displayText, PrinterSystem& printers)
{
    printCommand(platform, window, [&](Printer& printer) { PrintDocument(printer, displayText, platform); }, printers);
}

void PrintDisplay_Click(Platform& platform, QWidget* window, const DisplayLines& displayText)
{
    SystemPrinters printers(platform);
    PrintDisplay_Click(platform, window, displayText, printers);
}

void PrintDisplay_Click(Platform& platform, QWidget* window, const DisplayLines& displayText, PrinterSystem& printers)
{
    printCommand(platform, window, [&](Printer& printer) { PrintDocument(printer, displayText, platform); }, printers);
}

} // namespace vrx

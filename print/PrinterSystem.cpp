#include "print/PrinterSystem.h"

#include "print/SystemDefaultPrinter.h"
#include "print/DevicePrinter.h"
#ifndef _WIN32
#include "print/CupsJob.h"
#endif
#include "platform/Identity.h"
#include "platform/Platform.h"

#include <QPrinter>

namespace vrx {

namespace {

// The printer object with the QPrinter it draws on.
class OwnedDevicePrinter : public DevicePrinter {
public:
    explicit OwnedDevicePrinter(std::shared_ptr<QPrinter> printer)
        : DevicePrinter(*printer), m_printer(std::move(printer))
    {
    }
    ~OwnedDevicePrinter() override { abandonDocument(); }

private:
    std::shared_ptr<QPrinter> m_printer;
};

} // namespace

QString SystemPrinters::defaultPrinterName()
{
    return SystemDefaultPrinterName();
}

void SystemPrinters::selectDefaultPrinter(const QString& name)
{
    SelectDefaultPrinter(m_platform, name);
}

std::unique_ptr<Printer> SystemPrinters::openPrinter(const PrinterChoice& choice)
{
    std::shared_ptr<QPrinter> printer = choice.printer;
    if (!printer) {
        printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
        printer->setPrinterName(choice.printerName);
    }
    if (!printer->isValid() || printer->printerName() != choice.printerName)
        throw PrintError("The printer \"" + choice.printerName.toStdString() + "\" is not available.");
    printer->setCopyCount(1);   // every copy is a document of its own
    printer->setDocName(ProgramTitle);
#ifndef _WIN32
    prepareCupsPrinter(*printer);
#endif
    return std::make_unique<OwnedDevicePrinter>(std::move(printer));
}

} // namespace vrx

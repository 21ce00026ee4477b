#include "print/PrinterSystem.h"

#include "print/SystemDefaultPrinter.h"
#include "print/DevicePrinter.h"
#include "platform/Identity.h"

#include <QPrinter>

namespace vrx {

namespace {

// The printer object with the QPrinter it draws on.
class OwnedDevicePrinter : public DevicePrinter {
public:
    explicit OwnedDevicePrinter(std::unique_ptr<QPrinter> printer)
        : DevicePrinter(*printer), m_printer(std::move(printer))
    {
    }
    ~OwnedDevicePrinter() override { abandonDocument(); }

private:
    std::unique_ptr<QPrinter> m_printer;
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

std::unique_ptr<Printer> SystemPrinters::openPrinter(const QString& name)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setPrinterName(name);
    if (!printer->isValid() || printer->printerName() != name)
        throw PrintError("The printer \"" + name.toStdString() + "\" is not available.");
    printer->setCopyCount(1);   // every copy is a document of its own
    printer->setDocName(ProgramTitle);
    return std::make_unique<OwnedDevicePrinter>(std::move(printer));
}

} // namespace vrx

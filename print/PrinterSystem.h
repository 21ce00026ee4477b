#pragma once
// What the print command needs of the system's printers: which one is the default,
// making one the default, and a printer object on the printer the user picked.

#include "print/PrintModule.h"

#include <QString>

#include <memory>

namespace vrx {

class Platform;
struct PrinterChoice;

class PrinterSystem {
public:
    virtual ~PrinterSystem() = default;

    // The system default printer; empty when there is none.
    virtual QString defaultPrinterName() = 0;

    // Makes the named printer the default (SelectDefaultPrinter).
    virtual void selectDefaultPrinter(const QString& name) = 0;

    // A printer object that prints on the printer chosen in the dialog, with the settings made
    // there: one job per document, one copy each.
    virtual std::unique_ptr<Printer> openPrinter(const PrinterChoice& choice) = 0;
};

// The printers of this machine: CUPS on Linux, the spooler on Windows.
class SystemPrinters : public PrinterSystem {
public:
    explicit SystemPrinters(Platform& platform) : m_platform(platform) {}

    QString defaultPrinterName() override;
    void selectDefaultPrinter(const QString& name) override;
    std::unique_ptr<Printer> openPrinter(const PrinterChoice& choice) override;

private:
    Platform& m_platform;
};

} // namespace vrx

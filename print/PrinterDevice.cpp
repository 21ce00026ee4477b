// The printer object on a QPrinter: apart from the drawing, which needs no printing module.

#include "print/DevicePrinter.h"

#include <QPrinter>

namespace vrx {

namespace {

class PrinterDevice : public DevicePrinter::Device {
public:
    explicit PrinterDevice(QPrinter& printer) : m_printer(printer) {}
    QPagedPaintDevice& paintDevice() override { return m_printer; }
    QString name() const override
    {
        if (m_printer.outputFormat() == QPrinter::PdfFormat && !m_printer.outputFileName().isEmpty())
            return m_printer.outputFileName();
        return m_printer.printerName();
    }
    void abort() override { m_printer.abort(); }
    bool failed() const override { return m_printer.printerState() == QPrinter::Error; }

private:
    QPrinter& m_printer;
};

} // namespace

DevicePrinter::DevicePrinter(QPrinter& printer) : DevicePrinter(std::make_unique<PrinterDevice>(printer))
{
}

} // namespace vrx

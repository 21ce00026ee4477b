// The printer object on a QPrinter: apart from the drawing, which needs no printing module.

#include "print/DevicePrinter.h"

#ifndef _WIN32
#include "print/CupsJob.h"
#endif

#include <QFileInfo>
#include <QPageLayout>
#include <QPrinter>

namespace vrx {

namespace {

class PrinterDevice : public DevicePrinter::Device {
public:
    explicit PrinterDevice(QPrinter& printer) : m_printer(printer) {}
    QPagedPaintDevice& paintDevice() override { return m_printer; }
    QString name() const override
    {
        if (toFile())
            return m_printer.outputFileName();
        return m_printer.printerName();
    }

    void beginDocument() override
    {
#ifndef _WIN32
        // A CUPS queue: the program hands the document on itself (see CupsJob).
        if (m_printer.outputFormat() == QPrinter::NativeFormat && m_printer.outputFileName().isEmpty())
            m_spool = std::make_unique<CupsJob>(m_printer);
#endif
    }

    qint64 documentBytes() const override
    {
#ifndef _WIN32
        if (m_spool)
            return m_spool->size();
#endif
        if (toFile())
            return QFileInfo(m_printer.outputFileName()).size();
        return 0;
    }

    void abort() override { m_printer.abort(); }
    bool failed() const override { return m_printer.printerState() == QPrinter::Error; }

    void submitDocument() override
    {
#ifndef _WIN32
        const std::unique_ptr<CupsJob> spool = std::move(m_spool);
        if (spool)
            spool->submit();
#endif
    }

    void dropDocument() override
    {
#ifndef _WIN32
        m_spool.reset();
#endif
    }

    // Taken when the next document begins.
    void setJobName(const QString& name) override { m_printer.setDocName(name); }

    QSizeF printableSize() const override
    {
        // Positions start at the page layout's margins, which may be wider than the printer needs;
        // the text is lost only past the paper's edge less the printer's own unprintable border.
        const QPageLayout layout = m_printer.pageLayout();
        const QRectF paper = layout.fullRectPoints();
        const QRectF inUnits = layout.fullRect();
        if (paper.isEmpty() || inUnits.isEmpty())
            return {};
        const double pointsPerUnit = paper.width() / inUnits.width();
        const QMarginsF origin = m_printer.fullPage() ? QMarginsF() : QMarginsF(layout.marginsPoints());
        const QMarginsF border = layout.minimumMargins() * pointsPerUnit;
        constexpr double TwipsPerPoint = 20;
        return QSizeF(paper.width() - origin.left() - border.right(), paper.height() - origin.top() - border.bottom())
            * TwipsPerPoint;
    }

private:
    bool toFile() const
    {
        return m_printer.outputFormat() == QPrinter::PdfFormat && !m_printer.outputFileName().isEmpty();
    }

    QPrinter& m_printer;
#ifndef _WIN32
    std::unique_ptr<CupsJob> m_spool;
#endif
};

} // namespace

DevicePrinter::DevicePrinter(QPrinter& printer) : DevicePrinter(std::make_unique<PrinterDevice>(printer))
{
}

} // namespace vrx

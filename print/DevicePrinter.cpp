#include "print/DevicePrinter.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPrinter>

namespace vrx {

static constexpr double TwipsPerInch = 1440.0;

DevicePrinter::DevicePrinter(QPrinter& printer) : m_printer(printer)
{
    // Courier New where it is installed; otherwise a metric-compatible fixed-pitch face.
    m_font.setStyleHint(QFont::TypeWriter);
    m_font.setFixedPitch(true);
}

DevicePrinter::~DevicePrinter()
{
    abandonDocument();
}

void DevicePrinter::abandonDocument()
{
    if (!m_painter.isActive())
        return;
    m_printer.abort();
    m_painter.end();
}

void DevicePrinter::setFontName(const QString& name)
{
    m_font.setFamily(name);
    m_font.setStyleHint(QFont::TypeWriter);
    m_font.setFixedPitch(true);
    fontChanged();
}

void DevicePrinter::setFontSize(float points)
{
    if (points > 0)
        m_font.setPointSizeF(points);
    fontChanged();
}

void DevicePrinter::fontChanged()
{
    m_metrics.reset();
    if (m_painter.isActive())
        m_painter.setFont(m_font);
}

void DevicePrinter::setForeColor(QRgb colour)
{
    m_colour = colour;
    if (m_painter.isActive())
        m_painter.setPen(QColor::fromRgb(colour));
}

void DevicePrinter::beginDocument()
{
    if (!m_painter.begin(&m_printer))
        throw PrintError("The printer \"" + deviceName().toStdString() + "\" could not be started.");
    m_painter.setFont(m_font);
    m_painter.setPen(QColor::fromRgb(m_colour));
    m_metrics.reset();
}

void DevicePrinter::print(const QString& text)
{
    if (!m_painter.isActive())
        beginDocument();
    if (!m_metrics) {
        m_unitsPerTwipX = m_printer.logicalDpiX() / TwipsPerInch;
        m_unitsPerTwipY = m_printer.logicalDpiY() / TwipsPerInch;
        m_metrics.emplace(m_font, &m_printer);
        m_rawFont = QRawFont::fromFont(m_font);
        if (m_rawFont.isValid())
            m_rawFont.setPixelSize(m_font.pointSizeF() * m_printer.logicalDpiY() / 72.0);
    }
    if (text.isEmpty())
        return;
    const QPointF baseline(m_x * m_unitsPerTwipX, m_y * m_unitsPerTwipY + m_metrics->ascent());
    const double width = drawGlyphs(baseline, text);

    m_x = static_cast<float>(m_x + width / m_unitsPerTwipX);
}

double DevicePrinter::drawGlyphs(QPointF baseline, const QString& text)
{
    if (m_rawFont.isValid()) {
        QList<quint32> glyphs = m_rawFont.glyphIndexesForString(text);
        // Characters the face lacks need the font fallback of the full text path.
        if (glyphs.size() == text.size() && !glyphs.contains(0u)) {
            const QList<QPointF> advances = m_rawFont.advancesForGlyphIndexes(glyphs);
            QList<QPointF> positions;
            positions.reserve(glyphs.size());
            QPointF pen(0, 0);
            for (const QPointF& advance : advances) {
                positions.append(pen);
                pen += advance;
            }
            QGlyphRun run;
            run.setRawFont(m_rawFont);
            run.setGlyphIndexes(glyphs);
            run.setPositions(positions);
            m_painter.drawGlyphRun(baseline, run);
            return pen.x();
        }
    }
    m_painter.drawText(baseline, text);
    return m_metrics->horizontalAdvance(text);
}

void DevicePrinter::newPage()
{
    if (!m_painter.isActive())
        beginDocument();   // a new page before anything printed leaves page 1 blank
    if (!m_printer.newPage())
        throw PrintError("A new page could not be started on the printer \"" + deviceName().toStdString() + "\".");
    m_x = 0;
    m_y = 0;
}

void DevicePrinter::endDoc()
{
    m_x = 0;
    m_y = 0;
    if (!m_painter.isActive())
        return;
    const bool ended = m_painter.end();
    if (!ended || m_printer.printerState() == QPrinter::Error)
        throw PrintError("The document could not be handed to the printer \"" + deviceName().toStdString() + "\".");
}

QString DevicePrinter::deviceName() const
{
    if (m_printer.outputFormat() == QPrinter::PdfFormat && !m_printer.outputFileName().isEmpty())
        return m_printer.outputFileName();
    return m_printer.printerName();
}

} // namespace vrx

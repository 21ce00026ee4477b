#pragma once
// The printer object on a real QPrinter: a CUPS queue, or a PDF file for tests and benchmarks.

#include "print/PrintModule.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QRawFont>

#include <optional>

class QPrinter;

namespace vrx {

// Draws through QPainter on a QPrinter the caller has set up (printer name or output file,
// copy count, page size). Positions are twips from the top-left corner of the printable
// area; a text is drawn with the top of its line cell at the current vertical position.
// Each document (from the first print to endDoc) is one job; the device is opened only when
// something is printed, so ending an empty document produces no page and no job.
class DevicePrinter : public Printer {
public:
    explicit DevicePrinter(QPrinter& printer);
    ~DevicePrinter() override;

    void setFontName(const QString& name) override;
    void setFontSize(float points) override;
    float currentX() const override { return m_x; }
    void setCurrentX(float twips) override { m_x = twips; }
    float currentY() const override { return m_y; }
    void setCurrentY(float twips) override { m_y = twips; }
    void setForeColor(QRgb colour) override;
    void print(const QString& text) override;
    void newPage() override;
    void endDoc() override;
    QString deviceName() const override;

    // Drops a document left unfinished by a failure, so no partial job reaches the printer.
    void abandonDocument();

private:
    void beginDocument();
    void fontChanged();
    double drawGlyphs(QPointF baseline, const QString& text);

    QPrinter& m_printer;
    QPainter m_painter;
    QFont m_font;
    QRgb m_colour = qRgb(0, 0, 0);
    float m_x = 0;
    float m_y = 0;
    // Device units per twip and the font's ascent in device units, kept while a document runs.
    double m_unitsPerTwipX = 1;
    double m_unitsPerTwipY = 1;
    std::optional<QFontMetricsF> m_metrics;
    // The same font as raw glyphs: a log line is drawn without going through text shaping,
    // which makes long logs print several times faster.
    QRawFont m_rawFont;
};

} // namespace vrx

#pragma once
// The printer object on a real paged device: a QPrinter (a CUPS queue, or a PDF file for tests
// and benchmarks), or Qt's PDF writer on its own, which needs no printing module and so no
// widgets (vrxlog).

#include "print/PrintModule.h"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QRawFont>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class QIODevice;
class QPagedPaintDevice;
class QPdfWriter;
class QPrinter;

namespace vrx {

// Draws through QPainter on a paged device the caller has set up (printer name or output file,
// copy count, page size). Positions are twips from the top-left corner of the printable
// area; a text is drawn with the top of its line cell at the current vertical position.
// Each document (from the first print to endDoc) is one job; the device is opened only when
// something is printed, so ending an empty document produces no page and no job. A document
// that would pass what the PDF writer can make (MaxPdfBytes) fails with PrintError.
class DevicePrinter : public Printer {
public:
    // What the drawing needs of its device beyond painting on it.
    class Device {
    public:
        virtual ~Device() = default;
        virtual QPagedPaintDevice& paintDevice() = 0;
        virtual QString name() const = 0;
        // Before a document begins: a device that hands its documents on itself (a CUPS queue)
        // makes the spool here; PrintError when it cannot.
        virtual void beginDocument() {}
        // Bytes of the document drawn so far; 0 where the device cannot tell.
        virtual qint64 documentBytes() const { return 0; }
        // Drops what was drawn of an unfinished document.
        virtual void abort() {}
        // Whether the device reported a failure once the document was ended.
        virtual bool failed() const { return false; }
        // An ended document goes to its queue as one job (PrintError when it is refused), or
        // is dropped.
        virtual void submitDocument() {}
        virtual void dropDocument() {}
        // The name the next document's job carries.
        virtual void setJobName(const QString&) {}
        // The room from the first line's origin to the edge of what the device can print, in twips.
        virtual QSizeF printableSize() const = 0;
    };

    // Defined with the print command (it needs Qt's printing module).
    explicit DevicePrinter(QPrinter& printer);
    // A PDF file; name is how messages call it; the document's size is read off file, if given.
    DevicePrinter(QPdfWriter& writer, const QString& name, const QIODevice* file = nullptr);
    explicit DevicePrinter(std::unique_ptr<Device> device);
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
    void setJobName(const QString& name) override;
    QSizeF printableSize() const override;

    // Drops a document left unfinished by a failure, so no partial job reaches the printer.
    void abandonDocument();

    // The size a document may reach; MaxPdfBytes unless a test makes it smaller.
    void setMaxDocumentBytes(qint64 bytes) { m_maxDocumentBytes = bytes; }

private:
    // One character as the raw font draws it.
    struct Glyph {
        quint32 index = 0;
        QPointF advance;
        bool blank = false;   // a space: it moves on without putting anything on paper
    };

    void beginDocument();
    void checkDocumentSize();
    void fontChanged();
    void prepareFont();
    double drawGlyphs(QPointF baseline, const QString& text);
    const Glyph* glyphFor(char16_t c);
    void drawPendingGlyphs();

    std::unique_ptr<Device> m_device;
    QPagedPaintDevice& m_paper;
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
    // which makes long logs print several times faster. Each character is looked up in the
    // font once; a log's text is Windows-1252, so nearly all of them sit in the first table.
    QRawFont m_rawFont;
    QRawFont m_runFont;   // the same at 64 times the size, for drawing in 64ths of a unit
    std::array<std::optional<Glyph>, 256> m_latinGlyphs;
    QHash<char16_t, std::optional<Glyph>> m_otherGlyphs;
    // Glyphs printed but not drawn yet, at their places on the page, all in the pen's colour:
    // the PDF writer's cost is largely per drawing call, so a page goes out in a few of them.
    std::vector<quint32> m_pendingGlyphs;
    std::vector<QPointF> m_pendingPositions;
    qint64 m_maxDocumentBytes;
    qint64 m_pagesBegun = 0;
};

} // namespace vrx

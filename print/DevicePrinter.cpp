#include "print/DevicePrinter.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPagedPaintDevice>
#include <QPainterPath>
#include <QPageLayout>
#include <QPdfWriter>

namespace vrx {

static constexpr double TwipsPerInch = 1440.0;

// Glyphs held back before they are drawn: a page of ordinary lines fits, and a page of very
// long lines is drawn in parts rather than kept whole.
static constexpr std::size_t MaxPendingGlyphs = 16384;

namespace {

// Qt places glyphs in 64ths of a device unit. The pending glyphs are drawn in a coordinate
// system of those 64ths, so that their places are whole numbers, which the PDF writer puts on
// paper in fewer digits and less time; they are the very places a device-unit run would get.
constexpr double SubUnits = 64;

double subUnits(double deviceUnits)
{
    return double(int(deviceUnits * SubUnits));
}

// Qt's PDF writer: it has no state to ask and nothing to abort; a document left unfinished is
// the caller's file to throw away.
class PdfWriterDevice : public DevicePrinter::Device {
public:
    PdfWriterDevice(QPdfWriter& writer, const QString& name, const QIODevice* file)
        : m_writer(writer), m_name(name), m_file(file)
    {
    }
    QPagedPaintDevice& paintDevice() override { return m_writer; }
    QString name() const override { return m_name; }
    qint64 documentBytes() const override { return m_file ? m_file->pos() : 0; }
    QSizeF printableSize() const override
    {
        // A PDF page has no unprintable border: the text has the paper less the page's margins.
        const QPageLayout layout = m_writer.pageLayout();
        const QRectF paper = layout.fullRectPoints();
        const QMarginsF origin = layout.mode() == QPageLayout::FullPageMode ? QMarginsF() : layout.marginsPoints();
        constexpr double TwipsPerPoint = 20;
        return QSizeF(paper.width() - origin.left(), paper.height() - origin.top()) * TwipsPerPoint;
    }

private:
    QPdfWriter& m_writer;
    QString m_name;
    const QIODevice* m_file;
};

} // namespace

DevicePrinter::DevicePrinter(QPdfWriter& writer, const QString& name, const QIODevice* file)
    : DevicePrinter(std::make_unique<PdfWriterDevice>(writer, name, file))
{
}

DevicePrinter::DevicePrinter(std::unique_ptr<Device> device)
    : m_device(std::move(device)), m_paper(m_device->paintDevice()), m_maxDocumentBytes(MaxPdfBytes)
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
    m_pendingGlyphs.clear();
    m_pendingPositions.clear();
    if (!m_painter.isActive())
        return;
    m_device->abort();
    m_painter.end();
    m_device->dropDocument();
}

void DevicePrinter::setFontName(const QString& name)
{
    drawPendingGlyphs();
    m_font.setFamilies({name});
    m_font.setStyleHint(QFont::TypeWriter);
    m_font.setFixedPitch(true);
    // The layout's columns need a fixed-pitch face. Where the named one is missing and the
    // system answers with another kind (Wine, which has no Courier New, draws a serif face for
    // it), the metric-compatible Liberation face stands in.
    if (!QFontInfo(m_font).fixedPitch())
        m_font.setFamilies({QStringLiteral("Liberation Mono"), QStringLiteral("Courier New"), name});
    fontChanged();
}

void DevicePrinter::setFontSize(float points)
{
    drawPendingGlyphs();
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
    // The layout names the colour before every line; an unchanged pen leaves the glyphs
    // waiting to be drawn together.
    if (colour == m_colour)
        return;
    drawPendingGlyphs();
    m_colour = colour;
    if (m_painter.isActive())
        m_painter.setPen(QColor::fromRgb(colour));
}

void DevicePrinter::beginDocument()
{
    m_device->beginDocument();
    m_pagesBegun = 1;
    if (!m_painter.begin(&m_paper)) {
        m_device->dropDocument();
        throw PrintError("The printer \"" + deviceName().toStdString() + "\" could not be started.");
    }
    m_painter.setFont(m_font);
    m_painter.setPen(QColor::fromRgb(m_colour));
    m_metrics.reset();
}

void DevicePrinter::prepareFont()
{
    m_unitsPerTwipX = m_paper.logicalDpiX() / TwipsPerInch;
    m_unitsPerTwipY = m_paper.logicalDpiY() / TwipsPerInch;
    m_metrics.emplace(m_font, &m_paper);
    m_rawFont = QRawFont::fromFont(m_font);
    if (m_rawFont.isValid()) {
        const double pixels = m_font.pointSizeF() * m_paper.logicalDpiY() / 72.0;
        m_rawFont.setPixelSize(pixels);
        m_runFont = m_rawFont;
        m_runFont.setPixelSize(pixels * SubUnits);
    }
    m_latinGlyphs.fill(std::nullopt);
    m_otherGlyphs.clear();
}

void DevicePrinter::print(const QString& text)
{
    if (!m_painter.isActive())
        beginDocument();
    if (!m_metrics)
        prepareFont();
    if (text.isEmpty())
        return;
    const QPointF baseline(m_x * m_unitsPerTwipX, m_y * m_unitsPerTwipY + m_metrics->ascent());
    const double width = drawGlyphs(baseline, text);

    m_x = static_cast<float>(m_x + width / m_unitsPerTwipX);
}

const DevicePrinter::Glyph* DevicePrinter::glyphFor(char16_t c)
{
    std::optional<Glyph>& entry = c < m_latinGlyphs.size() ? m_latinGlyphs[c] : m_otherGlyphs[c];
    if (!entry) {
        Glyph glyph;
        const QChar ch(c);
        int count = 1;
        // A surrogate is half a character: such a text takes the full text path.
        if (!ch.isSurrogate() && m_rawFont.glyphIndexesForChars(&ch, 1, &glyph.index, &count) && count == 1
            && glyph.index != 0) {
            m_rawFont.advancesForGlyphIndexes(&glyph.index, &glyph.advance, 1);
            glyph.blank = ch.isSpace() && m_rawFont.pathForGlyph(glyph.index).isEmpty();
        } else {
            glyph.index = 0;
        }
        entry = glyph;
    }
    return entry->index != 0 ? &*entry : nullptr;
}

double DevicePrinter::drawGlyphs(QPointF baseline, const QString& text)
{
    if (m_rawFont.isValid()) {
        const std::size_t mark = m_pendingGlyphs.size();
        QPointF pen(0, 0);
        bool drawable = true;
        for (const QChar c : text) {
            const Glyph* glyph = glyphFor(c.unicode());
            if (!glyph) {
                drawable = false;
                break;
            }
            // Positions add up from the line's start as the advances of a shaped run do, so
            // every glyph lands where it always did; spaces only move the pen.
            if (!glyph->blank) {
                const QPointF at = baseline + pen;
                m_pendingGlyphs.push_back(glyph->index);
                m_pendingPositions.push_back(QPointF(subUnits(at.x()), subUnits(at.y())));
            }
            pen += glyph->advance;
        }
        if (drawable) {
            if (m_pendingGlyphs.size() >= MaxPendingGlyphs)
                drawPendingGlyphs();
            return pen.x();
        }
        m_pendingGlyphs.resize(mark);
        m_pendingPositions.resize(mark);
    }
    // Characters the face lacks need the font fallback of the full text path.
    drawPendingGlyphs();
    m_painter.drawText(baseline, text);
    return m_metrics->horizontalAdvance(text);
}

void DevicePrinter::drawPendingGlyphs()
{
    if (m_pendingGlyphs.empty())
        return;
    if (m_painter.isActive()) {
        QGlyphRun run;
        run.setRawFont(m_runFont);
        run.setRawData(m_pendingGlyphs.data(), m_pendingPositions.data(), int(m_pendingGlyphs.size()));
        const QTransform device = m_painter.worldTransform();
        m_painter.setWorldTransform(QTransform::fromScale(1.0 / SubUnits, 1.0 / SubUnits) * device);
        m_painter.drawGlyphRun(QPointF(0, 0), run);
        m_painter.setWorldTransform(device);
    }
    m_pendingGlyphs.clear();
    m_pendingPositions.clear();
}

void DevicePrinter::newPage()
{
    if (!m_painter.isActive())
        beginDocument();   // a new page before anything printed leaves page 1 blank
    drawPendingGlyphs();
    checkDocumentSize();
    if (!m_paper.newPage())
        throw PrintError("A new page could not be started on the printer \"" + deviceName().toStdString() + "\".");
    ++m_pagesBegun;
    m_x = 0;
    m_y = 0;
}

void DevicePrinter::checkDocumentSize()
{
    // The page under way and the file's closing tables (some 100 bytes a page) follow what is
    // written so far.
    constexpr qint64 PageAndFont = 64 << 20;
    if (m_device->documentBytes() > m_maxDocumentBytes - PageAndFont - 128 * m_pagesBegun)
        throw PrintError(PdfTooLargeMessage);
}

void DevicePrinter::endDoc()
{
    m_x = 0;
    m_y = 0;
    if (!m_painter.isActive())
        return;
    drawPendingGlyphs();
    const bool ended = m_painter.end();
    const qint64 bytes = m_device->documentBytes();
    if (!ended || m_device->failed()) {
        m_device->dropDocument();
        throw PrintError("The document could not be handed to the printer \"" + deviceName().toStdString() + "\".");
    }
    if (bytes > m_maxDocumentBytes) {
        m_device->dropDocument();
        throw PrintError(PdfTooLargeMessage);
    }
    m_device->submitDocument();
}

QString DevicePrinter::deviceName() const
{
    return m_device->name();
}

void DevicePrinter::setJobName(const QString& name)
{
    m_device->setJobName(name);
}

QSizeF DevicePrinter::printableSize() const
{
    return m_device->printableSize();
}

} // namespace vrx

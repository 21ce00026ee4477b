#include "print/PrintModule.h"

#include "platform/DisplayText.h"

#include <algorithm>
#include <array>

namespace vrx {

QRgb paletteColour(int colourNumber)
{
    static constexpr std::array<QRgb, 16> palette = {
        0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
        0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
    };
    if (colourNumber < 0 || colourNumber > 15)
        colourNumber = 0;
    return qRgb(qRed(palette[colourNumber]), qGreen(palette[colourNumber]), qBlue(palette[colourNumber]));
}

void PrintTextAt(Printer& printer, QString text, float x, float y, std::int16_t colour)
{
    x = toTwips(x);
    y = toTwips(y);
    if (colour < 0 || colour > 15)
        colour = 0;

    if (x > 0)
        printer.setCurrentX(x);
    else if (x < 0)
        printer.setCurrentX(printer.currentX() + -x);

    if (y > 0)
        printer.setCurrentY(y);
    else if (y < 0)
        printer.setCurrentY(printer.currentY() + -y);

    if (!text.isEmpty()) {
        printer.setForeColor(paletteColour(colour));
        printer.print(text);
    }
}

QString pageFooter(qsizetype page, qsizetype pageCount)
{
    return QString::fromStdString(footerText(page, pageCount));
}

qint64 estimatedPdfBytes(qint64 pages, qint64 printedCharacters)
{
    constexpr qint64 Fonts = 1 << 20;
    constexpr qint64 BytesPerPage = 768;
    return Fonts + pages * BytesPerPage + printedCharacters * 14 / 10;
}

bool pageHoldsLayout(const QSizeF& printableArea, qsizetype pageCount)
{
    if (printableArea.isEmpty())
        return true;
    const LayoutExtent needed = layoutExtent(pageCount);
    return printableArea.width() >= needed.width && printableArea.height() >= needed.height;
}

namespace {

// Sets the busy pointer for its lifetime, so that a failing printer puts it back as well.
class BusyPointer {
public:
    explicit BusyPointer(const std::function<void(bool)>& busy) : m_busy(busy)
    {
        if (m_busy)
            m_busy(true);
    }
    ~BusyPointer()
    {
        if (m_busy)
            m_busy(false);
    }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    const std::function<void(bool)>& m_busy;
};

} // namespace

void PrintDocument(Printer& printer, const DisplayLines& lines, const std::function<void(bool)>& busy,
                   const PageSelection& pages)
{
    BusyPointer busyPointer(busy);
    // Counters are wide: a log of any length prints whole, with the right page count.
    PageLayout layout(std::int64_t(lines.count()), pages);
    printer.setFontName(PrintFontName);
    printer.setFontSize(PrintFontSize);
    // The log is read in pieces as it prints, no more of a line kept than reaches the paper, so
    // that a log of any size, with lines of any length, prints in little memory.
    lines.forEachCut(size_t(MaxPrintedLineLength), [&](std::string_view text, LineEnd) {
        // A part read again that no longer reads as it did: the document goes no further, and
        // is not ended.
        if (!lines.intact())
            throw LogChangedError();
        const QString line = decodeWindows1252(text);
        for (const Placement& placement : layout.nextLine()) {
            if (placement.newPage)
                printer.newPage();
            PrintTextAt(printer,
                        placement.kind == Placement::Kind::Footer ? QString::fromStdString(placement.text) : line,
                        placement.x, placement.y, placement.colour);
        }
        return true;
    });
    if (!lines.intact() || layout.linesPlaced() != layout.lineCount())
        throw LogChangedError();
    printer.endDoc();
}

} // namespace vrx

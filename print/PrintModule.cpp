#include "print/PrintModule.h"

#include "platform/DisplayText.h"
#include "platform/Platform.h"

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

static std::u16string_view utf16View(QStringView text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())};
}

qsizetype countLines(const QString& displayText)
{
    qsizetype lines = 0;
    BasicLineSplitter<char16_t> splitter(0);
    const auto count = [&lines](std::u16string_view, LineEnd) { ++lines; };
    splitter.add(utf16View(displayText), count);
    splitter.finish(count);
    return lines;
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

namespace {

// The lines of a display text, as often as it is called: each line with no more than its
// laid-out characters.
using PrintedLines = std::function<void(const std::function<void(const QString&)>& line)>;

// Lays the lines out and prints them as one document. The lines are gone through twice, once
// to count the pages for the footers and once to print, so they need not all be held at once.
void printLines(Printer& printer, const PrintedLines& lines, qsizetype lineCount,
                const std::function<void(bool)>& busy, const PageSelection& pages)
{
    BusyPointer busyPointer(busy);

    // Counters are wide: a log of any length prints whole, with the right page count.
    if (lineCount < 0) {
        lineCount = 0;
        lines([&lineCount](const QString&) { ++lineCount; });
    }
    PageLayout layout(lineCount, pages);

    printer.setFontName(PrintFontName);
    printer.setFontSize(PrintFontSize);

    lines([&](const QString& line) {
        if (layout.linesPlaced() >= layout.lineCount())
            throw PrintError("The log changed while it was printed.");
        for (const Placement& placement : layout.nextLine()) {
            if (placement.newPage)
                printer.newPage();
            PrintTextAt(printer,
                        placement.kind == Placement::Kind::Footer ? QString::fromStdString(placement.text) : line,
                        placement.x, placement.y, placement.colour);
        }
    });
    if (layout.linesPlaced() != layout.lineCount())
        throw PrintError("The log changed while it was printed.");

    printer.endDoc();
}

} // namespace

void PrintDocument(Printer& printer, const QString& displayText, const std::function<void(bool)>& busy)
{
    PrintDocument(printer, [&displayText](const auto& take) { take(QStringView(displayText)); }, busy);
}

void PrintDocument(Printer& printer, const TextPieces& displayText, const std::function<void(bool)>& busy)
{
    PrintDocument(printer, displayText, -1, busy);
}

void PrintDocument(Printer& printer, const TextPieces& displayText, qsizetype lineCount,
                   const std::function<void(bool)>& busy, const PageSelection& pages)
{
    const PrintedLines lines = [&displayText](const std::function<void(const QString&)>& line) {
        // One character past the laid-out ones is kept: it may be the CR before the LF.
        BasicLineSplitter<char16_t> splitter{size_t(MaxPrintedLineLength)};
        const auto take = [&line](std::u16string_view text, LineEnd) {
            line(QString::fromUtf16(text.data(), qsizetype(text.size())));
        };
        displayText([&](QStringView piece) { splitter.add(utf16View(piece), take); });
        splitter.finish(take);
    };
    printLines(printer, lines, lineCount, busy, pages);
}

void PrintDocument(Printer& printer, const DisplayLines& displayText, const std::function<void(bool)>& busy,
                   const PageSelection& pages)
{
    const PrintedLines lines = [&displayText](const std::function<void(const QString&)>& line) {
        displayText.forEach([&line](std::string_view text, LineEnd) {
            line(decodeWindows1252(text.substr(0, size_t(MaxPrintedLineLength))));
        });
    };
    printLines(printer, lines, qsizetype(displayText.count()), busy, pages);
}

void PrintDocument(Printer& printer, const TextPieces& displayText, Platform& platform)
{
    PrintDocument(printer, displayText, [&platform](bool on) { platform.setBusy(on); });
}

void PrintDocument(Printer& printer, const QString& displayText, Platform& platform)
{
    PrintDocument(printer, displayText, [&platform](bool on) { platform.setBusy(on); });
}

void PrintDocument(Printer& printer, const DisplayLines& displayText, Platform& platform)
{
    PrintDocument(printer, displayText, [&platform](bool on) { platform.setBusy(on); });
}

} // namespace vrx

#include "PrintModule.h"

#include "Platform.h"

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

static float toTwips(float millimetres)
{
    // The product is kept in single precision, as the printer's position is.
    return static_cast<float>(static_cast<double>(millimetres) * TwipsPerMillimetre);
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

qsizetype countLines(const QString& displayText)
{
    const qsizetype n = displayText.size();
    if (n == 0)
        return 0;
    qsizetype lines = 1 + displayText.count(QLatin1Char('\n'));
    if (displayText.at(n - 1) == QLatin1Char('\n'))
        --lines;
    return lines;
}

qsizetype countPages(qsizetype lines)
{
    return (lines + LinesPerPage - 1) / LinesPerPage;
}

QString pageFooter(qsizetype page, qsizetype pageCount)
{
    return QStringLiteral("Page") + QLatin1Char(' ') + QString::number(page) + QStringLiteral(" of")
        + QLatin1Char(' ') + QString::number(pageCount);
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

void PrintDocument(Printer& printer, const QString& displayText, const std::function<void(bool)>& busy)
{
    BusyPointer busyPointer(busy);

    float leftMargin = LeftMargin;
    float topMargin = TopMargin;

    // Counters are wide: a log of any length prints whole, with the right page count.
    const qsizetype lineCount = countLines(displayText);
    const qsizetype pageCount = countPages(lineCount);

    printer.setFontName(PrintFontName);
    printer.setFontSize(PrintFontSize);

    qsizetype pageNumber = 0;
    qsizetype position = 0;   // 0-based start of the current line
    const qsizetype textLength = displayText.size();
    for (qsizetype lineNumber = 1; lineNumber <= lineCount; ++lineNumber) {
        qsizetype lineFeed = displayText.indexOf(QLatin1Char('\n'), position);
        qsizetype end = lineFeed < 0 ? textLength : lineFeed;
        // Only the CR of a CR LF pair is dropped: a lone LF keeps the character before it.
        if (lineFeed >= 0 && end > position && displayText.at(end - 1) == QLatin1Char('\r'))
            --end;
        // What lies past the paper's edge is lost anyway; laying it out would cost memory and
        // time in proportion to the line (tens of bytes a character), so it is left out.
        const QString line = displayText.mid(position, std::min<qsizetype>(end - position, MaxPrintedLineLength));

        float y;
        if (lineNumber % LinesPerPage == 1) {
            ++pageNumber;
            if (lineNumber > 1)
                printer.newPage();
            PrintTextAt(printer, pageFooter(pageNumber, pageCount), leftMargin + FooterOffsetX,
                        topMargin + FooterOffsetY, 0);
            y = topMargin;
        } else {
            y = -LinePitch;
        }
        PrintTextAt(printer, line, leftMargin, y, 0);

        position = lineFeed < 0 ? textLength : lineFeed + 1;
    }

    printer.endDoc();
}

void PrintDocument(Printer& printer, const QString& displayText, Platform& platform)
{
    PrintDocument(printer, displayText, [&platform](bool on) { platform.setBusy(on); });
}

} // namespace vrx

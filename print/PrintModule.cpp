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
    LineCounter counter;
    counter.add(QStringView(displayText));
    return counter.lines();
}

void LineCounter::add(QStringView piece)
{
    if (piece.isEmpty())
        return;
    m_lineFeeds += piece.count(QLatin1Char('\n'));
    m_openLine = piece.back() != QLatin1Char('\n');
}

void LineCounter::add(std::string_view piece)
{
    if (piece.empty())
        return;
    m_lineFeeds += static_cast<qsizetype>(std::count(piece.begin(), piece.end(), '\n'));
    m_openLine = piece.back() != '\n';
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

namespace {

// Cuts a text handed over in pieces into the lines printing sees, keeping of each line only
// the characters that are laid out, and hands each line on when its LF (or the text) ends.
class PrintedLines {
public:
    explicit PrintedLines(const std::function<void(const QString&)>& line) : m_line(line) {}

    void add(QStringView piece)
    {
        while (!piece.isEmpty()) {
            const qsizetype lineFeed = piece.indexOf(QLatin1Char('\n'));
            const QStringView part = lineFeed < 0 ? piece : piece.first(lineFeed);
            // One character past the laid-out ones is kept: it may be the CR before the LF.
            if (m_kept.size() <= MaxPrintedLineLength)
                m_kept += part.first(std::min<qsizetype>(part.size(), MaxPrintedLineLength + 1 - m_kept.size()));
            if (!part.isEmpty())
                m_lastWasCr = part.back() == QLatin1Char('\r');
            m_open = m_open || !part.isEmpty();
            if (lineFeed < 0)
                return;
            endLine(true);
            piece = piece.sliced(lineFeed + 1);
        }
    }

    // The last line, when the text does not end with LF.
    void finish()
    {
        if (m_open)
            endLine(false);
    }

private:
    void endLine(bool atLineFeed)
    {
        // Only the CR of a CR LF pair is dropped: a lone LF keeps the character before it.
        if (atLineFeed && m_lastWasCr && m_kept.size() <= MaxPrintedLineLength)
            m_kept.chop(1);
        m_kept.truncate(MaxPrintedLineLength);
        m_line(m_kept);
        m_kept.clear();
        m_lastWasCr = false;
        m_open = false;
    }

    const std::function<void(const QString&)>& m_line;
    QString m_kept;
    bool m_lastWasCr = false;
    bool m_open = false;
};

} // namespace

void PrintDocument(Printer& printer, const QString& displayText, const std::function<void(bool)>& busy)
{
    PrintDocument(printer, [&displayText](const auto& take) { take(QStringView(displayText)); }, busy);
}

void PrintDocument(Printer& printer, const TextPieces& displayText, const std::function<void(bool)>& busy)
{
    BusyPointer busyPointer(busy);

    float leftMargin = LeftMargin;
    float topMargin = TopMargin;

    // Counters are wide: a log of any length prints whole, with the right page count.
    LineCounter counter;
    displayText([&counter](QStringView piece) { counter.add(piece); });
    const qsizetype lineCount = counter.lines();
    const qsizetype pageCount = countPages(lineCount);

    printer.setFontName(PrintFontName);
    printer.setFontSize(PrintFontSize);

    qsizetype pageNumber = 0;
    qsizetype lineNumber = 0;
    const std::function<void(const QString&)> printLine = [&](const QString& line) {
        if (++lineNumber > lineCount)
            throw PrintError("The log changed while it was printed.");
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
    };
    PrintedLines lines(printLine);
    displayText([&lines](QStringView piece) { lines.add(piece); });
    lines.finish();
    if (lineNumber != lineCount)
        throw PrintError("The log changed while it was printed.");

    printer.endDoc();
}

void PrintDocument(Printer& printer, const TextPieces& displayText, Platform& platform)
{
    PrintDocument(printer, displayText, [&platform](bool on) { platform.setBusy(on); });
}

void PrintDocument(Printer& printer, const QString& displayText, Platform& platform)
{
    PrintDocument(printer, displayText, [&platform](bool on) { platform.setBusy(on); });
}

} // namespace vrx

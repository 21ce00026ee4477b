#pragma once
// Page layout of the printed log: the printer object the layout talks to, PrintTextAt,
// which places one piece of text at a position in millimetres, and PrintDocument, which
// prints the display text as one complete document (one copy).

#include "core/DisplayLines.h"
#include "core/PageLayout.h"

#include <QRgb>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string_view>

namespace vrx {

class Platform;

// A failing printer operation (the device would not start, a page could not be added, the
// job could not be handed on). Passed up to the print command, which tells the user.
class PrintError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A part of the log no longer reads as it did when its lines were found: the document being
// printed is dropped before it reaches the printer, so that no printout mixes two versions.
class LogChangedError : public PrintError {
public:
    LogChangedError() : PrintError("The log changed while it was printed.") {}
};

// The printer object as the layout uses it. Positions are twips (1/1440 inch) from the
// top-left corner of the printable area, x to the right, y downwards. Printing a text
// leaves the vertical position and moves the horizontal one to the end of the text.
// Starting a new page or ending the document puts the position back at 0, 0.
class Printer {
public:
    virtual ~Printer() = default;

    virtual void setFontName(const QString& name) = 0;
    virtual void setFontSize(float points) = 0;

    virtual float currentX() const = 0;
    virtual void setCurrentX(float twips) = 0;
    virtual float currentY() const = 0;
    virtual void setCurrentY(float twips) = 0;

    virtual void setForeColor(QRgb colour) = 0;

    // Prints at the current position, without going to a new line.
    virtual void print(const QString& text) = 0;

    virtual void newPage() = 0;

    // Ends the document and hands it to the printer. With nothing printed since the last
    // end it produces nothing: no page, no job.
    virtual void endDoc() = 0;

    virtual QString deviceName() const = 0;

    // Names the documents begun from now on, as the printer's queue lists them.
    virtual void setJobName(const QString& name) = 0;

    // How far the printer can print to the right of and below position 0, 0, in twips; empty
    // when not known.
    virtual QSizeF printableSize() const = 0;
};

// Qt's PDF writer, which draws the documents for PDF files and CUPS queues, counts the offsets
// in its file in 32 bits: past 2 GiB the file comes out broken.
inline constexpr qint64 MaxPdfBytes = (qint64(1) << 31) - 1;
inline constexpr const char* PdfTooLargeMessage =
    "The document would pass 2 GiB, the largest the PDF writer can make.";

// The size of the PDF of a number of pages that print a number of characters (blanks left
// out), as Qt's PDF writer makes it from log text: some 0.75 KB a page and 1.4 bytes a
// character, a little more than measured on logs. Random characters take up to 2 bytes each.
qint64 estimatedPdfBytes(qint64 pages, qint64 printedCharacters);

// Characters of a line that are laid out: far more than the widest paper holds at the print
// font (about 200 on A3 landscape at 10 points); the rest of a longer line is not printed.
inline constexpr qsizetype MaxPrintedLineLength = 4096;
inline const QString PrintFontName = QString::fromLatin1(PrintFontFamily);
inline constexpr float PrintFontSize = PrintFontPoints;

// The sixteen colours behind the colour numbers 0..15 (0 black, 15 bright white).
QRgb paletteColour(int colourNumber);

// Places text at x, y millimetres in colour number colour. A positive coordinate is
// absolute, a negative one moves that far on from the current position, zero leaves the
// axis alone. Colour numbers outside 0..15 print black. An empty text only moves.
void PrintTextAt(Printer& printer, QString text, float x, float y, std::int16_t colour);

// Pages needed for a number of lines: 48 lines a page, rounded up.
inline qsizetype countPages(qsizetype lines) { return pageCountOf(lines); }

// The footer of page n of m: "Page n of m".
QString pageFooter(qsizetype page, qsizetype pageCount);

// Whether the room a printer has (printableSize) holds a document's pages whole: the 48 lines
// and the footer. Room of unknown size is taken to hold them.
bool pageHoldsLayout(const QSizeF& printableArea, qsizetype pageCount);

// Prints the lines of a log as one document: 48 lines a page, the footer ("Page n of m") on
// every page, only the selected pages when a selection is given; then ends the document, also
// when there are no lines. Each line is decoded as it is printed, no more of it than can reach
// the paper. busy(true) is called at the start and busy(false) at the end, also when a printer
// operation fails. Lines that no longer read as they did fail with LogChangedError before the
// document is ended.
void PrintDocument(Printer& printer, const DisplayLines& lines, const std::function<void(bool)>& busy = {},
                   const PageSelection& pages = {});

} // namespace vrx

#pragma once
// The main window's "&Print" command.

#include "print/PrintModule.h"

#include <QString>

class QWidget;

namespace vrx {

class Platform;
class PrinterSystem;

// What the command says when the system has no printer at all.
inline const QString NoPrinterMessage = QStringLiteral("No printer is installed. Install a printer, then print again.");

// Asks for a printer and a number of copies, prints the display text once per copy,
// and leaves the system default printer as it was before the dialog.
void PrintDisplay_Click(Platform& platform, QWidget* window, const QString& displayText);

// The same on the given printers (tests give a stand-in).
void PrintDisplay_Click(Platform& platform, QWidget* window, const QString& displayText, PrinterSystem& printers);

// The same on a display text handed over in pieces, as the window keeps it.
void PrintDisplay_Click(Platform& platform, QWidget* window, const TextPieces& displayText);
void PrintDisplay_Click(Platform& platform, QWidget* window, const TextPieces& displayText, PrinterSystem& printers);

// The same on the lines the window holds.
void PrintDisplay_Click(Platform& platform, QWidget* window, const DisplayLines& displayText);
void PrintDisplay_Click(Platform& platform, QWidget* window, const DisplayLines& displayText, PrinterSystem& printers);

} // namespace vrx

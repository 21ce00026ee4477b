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

// The name of a copy's print job: the log's file name, with the copy's number where there are
// several copies ("scope-fail.log (copy 2 of 3)"); the program's title when there is no name.
QString printJobName(const QString& logName, int copy, int copies);

// How the command ended: as it says itself, or with the copy being printed dropped because a
// part of the log no longer read as it did (which the log's owner tells, once, with the change).
enum class PrintOutcome { Told, LogChanged };

// Asks for a printer, the pages and the number of copies, prints the display text once per
// copy on the printer as the dialog set it up, and leaves the system default printer as it was
// before the dialog. logName, the log's file name, names the print jobs.
PrintOutcome PrintDisplay_Click(Platform& platform, QWidget* window, const DisplayLines& displayText,
                                const QString& logName = {});
PrintOutcome PrintDisplay_Click(Platform& platform, QWidget* window, const DisplayLines& displayText,
                                PrinterSystem& printers, const QString& logName = {});

// The same on a display text held whole, lines parted by CR LF (tests give a stand-in for the
// system's printers).
PrintOutcome PrintDisplay_Click(Platform& platform, QWidget* window, const QString& displayText,
                                const QString& logName = {});
PrintOutcome PrintDisplay_Click(Platform& platform, QWidget* window, const QString& displayText,
                                PrinterSystem& printers, const QString& logName = {});

} // namespace vrx

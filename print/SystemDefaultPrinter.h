#pragma once
// The system's default printer for the Qt program: on Windows through DefaultPrinter
// (the spooler or the profile), on Linux the user's default CUPS destination, as
// `lpoptions -d` sets it.

#include "print/DefaultPrinter.h"

#include <QString>

namespace vrx {

class Platform;

// Shows the default-printer code's messages as the platform's message boxes: OK only, no icon.
MessageBoxFn messageBoxOn(Platform& platform);

// Makes the named printer the system's (on Linux: the user's CUPS) default printer.
// Failures leave the default as it was; only the spooler method shows a message.
void SelectDefaultPrinter(Platform& platform, const QString& name);

// The name of the system's default printer (on Linux the user's CUPS default, with
// "/instance" when it is an instance); empty when there is none.
QString SystemDefaultPrinterName();

#ifndef _WIN32
// The CUPS side of the two above. cupsSelectDefaultPrinter returns false, and changes
// nothing, when the scheduler does not know the destination or the choice cannot be saved.
bool cupsSelectDefaultPrinter(const QString& name);
QString cupsDefaultPrinterName();
#endif

} // namespace vrx

#pragma once
// Printing on a CUPS queue with the settings the print dialog made.

class QPrinter;

namespace vrx {

// Makes the queue's options that the dialog put on the printer fit the way the log is printed:
// the pages chosen are the only ones drawn, so the queue must not pick pages again; and the
// last page comes out first when the dialog asks for it.
void prepareCupsPrinter(QPrinter& printer);

} // namespace vrx

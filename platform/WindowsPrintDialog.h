#pragma once
// The printer dialog on Windows: Windows' own (PrintDlg), whose answer carries the pages chosen
// in every version of Windows and under Wine. Qt's dialog asks PrintDlgEx, whose answer under
// Wine says "all pages" whatever was chosen. Windows only.

#include "platform/Platform.h"

#include <optional>

class QWidget;

namespace vrx {

std::optional<PrinterChoice> windowsPrinterDialog(QWidget* parent, const PrinterDialogRequest& request);

} // namespace vrx

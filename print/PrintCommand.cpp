#include "PrintCommand.h"

#include "Platform.h"

namespace vrx {

void PrintDisplay_Click(Platform&, QWidget*, const QString&) {}

} // namespace vrx

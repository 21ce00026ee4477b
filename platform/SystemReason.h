#pragma once
// The system's own sentence for a failure, as every message of the program gives it: the
// text of an errno value, or of a Windows error code.

#include <QString>

#include <system_error>

namespace vrx {

// "No space left on device", "Permission denied": no full stop, in the locale's language.
QString systemReason(int error);
QString systemReason(const std::error_code& error);

} // namespace vrx

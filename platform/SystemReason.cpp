#include "platform/SystemReason.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vrx {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString systemReason(const std::error_code& error)
{
#ifdef _WIN32
    // Windows' own wording for its error codes, in the user's language and as UTF-16.
    if (error.category() == std::system_category()) {
        wchar_t* text = nullptr;
        const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                                  | FORMAT_MESSAGE_IGNORE_INSERTS,
                                              nullptr, DWORD(error.value()), 0, reinterpret_cast<wchar_t*>(&text), 0,
                                              nullptr);
        QString reason = length > 0 ? QString::fromWCharArray(text, int(length)).trimmed() : QString();
        ::LocalFree(text);
        // Its sentences end with a full stop; the program's messages add their own.
        if (reason.endsWith(QLatin1Char('.')))
            reason.chop(1);
        if (!reason.isEmpty())
            return reason;
    }
#endif
    if (error.category() == std::generic_category())
        return systemReason(error.value());
    return QString::fromLocal8Bit(error.message());
}

} // namespace vrx

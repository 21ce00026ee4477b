#include "print/SystemDefaultPrinter.h"

#include "platform/Platform.h"

namespace vrx {

MessageBoxFn messageBoxOn(Platform& platform)
{
    // Windows takes and returns texts in the system's ANSI code page, the local 8-bit one.
    return [&platform](const std::string& text, const std::string& title) {
        platform.messageBox(nullptr, QString::fromLocal8Bit(text.data(), qsizetype(text.size())),
                            QString::fromLocal8Bit(title.data(), qsizetype(title.size())), MessageButtons::Ok,
                            MessageIcon::None);
    };
}

void SelectDefaultPrinter(Platform& platform, const QString& name)
{
#ifdef _WIN32
    SelectDefaultPrinter(systemWindowsApi(), messageBoxOn(platform), name.toLocal8Bit().toStdString());
#else
    Q_UNUSED(platform);
    cupsSelectDefaultPrinter(name);
#endif
}

QString SystemDefaultPrinterName()
{
#ifdef _WIN32
    return QString::fromLocal8Bit(windowsDefaultPrinterName());
#else
    return cupsDefaultPrinterName();
#endif
}

} // namespace vrx

#include "DefaultPrinter.h"

#include "Identity.h"
#include "Platform.h"

#include <cstring>
#include <vector>

namespace vrx {

// Windows takes and returns texts in the system's ANSI code page.
static QByteArray toAnsi(const QString& text)
{
    return text.toLocal8Bit();
}

void SelectDefaultPrinter(WindowsApi& api, Platform& platform, const QString& name)
{
    if (QueryPlatformId(api) == PlatformWindows95Family)
        MarkPrinterDefault(api, platform, name);
    else
        SetDefaultFromProfile(api, name);
}

std::int16_t QueryPlatformId(WindowsApi& api)
{
    OsVersionInfoA info;
    info.dwOSVersionInfoSize = sizeof(OsVersionInfoA);
    api.GetVersionExA(&info);   // on failure the record stays zero: platform id 0
    return static_cast<std::int16_t>(info.dwPlatformId);
}

void SetDefaultFromProfile(WindowsApi& api, const QString& name)
{
    QByteArray buffer(ProfileBufferSize, ' ');
    const QByteArray key = toAnsi(name);
    api.GetProfileStringA("PrinterPorts", key.constData(), "", buffer.data(), ProfileBufferSize);

    QByteArray driver;
    QByteArray port;
    SplitDriverPort(buffer, driver, port);
    if (!driver.isEmpty() && !port.isEmpty())
        WriteDeviceEntry(api, key, driver, port);
}

void SplitDriverPort(QByteArray entry, QByteArray& driver, QByteArray& port)
{
    driver.clear();
    port.clear();
    const qsizetype first = entry.indexOf(',');
    if (first < 0)
        return;
    driver = entry.left(first);
    const qsizetype second = entry.indexOf(',', first + 1);
    if (second < 0)
        return;
    port = entry.mid(first + 1, second - first - 1);
}

void WriteDeviceEntry(WindowsApi& api, QByteArray name, QByteArray driver, QByteArray port)
{
    const QByteArray value = name + ',' + driver + ',' + port;
    api.WriteProfileStringA("windows", "Device", value.constData());
    static const char changedSection[] = "windows";
    api.SendMessageA(BroadcastToAllWindows, WmWinIniChange, 0, reinterpret_cast<std::intptr_t>(changedSection));
}

QByteArray CopyStringAt(WindowsApi& api, const char* address)
{
    char buffer[CopyBufferSize] = {};
    if (address == nullptr)
        return {};
    const std::size_t length = strnlen(address, CopyBufferSize);
    if (length < CopyBufferSize) {
        api.lstrcpyA(buffer, address);
    } else {
        // Too long for the buffer: keep what fits instead of writing past its end.
        std::memcpy(buffer, address, CopyBufferSize - 1);
        buffer[CopyBufferSize - 1] = '\0';
    }
    const std::size_t copied = strnlen(buffer, CopyBufferSize);
    if (copied == CopyBufferSize)
        return {};
    return QByteArray(buffer, static_cast<qsizetype>(copied));
}

void MarkPrinterDefault(WindowsApi& api, Platform& platform, const QString& name)
{
    QByteArray ansiName = toAnsi(name);
    PrinterHandle handle = nullptr;
    PrinterDefaultsA defaults;
    defaults.DesiredAccess = PrinterAllAccess;
    if (api.OpenPrinterA(ansiName.data(), &handle, &defaults) == 0)
        return;

    std::uint32_t needed = 0;
    api.GetPrinterA(handle, 5, nullptr, 0, &needed);   // only asks for the size

    // 64-bit elements keep the record's pointers aligned; at least needed bytes.
    std::vector<std::uint64_t> buffer(needed / sizeof(std::uint64_t) + 1);
    auto* bytes = reinterpret_cast<unsigned char*>(buffer.data());
    if (api.GetPrinterA(handle, 5, bytes, needed, &needed) == 0 || needed < sizeof(PrinterInfo5A)
        || needed > buffer.size() * sizeof(std::uint64_t)) {
        api.ClosePrinter(handle);
        return;
    }

    PrinterInfo5A read;
    std::memcpy(&read, bytes, sizeof read);

    // The record passed on carries its own copies of the two names.
    QByteArray printerName = CopyStringAt(api, read.pPrinterName);
    QByteArray portName = CopyStringAt(api, read.pPortName);
    PrinterInfo5A info;
    info.pPrinterName = printerName.data();
    info.pPortName = portName.data();
    info.Attributes = read.Attributes;
    info.DeviceNotSelectedTimeout = read.DeviceNotSelectedTimeout;
    info.TransmissionRetryTimeout = read.TransmissionRetryTimeout;
    info.Attributes = PrinterAttributeDefault;

    if (api.SetPrinterA(handle, 5, reinterpret_cast<unsigned char*>(&info), 0) == 0) {
        const std::uint32_t error = api.GetLastError();
        platform.messageBox(nullptr, QStringLiteral("SetPrinterFailed. Error code: ") + QString::number(error),
                            ProgramTitle, MessageButtons::Ok, MessageIcon::None);
    }
    api.ClosePrinter(handle);
}

void SelectDefaultPrinter(Platform& platform, const QString& name)
{
#ifdef _WIN32
    SelectDefaultPrinter(systemWindowsApi(), platform, name);
#else
    Q_UNUSED(platform);
    cupsSelectDefaultPrinter(name);
#endif
}

QString SystemDefaultPrinterName()
{
#ifdef _WIN32
    return windowsDefaultPrinterName();
#else
    return cupsDefaultPrinterName();
#endif
}

} // namespace vrx

#include "print/DefaultPrinter.h"

#include <cstring>
#include <vector>

namespace vrx {

void SelectDefaultPrinter(WindowsApi& api, const MessageBoxFn& messageBox, const std::string& name)
{
    if (QueryPlatformId(api) == PlatformWindows95Family)
        MarkPrinterDefault(api, messageBox, name);
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

void SetDefaultFromProfile(WindowsApi& api, const std::string& name)
{
    std::string buffer(ProfileBufferSize, ' ');
    api.GetProfileStringA("PrinterPorts", name.c_str(), "", buffer.data(), ProfileBufferSize);

    std::string driver;
    std::string port;
    SplitDriverPort(buffer, driver, port);
    if (!driver.empty() && !port.empty())
        WriteDeviceEntry(api, name, driver, port);
}

void SplitDriverPort(std::string entry, std::string& driver, std::string& port)
{
    driver.clear();
    port.clear();
    const std::size_t first = entry.find(',');
    if (first == std::string::npos)
        return;
    driver = entry.substr(0, first);
    const std::size_t second = entry.find(',', first + 1);
    if (second == std::string::npos)
        return;
    port = entry.substr(first + 1, second - first - 1);
}

void WriteDeviceEntry(WindowsApi& api, std::string name, std::string driver, std::string port)
{
    const std::string value = name + ',' + driver + ',' + port;
    api.WriteProfileStringA("windows", "Device", value.c_str());
    static const char changedSection[] = "windows";
    api.SendMessageA(BroadcastToAllWindows, WmWinIniChange, 0, reinterpret_cast<std::intptr_t>(changedSection));
}

std::string CopyStringAt(WindowsApi& api, const char* address)
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
    return std::string(buffer, copied);
}

void MarkPrinterDefault(WindowsApi& api, const MessageBoxFn& messageBox, const std::string& name)
{
    std::string ansiName = name;   // OpenPrinterA takes a non-const pointer
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

    // The record passed on carries its own copies of the two names. The printer keeps the
    // attributes it has (shared, offline, ...): writing the default attribute alone would
    // take them away from it.
    std::string printerName = CopyStringAt(api, read.pPrinterName);
    std::string portName = CopyStringAt(api, read.pPortName);
    PrinterInfo5A info;
    info.pPrinterName = printerName.data();
    info.pPortName = portName.data();
    info.Attributes = read.Attributes | PrinterAttributeDefault;
    info.DeviceNotSelectedTimeout = read.DeviceNotSelectedTimeout;
    info.TransmissionRetryTimeout = read.TransmissionRetryTimeout;

    if (api.SetPrinterA(handle, 5, reinterpret_cast<unsigned char*>(&info), 0) == 0) {
        const std::uint32_t error = api.GetLastError();
        if (messageBox)
            messageBox("SetPrinterFailed. Error code: " + std::to_string(error), MessageTitle);
    }
    api.ClosePrinter(handle);
}

} // namespace vrx

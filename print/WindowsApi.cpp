// The Windows functions behind WindowsApi, for the program built on Windows.

#ifdef _WIN32

#include "print/DefaultPrinter.h"

#include <windows.h>
#include <winspool.h>

#include <cstddef>
#include <vector>

namespace vrx {

namespace {

class SystemWindowsApi : public WindowsApi {
public:
    int GetVersionExA(OsVersionInfoA* info) override
    {
        return ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(info));
    }
    std::uint32_t GetProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                                    std::uint32_t size) override
    {
        return ::GetProfileStringA(section, key, defaultValue, buffer, size);
    }
    int WriteProfileStringA(const char* section, const char* key, const char* value) override
    {
        return ::WriteProfileStringA(section, key, value);
    }
    std::intptr_t SendMessageA(std::intptr_t window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) override
    {
        return ::SendMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam);
    }
    int OpenPrinterA(const char* printerName, PrinterHandle* handle, PrinterDefaultsA* defaults) override
    {
        PRINTER_DEFAULTSA native{defaults->pDatatype, static_cast<DEVMODEA*>(defaults->pDevMode),
                                 defaults->DesiredAccess};
        return ::OpenPrinterA(const_cast<char*>(printerName), reinterpret_cast<HANDLE*>(handle), &native);
    }
    int GetPrinterA(PrinterHandle handle, std::uint32_t level, unsigned char* buffer, std::uint32_t size,
                    std::uint32_t* needed) override
    {
        DWORD n = 0;
        const BOOL ok = ::GetPrinterA(static_cast<HANDLE>(handle), level, buffer, size, &n);
        *needed = n;
        return ok;
    }
    int SetPrinterA(PrinterHandle handle, std::uint32_t level, unsigned char* info, std::uint32_t command) override
    {
        return ::SetPrinterA(static_cast<HANDLE>(handle), level, info, command);
    }
    int ClosePrinter(PrinterHandle handle) override { return ::ClosePrinter(static_cast<HANDLE>(handle)); }
    std::uint32_t GetLastError() override { return ::GetLastError(); }
    char* lstrcpyA(char* target, const char* source) override { return ::lstrcpyA(target, source); }
};

// The records handed to the system must be the system's own, field for field.
static_assert(sizeof(OsVersionInfoA) == sizeof(OSVERSIONINFOA));
static_assert(offsetof(OsVersionInfoA, dwPlatformId) == offsetof(OSVERSIONINFOA, dwPlatformId));
static_assert(sizeof(PrinterDefaultsA) == sizeof(PRINTER_DEFAULTSA));
static_assert(offsetof(PrinterDefaultsA, DesiredAccess) == offsetof(PRINTER_DEFAULTSA, DesiredAccess));
static_assert(sizeof(PrinterInfo5A) == sizeof(PRINTER_INFO_5A));
static_assert(offsetof(PrinterInfo5A, pPortName) == offsetof(PRINTER_INFO_5A, pPortName));
static_assert(offsetof(PrinterInfo5A, Attributes) == offsetof(PRINTER_INFO_5A, Attributes));
static_assert(offsetof(PrinterInfo5A, DeviceNotSelectedTimeout)
              == offsetof(PRINTER_INFO_5A, DeviceNotSelectedTimeout));
static_assert(offsetof(PrinterInfo5A, TransmissionRetryTimeout)
              == offsetof(PRINTER_INFO_5A, TransmissionRetryTimeout));
static_assert(PrinterAttributeDefault == PRINTER_ATTRIBUTE_DEFAULT);
static_assert(PrinterAllAccess == PRINTER_ALL_ACCESS);
static_assert(PlatformWindows95Family == VER_PLATFORM_WIN32_WINDOWS);
static_assert(WmWinIniChange == WM_WININICHANGE);

} // namespace

WindowsApi& systemWindowsApi()
{
    static SystemWindowsApi api;
    return api;
}

std::string windowsDefaultPrinterName()
{
    DWORD size = 0;
    ::GetDefaultPrinterA(nullptr, &size);   // asks for the size, terminating NUL included
    if (size == 0)
        return {};
    std::vector<char> name(size);
    if (!::GetDefaultPrinterA(name.data(), &size))
        return {};
    return std::string(name.data());
}

} // namespace vrx

#endif

#pragma once
// Making a printer, given by its name, the system's default printer.
//
// On Windows there are two methods, picked by the platform family: on the Windows 95
// family the printer gets the spooler's default attribute (MarkPrinterDefault); everywhere
// else the "Device" entry of the profile section "windows" is rewritten from the printer's
// "PrinterPorts" entry and the change is announced (SetDefaultFromProfile). The Windows
// functions sit behind WindowsApi, so the decisions run and are tested on any system.
// On Linux the printer becomes the user's default CUPS destination, as `lpoptions -d` does.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace vrx {

class Platform;

// Windows records, ANSI forms, in the layout the Windows functions expect. The constants
// carry their own names so that this header and <windows.h> can meet in one file.
struct OsVersionInfoA {
    std::uint32_t dwOSVersionInfoSize = 0;
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint32_t dwPlatformId = 0;
    char szCSDVersion[128] = {};
};
static_assert(sizeof(OsVersionInfoA) == 148);

using PrinterHandle = void*;

struct PrinterDefaultsA {
    char* pDatatype = nullptr;
    void* pDevMode = nullptr;
    std::uint32_t DesiredAccess = 0;
};

struct PrinterInfo5A {
    char* pPrinterName = nullptr;
    char* pPortName = nullptr;
    std::uint32_t Attributes = 0;
    std::uint32_t DeviceNotSelectedTimeout = 0;
    std::uint32_t TransmissionRetryTimeout = 0;
};

inline constexpr std::uint32_t PlatformWindows95Family = 1;
inline constexpr std::uint32_t PrinterAllAccess = 0x000F000C;
inline constexpr std::uint32_t PrinterAttributeDefault = 4;
inline constexpr std::intptr_t BroadcastToAllWindows = 0xFFFF;
inline constexpr std::uint32_t WmWinIniChange = 0x001A;
inline constexpr std::uint32_t ProfileBufferSize = 1024;
inline constexpr std::size_t CopyBufferSize = 512;

// The Windows functions the module calls, with their Windows names and meanings.
class WindowsApi {
public:
    virtual ~WindowsApi() = default;
    virtual int GetVersionExA(OsVersionInfoA* info) = 0;
    virtual std::uint32_t GetProfileStringA(const char* section, const char* key, const char* defaultValue,
                                            char* buffer, std::uint32_t size) = 0;
    virtual int WriteProfileStringA(const char* section, const char* key, const char* value) = 0;
    virtual std::intptr_t SendMessageA(std::intptr_t window, std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) = 0;
    virtual int OpenPrinterA(const char* printerName, PrinterHandle* handle, PrinterDefaultsA* defaults) = 0;
    virtual int GetPrinterA(PrinterHandle handle, std::uint32_t level, unsigned char* buffer, std::uint32_t size,
                            std::uint32_t* needed) = 0;
    virtual int SetPrinterA(PrinterHandle handle, std::uint32_t level, unsigned char* info,
                            std::uint32_t command) = 0;
    virtual int ClosePrinter(PrinterHandle handle) = 0;
    virtual std::uint32_t GetLastError() = 0;
    virtual char* lstrcpyA(char* target, const char* source) = 0;
};

#ifdef _WIN32
// The functions of the running Windows system, and its default printer.
WindowsApi& systemWindowsApi();
QString windowsDefaultPrinterName();
#endif

// Makes the named printer the default printer; picks the method by the platform id.
// The name is not changed. The one failure that is reported is a refused SetPrinterA.
void SelectDefaultPrinter(WindowsApi& api, Platform& platform, const QString& name);

// The Windows platform id: 1 for the Windows 95 family, 2 for NT; 0 when it cannot be read.
std::int16_t QueryPlatformId(WindowsApi& api);

// Spooler method: sets the printer's default attribute through its level-5 information.
void MarkPrinterDefault(WindowsApi& api, Platform& platform, const QString& name);

// The NUL-terminated ANSI text at an address, through a 512-character buffer: a longer
// text is cut to 511 characters rather than copied past the buffer.
QByteArray CopyStringAt(WindowsApi& api, const char* address);

// Profile method: "windows"/"Device" from the printer's "PrinterPorts" entry.
void SetDefaultFromProfile(WindowsApi& api, const QString& name);

// Splits a "PrinterPorts" value "driver,port,..." into driver and port; both stay empty
// without a comma, the port stays empty without a second comma.
void SplitDriverPort(QByteArray entry, QByteArray& driver, QByteArray& port);

// Writes "windows"/"Device" = name,driver,port and tells every top-level window.
void WriteDeviceEntry(WindowsApi& api, QByteArray name, QByteArray driver, QByteArray port);

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

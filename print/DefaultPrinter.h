#pragma once
// Making a printer, given by its name, the Windows default printer.
//
// There are two methods, picked by the platform family: on the Windows 95 family the
// printer gets the spooler's default attribute (MarkPrinterDefault); everywhere else the
// "Device" entry of the profile section "windows" is rewritten from the printer's
// "PrinterPorts" entry and the change is announced (SetDefaultFromProfile). The Windows
// functions sit behind WindowsApi, so the decisions run and are tested on any system.
//
// This part needs neither Qt nor anything else beyond the standard library and, on Windows,
// the Windows API: texts are std::string holding bytes in the ANSI code page, and the one
// message it can show goes through a MessageBoxFn that the caller supplies.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vrx {

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

// Pointers are native width: 4 bytes in a 32-bit program, 8 in a 64-bit one.
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
static_assert(offsetof(PrinterInfo5A, pPortName) == sizeof(void*));
static_assert(offsetof(PrinterInfo5A, Attributes) == 2 * sizeof(void*));
static_assert(offsetof(PrinterInfo5A, TransmissionRetryTimeout) == 2 * sizeof(void*) + 8);
static_assert(sizeof(PrinterInfo5A) == (sizeof(void*) == 8 ? 32 : 20));
static_assert(offsetof(PrinterDefaultsA, DesiredAccess) == 2 * sizeof(void*));

inline constexpr std::uint32_t PlatformWindows95Family = 1;
inline constexpr std::uint32_t PrinterAllAccess = 0x000F000C;
inline constexpr std::uint32_t PrinterAttributeDefault = 4;
inline constexpr std::intptr_t BroadcastToAllWindows = 0xFFFF;
inline constexpr std::uint32_t WmWinIniChange = 0x001A;
inline constexpr std::uint32_t ProfileBufferSize = 1024;
inline constexpr std::size_t CopyBufferSize = 512;

// The program title, the caption of the message below (the same text as the Qt side's).
inline constexpr char MessageTitle[] = "View & Print VRX Log Files";

// Shows a message with only an OK button and no icon: text and caption, ANSI bytes.
using MessageBoxFn = std::function<void(const std::string& text, const std::string& title)>;

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
// The functions of the running Windows system, and its default printer (empty when none).
WindowsApi& systemWindowsApi();
std::string windowsDefaultPrinterName();
#endif

// Makes the named printer the default printer; picks the method by the platform id.
// The name is not changed. The one failure that is reported is a refused SetPrinterA.
void SelectDefaultPrinter(WindowsApi& api, const MessageBoxFn& messageBox, const std::string& name);

// The Windows platform id: 1 for the Windows 95 family, 2 for NT; 0 when it cannot be read.
std::int16_t QueryPlatformId(WindowsApi& api);

// Spooler method: adds the default attribute to the printer's level-5 information.
void MarkPrinterDefault(WindowsApi& api, const MessageBoxFn& messageBox, const std::string& name);

// The NUL-terminated ANSI text at an address, through a 512-character buffer: a longer
// text is cut to 511 characters rather than copied past the buffer.
std::string CopyStringAt(WindowsApi& api, const char* address);

// Profile method: "windows"/"Device" from the printer's "PrinterPorts" entry.
void SetDefaultFromProfile(WindowsApi& api, const std::string& name);

// Splits a "PrinterPorts" value "driver,port,..." into driver and port; both stay empty
// without a comma, the port stays empty without a second comma.
void SplitDriverPort(std::string entry, std::string& driver, std::string& port);

// Writes "windows"/"Device" = name,driver,port and tells every top-level window.
void WriteDeviceEntry(WindowsApi& api, std::string name, std::string driver, std::string port);

} // namespace vrx

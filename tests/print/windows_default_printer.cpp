// The default-printer code on a running Windows system (in the tests: Wine, whose printers
// are the CUPS queues VRX-PDF-A and VRX-PDF-B of scripts/start-cups). Whatever it changes
// it puts back. Exit code 77 when the queues are missing (a failure when CI=true).

#include "print/DefaultPrinter.h"

#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace vrx;

namespace {

int failures = 0;

void check(bool ok, const std::string& what)
{
    if (!ok) {
        ++failures;
        std::printf("FAIL %s\n", what.c_str());
    }
}

std::string profileValue(const char* section, const char* key)
{
    char buffer[1024] = {};
    ::GetProfileStringA(section, key, "", buffer, sizeof buffer);
    return buffer;
}

// The attributes of the printer's level-5 information; -1 when they cannot be read.
long long attributesOf(const std::string& name)
{
    HANDLE handle = nullptr;
    if (!::OpenPrinterA(const_cast<char*>(name.c_str()), &handle, nullptr))
        return -1;
    std::vector<unsigned char> buffer(4096);
    DWORD needed = 0;
    long long attributes = -1;
    if (::GetPrinterA(handle, 5, buffer.data(), DWORD(buffer.size()), &needed))
        attributes = reinterpret_cast<PRINTER_INFO_5A*>(buffer.data())->Attributes;
    ::ClosePrinter(handle);
    return attributes;
}

struct Shown {
    std::vector<std::pair<std::string, std::string>> messages;
    MessageBoxFn sink()
    {
        return [this](const std::string& text, const std::string& title) { messages.emplace_back(text, title); };
    }
};

// The system's own functions, except that the platform reads as the Windows 95 family;
// records what the spooler answered.
class Windows95 : public WindowsApi {
public:
    WindowsApi& system = systemWindowsApi();
    int opened = 0;
    int closed = 0;
    int setPrinterResult = -1;   // -1: not called
    std::uint32_t lastErrorRead = 0;

    int GetVersionExA(OsVersionInfoA* info) override
    {
        const int ok = system.GetVersionExA(info);
        info->dwPlatformId = PlatformWindows95Family;
        return ok;
    }
    std::uint32_t GetProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                                    std::uint32_t size) override
    {
        return system.GetProfileStringA(section, key, defaultValue, buffer, size);
    }
    int WriteProfileStringA(const char* section, const char* key, const char* value) override
    {
        return system.WriteProfileStringA(section, key, value);
    }
    std::intptr_t SendMessageA(std::intptr_t window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) override
    {
        return system.SendMessageA(window, message, wParam, lParam);
    }
    int OpenPrinterA(const char* printerName, PrinterHandle* handle, PrinterDefaultsA* defaults) override
    {
        const int ok = system.OpenPrinterA(printerName, handle, defaults);
        opened += ok != 0;
        return ok;
    }
    int GetPrinterA(PrinterHandle handle, std::uint32_t level, unsigned char* buffer, std::uint32_t size,
                    std::uint32_t* needed) override
    {
        return system.GetPrinterA(handle, level, buffer, size, needed);
    }
    int SetPrinterA(PrinterHandle handle, std::uint32_t level, unsigned char* info, std::uint32_t command) override
    {
        setPrinterResult = system.SetPrinterA(handle, level, info, command);
        return setPrinterResult;
    }
    int ClosePrinter(PrinterHandle handle) override
    {
        ++closed;
        return system.ClosePrinter(handle);
    }
    std::uint32_t GetLastError() override { return lastErrorRead = system.GetLastError(); }
    char* lstrcpyA(char* target, const char* source) override { return system.lstrcpyA(target, source); }
};

std::string deviceOf(const std::string& queue) { return queue + ",wineps.drv,CUPS:" + queue; }

// The profile method, which Wine (platform id 2) takes.
void profileMethod(const std::string& before, const std::string& other)
{
    check(QueryPlatformId(systemWindowsApi()) == 2, "the system reads as the NT family");
    const std::string beforeDevice = profileValue("windows", "device");
    struct Row {
        const char* what;
        std::string name;
        std::string defaultAfter;
        std::string deviceAfter;
    };
    const Row rows[] = {
        {"to the other queue", other, other, deviceOf(other)},
        {"a printer PrinterPorts lacks", "VRX-No-Such-Printer", other, deviceOf(other)},
        {"back to the old default", before, before, beforeDevice},
    };
    for (const Row& row : rows) {
        Shown shown;
        SelectDefaultPrinter(systemWindowsApi(), shown.sink(), row.name);
        const std::string what = std::string("profile method, ") + row.what + ": ";
        check(windowsDefaultPrinterName() == row.defaultAfter,
              what + "default printer is " + windowsDefaultPrinterName() + ", not " + row.defaultAfter);
        check(profileValue("windows", "device") == row.deviceAfter,
              what + "device entry is " + profileValue("windows", "device"));
        check(shown.messages.empty(), what + "a message was shown");
    }
}

// The spooler method, reached by making the platform read as the Windows 95 family.
void spoolerMethod(const std::string& before, const std::string& other)
{
    const long long attributesBefore = attributesOf(other);
    Windows95 api;
    Shown shown;
    SelectDefaultPrinter(api, shown.sink(), other);

    check(api.opened == 1 && api.closed == 1, "spooler method: the printer is opened once and closed");
    check(api.setPrinterResult != -1, "spooler method: SetPrinterA is called");
    if (api.setPrinterResult != 0) {
        std::printf("SetPrinterA level 5 with the default attribute succeeded: default printer %s, "
                    "attributes %#llx before, %#llx after\n",
                    windowsDefaultPrinterName().c_str(), attributesBefore, attributesOf(other));
        check(shown.messages.empty(), "spooler method: no message after a successful SetPrinterA");
    } else {
        const std::string expected = "SetPrinterFailed. Error code: " + std::to_string(api.lastErrorRead);
        std::printf("SetPrinterA level 5 with the default attribute failed, last error %u; reported as \"%s\"\n",
                    unsigned(api.lastErrorRead), shown.messages.empty() ? "" : shown.messages[0].first.c_str());
        check(shown.messages.size() == 1 && shown.messages[0].first == expected
                  && shown.messages[0].second == MessageTitle,
              "spooler method: the refused SetPrinterA is reported once, as " + expected);
        check(windowsDefaultPrinterName() == before, "spooler method: a refused SetPrinterA changes nothing");
    }

    // A printer the spooler does not know: nothing happens, nothing is shown.
    Windows95 unknown;
    Shown quiet;
    SelectDefaultPrinter(unknown, quiet.sink(), "VRX-No-Such-Printer");
    check(unknown.opened == 0 && unknown.setPrinterResult == -1 && quiet.messages.empty(),
          "spooler method, unknown printer: nothing is done and nothing shown");

    // Put the old default back whatever the spooler did.
    Shown restore;
    SelectDefaultPrinter(systemWindowsApi(), restore.sink(), before);
    check(windowsDefaultPrinterName() == before, "the old default printer is back");
}

} // namespace

int main()
{
    const bool ci = [] {
        const char* value = std::getenv("CI");
        return value != nullptr && std::string(value) == "true";
    }();
    if (profileValue("PrinterPorts", "VRX-PDF-A").empty() || profileValue("PrinterPorts", "VRX-PDF-B").empty()) {
        std::printf("%s: the printers VRX-PDF-A and VRX-PDF-B are missing (scripts/start-cups makes them)\n",
                    ci ? "FAIL" : "SKIP");
        return ci ? 1 : 77;
    }
    check(profileValue("PrinterPorts", "VRX-PDF-B") == "wineps.drv,CUPS:VRX-PDF-B,15,45",
          "PrinterPorts entry of VRX-PDF-B: " + profileValue("PrinterPorts", "VRX-PDF-B"));

    const std::string before = windowsDefaultPrinterName();
    check(!before.empty(), "there is a default printer");
    const std::string other = before == "VRX-PDF-B" ? "VRX-PDF-A" : "VRX-PDF-B";

    profileMethod(before, other);
    spoolerMethod(before, other);

    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}

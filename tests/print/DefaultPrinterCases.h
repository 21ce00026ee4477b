#pragma once
// The decision tables of the Windows default-printer code against a recording stand-in for
// the Windows functions. Plain C++: the Qt test of the printing library runs every row on
// Linux, and the Windows console program runs the same rows, so a difference between the
// two builds shows as a failing row. Each run returns what went wrong, empty when nothing.

#include "print/DefaultPrinter.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vrx::test {

struct SpoolerPrinter {
    std::string name;
    std::string port;
    std::uint32_t attributes = 0;
    std::uint32_t notSelectedTimeout = 0;
    std::uint32_t retryTimeout = 0;
};

class FakeWindowsApi : public WindowsApi {
public:
    // What the system holds.
    std::uint32_t platformId = 2;
    bool versionFails = false;
    std::map<std::string, std::string> printerPorts;
    std::map<std::string, SpoolerPrinter> spooler;
    bool secondGetPrinterFails = false;
    bool setPrinterFails = false;
    std::uint32_t lastError = 0;

    // What the module did.
    std::vector<std::string> calls;
    std::map<std::string, std::string> profileWrites;   // "section/key" -> value
    std::intptr_t broadcastWindow = 0;
    std::uint32_t broadcastMessage = 0;
    std::uintptr_t broadcastWParam = 1;
    std::string broadcastText;
    std::uint32_t requestedAccess = 0;
    bool defaultsNull = false;
    std::uint32_t profileBufferSize = 0;
    std::string profileDefault = "unset";
    std::optional<SpoolerPrinter> setRecord;
    int openHandles = 0;

    int GetVersionExA(OsVersionInfoA* info) override
    {
        calls.push_back("GetVersionExA");
        if (info->dwOSVersionInfoSize != 148 || versionFails)
            return 0;
        info->dwPlatformId = platformId;
        info->dwMajorVersion = 4;
        return 1;
    }
    std::uint32_t GetProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                                    std::uint32_t size) override
    {
        calls.push_back(std::string("GetProfileStringA ") + section + '/' + key);
        profileBufferSize = size;
        profileDefault = defaultValue;
        const auto listed = printerPorts.find(key);
        const std::string value = std::string_view(section) == "PrinterPorts" && listed != printerPorts.end()
            ? listed->second : std::string(defaultValue);
        const auto n = std::min<std::size_t>(value.size(), size - 1);
        std::memcpy(buffer, value.data(), n);
        buffer[n] = '\0';
        return static_cast<std::uint32_t>(n);
    }
    int WriteProfileStringA(const char* section, const char* key, const char* value) override
    {
        calls.push_back("WriteProfileStringA");
        profileWrites[std::string(section) + '/' + key] = value;
        return 1;
    }
    std::intptr_t SendMessageA(std::intptr_t window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) override
    {
        calls.push_back("SendMessageA");
        broadcastWindow = window;
        broadcastMessage = message;
        broadcastWParam = wParam;
        broadcastText = reinterpret_cast<const char*>(lParam);
        return 0;
    }
    int OpenPrinterA(const char* printerName, PrinterHandle* handle, PrinterDefaultsA* defaults) override
    {
        calls.push_back(std::string("OpenPrinterA ") + printerName);
        requestedAccess = defaults->DesiredAccess;
        defaultsNull = defaults->pDatatype == nullptr && defaults->pDevMode == nullptr;
        auto it = spooler.find(printerName);
        if (it == spooler.end())
            return 0;
        *handle = &it->second;
        ++openHandles;
        return 1;
    }
    int GetPrinterA(PrinterHandle handle, std::uint32_t level, unsigned char* buffer, std::uint32_t size,
                    std::uint32_t* needed) override
    {
        calls.push_back(size == 0 ? "GetPrinterA 0" : "GetPrinterA *");
        const auto* printer = static_cast<SpoolerPrinter*>(handle);
        if (level != 5)
            return 0;
        const auto required =
            std::uint32_t(sizeof(PrinterInfo5A) + printer->name.size() + 1 + printer->port.size() + 1);
        *needed = required;
        if (buffer == nullptr || size < required || secondGetPrinterFails)
            return 0;
        // The record first, its strings behind it in the same buffer.
        char* names = reinterpret_cast<char*>(buffer) + sizeof(PrinterInfo5A);
        std::memcpy(names, printer->name.c_str(), printer->name.size() + 1);
        char* port = names + printer->name.size() + 1;
        std::memcpy(port, printer->port.c_str(), printer->port.size() + 1);
        PrinterInfo5A info{names, port, printer->attributes, printer->notSelectedTimeout, printer->retryTimeout};
        std::memcpy(buffer, &info, sizeof info);
        return 1;
    }
    int SetPrinterA(PrinterHandle, std::uint32_t level, unsigned char* info, std::uint32_t command) override
    {
        calls.push_back("SetPrinterA " + std::to_string(level) + ' ' + std::to_string(command));
        PrinterInfo5A record;
        std::memcpy(&record, info, sizeof record);
        setRecord = SpoolerPrinter{record.pPrinterName, record.pPortName, record.Attributes,
                                   record.DeviceNotSelectedTimeout, record.TransmissionRetryTimeout};
        if (setPrinterFails) {
            lastError = 5;
            return 0;
        }
        return 1;
    }
    int ClosePrinter(PrinterHandle) override
    {
        calls.push_back("ClosePrinter");
        --openHandles;
        return 1;
    }
    std::uint32_t GetLastError() override
    {
        calls.push_back("GetLastError");
        return lastError;
    }
    char* lstrcpyA(char* target, const char* source) override { return std::strcpy(target, source); }

    int callsOf(std::string_view prefix) const
    {
        return int(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.starts_with(prefix); }));
    }
};

// The messages a run showed: text and title.
struct Shown {
    std::vector<std::pair<std::string, std::string>> messages;
    MessageBoxFn sink()
    {
        return [this](const std::string& text, const std::string& title) { messages.emplace_back(text, title); };
    }
};

// Collects what differs from what was expected.
class Mismatches {
public:
    template <typename A, typename B>
    void same(const char* what, const A& got, const B& expected)
    {
        if (!(got == expected))
            m_text += std::string(m_text.empty() ? "" : "; ") + what + " differs";
    }
    void check(const char* what, bool ok) { same(what, ok, true); }
    std::string text() const { return m_text; }

private:
    std::string m_text;
};

inline std::string joined(const std::vector<std::string>& parts)
{
    std::string all;
    for (const auto& p : parts)
        all += (all.empty() ? "" : " | ") + p;
    return all;
}

// ---- The method by the platform id.

struct MethodCase {
    const char* name;
    std::uint32_t platformId;
    bool versionFails;
    bool spooler;   // the spooler method runs, else the profile method
};

inline const std::vector<MethodCase> methodCases = {
    {"Windows 95 family", 1, false, true},
    {"NT family", 2, false, false},
    {"Win32s", 0, false, false},
    {"version unreadable", 1, true, false},
};

inline std::string run(const MethodCase& c)
{
    FakeWindowsApi api;
    api.platformId = c.platformId;
    api.versionFails = c.versionFails;
    api.printerPorts["Office"] = "winspool,Ne01:,15,45";
    api.spooler["Office"] = SpoolerPrinter{"Office", "Ne01:", 0, 15000, 45000};
    Shown shown;
    const std::string name = "Office";
    SelectDefaultPrinter(api, shown.sink(), name);

    Mismatches m;
    m.same("name", name, std::string("Office"));
    m.same("OpenPrinterA calls", api.callsOf("OpenPrinterA"), c.spooler ? 1 : 0);
    m.same("GetProfileStringA calls", api.callsOf("GetProfileStringA"), c.spooler ? 0 : 1);
    m.same("Device written", api.profileWrites.count("windows/Device") == 1, !c.spooler);
    m.same("SetPrinterA record", api.setRecord.has_value(), c.spooler);
    m.check("no message", shown.messages.empty());
    return m.text();
}

// ---- The profile method.

struct ProfileCase {
    const char* name;
    const char* printer;
    const char* entry;    // nullptr for a printer that is not listed
    const char* device;   // nullptr when nothing may be written
};

inline const std::vector<ProfileCase> profileCases = {
    {"driver, port and timeouts", "HP LaserJet 4", "winspool,LPT1:,15,45", "HP LaserJet 4,winspool,LPT1:"},
    {"two ports", "HP LaserJet 4", "winspool,LPT1:,15,45,LPT2:,15,45", "HP LaserJet 4,winspool,LPT1:"},
    {"one comma", "HP LaserJet 4", "winspool,LPT1:", nullptr},
    {"not listed", "HP LaserJet 4", nullptr, nullptr},
    {"empty value", "HP LaserJet 4", "", nullptr},
    {"empty driver", "HP LaserJet 4", ",LPT1:,15,45", nullptr},
    {"empty port", "HP LaserJet 4", "winspool,,15,45", nullptr},
    {"ANSI name kept", "Drucker \xE4\xF6\xFC", "winspool,LPT1:,15,45", "Drucker \xE4\xF6\xFC,winspool,LPT1:"},
};

inline std::string run(const ProfileCase& c)
{
    const std::string printer = c.printer;
    FakeWindowsApi api;
    if (c.entry)
        api.printerPorts[printer] = c.entry;
    SetDefaultFromProfile(api, printer);

    const std::string device = c.device ? c.device : "";
    Mismatches m;
    m.same("first call", api.calls.empty() ? std::string() : api.calls.front(),
           "GetProfileStringA PrinterPorts/" + printer);
    m.same("buffer size", api.profileBufferSize, 1024u);
    m.same("default value", api.profileDefault, std::string());
    if (device.empty()) {
        m.check("nothing written", api.profileWrites.empty());
        m.same("announcements", api.callsOf("SendMessageA"), 0);
        return m.text();
    }
    m.same("writes", api.profileWrites.size(), std::size_t(1));
    m.same("Device entry", api.profileWrites["windows/Device"], device);
    m.same("announced last", api.calls.back(), std::string("SendMessageA"));
    m.same("to all windows", api.broadcastWindow, std::intptr_t(0xFFFF));
    m.same("WM_WININICHANGE", api.broadcastMessage, 0x001Au);
    m.same("wParam", api.broadcastWParam, std::uintptr_t(0));
    m.same("section announced", api.broadcastText, std::string("windows"));
    return m.text();
}

// ---- Splitting a "PrinterPorts" value.

struct SplitCase {
    const char* name;
    std::string_view entry;
    const char* driver;
    const char* port;
};

inline const std::vector<SplitCase> splitCases = {
    {"full", "winspool,LPT1:,15,45", "winspool", "LPT1:"},
    {"one comma", "winspool,LPT1:", "winspool", ""},
    {"none", "winspool", "", ""},
    {"empty", "", "", ""},
    {"buffer with NUL and blanks", std::string_view("winspool,FILE:,15,45\0    ", 25), "winspool", "FILE:"},
    {"one comma then NUL and blanks", std::string_view("winspool,LPT1:\0     ", 20), "winspool", ""},
};

inline std::string run(const SplitCase& c)
{
    std::string driver = "old";
    std::string port = "old";
    SplitDriverPort(std::string(c.entry), driver, port);
    Mismatches m;
    m.same("driver", driver, std::string(c.driver));
    m.same("port", port, std::string(c.port));
    return m.text();
}

// ---- The spooler method.

struct SpoolerCase {
    const char* name;
    bool listed;
    bool secondGetFails;
    bool setFails;
    std::vector<std::string> calls;
    const char* message;   // nullptr when nothing may be shown
};

inline const std::vector<SpoolerCase> spoolerCases = {
    {"success", true, false, false,
     {"OpenPrinterA Laser", "GetPrinterA 0", "GetPrinterA *", "SetPrinterA 5 0", "ClosePrinter"}, nullptr},
    {"SetPrinter refused", true, false, true,
     {"OpenPrinterA Laser", "GetPrinterA 0", "GetPrinterA *", "SetPrinterA 5 0", "GetLastError", "ClosePrinter"},
     "SetPrinterFailed. Error code: 5"},
    {"information unreadable", true, true, false,
     {"OpenPrinterA Laser", "GetPrinterA 0", "GetPrinterA *", "ClosePrinter"}, nullptr},
    {"cannot open", false, false, false, {"OpenPrinterA Laser"}, nullptr},
};

inline std::string run(const SpoolerCase& c)
{
    FakeWindowsApi api;
    api.platformId = 1;
    if (c.listed)
        api.spooler["Laser"] = SpoolerPrinter{"Laser", "LPT1:", 0x240, 15000, 45000};
    api.secondGetPrinterFails = c.secondGetFails;
    api.setPrinterFails = c.setFails;
    Shown shown;
    MarkPrinterDefault(api, shown.sink(), "Laser");

    Mismatches m;
    if (api.calls != c.calls)
        return "calls differ: " + joined(api.calls);
    m.same("handles left open", api.openHandles, 0);
    m.same("access", api.requestedAccess, 0x000F000Cu);
    m.check("no data type, no device mode", api.defaultsNull);
    if (c.message) {
        m.same("messages", shown.messages.size(), std::size_t(1));
        if (!shown.messages.empty()) {
            m.same("message text", shown.messages[0].first, std::string(c.message));
            m.same("message title", shown.messages[0].second, std::string(MessageTitle));
        }
    } else {
        m.check("no message", shown.messages.empty());
    }
    if (api.setRecord) {
        m.same("record name", api.setRecord->name, std::string("Laser"));
        m.same("record port", api.setRecord->port, std::string("LPT1:"));
        // The default attribute is added; local (0x40) and do-complete-first (0x200) stay.
        m.same("record attributes", api.setRecord->attributes, 0x244u);
        m.same("record time-out", api.setRecord->notSelectedTimeout, 15000u);
        m.same("record retry time-out", api.setRecord->retryTimeout, 45000u);
    }
    return m.text();
}

// Names longer than the copy buffer are cut, not copied past it.
inline std::string runSpoolerLongNames()
{
    FakeWindowsApi api;
    const std::string longName(700, 'N');
    const std::string longPort(600, 'P');
    api.spooler[longName] = SpoolerPrinter{longName, longPort, 0, 1, 2};
    Shown shown;
    MarkPrinterDefault(api, shown.sink(), longName);
    Mismatches m;
    m.check("SetPrinterA called", api.setRecord.has_value());
    if (api.setRecord) {
        m.same("name cut", api.setRecord->name, longName.substr(0, 511));
        m.same("port cut", api.setRecord->port, longPort.substr(0, 511));
    }
    m.same("handles left open", api.openHandles, 0);
    return m.text();
}

// ---- Copying a text from an address.

struct CopyCase {
    const char* name;
    std::string source;
    std::string expected;
};

inline const std::vector<CopyCase> copyCases = {
    {"short", "LPT1:", "LPT1:"},
    {"empty", "", ""},
    {"511 fit", std::string(511, 'a'), std::string(511, 'a')},
    {"512 cut", std::string(512, 'b'), std::string(511, 'b')},
    {"4000 cut", std::string(4000, 'c'), std::string(511, 'c')},
    {"ANSI bytes kept", "Drucker \xE4\xF6\xFC", "Drucker \xE4\xF6\xFC"},
};

inline std::string run(const CopyCase& c)
{
    FakeWindowsApi api;
    Mismatches m;
    m.same("copy", CopyStringAt(api, c.source.c_str()), c.expected);
    m.same("null address", CopyStringAt(api, nullptr), std::string());
    return m.text();
}

} // namespace vrx::test

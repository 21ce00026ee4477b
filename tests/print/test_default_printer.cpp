// Default printer switching on Windows, against a stand-in for the Windows functions.

#include "DefaultPrinter.h"
#include "Identity.h"
#include "ScriptedPlatform.h"
#include "TestPrint.h"

#include <QtTest>

#include <cstring>

using namespace vrx;

namespace {

struct SpoolerPrinter {
    QByteArray name;
    QByteArray port;
    std::uint32_t attributes = 0;
    std::uint32_t notSelectedTimeout = 0;
    std::uint32_t retryTimeout = 0;
};

class FakeWindowsApi : public WindowsApi {
public:
    // What the system holds.
    std::uint32_t platformId = 2;
    bool versionFails = false;
    QMap<QByteArray, QByteArray> printerPorts;
    QMap<QByteArray, SpoolerPrinter> spooler;
    bool secondGetPrinterFails = false;
    bool setPrinterFails = false;
    std::uint32_t lastError = 0;

    // What the module did.
    QStringList calls;
    QMap<QByteArray, QByteArray> profileWrites;   // "section/key" -> value
    std::intptr_t broadcastWindow = 0;
    std::uint32_t broadcastMessage = 0;
    std::uintptr_t broadcastWParam = 1;
    QByteArray broadcastText;
    std::uint32_t requestedAccess = 0;
    bool defaultsNull = false;
    std::uint32_t profileBufferSize = 0;
    QByteArray profileDefault = "unset";
    std::optional<SpoolerPrinter> setRecord;
    int openHandles = 0;

    int GetVersionExA(OsVersionInfoA* info) override
    {
        calls << QStringLiteral("GetVersionExA");
        if (info->dwOSVersionInfoSize != 148 || versionFails)
            return 0;
        info->dwPlatformId = platformId;
        info->dwMajorVersion = 4;
        return 1;
    }
    std::uint32_t GetProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                                    std::uint32_t size) override
    {
        calls << QStringLiteral("GetProfileStringA %1/%2").arg(section, key);
        profileBufferSize = size;
        profileDefault = defaultValue;
        const QByteArray value = QByteArray(section) == "PrinterPorts" && printerPorts.contains(key)
            ? printerPorts.value(key) : QByteArray(defaultValue);
        const auto n = std::min<std::size_t>(value.size(), size - 1);
        std::memcpy(buffer, value.constData(), n);
        buffer[n] = '\0';
        return static_cast<std::uint32_t>(n);
    }
    int WriteProfileStringA(const char* section, const char* key, const char* value) override
    {
        calls << QStringLiteral("WriteProfileStringA");
        profileWrites[QByteArray(section) + '/' + key] = value;
        return 1;
    }
    std::intptr_t SendMessageA(std::intptr_t window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) override
    {
        calls << QStringLiteral("SendMessageA");
        broadcastWindow = window;
        broadcastMessage = message;
        broadcastWParam = wParam;
        broadcastText = reinterpret_cast<const char*>(lParam);
        return 0;
    }
    int OpenPrinterA(const char* printerName, PrinterHandle* handle, PrinterDefaultsA* defaults) override
    {
        calls << QStringLiteral("OpenPrinterA %1").arg(printerName);
        requestedAccess = defaults->DesiredAccess;
        defaultsNull = defaults->pDatatype == nullptr && defaults->pDevMode == nullptr;
        auto it = spooler.find(printerName);
        if (it == spooler.end())
            return 0;
        *handle = &it.value();
        ++openHandles;
        return 1;
    }
    int GetPrinterA(PrinterHandle handle, std::uint32_t level, unsigned char* buffer, std::uint32_t size,
                    std::uint32_t* needed) override
    {
        calls << QStringLiteral("GetPrinterA %1").arg(size);
        const auto* printer = static_cast<SpoolerPrinter*>(handle);
        if (level != 5)
            return 0;
        const std::uint32_t required = sizeof(PrinterInfo5A) + printer->name.size() + 1 + printer->port.size() + 1;
        *needed = required;
        if (buffer == nullptr || size < required || secondGetPrinterFails)
            return 0;
        // The record first, its strings behind it in the same buffer.
        char* names = reinterpret_cast<char*>(buffer) + sizeof(PrinterInfo5A);
        std::memcpy(names, printer->name.constData(), printer->name.size() + 1);
        char* port = names + printer->name.size() + 1;
        std::memcpy(port, printer->port.constData(), printer->port.size() + 1);
        PrinterInfo5A info{names, port, printer->attributes, printer->notSelectedTimeout, printer->retryTimeout};
        std::memcpy(buffer, &info, sizeof info);
        return 1;
    }
    int SetPrinterA(PrinterHandle, std::uint32_t level, unsigned char* info, std::uint32_t command) override
    {
        calls << QStringLiteral("SetPrinterA %1 %2").arg(level).arg(command);
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
        calls << QStringLiteral("ClosePrinter");
        --openHandles;
        return 1;
    }
    std::uint32_t GetLastError() override
    {
        calls << QStringLiteral("GetLastError");
        return lastError;
    }
    char* lstrcpyA(char* target, const char* source) override { return std::strcpy(target, source); }
};

// Calls whose name starts with prefix.
int callsOf(const FakeWindowsApi& api, const QString& prefix)
{
    return int(std::count_if(api.calls.begin(), api.calls.end(), [&](const QString& c) { return c.startsWith(prefix); }));
}

} // namespace

void TestDefaultPrinter::methodByPlatform_data()
{
    QTest::addColumn<int>("platformId");
    QTest::addColumn<bool>("versionFails");
    QTest::addColumn<bool>("spooler");
    QTest::newRow("Windows 95 family") << 1 << false << true;
    QTest::newRow("NT family") << 2 << false << false;
    QTest::newRow("Win32s") << 0 << false << false;
    QTest::newRow("version unreadable") << 1 << true << false;
}

void TestDefaultPrinter::methodByPlatform()
{
    QFETCH(int, platformId);
    QFETCH(bool, versionFails);
    QFETCH(bool, spooler);

    FakeWindowsApi api;
    api.platformId = platformId;
    api.versionFails = versionFails;
    api.printerPorts["Office"] = "winspool,Ne01:,15,45";
    api.spooler["Office"] = SpoolerPrinter{"Office", "Ne01:", 0, 15000, 45000};
    test::ScriptedPlatform platform;
    const QString name = QStringLiteral("Office");
    SelectDefaultPrinter(api, platform, name);

    QCOMPARE(name, QStringLiteral("Office"));
    QCOMPARE(callsOf(api, "OpenPrinterA"), spooler ? 1 : 0);
    QCOMPARE(callsOf(api, "GetProfileStringA"), spooler ? 0 : 1);
    QCOMPARE(api.profileWrites.contains("windows/Device"), !spooler);
    QCOMPARE(api.setRecord.has_value(), spooler);
    QVERIFY(platform.messages.isEmpty());
}

void TestDefaultPrinter::profile_data()
{
    QTest::addColumn<QByteArray>("entry");   // "-" for a printer that is not listed
    QTest::addColumn<QByteArray>("device");  // empty when nothing may be written
    QTest::newRow("driver, port and timeouts") << QByteArray("winspool,LPT1:,15,45") << QByteArray("HP LaserJet 4,winspool,LPT1:");
    QTest::newRow("two ports") << QByteArray("winspool,LPT1:,15,45,LPT2:,15,45") << QByteArray("HP LaserJet 4,winspool,LPT1:");
    QTest::newRow("one comma") << QByteArray("winspool,LPT1:") << QByteArray();
    QTest::newRow("not listed") << QByteArray("-") << QByteArray();
    QTest::newRow("empty value") << QByteArray("") << QByteArray();
    QTest::newRow("empty driver") << QByteArray(",LPT1:,15,45") << QByteArray();
    QTest::newRow("empty port") << QByteArray("winspool,,15,45") << QByteArray();
}

void TestDefaultPrinter::profile()
{
    QFETCH(QByteArray, entry);
    QFETCH(QByteArray, device);

    FakeWindowsApi api;
    if (entry != "-")
        api.printerPorts["HP LaserJet 4"] = entry;
    SetDefaultFromProfile(api, QStringLiteral("HP LaserJet 4"));

    QCOMPARE(api.calls.first(), QStringLiteral("GetProfileStringA PrinterPorts/HP LaserJet 4"));
    QCOMPARE(api.profileBufferSize, 1024u);
    QCOMPARE(api.profileDefault, QByteArray(""));
    if (device.isEmpty()) {
        QVERIFY(api.profileWrites.isEmpty());
        QCOMPARE(callsOf(api, "SendMessageA"), 0);
        return;
    }
    QCOMPARE(api.profileWrites.size(), 1);
    QCOMPARE(api.profileWrites.value("windows/Device"), device);
    QCOMPARE(api.calls.last(), QStringLiteral("SendMessageA"));   // announced after writing
    QCOMPARE(api.broadcastWindow, std::intptr_t(0xFFFF));
    QCOMPARE(api.broadcastMessage, 0x001Au);
    QCOMPARE(api.broadcastWParam, std::uintptr_t(0));
    QCOMPARE(api.broadcastText, QByteArray("windows"));
}

void TestDefaultPrinter::splitDriverPort_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QByteArray>("driver");
    QTest::addColumn<QByteArray>("port");
    QTest::newRow("full") << QByteArray("winspool,LPT1:,15,45") << QByteArray("winspool") << QByteArray("LPT1:");
    QTest::newRow("one comma") << QByteArray("winspool,LPT1:") << QByteArray("winspool") << QByteArray();
    QTest::newRow("none") << QByteArray("winspool") << QByteArray() << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("buffer with NUL and blanks")
        << QByteArray("winspool,FILE:,15,45\0    ", 25) << QByteArray("winspool") << QByteArray("FILE:");
    QTest::newRow("one comma then NUL and blanks")
        << QByteArray("winspool,LPT1:\0     ", 20) << QByteArray("winspool") << QByteArray();
}

void TestDefaultPrinter::splitDriverPort()
{
    QFETCH(QByteArray, entry);
    QFETCH(QByteArray, driver);
    QFETCH(QByteArray, port);
    QByteArray gotDriver = "old";
    QByteArray gotPort = "old";
    SplitDriverPort(entry, gotDriver, gotPort);
    QCOMPARE(gotDriver, driver);
    QCOMPARE(gotPort, port);
}

void TestDefaultPrinter::spooler_data()
{
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("secondGetFails");
    QTest::addColumn<bool>("setFails");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("message");

    QTest::newRow("success") << true << false << false
        << QStringList{"OpenPrinterA Laser", "GetPrinterA 0", "GetPrinterA *", "SetPrinterA 5 0", "ClosePrinter"}
        << QString();
    QTest::newRow("SetPrinter refused") << true << false << true
        << QStringList{"OpenPrinterA Laser", "GetPrinterA 0", "GetPrinterA *", "SetPrinterA 5 0", "GetLastError",
                       "ClosePrinter"}
        << "SetPrinterFailed. Error code: 5";
    QTest::newRow("information unreadable") << true << true << false
        << QStringList{"OpenPrinterA Laser", "GetPrinterA 0", "GetPrinterA *", "ClosePrinter"} << QString();
    QTest::newRow("cannot open") << false << false << false << QStringList{"OpenPrinterA Laser"} << QString();
}

void TestDefaultPrinter::spooler()
{
    QFETCH(bool, listed);
    QFETCH(bool, secondGetFails);
    QFETCH(bool, setFails);
    QFETCH(QStringList, calls);
    QFETCH(QString, message);

    FakeWindowsApi api;
    api.platformId = 1;
    if (listed)
        api.spooler["Laser"] = SpoolerPrinter{"Laser", "LPT1:", 0x240, 15000, 45000};
    api.secondGetPrinterFails = secondGetFails;
    api.setPrinterFails = setFails;
    test::ScriptedPlatform platform;
    MarkPrinterDefault(api, platform, QStringLiteral("Laser"));

    QStringList made = api.calls;
    for (QString& c : made)
        if (c.startsWith("GetPrinterA ") && c != "GetPrinterA 0")
            c = "GetPrinterA *";
    QCOMPARE(made, calls);
    QCOMPARE(api.openHandles, 0);
    QCOMPARE(api.requestedAccess, 0x000F000Cu);
    QVERIFY(api.defaultsNull);
    if (message.isEmpty()) {
        QVERIFY(platform.messages.isEmpty());
    } else {
        QCOMPARE(platform.messages.size(), 1);
        QCOMPARE(platform.messages[0].text, message);
        QCOMPARE(platform.messages[0].title, ProgramTitle);
        QCOMPARE(platform.messages[0].buttons, MessageButtons::Ok);
        QCOMPARE(platform.messages[0].icon, MessageIcon::None);
    }
    if (calls.contains("SetPrinterA 5 0")) {
        QVERIFY(api.setRecord);
        QCOMPARE(api.setRecord->name, QByteArray("Laser"));
        QCOMPARE(api.setRecord->port, QByteArray("LPT1:"));
        QCOMPARE(api.setRecord->attributes, 4u);
        QCOMPARE(api.setRecord->notSelectedTimeout, 15000u);
        QCOMPARE(api.setRecord->retryTimeout, 45000u);
    }
}

void TestDefaultPrinter::spoolerLongNames()
{
    // Names longer than the copy buffer are cut, not copied past it.
    FakeWindowsApi api;
    const QByteArray longName(700, 'N');
    const QByteArray longPort(600, 'P');
    api.spooler[longName] = SpoolerPrinter{longName, longPort, 0, 1, 2};
    test::ScriptedPlatform platform;
    MarkPrinterDefault(api, platform, QString::fromLatin1(longName));
    QVERIFY(api.setRecord);
    QCOMPARE(api.setRecord->name, longName.left(511));
    QCOMPARE(api.setRecord->port, longPort.left(511));
    QCOMPARE(api.openHandles, 0);
}

void TestDefaultPrinter::copyStringAt_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("short") << QByteArray("LPT1:") << QByteArray("LPT1:");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
    QTest::newRow("511 fit") << QByteArray(511, 'a') << QByteArray(511, 'a');
    QTest::newRow("512 cut") << QByteArray(512, 'b') << QByteArray(511, 'b');
    QTest::newRow("4000 cut") << QByteArray(4000, 'c') << QByteArray(511, 'c');
    QTest::newRow("ANSI bytes kept") << QByteArray("Drucker \xE4\xF6\xFC") << QByteArray("Drucker \xE4\xF6\xFC");
}

void TestDefaultPrinter::copyStringAt()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, expected);
    FakeWindowsApi api;
    QCOMPARE(CopyStringAt(api, source.constData()), expected);
    QCOMPARE(CopyStringAt(api, nullptr), QByteArray());
}

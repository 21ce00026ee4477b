#include "Identity.h"
#include "Platform.h"
#include "ScriptedPlatform.h"
#include "Twips.h"

#include <QDir>
#include <QtTest>

using namespace vrx;

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void versionText_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("expected");
        QTest::newRow("this release") << 1 << 3 << 0 << "1.3";
        QTest::newRow("revision kept") << 1 << 3 << 1 << "1.31";
        QTest::newRow("one zero dropped") << 1 << 10 << 0 << "1.10";
        QTest::newRow("major release") << 2 << 0 << 0 << "2.0";
    }
    void versionText()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, expected);
        QCOMPARE(vrx::versionText(major, minor, revision), expected);
    }

    void twipsAt96Dpi_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("client width") << 10215 << 681;
        QTest::newRow("client height") << 8265 << 551;
        QTest::newRow("display height") << 8160 << 544;
        QTest::newRow("shown top") << 1680 << 112;
        QTest::newRow("one pixel") << 15 << 1;
    }
    void twipsAt96Dpi()
    {
        QFETCH(int, twips);
        QFETCH(int, pixels);
        QCOMPARE(twipsToPixels(twips, 96.0), pixels);
        QCOMPARE(pixelsToTwips(pixels, 96.0), twips);
    }

    void appDataFolder_data()
    {
        QTest::addColumn<QString>("appData");
        QTest::addColumn<QString>("expectedUserData");
        QTest::newRow("set") << "/tmp/appdata" << "/tmp/appdata/VRX PV";
        QTest::newRow("trailing separator") << "/tmp/appdata/" << "/tmp/appdata/VRX PV";
    }
    void appDataFolder()
    {
        QFETCH(QString, appData);
        QFETCH(QString, expectedUserData);
        test::ScriptedPlatform platform;
        platform.env.insert(QStringLiteral("AppData"), appData);
        QCOMPARE(platform.userDataFolder(), expectedUserData);
    }

    void appDataFallsBackToXdgDataFolder()
    {
        QStandardPaths::setTestModeEnabled(true);
        test::ScriptedPlatform platform;
        const QString expected = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QCOMPARE(platform.appDataFolder(), QDir::toNativeSeparators(expected));
    }
};

QTEST_MAIN(TestPlatform)
#include "test_platform.moc"

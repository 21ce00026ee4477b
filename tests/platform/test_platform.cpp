#include "platform/Identity.h"
#include "platform/NativePath.h"
#include "platform/Platform.h"
#include "platform/QtPlatform.h"
#include "tests/support/ScriptedPlatform.h"
#include "platform/Twips.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vrx;

class TestPlatform : public QObject {
    Q_OBJECT
    QTemporaryDir m_config;

private slots:
    void initTestCase()
    {
        // The real settings store writes under the per-user config folder; keep it in a
        // temporary one (before any QSettings is used, which fixes the folder for the run).
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }

    // The one setting lands in "VB and VBA Program Settings/<application name>.conf" under the
    // config folder, section "Settings", key "DefaultPath", and reads back unchanged.
    void settingsStoreOnLinux_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("folder") << "/home/user/VRX logs";
        QTest::newRow("windows-style path") << "c:\\Logs\\VRX";
        QTest::newRow("non-ASCII, case kept") << QStringLiteral("/data/Prüfung/LOGS");
    }
    void settingsStoreOnLinux()
    {
        QFETCH(QString, value);
        QtPlatform platform;
        const QString section = QStringLiteral("Settings");
        const QString key = QStringLiteral("DefaultPath");
        QCOMPARE(platform.readSetting(SettingsAppName, section, QStringLiteral("Absent"), QStringLiteral("dflt")).toString(),
                 QStringLiteral("dflt"));
        platform.writeSetting(SettingsAppName, section, key, value);
        QCOMPARE(platform.readSetting(SettingsAppName, section, key, QString()).toString(), value);

        QFile file(m_config.filePath(QStringLiteral("VB and VBA Program Settings/Zero & Vevod  Uri Raviz.conf")));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("[Settings]"));
        QVERIFY(text.contains("DefaultPath="));
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

    // Qt's file dialog gives a Latin-1 name with replacement characters; the file is still found
    // when only one name in its folder reads that way.
    void replacedNamesResolved_data()
    {
        QTest::addColumn<QByteArrayList>("files");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QByteArray>("expected");   // empty: the path as asked
        const QString replaced = QStringLiteral("caf\uFFFD.log");
        QTest::newRow("Latin-1 name") << QByteArrayList{"caf\xe9.log"} << replaced << QByteArray("caf\xe9.log");
        QTest::newRow("in a Latin-1 folder") << QByteArrayList{"d\xe9p/x.log"} << QStringLiteral("d\uFFFDp/x.log")
                                             << QByteArray("d\xe9p/x.log");
        QTest::newRow("two names read alike") << QByteArrayList{"caf\xe9.log", "caf\xe8.log"} << replaced << QByteArray();
        QTest::newRow("exists as given") << QByteArrayList{"caf\xef\xbf\xbd.log", "caf\xe9.log"} << replaced << QByteArray();
        QTest::newRow("no such file") << QByteArrayList{"other.log"} << replaced << QByteArray();
    }
    void replacedNamesResolved()
    {
        QFETCH(QByteArrayList, files);
        QFETCH(QString, asked);
        QFETCH(QByteArray, expected);
        QTemporaryDir temp;
        const QByteArray root = QFile::encodeName(temp.path()) + '/';
        for (const QByteArray& file : files) {
            if (file.contains('/'))
                ::mkdir((root + file.left(file.indexOf('/'))).constData(), 0755);
            QVERIFY(::close(::creat((root + file).constData(), 0644)) == 0);
        }
        const QString path = temp.path() + QLatin1Char('/') + asked;
        QCOMPARE(nativePathBytes(resolveReplacedPath(path)), expected.isEmpty() ? nativePathBytes(path) : root + expected);
    }
};

QTEST_MAIN(TestPlatform)
#include "test_platform.moc"

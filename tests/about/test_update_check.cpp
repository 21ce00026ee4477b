// The update check: its messages, and the whole check as the About window runs it against a
// real HTTP server on loopback, also through a proxy there and over TLS.

#include "about/AboutForm.h"
#include "about/Author.h"
#include "platform/Identity.h"
#include "platform/Download.h"
#include "files/Files.h"
#include "tests/about/LoopbackHttpServer.h"
#include "tests/about/TestCertificates.h"
#include "tests/support/ScriptedPlatform.h"
#include "about/UpdateCheck.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <csignal>

using namespace vrx;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(vrx::UpdateOutcome)
Q_DECLARE_METATYPE(vrx::MessageButtons)
Q_DECLARE_METATYPE(vrx::MessageResult)

namespace {

const QByteArray Title = "View & Print VRX Log Files";
const QString Question = QStringLiteral("\n\nGoto the Program Homepage for info ?");
const QString Title13 = QStringLiteral("Current Version: 1.3");

QString newerText(const QString& version)
{
    return QStringLiteral("A newer version  ( ") + version + QStringLiteral(" )  is available.") + Question;
}

// The whole check as the About window's button runs it, until its outcome is shown.
void checkForUpdate(Platform& platform, const DownloadOptions& options = {})
{
    AboutForm form(platform, nullptr);
    form.downloadOptions = options;
    form.Command_CheckUpdate_Click();
    QVERIFY(QTest::qWaitFor([&] { return form.isEnabled(); }, 30000));
}

// One download through the real code, with no proxy variables set, waited for.
DownloadResult fetch(const QUrl& url, const QString& target, const DownloadOptions& options = {})
{
    const QMap<QString, QString> environment;
    QObject context;
    std::optional<DownloadResult> result;
    startDownload(url, target, options, [&](const QString& name) { return environment.value(name); }, &context,
                  [&](const DownloadResult& outcome) { result = outcome; });
    if (!QTest::qWaitFor([&] { return result.has_value(); }, 30000))
        return {false, "no outcome", false};
    return *result;
}

// How the test program runs as the check that the tests end by a signal.
const char* const UntilKilledOption = "--check-until-killed";

// "name=value" pairs as an environment; "%1" in a value stands for the port.
QMap<QString, QString> environmentOf(const QStringList& pairs, quint16 port = 0)
{
    QMap<QString, QString> environment;
    for (const QString& pair : pairs)
        environment.insert(pair.section('=', 0, 0), pair.section('=', 1).replace("%1", QString::number(port)));
    return environment;
}

} // namespace

class TestUpdateCheck : public QObject {
    Q_OBJECT
private slots:
    void versionValueIgnoresLocale()
    {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const double value = vrx::versionValue(u"1.4");
        QLocale::setDefault(saved);
        QCOMPARE(value, 1.4);
    }

    void messages_data()
    {
        QTest::addColumn<UpdateOutcome>("outcome");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("text");
        QTest::addColumn<MessageButtons>("buttons");
        QTest::newRow("local failure: the reason") << UpdateOutcome::LocalFailure << ""
                                                   << "Cannot write \"/x/versions.txt\": Permission denied" + Question
                                                   << MessageButtons::YesNo;
        QTest::newRow("download failed") << UpdateOutcome::DownloadFailed << ""
                                         << "Web Datafile not found." + Question << MessageButtons::YesNo;
        QTest::newRow("file missing") << UpdateOutcome::DownloadedFileMissing << ""
                                      << "Downloaded Datafile not foud." + Question << MessageButtons::YesNo;
        QTest::newRow("no entry") << UpdateOutcome::NoEntry << ""
                                  << "Data for this program not found." + Question << MessageButtons::YesNo;
        QTest::newRow("newer, three blanks before the version")
            << UpdateOutcome::NewerVersion << " 1.4"
            << "A newer version  (  1.4 )  is available.\n\nGoto the Program Homepage for info ?"
            << MessageButtons::YesNo;
        QTest::newRow("latest") << UpdateOutcome::LatestVersion << "1.3"
                                << "This is the latest version." << MessageButtons::Ok;
        QTest::newRow("newer, 80 characters shown whole") << UpdateOutcome::NewerVersion << QString(80, '2')
                                                          << newerText(QString(80, '2')) << MessageButtons::YesNo;
        QTest::newRow("newer, longer version cut") << UpdateOutcome::NewerVersion << QString(81, '2')
                                                   << newerText(QString(80, '2') + QChar(0x2026)) << MessageButtons::YesNo;
        QTest::newRow("newer, first line only") << UpdateOutcome::NewerVersion << "2.0\nline\nline"
                                                << newerText("2.0" + QString(QChar(0x2026))) << MessageButtons::YesNo;
        const QChar odd = QChar::ReplacementCharacter;
        QTest::newRow("newer, NUL, escape and C1 shown as U+FFFD, tab kept")
            << UpdateOutcome::NewerVersion << QString("1.4") + QChar(0) + "x\t" + QChar(0x1b) + QChar(0x85)
            << newerText(QString("1.4") + odd + "x\t" + odd + odd) << MessageButtons::YesNo;
        QTest::newRow("newer, direction marks shown as U+FFFD")
            << UpdateOutcome::NewerVersion
            << QChar(0x202E) + QString("4.1") + QChar(0x202C) + QChar(0x2066) + "x" + QChar(0x2069) + QChar(0x202A)
            << newerText(odd + QString("4.1") + odd + odd + "x" + odd + odd) << MessageButtons::YesNo;
        QTest::newRow("newer, separators and format characters shown as U+FFFD, backslash kept")
            << UpdateOutcome::NewerVersion
            << QString("1.4") + QChar(0x2028) + "a" + QChar(0x2029) + QChar(0x200B) + "\\" + QChar(0xFEFF) + QChar(0xAD)
                   + QString::fromUcs4(U"\U000E0001") + "b"
            << newerText(QString("1.4") + odd + "a" + odd + odd + "\\" + odd + odd + odd + "b") << MessageButtons::YesNo;
    }
    void messages()
    {
        QFETCH(UpdateOutcome, outcome);
        QFETCH(QString, version);
        QFETCH(QString, text);
        QFETCH(MessageButtons, buttons);
        const UpdateMessage message = updateMessage(
            {outcome, version, outcome == UpdateOutcome::LocalFailure ? "Cannot write \"/x/versions.txt\": Permission denied" : ""});
        QCOMPARE(message.text, text);
        QCOMPARE(message.buttons, buttons);
        QCOMPARE(message.offersHomepage, buttons == MessageButtons::YesNo);
        QCOMPARE(updateMessageTitle(VersionText()), Title13);
    }

    void siteOverride_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("versionUrl");
        QTest::addColumn<QString>("homeUrl");
        QTest::newRow("unset") << "" << AuthorSiteUrl + "/dl/swv.txt" << AuthorSiteUrl + "/dl/VRX_pv.htm";
        QTest::newRow("mirror") << "http://mirror.test:8080" << "http://mirror.test:8080/dl/swv.txt"
                                << "http://mirror.test:8080/dl/VRX_pv.htm";
        QTest::newRow("mirror in a folder, trailing slash") << "https://m.test/vrx/"
                                                             << "https://m.test/vrx/dl/swv.txt"
                                                             << "https://m.test/vrx/dl/VRX_pv.htm";
        QTest::newRow("file address ignored") << "file:///etc" << AuthorSiteUrl + "/dl/swv.txt"
                                              << AuthorSiteUrl + "/dl/VRX_pv.htm";
        QTest::newRow("garbage ignored") << "not a url" << AuthorSiteUrl + "/dl/swv.txt"
                                         << AuthorSiteUrl + "/dl/VRX_pv.htm";
    }
    void siteOverride()
    {
        QFETCH(QString, variable);
        QFETCH(QString, versionUrl);
        QFETCH(QString, homeUrl);
        test::ScriptedPlatform platform;
        if (!variable.isEmpty())
            platform.env.insert(SiteUrlVariable, variable);
        QCOMPARE(versionDataUrl(platform).toString(), versionUrl);
        QCOMPARE(homepageUrl(platform).toString(), homeUrl);
    }

    // The whole check against a server on loopback.
    void wholeCheck_data()
    {
        QTest::addColumn<test::HttpAnswer>("answer");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<MessageResult>("reply");
        QTest::addColumn<QString>("text");
        QTest::addColumn<MessageButtons>("buttons");
        QTest::addColumn<bool>("homepageOpened");
        QTest::addColumn<bool>("fileKept");
        // What is on disk before the check: "" (nothing), "vbTemp file", "versions.txt folder",
        // "versions.txt link" (to a file of the user's, which must stay as it is), "left scratch
        // file" (of a check killed an hour ago).
        QTest::addColumn<QString>("setup");

        const qint64 mib = 1024 * 1024;
        const QString webFailed = "Web Datafile not found." + Question;
        const QString noData = "Data for this program not found." + Question;
        const QByteArray good = "Some Tool:3.0," + Title + ":1.4\r\n";
        const auto yes = MessageResult::Yes;
        const auto no = MessageResult::No;
        const auto yesNo = MessageButtons::YesNo;

        QTest::newRow("newer, Yes") << test::HttpAnswer{.body = good} << mib << yes << newerText("1.4") << yesNo << true << true << QString();
        QTest::newRow("newer, No") << test::HttpAnswer{.body = good} << mib << no << newerText("1.4") << yesNo << false << true << QString();
        QTest::newRow("latest") << test::HttpAnswer{.body = Title + ": 1.3\r\n"} << mib << yes
                                << "This is the latest version." << MessageButtons::Ok << false << true << QString();
        QTest::newRow("no entry, Yes") << test::HttpAnswer{.body = "Other:1.0\r\n"} << mib << yes << noData << yesNo << true << true << QString();
        QTest::newRow("empty file") << test::HttpAnswer{.body = ""} << mib << no << noData << yesNo << false << true << QString();
        QTest::newRow("404, Yes") << test::HttpAnswer{.status = 404, .body = "<html>" + Title + ":9.9</html>"} << mib << yes
                                  << webFailed << yesNo << true << false << QString();
        QTest::newRow("404, No") << test::HttpAnswer{.status = 404} << mib << no << webFailed << yesNo << false << false << QString();
        QTest::newRow("500 error page with an entry") << test::HttpAnswer{.status = 500, .body = Title + ":9.9"} << mib << no
                                                      << webFailed << yesNo << false << false << QString();
        QTest::newRow("redirect followed") << test::HttpAnswer{.status = 302, .body = "Moved " + Title + ":9.9", .location = "/dl/moved.txt"} << mib << no
                                           << newerText("2.0") << yesNo << false << true << QString();
        QTest::newRow("redirect to ftp refused") << test::HttpAnswer{.status = 301, .location = "ftp://127.0.0.1/dl/swv.txt"} << mib
                                                 << no << webFailed << yesNo << false << false << QString();
        QTest::newRow("redirect to a missing page") << test::HttpAnswer{.status = 302, .location = "/nowhere"} << mib << no
                                                    << webFailed << yesNo << false << false << QString();
        QByteArray big = good + QByteArray(2 * mib, 'x');
        QTest::newRow("oversized, announced") << test::HttpAnswer{.body = big} << mib << no << webFailed << yesNo << false << false << QString();
        QTest::newRow("oversized, streamed") << test::HttpAnswer{.body = big, .sendLength = false} << mib << no << webFailed
                                             << yesNo << false << false << QString();
        QByteArray exact = good + QByteArray(1000 - good.size(), ' ');
        QTest::newRow("exactly at the cap") << test::HttpAnswer{.body = exact, .sendLength = false} << qint64(1000) << no
                                            << newerText("1.4") << yesNo << false << true << QString();
        QTest::newRow("one byte over the cap") << test::HttpAnswer{.body = exact + ' ', .sendLength = false} << qint64(1000) << no
                                               << webFailed << yesNo << false << false << QString();
        QTest::newRow("server stalls") << test::HttpAnswer{.body = good, .stall = true} << mib << yes << webFailed
                                       << yesNo << true << false << QString();
        QTest::newRow("endless answer head") << test::HttpAnswer{.endlessHeaders = true} << mib << no << webFailed
                                             << yesNo << false << false << QString();
        QTest::newRow("answer head dripping past the deadline") << test::HttpAnswer{.dripHeaders = true} << mib << no
                                                                << webFailed << yesNo << false << false << QString();
        const QByteArray longVersion(200 * 1024, '9');
        QTest::newRow("200 KB version cut in the box") << test::HttpAnswer{.body = Title + ":" + longVersion} << mib << no
                                                       << newerText(QString(80, '9') + QChar(0x2026)) << yesNo << false
                                                       << true << QString();
        QTest::newRow("line separator in the version") << test::HttpAnswer{.body = Title + ":9.9\xE2\x80\xA8x"} << mib << no
                                                       << newerText("9.9" + QString(QChar::ReplacementCharacter) + "x")
                                                       << yesNo << false << true << QString();
        QTest::newRow("chunked, read whole") << test::HttpAnswer{.body = good + QByteArray(1000, ' '), .sendLength = false, .chunked = true}
                                             << mib << no << newerText("1.4") << yesNo << false << true << QString();
        QTest::newRow("chunked, past the cap") << test::HttpAnswer{.body = big, .sendLength = false, .chunked = true} << mib << no
                                               << webFailed << yesNo << false << false << QString();
        QTest::newRow("chunked, cut before the last chunk")
            << test::HttpAnswer{.body = exact, .sendLength = false, .chunked = true, .cutShort = true} << mib << no
            << webFailed << yesNo << false << false << QString();
        QTest::newRow("announced length, cut short") << test::HttpAnswer{.body = exact, .cutShort = true} << mib << no
                                                     << webFailed << yesNo << false << false << QString();
        QTest::newRow("two lengths that disagree") << test::HttpAnswer{.body = good, .extraHeaders = "Content-Length: 5\r\n"}
                                                   << mib << no << webFailed << yesNo << false << false << QString();
        QTest::newRow("two lengths that agree")
            << test::HttpAnswer{.body = good, .extraHeaders = "Content-Length: " + QByteArray::number(good.size()) + "\r\n"}
            << mib << no << newerText("1.4") << yesNo << false << true << QString();
        // A field that starts like a status line begins no new head: the lengths before and
        // after it are of one answer, and its bytes count towards the one bound of the exchange.
        QTest::newRow("two lengths parted by an HTTP/ field")
            << test::HttpAnswer{.body = good, .extraHeaders = "HTTP/x: y\r\nContent-Length: 5\r\n"} << mib << no << webFailed
            << yesNo << false << false << QString();
        QByteArray longHead;
        for (int line = 0; longHead.size() < 200 * 1024; ++line)
            longHead += line % 50 == 0 ? QByteArray("HTTP/x: y\r\n") : "X-Filler: " + QByteArray(100, 'x') + "\r\n";
        QTest::newRow("200 KB head with HTTP/ fields") << test::HttpAnswer{.body = good, .extraHeaders = longHead} << mib << no
                                                       << webFailed << yesNo << false << false << QString();
        QTest::newRow("redirect loop given up") << test::HttpAnswer{.status = 302, .location = "/dl/swv.txt"} << mib << no
                                                << webFailed << yesNo << false << false << QString();
        QTest::newRow("versions.txt a link: replaced, its target kept") << test::HttpAnswer{.body = good} << mib << no
                                                                         << newerText("1.4") << yesNo << false << true
                                                                         << "versions.txt link";
        QTest::newRow("a killed check's file removed") << test::HttpAnswer{.body = good} << mib << no << newerText("1.4")
                                                       << yesNo << false << true << "left scratch file";
        QTest::newRow("vbTemp a file: no request") << test::HttpAnswer{.body = good} << mib << yes
            << "Cannot create the download folder \"%1/vbTemp\": Not a directory" + Question << yesNo << true << false
            << "vbTemp file";
        QTest::newRow("versions.txt a folder: no request") << test::HttpAnswer{.body = good} << mib << no
            << "Cannot write \"%1/vbTemp/versions.txt\": Is a directory" + Question << yesNo << false << false
            << "versions.txt folder";
    }
    void wholeCheck()
    {
        QFETCH(test::HttpAnswer, answer);
        QFETCH(qint64, maxBytes);
        QFETCH(MessageResult, reply);
        QFETCH(QString, text);
        QFETCH(MessageButtons, buttons);
        QFETCH(bool, homepageOpened);
        QFETCH(bool, fileKept);
        QFETCH(QString, setup);

        QTemporaryDir appData;
        const QString folder = appData.path() + "/vbTemp";
        const QString userFile = appData.filePath("mine.txt");
        if (setup == "vbTemp file") {
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else if (setup == "versions.txt folder") {
            QVERIFY(QDir().mkpath(folder + "/versions.txt"));
        } else if (setup == "versions.txt link") {
            QFile mine(userFile);
            QVERIFY(mine.open(QIODevice::WriteOnly));
            mine.write("mine");
            mine.close();
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::link(userFile, folder + "/versions.txt"));
        } else if (setup == "left scratch file") {
            QVERIFY(QDir().mkpath(folder));
            QFile left(folder + "/.versions.txt.k1lled");
            QVERIFY(left.open(QIODevice::WriteOnly));
            left.write("half");
            QVERIFY(left.flush());
            QVERIFY(left.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        }
        text.replace("%1", appData.path());
        test::LoopbackHttpServer server;
        QVERIFY(server.isListening());
        server.answers.insert("/dl/swv.txt", answer);
        server.answers.insert("/dl/moved.txt", test::HttpAnswer{.body = Title + ":2.0"});

        test::ScriptedPlatform platform;
        platform.env.insert("AppData", appData.path());
        platform.env.insert(SiteUrlVariable, server.base().toString());
        platform.messageAnswers = {reply};

        QVERIFY(setup.isEmpty() != QFileInfo::exists(folder));
        DownloadOptions options;
        options.timeout = 400ms;
        options.maxBytes = maxBytes;
        QElapsedTimer clock;
        clock.start();
        checkForUpdate(platform, options);
        // A few times the deadline at most, whatever the server does.
        QVERIFY2(clock.elapsed() < 2500, "the check must end soon after its deadline");
        // The connection is closed at once, not left to a server that still sends.
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 1000);

        const bool local = setup == "vbTemp file" || setup == "versions.txt folder";
        QCOMPARE(server.requests.isEmpty(), local);
        if (setup != "vbTemp file")
            QCOMPARE(platform.downloadedUrls, QList<QUrl>{server.base().resolved(QUrl("/dl/swv.txt"))});
        QCOMPARE(platform.messages.size(), 1);
        QCOMPARE(platform.messages[0].text, text);
        QCOMPARE(platform.messages[0].title, Title13);
        QCOMPARE(platform.messages[0].buttons, buttons);
        QCOMPARE(platform.messages[0].icon, MessageIcon::None);
        const QList<QUrl> expectedOpened = homepageOpened
            ? QList<QUrl>{server.base().resolved(QUrl("/dl/VRX_pv.htm"))} : QList<QUrl>{};
        QCOMPARE(platform.openedUrls, expectedOpened);

        if (setup == "vbTemp file") {
            QVERIFY(QFileInfo(folder).isFile());
            QCOMPARE(QFileInfo(folder).size(), 0);
            return;
        }
        // The folder is made before the download, whatever comes of it; a good file stays.
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(QFileInfo(folder + "/versions.txt").isFile(), fileKept);
        if (setup == "versions.txt link") {
            // The link itself was replaced by a file of our own; the file it named is untouched.
            QVERIFY(!QFileInfo(folder + "/versions.txt").isSymLink());
            QFile mine(userFile);
            QVERIFY(mine.open(QIODevice::ReadOnly));
            QCOMPARE(mine.readAll(), QByteArray("mine"));
        }
        // A failed transfer leaves no half-written temporary file behind either.
        const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, fileKept ? QStringList{"versions.txt"} : QStringList{});
        if (fileKept && answer.status == 200)
            QCOMPARE(QFileInfo(folder + "/versions.txt").size(), qint64(answer.body.size()));
    }

    // Which variable names the proxy for a request (libcurl reads the value and no_proxy).
    void proxyChoice_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("proxy");
        QTest::newRow("nothing set") << "http://site.test/x" << QStringList{} << "";
        QTest::newRow("http_proxy") << "http://site.test/x" << QStringList{"http_proxy=http://p.test:3128"} << "http://p.test:3128";
        QTest::newRow("HTTP_PROXY") << "http://site.test/x" << QStringList{"HTTP_PROXY=p.test"} << "p.test";
        QTest::newRow("small letters first") << "http://site.test/x" << QStringList{"http_proxy=a.test:1", "HTTP_PROXY=b.test:2"}
                                             << "a.test:1";
        QTest::newRow("blank counts as unset") << "http://site.test/x" << QStringList{"http_proxy= ", "HTTP_PROXY=b.test:2"}
                                               << "b.test:2";
        QTest::newRow("https: not http_proxy") << "https://site.test/x" << QStringList{"http_proxy=a.test:1"} << "";
        QTest::newRow("https: HTTPS_PROXY") << "HTTPS://site.test/x" << QStringList{"http_proxy=a.test:1", "HTTPS_PROXY=b.test:2"}
                                            << "b.test:2";
        QTest::newRow("all_proxy last") << "https://site.test/x" << QStringList{"http_proxy=a.test:1", "ALL_PROXY=socks5h://s.test"}
                                        << "socks5h://s.test";
    }
    void proxyChoice()
    {
        QFETCH(QString, url);
        QFETCH(QStringList, environment);
        QFETCH(QString, proxy);
        const QMap<QString, QString> variables = environmentOf(environment);
        QCOMPARE(proxyFromEnvironment(QUrl(url), [&](const QString& name) { return variables.value(name); }), proxy);
    }

    // The whole check through a proxy on loopback: a plain address goes as "GET http://...",
    // an https one through a CONNECT tunnel. The site's name never resolves, so only the
    // proxy can have answered.
    void throughProxy_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("text");
        QTest::newRow("http: GET with the whole address")
            << "http://vrx.invalid" << QStringList{"http_proxy=http://127.0.0.1:%1"}
            << QByteArray("GET http://vrx.invalid/dl/swv.txt HTTP/1.1\r\n") << newerText("1.4");
        QTest::newRow("https: CONNECT")   // the proxy refuses the tunnel
            << "https://vrx.invalid" << QStringList{"https_proxy=127.0.0.1:%1", "http_proxy=127.0.0.1:1"}
            << QByteArray("CONNECT vrx.invalid:443 HTTP/1.1\r\n") << "Web Datafile not found." + Question;
        QTest::newRow("no_proxy: straight to the server")
            << "http://127.0.0.1:%1" << QStringList{"http_proxy=127.0.0.1:1", "no_proxy=localhost, 127.0.0.0/8"}
            << QByteArray("GET /dl/swv.txt HTTP/1.1\r\n") << newerText("1.4");
    }
    void throughProxy()
    {
        QFETCH(QString, site);
        QFETCH(QStringList, environment);
        QFETCH(QByteArray, request);
        QFETCH(QString, text);
        test::LoopbackHttpServer proxy;
        const test::HttpAnswer good{.body = Title + ":1.4"};
        proxy.answers.insert("http://vrx.invalid/dl/swv.txt", good);
        proxy.answers.insert("/dl/swv.txt", good);
        QTemporaryDir appData;
        test::ScriptedPlatform platform;
        platform.env = environmentOf(environment, proxy.serverPort());
        platform.env.insert("AppData", appData.path());
        platform.env.insert(SiteUrlVariable, QString(site).replace("%1", QString::number(proxy.serverPort())));
        platform.messageAnswers = {MessageResult::No};
        checkForUpdate(platform);
        QCOMPARE(platform.messages.value(0).text, text);
        QCOMPARE(proxy.requests.size(), 1);
        QVERIFY2(proxy.requests[0].startsWith(request), proxy.requests[0].constData());
    }

    // TLS checks the server's certificate and name; the first row shows the rest would pass.
    void tlsVerification_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("selfSigned");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("ok");
        QTest::newRow("trusted, its own name") << "localhost" << false << "/f" << true;
        QTest::newRow("trusted, another name") << "127.0.0.1" << false << "/f" << false;
        QTest::newRow("self-signed") << "localhost" << true << "/f" << false;
        QTest::newRow("redirect from https to http") << "localhost" << false << "/to-http" << false;
    }
    void tlsVerification()
    {
        QFETCH(QString, host);
        QFETCH(bool, selfSigned);
        QFETCH(QString, path);
        QFETCH(bool, ok);
        if (!QSslSocket::supportsSsl())
            QSKIP("no TLS for the test server");

        test::LoopbackHttpServer plain;
        plain.answers.insert("/f", test::HttpAnswer{.body = "plain"});
        test::LoopbackHttpServer server;
        server.useTls(QSslCertificate(selfSigned ? test::SelfSignedLocalhostPem : test::LocalhostCertificatePem),
                      QSslKey(test::LocalhostKeyPem, QSsl::Ec));
        server.answers.insert("/f", test::HttpAnswer{.body = "secret"});
        server.answers.insert("/to-http", test::HttpAnswer{.status = 302, .location = plain.base().resolved(QUrl("/f")).toEncoded()});

        QTemporaryDir dir;
        const QUrl url(QString("https://%1:%2%3").arg(host).arg(server.serverPort()).arg(path));
        DownloadOptions options;
        options.trustedCertificates = test::TestAuthorityPem;
        const DownloadResult result = fetch(url, dir.filePath("f"), options);
        QCOMPARE(result.ok, ok);
        QCOMPARE(QFileInfo::exists(dir.filePath("f")), ok);
        QVERIFY(plain.requests.isEmpty());
        QCOMPARE(server.requests.isEmpty(), host != "localhost" || selfSigned);
    }

    // A head that never ends is refused at its bound, long before the deadline, plain or over
    // TLS, and its connection closed.
    void endlessHeadEndsAtItsBound_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::newRow("plain") << false;
        QTest::newRow("TLS") << true;
    }
    void endlessHeadEndsAtItsBound()
    {
        QFETCH(bool, tls);
        if (tls && !QSslSocket::supportsSsl())
            QSKIP("no TLS for the test server");
        test::LoopbackHttpServer server;
        if (tls)
            server.useTls(QSslCertificate(test::LocalhostCertificatePem), QSslKey(test::LocalhostKeyPem, QSsl::Ec));
        server.answers.insert("/f", test::HttpAnswer{.endlessHeaders = true});
        QTemporaryDir dir;
        DownloadOptions options;
        options.trustedCertificates = test::TestAuthorityPem;
        QElapsedTimer clock;
        clock.start();
        const DownloadResult result = fetch(QUrl(QString("%1://localhost:%2/f").arg(tls ? "https" : "http").arg(server.serverPort())),
                                            dir.filePath("f"), options);
        QVERIFY(!result.ok);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(result.error));
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 1000);
    }

    // Ended by a signal while its answer is awaited, a check removes its scratch file on the
    // way out and ends as the signal asks. The check runs in a program of its own, set up as
    // vrxpv's main() sets itself up.
    void interruptedCheckLeavesNothing_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void interruptedCheckLeavesNothing()
    {
        QFETCH(int, signal);
        QTemporaryDir appData;
        const QString folder = appData.path() + "/vbTemp";
        test::LoopbackHttpServer server;
        server.answers.insert("/dl/swv.txt", test::HttpAnswer{.stall = true});
        QProcess check;
        check.start(QCoreApplication::applicationFilePath(), {UntilKilledOption, appData.path(), server.base().toString()});
        QVERIFY(check.waitForStarted());
        const auto scratchFiles = [&] { return QDir(folder).entryList({".versions.txt.*"}, QDir::Files | QDir::Hidden); };
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 1, 10000);
        QCOMPARE(scratchFiles().size(), 1);
        QCOMPARE(::kill(pid_t(check.processId()), signal), 0);
        QVERIFY(check.waitForFinished(10000));
        QCOMPARE(check.exitStatus(), QProcess::CrashExit);
        QCOMPARE(scratchFiles(), QStringList());
        QVERIFY(!QFileInfo::exists(folder + "/versions.txt"));
    }

    void downloadBypassesCaches()
    {
        QTemporaryDir dir;
        test::LoopbackHttpServer server;
        server.answers.insert("/f", test::HttpAnswer{.body = "abc"});
        const DownloadResult result = fetch(server.base().resolved(QUrl("/f")), dir.filePath("f"));
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(server.requests[0].toLower().contains("cache-control: no-cache"));
    }

    void failedDownloadKeepsTheOldCopy()
    {
        // The next check downloads over the old copy; a failed one leaves it as it was.
        QTemporaryDir dir;
        const QString target = dir.filePath("versions.txt");
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        test::LoopbackHttpServer server;
        server.answers.insert("/f", test::HttpAnswer{.body = "new"});
        QVERIFY(!fetch(server.base().resolved(QUrl("/missing")), target).ok);
        QFile read(target);
        QVERIFY(read.open(QIODevice::ReadOnly));
        QCOMPARE(read.readAll(), QByteArray("old"));
        read.close();
        QVERIFY(fetch(server.base().resolved(QUrl("/f")), target).ok);
        QVERIFY(read.open(QIODevice::ReadOnly));
        QCOMPARE(read.readAll(), QByteArray("new"));
    }

    void downloadRefusesOtherSchemes_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("file") << "file:///etc/hostname";
        QTest::newRow("ftp") << "ftp://127.0.0.1/x";
        QTest::newRow("empty") << "";
    }
    void downloadRefusesOtherSchemes()
    {
        QFETCH(QString, url);
        QTemporaryDir dir;
        QVERIFY(!fetch(QUrl(url), dir.filePath("x")).ok);
        QVERIFY(!QFileInfo::exists(dir.filePath("x")));
    }

    void unreachableServerFails()
    {
        // A port nobody listens on: refused at once.
        QTemporaryDir appData;
        quint16 port = 0;
        {
            test::LoopbackHttpServer probe;
            port = probe.serverPort();
        }
        test::ScriptedPlatform platform;
        platform.env.insert("AppData", appData.path());
        platform.env.insert(SiteUrlVariable, QStringLiteral("http://127.0.0.1:%1").arg(port));
        platform.messageAnswers = {MessageResult::No};
        checkForUpdate(platform);
        QCOMPARE(platform.messages.size(), 1);
        QCOMPARE(platform.messages.value(0).text, "Web Datafile not found." + Question);
        QVERIFY(platform.openedUrls.isEmpty());
    }

    void downloadedFileMissing()
    {
        QTemporaryDir appData;
        test::ScriptedPlatform platform;
        platform.env.insert("AppData", appData.path());
        platform.downloader = [](const QUrl&, const QString&, const DownloadOptions&) {
            return DownloadResult{true, {}};
        };
        platform.messageAnswers = {MessageResult::Yes};
        checkForUpdate(platform);
        QCOMPARE(platform.messages.size(), 1);
        QCOMPARE(platform.messages.value(0).text, "Downloaded Datafile not foud." + Question);
        QCOMPARE(platform.messages.value(0).title, Title13);
        QCOMPARE(platform.openedUrls, QList<QUrl>{QUrl(AuthorSiteUrl + "/dl/VRX_pv.htm")});
    }

    void downloadTargetAndFolder()
    {
        // AppData with a trailing separator: still one vbTemp folder right under it.
        QTemporaryDir appData;
        test::ScriptedPlatform platform;
        platform.env.insert("AppData", appData.path() + "/");
        QString target;
        platform.downloader = [&](const QUrl&, const QString& file, const DownloadOptions& options) {
            target = file;
            [&] {
                QCOMPARE(options.timeout, 20000ms);
                QCOMPARE(options.maxBytes, qint64(1024 * 1024));
            }();
            QFile out(file);
            if (!out.open(QIODevice::WriteOnly))
                return DownloadResult{false, "cannot write"};
            out.write(Title + ":1.4");
            return DownloadResult{true, {}};
        };
        platform.messageAnswers = {MessageResult::No};
        checkForUpdate(platform);
        QCOMPARE(platform.messages.value(0).text, newerText("1.4"));
        QCOMPARE(target, appData.path() + "/vbTemp/versions.txt");
        QCOMPARE(platform.downloadedUrls, QList<QUrl>{QUrl(AuthorSiteUrl + "/dl/swv.txt")});
    }

    void downloadFolderCannotBeMade()
    {
        // A plain file where the folder should be: the download has nowhere to go.
        QTemporaryDir appData;
        QFile blocker(appData.filePath("vbTemp"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        test::LoopbackHttpServer server;
        server.answers.insert("/dl/swv.txt", test::HttpAnswer{.body = Title + ":1.4"});
        test::ScriptedPlatform platform;
        platform.env.insert("AppData", appData.path());
        platform.env.insert(SiteUrlVariable, server.base().toString());
        platform.messageAnswers = {MessageResult::No};
        checkForUpdate(platform);
        QCOMPARE(platform.messages.value(0).text,
                 QString("Cannot create the download folder \"%1/vbTemp\": Not a directory").arg(appData.path()) + Question);
        QVERIFY(server.requests.isEmpty());
    }
};

// The check that interruptedCheckLeavesNothing ends: from the event loop, as the About window
// starts it, with a deadline far away.
int runCheckUntilKilled(int argc, char** argv)
{
    if (argc != 4 || qstrcmp(argv[1], UntilKilledOption) != 0)
        return -1;
    files::removeTemporariesOnInterrupt();
    test::ScriptedPlatform platform;
    platform.env.insert("AppData", QString::fromLocal8Bit(argv[2]));
    platform.env.insert(SiteUrlVariable, QString::fromLocal8Bit(argv[3]));
    DownloadOptions options;
    options.timeout = 60s;
    QObject context;
    startUpdateCheck(platform, options, &context, [](const UpdateVerdict&) { QCoreApplication::exit(3); });
    return QCoreApplication::exec();
}

int runUpdateCheckTests(int argc, char** argv)
{
    TestUpdateCheck tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "test_update_check.moc"

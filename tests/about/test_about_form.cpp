// The About window: layout, texts, keys, the e-mail link and the check's button.

#include "about/AboutForm.h"
#include "about/Author.h"
#include "tests/support/FormChecks.h"
#include "platform/Identity.h"
#include "tests/about/LoopbackHttpServer.h"
#include "tests/support/ScriptedPlatform.h"
#include "platform/Twips.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace vrx;
using namespace std::chrono_literals;

namespace {

const QString Caption = QStringLiteral("About View & Print VRX Log Files");

// A platform that notes whether the About window took input when the check downloaded
// and when it showed its outcome.
class WatchingPlatform : public test::ScriptedPlatform {
public:
    AboutForm* form = nullptr;
    QList<bool> enabledAtDownload;
    QList<bool> enabledAtMessage;

    void download(const QUrl& url, const QString& target, const DownloadOptions& options, QObject* context,
                  DownloadDone done) override
    {
        enabledAtDownload.append(form && form->isEnabled());
        // Someone hammering the buttons meanwhile changes nothing.
        if (form) {
            form->Command_CheckUpdate_Click();
            form->Command_Close_Click();
        }
        ScriptedPlatform::download(url, target, options, context, std::move(done));
    }
    MessageResult messageBox(QWidget* parent, const QString& text, const QString& title,
                             MessageButtons buttons, MessageIcon icon) override
    {
        enabledAtMessage.append(form && form->isEnabled());
        return ScriptedPlatform::messageBox(parent, text, title, buttons, icon);
    }
};

} // namespace

class TestAboutForm : public QObject {
    Q_OBJECT
private slots:
    void aboutText()
    {
        QCOMPARE(AboutForm::aboutText(),
                 QStringLiteral("Version: 1.3,  Date: Jan 2025\n\nUri Raviz, Israel, 2003 - 2025\n\n"));
        QCOMPARE(authorName(), QStringLiteral("Uri Raviz"));
    }

    void captionAndTextOnTwoOpenings()
    {
        test::ScriptedPlatform platform;
        QWidget owner;
        owner.resize(800, 600);
        owner.show();
        for (int opening = 0; opening < 2; ++opening) {
            QString caption, text;
            QPointer<QWidget> seen;
            QTimer::singleShot(0, [&] {
                auto* form = qobject_cast<AboutForm*>(QApplication::activeModalWidget());
                if (!form)
                    return;
                seen = form;
                caption = form->windowTitle();
                text = form->Label_About->text();
                form->Label_About->setText("changed");   // nothing carries over to the next opening
                form->reject();
            });
            AboutProg_Click(platform, &owner);
            QCOMPARE(caption, Caption);
            QCOMPARE(text, AboutForm::aboutText());
            QVERIFY(seen.isNull());   // destroyed on closing
        }
        QVERIFY(platform.messages.isEmpty());
        QVERIFY(platform.openedUrls.isEmpty());
    }

    void layout()
    {
        test::ScriptedPlatform platform;
        AboutForm form(platform, nullptr);
        QCOMPARE(form.size(), QSize(twips(&form, 3990), twips(&form, 2145)));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QCOMPARE(form.Command_Close->geometry(), twipsRect(&form, 2640, 1560, 1095, 375));
        QCOMPARE(form.Label_About->geometry(), twipsRect(&form, 240, 240, 3495, 735));
        QCOMPARE(form.Command_CheckUpdate->geometry(), twipsRect(&form, 240, 1560, 1455, 375));
        QCOMPARE(form.Label_eMail->pos(), QPoint(twips(&form, 240), twips(&form, 1080)));
        QCOMPARE(form.Label_eMail->text(), AuthorEmail);
        QVERIFY(form.Label_eMail->font().underline());
        QVERIFY(form.Label_About->wordWrap());
        QCOMPARE(form.Command_Close->text(), QStringLiteral("Close"));
        QCOMPARE(form.Command_CheckUpdate->text(), QStringLiteral("Check for Update"));
        QCOMPARE(form.Command_Close->objectName(), QStringLiteral("Command_Close"));
        QCOMPARE(form.Label_eMail->objectName(), QStringLiteral("Label_eMail"));
        // Screen readers read each label as shown (the address, the release text) and each
        // button by its caption; the link says what it does in its description.
        QCOMPARE(test::misreadControls(&form), QString());
        QCOMPARE(QAccessible::queryAccessibleInterface(form.Label_eMail)->text(QAccessible::Name), AuthorEmail);
        QCOMPARE(form.Label_eMail->accessibleDescription(), QStringLiteral("E-mail the author"));
        const Qt::WindowFlags flags = form.windowFlags();
        QVERIFY(flags & Qt::WindowTitleHint);
        QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        for (QPushButton* button : {form.Command_Close, form.Command_CheckUpdate}) {
            QVERIFY(!button->isDefault());
            QVERIFY(!button->autoDefault());
        }
        // Tab goes from Close to Check for Update and back; the labels take no focus.
        QWidget* next = form.Command_Close->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        QCOMPARE(next, form.Command_CheckUpdate);
    }

    // At 96 DPI every text fits its box in the font the window really gets: the face it names
    // or that face's Liberation stand-in, not a wider fallback.
    void textsFitTheirBoxes()
    {
        test::ScriptedPlatform platform;
        AboutForm form(platform, nullptr);
        QCOMPARE(logicalDpi(&form), 96.0);
        QCOMPARE(test::fontsNotAsNamed(&form), QString());
        for (const test::TextFit& fit : test::textFits(&form))
            QVERIFY2(fit.fits(), qPrintable(fit.describe()));
    }

    void keys_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("checks");
        QTest::newRow("Escape on Close") << "Command_Close" << int(Qt::Key_Escape) << true << 0;
        QTest::newRow("Escape on Check for Update") << "Command_CheckUpdate" << int(Qt::Key_Escape) << true << 0;
        QTest::newRow("Enter on Close") << "Command_Close" << int(Qt::Key_Return) << true << 0;
        QTest::newRow("keypad Enter on Close") << "Command_Close" << int(Qt::Key_Enter) << true << 0;
        QTest::newRow("Space on Close") << "Command_Close" << int(Qt::Key_Space) << true << 0;
        QTest::newRow("Enter on Check for Update") << "Command_CheckUpdate" << int(Qt::Key_Return) << false << 1;
        QTest::newRow("Space on Check for Update") << "Command_CheckUpdate" << int(Qt::Key_Space) << false << 1;
        QTest::newRow("other key on Close") << "Command_Close" << int(Qt::Key_A) << false << 0;
    }
    void keys()
    {
        QFETCH(QString, button);
        QFETCH(int, key);
        QFETCH(bool, closes);
        QFETCH(int, checks);
        QTemporaryDir appData;
        test::ScriptedPlatform platform;
        platform.env.insert("AppData", appData.path());
        platform.downloader = [](const QUrl&, const QString&, const DownloadOptions&) {
            return DownloadResult{false, "offline"};
        };
        platform.messageAnswers = {MessageResult::No};
        AboutForm form(platform, nullptr);
        QSignalSpy rejected(&form, &QDialog::rejected);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.focusWidget(), form.Command_Close);   // Close has the focus on opening
        auto* target = form.findChild<QPushButton*>(button);
        QVERIFY(target);
        target->setFocus();
        QTest::keyClick(target, Qt::Key(key));
        QCOMPARE(rejected.count(), closes ? 1 : 0);
        QCOMPARE(form.isVisible(), !closes);
        QCOMPARE(int(platform.downloadedUrls.size()), checks);
        QTRY_COMPARE(int(platform.messages.size()), checks);
    }

    void mailLink()
    {
        test::ScriptedPlatform platform;
        AboutForm form(platform, nullptr);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.Label_eMail, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(platform.openedUrls.size(), 1);
        QCOMPARE(platform.openedUrls[0].toString(QUrl::FullyEncoded),
                 QStringLiteral("mailto:uri.raviz@example.com?subject=View%20and%20Print%20VRX%20Log%20Files"));
        QCOMPARE(platform.openedUrls[0].scheme(), QStringLiteral("mailto"));
        QCOMPARE(QUrlQuery(platform.openedUrls[0]).queryItemValue("subject", QUrl::FullyDecoded),
                 AuthorMailSubject);
        QVERIFY(form.isVisible());
        // A right click or a press that is dragged off the label sends nothing.
        QTest::mouseClick(form.Label_eMail, Qt::RightButton, {}, QPoint(2, 2));
        QCOMPARE(platform.openedUrls.size(), 1);
        QVERIFY(platform.messages.isEmpty());
    }

    void checkTakesNoInputUntilItsAnswer()
    {
        QTemporaryDir appData;
        test::LoopbackHttpServer server;
        server.answers.insert("/dl/swv.txt", test::HttpAnswer{.body = "View & Print VRX Log Files:1.4"});
        WatchingPlatform platform;
        platform.env.insert("AppData", appData.path());
        platform.env.insert("VRXPV_SITE_URL", server.base().toString());
        platform.messageAnswers = {MessageResult::Yes};
        AboutForm form(platform, nullptr);
        platform.form = &form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.Command_CheckUpdate, Qt::LeftButton);
        QTRY_COMPARE(platform.messages.size(), 1);

        QCOMPARE(platform.enabledAtDownload, QList<bool>{false});
        QCOMPARE(platform.enabledAtMessage, QList<bool>{true});
        QCOMPARE(platform.downloadedUrls.size(), 1);
        QCOMPARE(platform.messages.size(), 1);
        QCOMPARE(platform.messages[0].text,
                 QStringLiteral("A newer version  ( 1.4 )  is available.\n\nGoto the Program Homepage for info ?"));
        QCOMPARE(platform.messages[0].title, QStringLiteral("Current Version: 1.3"));
        QCOMPARE(platform.openedUrls, QList<QUrl>{server.base().resolved(QUrl("/dl/VRX_pv.htm"))});
        QVERIFY(form.isVisible());   // the window stays open after the check
        QVERIFY(form.isEnabled());
        QCOMPARE(form.focusWidget(), form.Command_CheckUpdate);
        QCOMPARE(platform.busyOnCalls, 1);
        QVERIFY(!platform.busy);
    }

    void stallingServerDoesNotHangTheWindow()
    {
        QTemporaryDir appData;
        test::LoopbackHttpServer server;
        server.answers.insert("/dl/swv.txt", test::HttpAnswer{.stall = true});
        test::ScriptedPlatform platform;
        platform.env.insert("AppData", appData.path());
        platform.env.insert("VRXPV_SITE_URL", server.base().toString());
        platform.messageAnswers = {MessageResult::No};
        AboutForm form(platform, nullptr);
        form.downloadOptions.timeout = 300ms;
        form.show();
        QElapsedTimer clock;
        clock.start();
        form.Command_CheckUpdate->click();
        // The click came back at once: the window waits from its own event loop, disabled and
        // busy, and neither Escape nor the window's close box ends it meanwhile.
        QVERIFY(platform.busy);
        QVERIFY(!form.isEnabled());
        QTest::keyClick(&form, Qt::Key_Escape);
        form.close();
        QTest::qWait(50);
        QVERIFY(form.isVisible());
        QVERIFY(platform.messages.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(platform.messages.size(), 1, 5000);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(platform.messages.value(0).text,
                 QStringLiteral("Web Datafile not found.\n\nGoto the Program Homepage for info ?"));
        QVERIFY(platform.openedUrls.isEmpty());
        QVERIFY(form.isEnabled());
    }
};

int runAboutFormTests(int argc, char** argv)
{
    TestAboutForm tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "test_about_form.moc"

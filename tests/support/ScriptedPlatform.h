#pragma once
// A platform for tests: dialogs and message boxes answer from a script and are recorded;
// settings and environment live in memory; files and folders are the real ones (tests use
// temporary folders); downloads go through the real Qt download (tests run a loopback server),
// with the proxy variables taken from env.

#include "platform/Platform.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <functional>

namespace vrx::test {

struct ShownMessage {
    QString text;
    QString title;
    MessageButtons buttons;
    MessageIcon icon;
};

class ScriptedPlatform : public Platform {
public:
    // Answers, taken from the front; when empty a message box answers Ok/Yes,
    // and the file and printer dialogs are cancelled.
    QList<MessageResult> messageAnswers;
    QList<std::optional<OpenFileResult>> openAnswers;
    QList<std::optional<PrinterChoice>> printerAnswers;
    bool printers = true;   // false: the system has no printer at all

    // What the program asked.
    QList<ShownMessage> messages;
    QList<OpenFileRequest> openRequests;
    QList<PrinterDialogRequest> printerRequests;
    QList<QUrl> openedUrls;
    QList<QUrl> downloadedUrls;
    int busyOnCalls = 0;
    int busyOffCalls = 0;
    bool busy = false;
    int processEventsCalls = 0;

    // Progress told: each update's text, and the totals started with. Cancel is chosen once
    // this many updates have been told (never when negative).
    QStringList progressTexts;
    QList<qint64> progressTotals;
    int cancelAfterUpdates = -1;

    // Settings keyed "app/section/key", and a count of writes.
    QMap<QString, QVariant> settings;
    int settingWrites = 0;

    QMap<QString, QString> env;
    QString home = QStringLiteral("/home/tester");

    // Optional stand-in for the real download; its result is reported from the event loop.
    std::function<DownloadResult(const QUrl&, const QString&, const DownloadOptions&)> downloader;

    static QString settingKey(const QString& app, const QString& section, const QString& key)
    {
        return app + QLatin1Char('/') + section + QLatin1Char('/') + key;
    }

    MessageResult messageBox(QWidget* parent, const QString& text, const QString& title,
                             MessageButtons buttons, MessageIcon icon) override;
    std::optional<OpenFileResult> openFile(QWidget* parent, const OpenFileRequest& request) override;
    bool printerInstalled() override;
    std::optional<PrinterChoice> printerDialog(QWidget* parent, const PrinterDialogRequest& request) override;
    QVariant readSetting(const QString& appName, const QString& section, const QString& key,
                         const QVariant& defaultValue) override;
    void writeSetting(const QString& appName, const QString& section, const QString& key,
                      const QVariant& value) override;
    QString environment(const QString& name) override;
    bool exists(const QString& path) override;
    void setBusy(bool on) override;
    void processEvents() override;
    std::unique_ptr<TaskProgress> startProgress(QWidget* parent, const QString& title, qint64 total) override;
    void openUrl(const QUrl& url) override;
    void download(const QUrl& url, const QString& targetFile, const DownloadOptions& options,
                  QObject* context, DownloadDone done) override;
    QString homeFolder() override;
};

} // namespace vrx::test

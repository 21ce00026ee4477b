#pragma once
// The platform layer on Qt: real dialogs, QSettings, QDesktopServices; the download on libcurl.

#include "platform/Platform.h"

namespace vrx {

class QtPlatform : public Platform {
public:
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
    void setBusy(bool busy) override;
    void processEvents() override;
    std::unique_ptr<TaskProgress> startProgress(QWidget* parent, const QString& title, qint64 total) override;
    void openUrl(const QUrl& url) override;
    void download(const QUrl& url, const QString& targetFile, const DownloadOptions& options,
                  QObject* context, DownloadDone done) override;
    QString homeFolder() override;
};

} // namespace vrx

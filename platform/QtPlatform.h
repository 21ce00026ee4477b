#pragma once
// The platform layer on Qt: real dialogs, QSettings, QDesktopServices, Qt Network.

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
    void openUrl(const QUrl& url) override;
    DownloadResult download(const QUrl& url, const QString& targetFile,
                            const DownloadOptions& options) override;
    QString homeFolder() override;
};

// The real download, shared by the Qt platform and the test platform (which talks to a
// server on loopback): follows redirects to http/https only, bypasses the cache, gives up
// after options.timeout or past options.maxBytes, and accepts only a 2xx answer. The target
// is replaced by a new file of our own, never written through a link.
DownloadResult downloadToFile(const QUrl& url, const QString& targetFile, const DownloadOptions& options);

} // namespace vrx

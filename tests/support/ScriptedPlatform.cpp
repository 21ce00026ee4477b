#include "tests/support/ScriptedPlatform.h"

#include "platform/Download.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace vrx::test {

MessageResult ScriptedPlatform::messageBox(QWidget*, const QString& text, const QString& title,
                                           MessageButtons buttons, MessageIcon icon)
{
    messages.append({text, title, buttons, icon});
    if (buttons == MessageButtons::Ok)
        return MessageResult::Ok;
    if (messageAnswers.isEmpty())
        return MessageResult::Yes;
    return messageAnswers.takeFirst();
}

std::optional<OpenFileResult> ScriptedPlatform::openFile(QWidget*, const OpenFileRequest& request)
{
    openRequests.append(request);
    if (openAnswers.isEmpty())
        return std::nullopt;
    return openAnswers.takeFirst();
}

bool ScriptedPlatform::printerInstalled()
{
    return printers;
}

std::optional<PrinterChoice> ScriptedPlatform::printerDialog(QWidget*, const PrinterDialogRequest& request)
{
    printerRequests.append(request);
    if (printerAnswers.isEmpty())
        return std::nullopt;
    return printerAnswers.takeFirst();
}

QVariant ScriptedPlatform::readSetting(const QString& appName, const QString& section, const QString& key,
                                       const QVariant& defaultValue)
{
    return settings.value(settingKey(appName, section, key), defaultValue);
}

void ScriptedPlatform::writeSetting(const QString& appName, const QString& section, const QString& key,
                                    const QVariant& value)
{
    ++settingWrites;
    settings.insert(settingKey(appName, section, key), value);
}

QString ScriptedPlatform::environment(const QString& name)
{
    return env.value(name);
}

bool ScriptedPlatform::exists(const QString& path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

void ScriptedPlatform::setBusy(bool on)
{
    (on ? busyOnCalls : busyOffCalls)++;
    busy = on;
}

std::unique_ptr<TaskProgress> ScriptedPlatform::startProgress(QWidget*, const QString&, qint64 total)
{
    class Told : public TaskProgress {
    public:
        explicit Told(ScriptedPlatform& platform) : m_platform(platform) {}
        bool update(qint64, const QString& text) override
        {
            m_platform.progressTexts.append(text);
            return m_platform.cancelAfterUpdates < 0 || m_platform.progressTexts.size() < m_platform.cancelAfterUpdates;
        }

    private:
        ScriptedPlatform& m_platform;
    };
    progressTotals.append(total);
    return std::make_unique<Told>(*this);
}

void ScriptedPlatform::processEvents()
{
    ++processEventsCalls;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ScriptedPlatform::openUrl(const QUrl& url)
{
    openedUrls.append(url);
}

void ScriptedPlatform::download(const QUrl& url, const QString& targetFile, const DownloadOptions& options,
                                QObject* context, DownloadDone done)
{
    downloadedUrls.append(url);
    if (downloader) {
        const DownloadResult result = downloader(url, targetFile, options);
        QMetaObject::invokeMethod(context, [done = std::move(done), result] { done(result); }, Qt::QueuedConnection);
        return;
    }
    startDownload(url, targetFile, options, [this](const QString& name) { return env.value(name); }, context,
                  std::move(done));
}

QString ScriptedPlatform::homeFolder()
{
    return home;
}

} // namespace vrx::test

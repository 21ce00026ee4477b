#include "about/UpdateCheck.h"

#include "about/Author.h"
#include "files/Files.h"
#include "files/Readers.h"
#include "platform/Identity.h"
#include "platform/LogFiles.h"
#include "platform/NativePath.h"

#include <QDir>
#include <QFile>
#include <filesystem>
#include <string>
#include <system_error>

namespace vrx {

namespace {

const QString HomepageQuestion = QStringLiteral("Goto the Program Homepage for info ?");

bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

QString withQuestion(const QString& message)
{
    return message + QStringLiteral("\n\n") + HomepageQuestion;
}

} // namespace

double versionValue(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    return versionValue(std::string_view(utf8.constData(), size_t(utf8.size())));
}

UpdateVerdict judgeVersionData(const QByteArray& data, const QString& title, const QString& currentVersion)
{
    const VersionJudgement judged = judgeVersionData(std::string_view(data.constData(), size_t(data.size())),
                                                     title.toStdString(), currentVersion.toStdString());
    switch (judged.verdict) {
    case VersionVerdict::NoEntry:
        break;
    case VersionVerdict::NewerVersion:
        return {UpdateOutcome::NewerVersion, QString::fromStdString(judged.webVersion), {}};
    case VersionVerdict::LatestVersion:
        return {UpdateOutcome::LatestVersion, QString::fromStdString(judged.webVersion), {}};
    }
    return {UpdateOutcome::NoEntry, {}, {}};
}

QString shownVersion(const QString& version)
{
    // The text comes from the server and can be anything: a box as tall or as wide as the
    // whole text would push its own buttons off the screen.
    qsizetype end = 0;
    while (end < version.size() && end < ShownVersionLength && !isLineEnd(version[end]))
        ++end;
    if (end > 0 && end < version.size() && version[end - 1].isHighSurrogate())
        --end;
    // A NUL ends the text for a screen reader, a direction mark turns the rest of the message
    // round, a line separator breaks it; each shows as U+FFFD instead, so the user sees that
    // something odd came.
    QString shown = shownText(QStringView(version).left(end), UnsafeShown::Replaced);
    if (end < version.size())
        shown += QChar(0x2026);
    return shown;
}

UpdateMessage updateMessage(const UpdateVerdict& verdict)
{
    switch (verdict.outcome) {
    case UpdateOutcome::LocalFailure:
        return {withQuestion(verdict.reason), MessageButtons::YesNo, true};
    case UpdateOutcome::DownloadFailed:
        return {withQuestion(QStringLiteral("Web Datafile not found.")), MessageButtons::YesNo, true};
    case UpdateOutcome::DownloadedFileMissing:
        return {withQuestion(QStringLiteral("Downloaded Datafile not foud.")), MessageButtons::YesNo, true};
    case UpdateOutcome::NoEntry:
        return {withQuestion(QStringLiteral("Data for this program not found.")), MessageButtons::YesNo, true};
    case UpdateOutcome::NewerVersion:
        return {withQuestion(QStringLiteral("A newer version  ( ") + shownVersion(verdict.webVersion)
                             + QStringLiteral(" )  is available.")),
                MessageButtons::YesNo, true};
    case UpdateOutcome::LatestVersion:
        break;
    }
    return {QStringLiteral("This is the latest version."), MessageButtons::Ok, false};
}

QString updateMessageTitle(const QString& currentVersion)
{
    return QStringLiteral("Current Version: ") + currentVersion;
}

QString downloadFolder(Platform& platform)
{
    return joinPath(platform.appDataFolder(), QStringLiteral("vbTemp"));
}

QString localVersionFile(const QString& folder)
{
    return folder + QStringLiteral("/versions.txt");
}

namespace {

UpdateVerdict judgeDownload(const DownloadResult& result, const QString& file, qint64 maxBytes)
{
    if (!result.ok && result.local)
        return {UpdateOutcome::LocalFailure, {}, result.error};
    if (!result.ok)
        return {UpdateOutcome::DownloadFailed, {}, {}};
    if (files::kindOfPath(systemName(file)) != files::PathKind::Regular)
        return {UpdateOutcome::DownloadedFileMissing, {}, {}};

    // A file that cannot be read is as good as one without an entry.
    const std::optional<std::string> data = readFileStart(systemName(file), size_t(std::max<qint64>(0, maxBytes)));
    if (!data)
        return {UpdateOutcome::NoEntry, {}, {}};
    return judgeVersionData(QByteArray::fromStdString(*data), ProgramTitle, VersionText());
}

} // namespace

void startUpdateCheck(Platform& platform, const DownloadOptions& options, QObject* context,
                      std::function<void(const UpdateVerdict&)> done)
{
    const QString folder = downloadFolder(platform);
    std::error_code made;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(folder).toStdString()), made);
    if (made) {
        const UpdateVerdict verdict{UpdateOutcome::LocalFailure, {},
                                    QStringLiteral("Cannot create the download folder \"%1\": %2")
                                        .arg(folder, QString::fromLocal8Bit(made.message()))};
        // Like every other outcome, this one arrives from the event loop.
        QMetaObject::invokeMethod(context, [done = std::move(done), verdict] { done(verdict); },
                                  Qt::QueuedConnection);
        return;
    }
    const QString file = localVersionFile(folder);
    platform.download(versionDataUrl(platform), file, options, context,
                      [file, maxBytes = options.maxBytes, done = std::move(done)](const DownloadResult& result) {
                          done(judgeDownload(result, file, maxBytes));
                      });
}

void reportUpdateVerdict(Platform& platform, QWidget* parent, const UpdateVerdict& verdict)
{
    const UpdateMessage message = updateMessage(verdict);
    const MessageResult answer = platform.messageBox(parent, message.text, updateMessageTitle(VersionText()),
                                                     message.buttons, MessageIcon::None);
    if (message.offersHomepage && answer == MessageResult::Yes)
        platform.openUrl(homepageUrl(platform));
}

} // namespace vrx

#include "QtPlatform.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

namespace vrx {

namespace {

bool isWebScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

} // namespace

DownloadResult downloadToFile(const QUrl& url, const QString& targetFile, const DownloadOptions& options)
{
    if (!url.isValid() || !isWebScheme(url))
        return {false, QStringLiteral("not a web address: %1").arg(url.toString())};

    // The body goes to a temporary file beside the target and replaces it only when the whole
    // answer arrived: a broken transfer never leaves a half file that looks like a download.
    QSaveFile file(targetFile);
    if (!file.open(QIODevice::WriteOnly))
        return {false, QStringLiteral("cannot write %1: %2").arg(targetFile, file.errorString())};

    QNetworkAccessManager manager;
    // Redirects are followed only to http or https, and never from https down to http.
    manager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setMaximumRedirectsAllowed(10);

    QNetworkReply* reply = manager.get(request);
    QString failure;
    qint64 received = 0;

    auto statusCode = [reply] {
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    };
    auto fail = [&](const QString& why) {
        if (failure.isEmpty())
            failure = why;
        if (reply->isRunning())
            reply->abort();
    };

    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
        const int status = statusCode();
        if (status >= 300 && status < 400)
            return;   // a redirect on its way
        if (status != 0 && (status < 200 || status > 299)) {
            fail(QStringLiteral("server answered %1").arg(status));
            return;
        }
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > options.maxBytes)
            fail(QStringLiteral("file larger than %1 bytes").arg(options.maxBytes));
    });

    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        const int status = statusCode();
        if (!failure.isEmpty() || (status >= 300 && status < 400)) {
            reply->readAll();   // nothing of this belongs in the file
            return;
        }
        const QByteArray chunk = reply->readAll();
        if (received + chunk.size() > options.maxBytes) {
            fail(QStringLiteral("file larger than %1 bytes").arg(options.maxBytes));
            return;
        }
        received += chunk.size();
        if (file.write(chunk) != chunk.size())
            fail(QStringLiteral("cannot write %1: %2").arg(targetFile, file.errorString()));
    });

    // One deadline for the whole transfer, so a server that never answers, or drips its
    // answer, cannot hold the program.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, [&] {
        fail(QStringLiteral("no answer within %1 ms").arg(options.timeout.count()));
    });

    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(options.timeout);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    deadline.stop();

    if (failure.isEmpty()) {
        if (reply->error() != QNetworkReply::NoError) {
            failure = reply->errorString();
        } else {
            const int status = statusCode();
            if (status < 200 || status > 299)
                failure = QStringLiteral("server answered %1").arg(status);
            else if (const QByteArray rest = reply->readAll(); !rest.isEmpty()) {
                if (received + rest.size() > options.maxBytes)
                    failure = QStringLiteral("file larger than %1 bytes").arg(options.maxBytes);
                else if (file.write(rest) != rest.size())
                    failure = QStringLiteral("cannot write %1: %2").arg(targetFile, file.errorString());
            }
        }
    }
    // The reply must not call back into this frame's lambdas while the manager tears it down.
    QObject::disconnect(reply, nullptr, nullptr, nullptr);
    delete reply;

    if (!failure.isEmpty()) {
        file.cancelWriting();
        return {false, failure};
    }
    if (!file.commit())
        return {false, QStringLiteral("cannot write %1: %2").arg(targetFile, file.errorString())};
    return {true, QString()};
}

} // namespace vrx

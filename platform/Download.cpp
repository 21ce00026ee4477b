#include "platform/QtPlatform.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>
#include <vector>

namespace vrx {

namespace {

// Longest answer head (status line and header fields) taken from a server. Real heads are a
// few hundred bytes; a server that sends more is not answering a file request.
constexpr qsizetype MaxHeadBytes = 64 * 1024;
constexpr int MaxRedirects = 10;

bool isWebScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool isHttps(const QUrl& url)
{
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

QByteArray requestHead(const QUrl& url)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    const int defaultPort = isHttps(url) ? 443 : 80;
    if (url.port(defaultPort) != defaultPort)
        host += ':' + QByteArray::number(url.port());
    // HTTP/1.0: the answer comes whole, never in chunks, and the connection ends with it.
    return "GET " + target + " HTTP/1.0\r\n"
           "Host: " + host + "\r\n"
           "User-Agent: vrxpv\r\n"
           "Accept-Encoding: identity\r\n"
           "Cache-Control: no-cache\r\n"
           "Pragma: no-cache\r\n"
           "Connection: close\r\n\r\n";
}

struct AnswerHead {
    int status = 0;
    qint64 contentLength = -1;   // -1: the body ends with the connection
    QByteArray location;
    bool chunked = false;
};

// Reads the status line and the header fields; nothing when the head is no HTTP answer.
std::optional<AnswerHead> parseHead(const QByteArray& head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QByteArray statusLine = lines.value(0).trimmed();
    if (!statusLine.startsWith("HTTP/"))
        return std::nullopt;
    const QList<QByteArray> parts = statusLine.split(' ');
    bool ok = false;
    AnswerHead answer;
    answer.status = parts.value(1).toInt(&ok);
    if (!ok || answer.status < 100 || answer.status > 999)
        return std::nullopt;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            answer.contentLength = value.toLongLong(&ok);
            if (!ok || answer.contentLength < 0)
                return std::nullopt;
        } else if (name == "location") {
            answer.location = value;
        } else if (name == "transfer-encoding") {
            answer.chunked = !value.isEmpty() && value.toLower() != "identity";
        }
    }
    return answer;
}

QString systemReason(const std::error_code& error)
{
    return QString::fromLocal8Bit(error.message());
}

} // namespace

DownloadResult downloadToFile(const QUrl& url, const QString& targetFile, const DownloadOptions& options)
{
    if (!url.isValid() || !isWebScheme(url))
        return {false, QStringLiteral("not a web address: %1").arg(url.toString()), false};

    auto cannotWrite = [&targetFile](const QString& reason) {
        return DownloadResult{false, QStringLiteral("Cannot write \"%1\": %2").arg(targetFile, reason), true};
    };

    // A folder in the file's place could never be replaced: say so before asking the server.
    const QFileInfo existing(targetFile);
    if (existing.isDir() && !existing.isSymLink())
        return cannotWrite(systemReason(std::make_error_code(std::errc::is_a_directory)));

    // The body goes to a new file of our own beside the target (created exclusively, so it
    // never follows a link someone put there) and is renamed onto the target only when the
    // whole answer arrived. The rename replaces whatever the target name is, a link included,
    // never the file a link points to; a broken transfer leaves the old copy as it was.
    const QFileInfo target(targetFile);
    QTemporaryFile file(target.path() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    if (!file.open())
        return cannotWrite(file.errorString());

    QString failure;
    qint64 received = 0;
    QUrl current = url;
    int redirects = 0;
    std::optional<AnswerHead> head;
    QByteArray pending;   // the head as it arrives
    std::unique_ptr<QTcpSocket> socket;
    // Sockets of redirected requests: closed at once, deleted when this function returns
    // (they may be the sender of the signal being handled).
    std::vector<std::unique_ptr<QTcpSocket>> finished;
    QEventLoop loop;

    auto stop = [&] {
        if (socket) {
            socket->disconnect();
            socket->abort();   // closes the connection now, whatever the server still sends
            finished.push_back(std::move(socket));
        }
        loop.quit();
    };
    auto fail = [&](const QString& why) {
        if (failure.isEmpty())
            failure = why;
        stop();
    };
    auto writeBody = [&](const QByteArray& chunk) {
        if (chunk.isEmpty())
            return true;
        if (received + chunk.size() > options.maxBytes) {
            fail(QStringLiteral("file larger than %1 bytes").arg(options.maxBytes));
            return false;
        }
        received += chunk.size();
        if (file.write(chunk) != chunk.size()) {
            fail(QStringLiteral("Cannot write \"%1\": %2").arg(targetFile, file.errorString()));
            return false;
        }
        return true;
    };
    auto bodyComplete = [&] { return head && head->contentLength >= 0 && received >= head->contentLength; };

    std::function<void()> start;
    auto onHead = [&](const QByteArray& rest) {
        const int status = head->status;
        if (status >= 300 && status < 400 && !head->location.isEmpty()) {
            const QUrl next = current.resolved(QUrl::fromEncoded(head->location));
            if (!next.isValid() || !isWebScheme(next))
                return fail(QStringLiteral("redirected to %1").arg(next.toString()));
            if (isHttps(current) && !isHttps(next))
                return fail(QStringLiteral("redirected from https to %1").arg(next.toString()));
            if (++redirects > MaxRedirects)
                return fail(QStringLiteral("too many redirects"));
            current = next;
            socket->disconnect();
            socket->abort();
            finished.push_back(std::move(socket));
            start();
            return;
        }
        if (status < 200 || status > 299)
            return fail(QStringLiteral("server answered %1").arg(status));
        if (head->chunked)
            return fail(QStringLiteral("the server sent the file in an unknown transfer encoding"));
        if (head->contentLength > options.maxBytes)
            return fail(QStringLiteral("file larger than %1 bytes").arg(options.maxBytes));
        if (writeBody(head->contentLength >= 0 ? rest.left(head->contentLength) : rest) && bodyComplete())
            stop();
    };
    auto onReadyRead = [&] {
        if (!socket)
            return;
        if (head) {
            QByteArray chunk = socket->readAll();
            if (head->contentLength >= 0)
                chunk.truncate(head->contentLength - received);
            if (writeBody(chunk) && bodyComplete())
                stop();
            return;
        }
        // The head is read in bounded steps, so a server that never ends it cannot fill the
        // memory, and the deadline keeps running between the steps.
        pending += socket->read(MaxHeadBytes + 4 - pending.size());
        qsizetype end = pending.indexOf("\r\n\r\n");
        qsizetype bodyStart = end + 4;
        if (end < 0) {
            end = pending.indexOf("\n\n");
            bodyStart = end + 2;
        }
        if (end < 0) {
            if (pending.size() > MaxHeadBytes)
                fail(QStringLiteral("answer head longer than %1 bytes").arg(MaxHeadBytes));
            return;
        }
        head = parseHead(pending.left(end));
        if (!head)
            return fail(QStringLiteral("the server's answer is not HTTP"));
        const QByteArray rest = pending.mid(bodyStart) + (head->status >= 200 && head->status < 300
                                                              ? socket->readAll() : QByteArray());
        pending.clear();
        onHead(rest);
    };
    auto onDisconnected = [&] {
        if (!head)
            return fail(QStringLiteral("the server closed the connection without an answer"));
        if (head->contentLength >= 0 && received < head->contentLength)
            return fail(QStringLiteral("the server closed the connection early"));
        stop();
    };
    start = [&] {
        head.reset();
        pending.clear();
        if (isHttps(current)) {
            if (!QSslSocket::supportsSsl())
                return fail(QStringLiteral("https is not available"));
            socket = std::make_unique<QSslSocket>();
        } else {
            socket = std::make_unique<QTcpSocket>();
        }
        QTcpSocket* s = socket.get();
        QObject::connect(s, &QTcpSocket::readyRead, s, onReadyRead);
        QObject::connect(s, &QTcpSocket::disconnected, s, onDisconnected);
        QObject::connect(s, &QAbstractSocket::errorOccurred, s, [&, s](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                return;   // the end of the answer, handled on disconnected
            fail(s->errorString());
        });
        const quint16 port = quint16(current.port(isHttps(current) ? 443 : 80));
        const QByteArray request = requestHead(current);
        if (auto* ssl = qobject_cast<QSslSocket*>(s)) {
            QObject::connect(ssl, &QSslSocket::encrypted, ssl, [ssl, request] { ssl->write(request); });
            ssl->connectToHostEncrypted(current.host(), port);
        } else {
            QObject::connect(s, &QTcpSocket::connected, s, [s, request] { s->write(request); });
            s->connectToHost(current.host(), port);
        }
    };

    // One deadline for the whole exchange, redirects and answer heads included, so a server
    // that never answers, drips its answer or never ends its head cannot hold the program.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        fail(QStringLiteral("no answer within %1 ms").arg(options.timeout.count()));
    });
    deadline.start(options.timeout);
    start();
    if (socket)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    deadline.stop();
    if (socket) {
        socket->disconnect();
        socket->abort();
    }

    if (!failure.isEmpty())
        return {false, failure, false};
    if (!file.flush())
        return cannotWrite(file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        return cannotWrite(file.errorString());
    std::error_code renamed;
    std::filesystem::rename(std::filesystem::path(QFile::encodeName(file.fileName()).toStdString()),
                            std::filesystem::path(QFile::encodeName(targetFile).toStdString()), renamed);
    if (renamed)
        return cannotWrite(systemReason(renamed));
    file.setAutoRemove(false);
    return {true, QString(), false};
}

} // namespace vrx

#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for the download tests: each path answers as the
// test scripts it (status, body, redirect, or silence), one request per connection. It also
// stands in for a proxy (a request names the whole address then) and, given a certificate,
// speaks TLS.

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace vrx::test {

struct HttpAnswer {
    int status = 200;
    QByteArray body;
    QByteArray location;          // for redirects
    bool sendLength = true;       // Content-Length header, else the body ends with the connection
    bool stall = false;           // read the request, never answer
    bool endlessHeaders = false;  // a status line, then header fields for as long as the client reads
    bool dripHeaders = false;     // a status line, then one short header field every 20 ms, never ending
    bool chunked = false;         // the body in chunks of 100 bytes (Transfer-Encoding: chunked)
    bool cutShort = false;        // the connection closes after half the body (and before the last chunk)
    QByteArray extraHeaders;      // more header fields, each ending in CR LF
};

} // namespace vrx::test

Q_DECLARE_METATYPE(vrx::test::HttpAnswer)

namespace vrx::test {

class LoopbackHttpServer : public QTcpServer {
    Q_OBJECT
public:
    LoopbackHttpServer()
    {
        connect(this, &QTcpServer::newConnection, this, &LoopbackHttpServer::accept);
        listen(QHostAddress::LocalHost, 0);
    }
    ~LoopbackHttpServer() override
    {
        // Sockets still open are closed as children of the server; their handlers, which
        // count on the server, must not run while it is half destroyed.
        for (QTcpSocket* socket : findChildren<QTcpSocket*>())
            socket->disconnect();
    }

    QUrl base() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(serverPort()));
    }

    QMap<QByteArray, HttpAnswer> answers;   // by path; anything else is 404
    QList<QByteArray> requests;             // the request heads received, in order

    // Connections the client has not closed yet.
    int openConnections() const { return m_open; }

    // Speak TLS with this certificate from the next connection on.
    void useTls(const QSslCertificate& certificate, const QSslKey& key)
    {
        m_certificate = certificate;
        m_key = key;
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (m_certificate.isNull())
            return QTcpServer::incomingConnection(descriptor);
        auto* socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->setLocalCertificate(m_certificate);
        socket->setPrivateKey(m_key);
        socket->startServerEncryption();
        addPendingConnection(socket);
    }

private:
    void accept()
    {
        while (QTcpSocket* socket = nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
            ++m_open;
            connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                --m_open;
                socket->deleteLater();
            });
        }
    }

    void serve(QTcpSocket* socket)
    {
        QByteArray& head = m_pending[socket];
        head += socket->readAll();
        if (!head.contains("\r\n\r\n"))
            return;
        const QByteArray request = head;
        m_pending.remove(socket);
        requests.append(request);

        const QByteArray path = request.split(' ').value(1);
        const HttpAnswer answer = answers.value(path, HttpAnswer{.status = 404, .body = "<html>Not Found</html>"});
        if (answer.stall)
            return;
        if (answer.endlessHeaders) {
            socket->write("HTTP/1.1 200 Scripted\r\n");
            // A TLS socket reports bytes written from inside write(): no second round then.
            auto more = [socket, busy = std::make_shared<bool>(false)] {
                if (*busy)
                    return;
                *busy = true;
                static int field = 0;
                auto* tls = qobject_cast<QSslSocket*>(socket);
                while (socket->bytesToWrite() + (tls ? tls->encryptedBytesToWrite() : 0) < 64 * 1024)
                    socket->write("X-Filler-" + QByteArray::number(++field) + ": " + QByteArray(100, 'x') + "\r\n");
                *busy = false;
            };
            connect(socket, &QTcpSocket::bytesWritten, socket, more);
            more();
            return;
        }
        if (answer.dripHeaders) {
            socket->write("HTTP/1.1 200 Scripted\r\n");
            auto* drip = new QTimer(socket);
            connect(drip, &QTimer::timeout, socket, [socket] { socket->write("X-Wait: a moment\r\n"); });
            drip->start(20);
            return;
        }

        QByteArray reply = "HTTP/1.1 " + QByteArray::number(answer.status) + " Scripted\r\n";
        if (!answer.location.isEmpty())
            reply += "Location: " + answer.location + "\r\n";
        reply += "Content-Type: text/plain\r\n";
        if (answer.sendLength)
            reply += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
        if (answer.chunked)
            reply += "Transfer-Encoding: chunked\r\n";
        reply += answer.extraHeaders + "Connection: close\r\n\r\n";
        const QByteArray body = answer.cutShort ? answer.body.left(answer.body.size() / 2) : answer.body;
        if (answer.chunked) {
            for (qsizetype at = 0; at < body.size(); at += 100) {
                const QByteArray chunk = body.mid(at, 100);
                reply += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
            }
            if (!answer.cutShort)
                reply += "0\r\n\r\n";
        } else {
            reply += body;
        }
        socket->write(reply);
        socket->disconnectFromHost();
    }

    QMap<QTcpSocket*, QByteArray> m_pending;
    int m_open = 0;
    QSslCertificate m_certificate;
    QSslKey m_key;
};

} // namespace vrx::test

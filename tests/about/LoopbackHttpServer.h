#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for the download tests: each path answers as the
// test scripts it (status, body, redirect, or silence), one request per connection.

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace vrx::test {

struct HttpAnswer {
    int status = 200;
    QByteArray body;
    QByteArray location;          // for redirects
    bool sendLength = true;       // Content-Length header, else the body ends with the connection
    bool stall = false;           // read the request, never answer
    bool endlessHeaders = false;  // a status line, then header fields for as long as the client reads
    bool dripHeaders = false;     // a status line, then one short header field every 20 ms, never ending
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
            auto more = [socket] {
                static int field = 0;
                while (socket->bytesToWrite() < 64 * 1024)
                    socket->write("X-Filler-" + QByteArray::number(++field) + ": " + QByteArray(100, 'x') + "\r\n");
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
        reply += "Connection: close\r\n\r\n";
        reply += answer.body;
        socket->write(reply);
        socket->disconnectFromHost();
    }

    QMap<QTcpSocket*, QByteArray> m_pending;
    int m_open = 0;
};

} // namespace vrx::test

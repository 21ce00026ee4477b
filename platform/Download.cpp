#include "platform/Download.h"

#include "files/Files.h"
#include "platform/SystemReason.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSocketNotifier>
#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <system_error>
#include <unordered_map>

#ifdef Q_OS_WIN
#include <QNetworkProxyFactory>
#endif

#include <curl/curl.h>

namespace vrx {

namespace {

constexpr int MaxRedirects = 10;
// Longest answer heads (status lines and header fields) taken from the servers of one download,
// every answer counted: redirects, interim answers and trailers. Real heads are a few hundred
// bytes; a server that sends more is not answering a file request.
constexpr qint64 MaxHeadBytes = 64 * 1024;

bool isWebScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool isHttps(const QUrl& url)
{
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

QString firstSet(const EnvironmentLookup& environment, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        const QString value = environment(QString::fromLatin1(name)).trimmed();
        if (!value.isEmpty())
            return value;
    }
    return {};
}

std::filesystem::path filesystemPath(const QString& name)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(name.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(name).toStdString());
#endif
}

// A name as the files layer takes it: the system's bytes (UTF-8 on Windows).
std::string systemName(const QString& name)
{
#ifdef Q_OS_WIN
    return name.toStdString();
#else
    return QFile::encodeName(name).toStdString();
#endif
}

// Whether a name is one that openScratchFile() gives: the stem, then letters and digits.
bool isScratchName(const QString& name, const QString& stem)
{
    if (!name.startsWith(stem) || name.size() == stem.size())
        return false;
    return std::all_of(name.cbegin() + stem.size(), name.cend(),
                       [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z'); });
}

// libcurl is set up once for the whole program, on first use.
void setUpCurl()
{
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Q_UNUSED(ready);
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// One download, from the request to the renamed file, driven by the program's event loop
// (libcurl's multi interface on socket notifiers and a timer): no thread of its own and no
// loop inside a call. It belongs to the caller's context object, so it ends when that goes;
// otherwise it deletes itself once it has reported.
class Download : public QObject {
public:
    Download(QObject* context, const QString& targetFile, const DownloadOptions& options,
             const EnvironmentLookup& environment, DownloadDone done)
        : QObject(context)
        , m_target(targetFile)
        , m_options(options)
        , m_done(std::move(done))
    {
        // Read once, so every request of this download, redirects included, sees the same.
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                 "ALL_PROXY", "no_proxy", "NO_PROXY"})
            m_environment.insert(QString::fromLatin1(name), environment(QString::fromLatin1(name)));
    }

    ~Download() override
    {
        if (m_fileMade && !m_renamed)
            removeScratchFile();
        stopTransfer();
        // Let go of libcurl while every member is still here: it may still name sockets to
        // forget as it closes what it holds.
        m_easy.reset();
        m_multi.reset();
    }

    void start(const QUrl& url)
    {
        if (!url.isValid() || !isWebScheme(url))
            return report({false, QStringLiteral("not a web address: %1").arg(url.toString()), false});
        // A folder in the file's place could never be replaced: say so before asking the server.
        const QFileInfo existing(m_target);
        if (existing.isDir() && !existing.isSymLink())
            return report(cannotWrite(systemReason(std::make_error_code(std::errc::is_a_directory)), true));
        removeLeftScratchFiles();
        if (!openScratchFile())
            return report(cannotWrite(m_file.errorString(), true));
        m_fileMade = true;

        setUpCurl();
        m_multi.reset(curl_multi_init());
        m_easy.reset(curl_easy_init());
        if (!m_multi || !m_easy)
            return report({false, QStringLiteral("the network library could not be set up"), false});
        curl_multi_setopt(m_multi.get(), CURLMOPT_SOCKETFUNCTION, &Download::onSocket);
        curl_multi_setopt(m_multi.get(), CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(m_multi.get(), CURLMOPT_TIMERFUNCTION, &Download::onTimer);
        curl_multi_setopt(m_multi.get(), CURLMOPT_TIMERDATA, this);
        m_curlTimer.setSingleShot(true);
        connect(&m_curlTimer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });

        CURL* easy = m_easy.get();
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_curlError);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        // HTTP/1.1 only: one small file gains nothing from HTTP/2.
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        // Redirects are followed here, one request at a time, so each is checked.
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
        // The connection closes when the answer is in, not kept for a next request.
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "vrxpv");
        // The proxy's own answer to CONNECT is not the server's.
        curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        // The file as it is stored, fresh from the server: a compressed answer would be a
        // different size on disk, and a cache may hold an old list.
        for (const char* field : {"Accept-Encoding: identity", "Cache-Control: no-cache", "Pragma: no-cache",
                                  "Connection: close"})
            m_fields.reset(curl_slist_append(m_fields.release(), field));
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_fields.get());
        if (!m_options.trustedCertificates.isEmpty()) {
            curl_blob blob{const_cast<char*>(m_options.trustedCertificates.constData()),
                           size_t(m_options.trustedCertificates.size()), CURL_BLOB_COPY};
            curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
        }
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Download::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Download::onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        // libcurl refuses an answer whose length is announced past the bound before its body
        // comes (and newer ones stop any body there); takeBody() counts a body of no length.
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(m_options.maxBytes));

        // One deadline for the whole exchange, redirects and answer heads included, so a
        // server that never answers, drips its answer or never ends its head cannot hold the
        // check.
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] {
            m_failure = QStringLiteral("no answer within %1 ms").arg(m_options.timeout.count());
            end();
        });
        m_deadline.start(m_options.timeout);
        request(url);
    }

private:
    // One request of the download: the first, or one after a redirect.
    void request(const QUrl& url)
    {
        m_current = url;
        m_headStarts = true;
        m_takingBody = false;
        CURL* easy = m_easy.get();
        const QByteArray address = url.toEncoded();
        curl_easy_setopt(easy, CURLOPT_URL, address.constData());
        // An empty proxy or no_proxy keeps libcurl from reading the variables itself: the
        // choice is made here, from the environment the download was given.
        const QByteArray proxy = proxyFor(url).toUtf8();
        curl_easy_setopt(easy, CURLOPT_PROXY, proxy.constData());
        const QByteArray noProxy = firstSet(lookup(), {"no_proxy", "NO_PROXY"}).toUtf8();
        curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxy.constData());
        if (curl_multi_add_handle(m_multi.get(), easy) != CURLM_OK) {
            m_failure = QStringLiteral("the request could not be started");
            return end();
        }
        m_transferring = true;
    }

    EnvironmentLookup lookup() const
    {
        return [this](const QString& name) { return m_environment.value(name); };
    }

    QString proxyFor(const QUrl& url) const
    {
        QString proxy = proxyFromEnvironment(url, lookup());
#ifdef Q_OS_WIN
        // Windows programs take their proxy from the system's Internet settings.
        if (proxy.isEmpty()) {
            const QList<QNetworkProxy> system = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
            const QNetworkProxy first = system.value(0);
            if (first.type() == QNetworkProxy::HttpProxy)
                proxy = QStringLiteral("http://%1:%2").arg(first.hostName()).arg(first.port());
            else if (first.type() == QNetworkProxy::Socks5Proxy)
                proxy = QStringLiteral("socks5h://%1:%2").arg(first.hostName()).arg(first.port());
        }
#endif
        return proxy;
    }

    DownloadResult cannotWrite(const QString& reason, bool local) const
    {
        return {false, QStringLiteral("Cannot write \"%1\": %2").arg(m_target, reason), local};
    }

    static bool isSuccess(long status) { return status >= 200 && status <= 299; }

    long status() const
    {
        long code = 0;
        curl_easy_getinfo(m_easy.get(), CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    // Sets the reason for the end; returning 0 from a callback then makes libcurl stop the
    // transfer and close its connection.
    size_t refuse(const QString& why)
    {
        if (m_failure.isEmpty())
            m_failure = why;
        return 0;
    }

    // One line of an answer head at a time, for every answer (a redirect's too).
    static size_t onHeader(char* data, size_t size, size_t count, void* self)
    {
        return static_cast<Download*>(self)->takeHeaderLine(QByteArray::fromRawData(data, qsizetype(size * count)));
    }

    size_t takeHeaderLine(const QByteArray& line)
    {
        // Every line of every head counts, for the whole download: nothing a server sends sets
        // the count back.
        m_headBytes += line.size();
        if (m_headBytes > MaxHeadBytes)
            return refuse(QStringLiteral("answer heads longer than %1 bytes").arg(MaxHeadBytes));
        if (m_headStarts) {
            // The status line of an answer; an interim answer (100 Continue) is followed by the
            // whole head of the next. Only here does a head begin, whatever a field looks like.
            m_headStarts = false;
            m_length = -1;
            m_lengthsDisagree = false;
            m_takingBody = false;
            return line.size();
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare("content-length", Qt::CaseInsensitive) == 0) {
            // Two fields that disagree leave the end of the file open to guessing.
            bool ok = false;
            const qint64 length = line.mid(colon + 1).trimmed().toLongLong(&ok);
            if (!ok || length < 0 || (m_length >= 0 && m_length != length))
                m_lengthsDisagree = true;
            m_length = length;
        }
        if (line != "\r\n" && line != "\n")
            return line.size();
        // The head is complete; what comes through here next is another answer's head.
        m_headStarts = true;
        // Only a 2xx answer is the file.
        if (!isSuccess(status()))
            return line.size();
        if (m_lengthsDisagree)
            return refuse(QStringLiteral("the answer gives no single length"));
        m_takingBody = true;
        return line.size();
    }

    static size_t onBody(char* data, size_t size, size_t count, void* self)
    {
        return static_cast<Download*>(self)->takeBody(data, qint64(size * count));
    }

    size_t takeBody(const char* data, qint64 size)
    {
        if (!m_takingBody)
            return size_t(size);   // the text of an error page or a redirect
        if (m_received + size > m_options.maxBytes)
            return refuse(QStringLiteral("file larger than %1 bytes").arg(m_options.maxBytes));
        m_received += size;
        if (m_file.write(data, size) != size)
            return refuse(cannotWrite(m_file.errorString(), false).error);
        return size_t(size);
    }

    // libcurl names the sockets to watch; each gets a notifier for reading and one for writing.
    static int onSocket(CURL*, curl_socket_t socket, int what, void* self, void*)
    {
        static_cast<Download*>(self)->watch(socket, what);
        return 0;
    }

    void watch(curl_socket_t socket, int what)
    {
        Watch& watch = m_watches[socket];
        const auto use = [&](std::unique_ptr<QSocketNotifier>& notifier, QSocketNotifier::Type type, bool on,
                             int event) {
            if (on && !notifier) {
                notifier.reset(new QSocketNotifier(qintptr(socket), type));
                connect(notifier.get(), &QSocketNotifier::activated, this, [this, socket, event] {
                    act(socket, event);
                });
            }
            if (notifier)
                notifier->setEnabled(on);
        };
        use(watch.read, QSocketNotifier::Read, what == CURL_POLL_IN || what == CURL_POLL_INOUT, CURL_CSELECT_IN);
        use(watch.write, QSocketNotifier::Write, what == CURL_POLL_OUT || what == CURL_POLL_INOUT, CURL_CSELECT_OUT);
        if (what == CURL_POLL_REMOVE) {
            // This may run inside one of the notifier's own signals: let the event loop delete it.
            for (std::unique_ptr<QSocketNotifier>* notifier : {&watch.read, &watch.write}) {
                if (*notifier)
                    notifier->release()->deleteLater();
            }
            m_watches.erase(socket);
        }
    }

    static int onTimer(CURLM*, long milliseconds, void* self)
    {
        QTimer& timer = static_cast<Download*>(self)->m_curlTimer;
        if (milliseconds < 0)
            timer.stop();
        else
            timer.start(int(milliseconds));
        return 0;
    }

    // Lets libcurl work on what the socket or its timer has for it, then sees whether the
    // request has ended.
    void act(curl_socket_t socket, int events)
    {
        if (!m_transferring)
            return;
        int running = 0;
        curl_multi_socket_action(m_multi.get(), socket, events, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(m_multi.get(), &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy.get())
                return requestEnded(message->data.result);
        }
    }

    void requestEnded(CURLcode code)
    {
        stopTransfer();
        if (m_failure.isEmpty() && code != CURLE_OK)
            m_failure = m_curlError[0] ? QString::fromUtf8(m_curlError) : QString::fromUtf8(curl_easy_strerror(code));
        if (!m_failure.isEmpty())
            return end();
        const long answer = status();
        char* location = nullptr;
        curl_easy_getinfo(m_easy.get(), CURLINFO_REDIRECT_URL, &location);
        if (answer >= 300 && answer <= 399 && location) {
            const QUrl next = QUrl::fromEncoded(location);
            if (!next.isValid() || !isWebScheme(next))
                m_failure = QStringLiteral("redirected to %1").arg(next.toString());
            else if (isHttps(m_current) && !isHttps(next))
                m_failure = QStringLiteral("redirected from https to %1").arg(next.toString());
            else if (++m_redirects > MaxRedirects)
                m_failure = QStringLiteral("too many redirects");
            else
                return request(next);
            return end();
        }
        if (!isSuccess(answer))
            m_failure = QStringLiteral("server answered %1").arg(answer);
        end();
    }

    // Takes the request out of libcurl, which closes its connection at once if the answer
    // was still coming.
    void stopTransfer()
    {
        if (!m_transferring)
            return;
        m_transferring = false;
        curl_multi_remove_handle(m_multi.get(), m_easy.get());
    }

    void end()
    {
        if (m_ended)
            return;
        m_ended = true;
        stopTransfer();
        m_deadline.stop();
        m_curlTimer.stop();
        report(outcome());
    }

    DownloadResult outcome()
    {
        if (!m_failure.isEmpty())
            return {false, m_failure, false};
        if (!m_file.flush())
            return cannotWrite(m_file.errorString(), false);
        m_file.close();
        if (m_file.error() != QFileDevice::NoError)
            return cannotWrite(m_file.errorString(), false);
        // The rename replaces whatever the target name is, a link included, never the file a
        // link points to; until now the old copy stayed as it was.
        std::error_code renamed;
        std::filesystem::rename(filesystemPath(m_file.fileName()), filesystemPath(m_target), renamed);
        if (renamed)
            return cannotWrite(systemReason(renamed), false);
        m_renamed = true;
        files::unregisterTemporary(systemName(m_file.fileName()));
        return {true, QString(), false};
    }

    // The body goes to a new file of our own beside the target, made exclusively (so it never
    // follows a link someone put there) and renamed onto the target only when the whole answer
    // arrived. Not a QTemporaryFile: that keeps its file open until it is destroyed, and Windows
    // renames no open file.
    // It is removed however the download ends, also when the program is interrupted (SIGINT,
    // SIGTERM, SIGHUP: files::removeTemporariesOnInterrupt, which main() sets up).
    bool openScratchFile()
    {
        const QFileInfo target(m_target);
        const QString stem = target.path() + QLatin1Char('/') + scratchStem();
        for (int attempt = 0; attempt < 64; ++attempt) {
            m_file.setFileName(stem + QString::number(QRandomGenerator::global()->generate(), 36));
            if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                files::registerTemporary(systemName(m_file.fileName()));
                return true;
            }
            const QFileInfo taken(m_file.fileName());
            if (!taken.exists() && !taken.isSymLink())
                return false;   // another reason than the name: a new name will not help
        }
        return false;
    }

    // ".versions.txt.": the scratch files' names begin so, after the target's own.
    QString scratchStem() const
    {
        return QLatin1Char('.') + QFileInfo(m_target).fileName() + QLatin1Char('.');
    }

    void removeScratchFile()
    {
        files::unregisterTemporary(systemName(m_file.fileName()));
        m_file.remove();
    }

    // A download killed before its end (the program ended by force, the power cut) left its
    // scratch file behind. One last written longer ago than a download may take belongs to no
    // download still running, and goes.
    void removeLeftScratchFiles()
    {
        const QFileInfo target(m_target);
        const QString stem = scratchStem();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QFileInfoList found = QDir(target.path()).entryInfoList({stem + QLatin1Char('*')},
                                                                      QDir::Files | QDir::Hidden | QDir::System);
        for (const QFileInfo& file : found) {
            if (isScratchName(file.fileName(), stem) && !file.isSymLink()
                && file.lastModified().toUTC().msecsTo(now) > qint64(m_options.timeout.count()))
                QFile::remove(file.filePath());
        }
    }

    // The outcome goes to the caller from the event loop, never from inside the caller's own
    // call; this download is deleted then.
    void report(const DownloadResult& result)
    {
        // A failed transfer leaves nothing behind, not even until this download is deleted.
        if (m_fileMade && !result.ok)
            removeScratchFile();
        QMetaObject::invokeMethod(this, [this, result] {
            const DownloadDone done = std::move(m_done);
            deleteLater();
            done(result);
        }, Qt::QueuedConnection);
    }

    struct Watch {
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };

    QString m_target;
    DownloadOptions m_options;
    DownloadDone m_done;
    QHash<QString, QString> m_environment;
    QFile m_file;   // removed with this download unless renamed onto the target
    std::unordered_map<curl_socket_t, Watch> m_watches;
    std::unique_ptr<curl_slist, ListDeleter> m_fields;
    std::unique_ptr<CURLM, MultiDeleter> m_multi;
    std::unique_ptr<CURL, EasyDeleter> m_easy;
    char m_curlError[CURL_ERROR_SIZE] = {};
    QTimer m_curlTimer;
    QTimer m_deadline;
    QUrl m_current;
    QString m_failure;
    qint64 m_received = 0;
    qint64 m_headBytes = 0;
    qint64 m_length = -1;
    int m_redirects = 0;
    bool m_lengthsDisagree = false;
    bool m_headStarts = true;   // the next line of a head is an answer's status line
    bool m_fileMade = false;
    bool m_renamed = false;
    bool m_takingBody = false;
    bool m_transferring = false;
    bool m_ended = false;
};

} // namespace

QString proxyFromEnvironment(const QUrl& url, const EnvironmentLookup& environment)
{
    const QString proxy = isHttps(url) ? firstSet(environment, {"https_proxy", "HTTPS_PROXY"})
                                       : firstSet(environment, {"http_proxy", "HTTP_PROXY"});
    return proxy.isEmpty() ? firstSet(environment, {"all_proxy", "ALL_PROXY"}) : proxy;
}

void startDownload(const QUrl& url, const QString& targetFile, const DownloadOptions& options,
                   const EnvironmentLookup& environment, QObject* context, DownloadDone done)
{
    auto* download = new Download(context, targetFile, options, environment, std::move(done));
    download->start(url);
}

} // namespace vrx

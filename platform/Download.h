#pragma once
// The update download on libcurl: HTTP/1.1 (chunked answers too), TLS with the system's
// trust, redirects, and proxies taken from the environment as curl and wget take them.

#include "platform/Platform.h"

#include <functional>

namespace vrx {

// Reads a variable of the environment; empty when it is not set.
using EnvironmentLookup = std::function<QString(const QString& name)>;

// The proxy the environment names for a request to url, as curl reads it ("http://host:port",
// "host:port", "socks5h://host"): https_proxy for https, http_proxy for http (each also in
// capitals, the small letters first), then all_proxy. Empty when none is named.
QString proxyFromEnvironment(const QUrl& url, const EnvironmentLookup& environment);

// The real download, shared by the Qt platform and the test platform (which talks to servers
// on loopback): follows at most 10 redirects, to http or https only and never from https to
// http; goes around caches; gives up after options.timeout for the whole exchange, past
// options.maxBytes or past 64 KiB of answer heads in all; accepts only a 2xx answer of one
// length. The target is replaced by a new file of our own only when the whole answer arrived,
// never written through a link; that file is removed however the download ends (on an
// interrupt too, once main() has called files::removeTemporariesOnInterrupt), and one that a
// killed program left is removed by the next download. The connection is closed as soon as
// the download ends.
// Proxies come from the environment (proxyFromEnvironment, and no_proxy); no_proxy lists hosts
// reached directly, as curl reads it. On Windows, without a proxy variable, the system's
// Internet settings name the proxy.
// Returns at once; `done` is called later from the event loop, unless `context` goes first.
void startDownload(const QUrl& url, const QString& targetFile, const DownloadOptions& options,
                   const EnvironmentLookup& environment, QObject* context, DownloadDone done);

} // namespace vrx

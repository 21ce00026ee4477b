#include "QtPlatform.h"

namespace vrx {

DownloadResult downloadToFile(const QUrl& url, const QString& targetFile, const DownloadOptions& options)
{
    Q_UNUSED(url);
    Q_UNUSED(targetFile);
    Q_UNUSED(options);
    return DownloadResult{false, QStringLiteral("download not available")};
}

} // namespace vrx

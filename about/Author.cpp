#include "about/Author.h"

#include "platform/Identity.h"
#include "platform/Platform.h"

#include <QUrlQuery>

namespace vrx {

QUrl authorMailUrl()
{
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(AuthorEmail);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), AuthorMailSubject);
    url.setQuery(query);
    return url;
}

static bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QUrl siteUrl(Platform& platform)
{
    // Anything but a plain web address (a typo, a file: URL) is ignored, so the home page
    // the user is offered is always a web page.
    const QString override = platform.environment(SiteUrlVariable).trimmed();
    if (!override.isEmpty()) {
        const QUrl url(override, QUrl::StrictMode);
        if (isWebAddress(url))
            return url;
    }
    return QUrl(AuthorSiteUrl);
}

static QUrl onSite(Platform& platform, const QString& path)
{
    QUrl url = siteUrl(platform);
    QString base = url.path();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    url.setPath(base + path);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

QUrl versionDataUrl(Platform& platform)
{
    return onSite(platform, VersionDataPath);
}

QUrl homepageUrl(Platform& platform)
{
    return onSite(platform, HomepagePath);
}

} // namespace vrx

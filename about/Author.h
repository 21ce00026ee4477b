#pragma once
// Who wrote the program and where to reach him: the one place for the author's
// address, the authorship line and the web site the update check talks to.

#include <QString>
#include <QUrl>

namespace vrx {

class Platform;

// The author's e-mail address, shown in the About window and used for the mail link.
// A placeholder in the reserved example.com domain until the author's real address is filled in.
inline const QString AuthorEmail = QStringLiteral("uri.raviz@example.com");

inline const QString AuthorCountry = QStringLiteral("Israel");
inline const QString AuthorYears = QStringLiteral("2003 - 2025");

// Subject of a new mail to the author.
inline const QString AuthorMailSubject = QStringLiteral("View and Print VRX Log Files");

// The author's web site: the version data file and the program's home page live there.
// A placeholder in the reserved example.com domain until the real host is filled in;
// VRXPV_SITE_URL overrides it (a mirror, or a test server).
inline const QString AuthorSiteUrl = QStringLiteral("https://www.example.com");
inline const QString SiteUrlVariable = QStringLiteral("VRXPV_SITE_URL");
inline const QString VersionDataPath = QStringLiteral("/dl/swv.txt");
inline const QString HomepagePath = QStringLiteral("/dl/VRX_pv.htm");

// The author's name: what follows the company in the settings application name
// ("Zero & Vevod  Uri Raviz" gives "Uri Raviz").
QString authorName();

// Name, country and years, e.g. "Uri Raviz, Israel, 2003 - 2025".
QString authorshipLine();

// "mailto:" + address + "?subject=View and Print VRX Log Files", properly encoded.
QUrl authorMailUrl();

// The web site: VRXPV_SITE_URL when it holds an http or https address, else AuthorSiteUrl.
QUrl siteUrl(Platform& platform);
QUrl versionDataUrl(Platform& platform);
QUrl homepageUrl(Platform& platform);

} // namespace vrx

#pragma once
// Who wrote the program and where to reach him: the mail link and the addresses on the web site
// the update check talks to.

#include "platform/Identity.h"

#include <QString>
#include <QUrl>

namespace vrx {

class Platform;

// The author's texts (ProgramIdentity.h) as the windows use them.
inline const QString AuthorEmail = toQString(identity::AuthorEmail);
inline const QString AuthorCountry = toQString(identity::AuthorCountry);
inline const QString AuthorYears = toQString(identity::AuthorYears);
inline const QString AuthorMailSubject = toQString(identity::AuthorMailSubject);
inline const QString AuthorSiteUrl = toQString(identity::AuthorSiteUrl);
inline const QString SiteUrlVariable = toQString(identity::SiteUrlVariable);
inline const QString VersionDataPath = toQString(identity::VersionDataPath);
inline const QString HomepagePath = toQString(identity::HomepagePath);

inline QString authorName() { return toQString(identity::authorName()); }
inline QString authorshipLine() { return toQString(identity::authorshipLine()); }

// "mailto:" + address + "?subject=View and Print VRX Log Files", properly encoded.
QUrl authorMailUrl();

// The web site: VRXPV_SITE_URL when it holds an http or https address, else AuthorSiteUrl.
QUrl siteUrl(Platform& platform);
QUrl versionDataUrl(Platform& platform);
QUrl homepageUrl(Platform& platform);

} // namespace vrx

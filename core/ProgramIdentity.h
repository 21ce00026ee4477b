#pragma once
// The program's fixed identity as text: title, release, the settings' application name and
// the author with his addresses. The windows and vrxlog show these; nothing else spells them.

#include <string>
#include <string_view>

namespace vrx::identity {

inline constexpr std::string_view ProgramTitle = "View & Print VRX Log Files";

inline constexpr int VersionMajor = 1;
inline constexpr int VersionMinor = 3;
inline constexpr int VersionRevision = 0;

inline constexpr std::string_view ReleaseDate = "Jan 2025";

// The lines of the display text are joined with CR LF, as the test program's own tools expect.
inline constexpr std::string_view NewLine = "\r\n";

// Application name under which the one setting is stored (two blanks between "Vevod" and "Uri").
inline constexpr std::string_view SettingsAppName = "Zero & Vevod  Uri Raviz";

// major "." minor revision, then one trailing "0" dropped: 1,3,0 -> "1.3"; 1,10,0 -> "1.10".
std::string versionText(int major, int minor, int revision);

// The version of this release, as shown to the user.
inline std::string versionText() { return versionText(VersionMajor, VersionMinor, VersionRevision); }

// What `--version` answers, the same for every program of the release: "vrxpv 1.3 (Jan 2025)".
std::string versionLine(std::string_view program);

// The author's e-mail address, shown in the About window and used for the mail link.
// A placeholder in the reserved example.com domain until the author's real address is filled in.
inline constexpr std::string_view AuthorEmail = "uri.raviz@example.com";

inline constexpr std::string_view AuthorCountry = "Israel";
inline constexpr std::string_view AuthorYears = "2003 - 2025";

// Subject of a new mail to the author.
inline constexpr std::string_view AuthorMailSubject = "View and Print VRX Log Files";

// The author's web site: the version data file and the program's home page live there.
// A placeholder in the reserved example.com domain until the real host is filled in;
// VRXPV_SITE_URL overrides it (a mirror, or a test server).
inline constexpr std::string_view AuthorSiteUrl = "https://www.example.com";
inline constexpr std::string_view SiteUrlVariable = "VRXPV_SITE_URL";
inline constexpr std::string_view VersionDataPath = "/dl/swv.txt";
inline constexpr std::string_view HomepagePath = "/dl/VRX_pv.htm";

// The author's name: what follows the company in the settings application name
// ("Zero & Vevod  Uri Raviz" gives "Uri Raviz").
std::string authorName();

// Name, country and years, e.g. "Uri Raviz, Israel, 2003 - 2025".
std::string authorshipLine();

} // namespace vrx::identity

#pragma once
// The version data file on the author's web site: its fields, this program's entry in it, and
// whether the version found there is newer than ours. Bytes in, a verdict out; fetching the
// file and telling the user are the update check's business.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vrx {

// Reads the version data text field by field. Blanks in front of a field are skipped; a field
// that starts with a double quote runs to the next double quote (and may hold commas and line
// ends; the quotes are dropped, anything after the closing quote up to the next comma or line
// end is ignored); any other field ends at a comma or at a line end (LF, CR or CR LF). Every
// separator is ASCII, so UTF-8 text is read byte by byte.
class VersionFieldReader {
public:
    explicit VersionFieldReader(std::string_view text) : m_text(text) {}

    // The next field; an empty text gives one empty field.
    std::string next();
    bool atEnd() const { return m_pos >= m_text.size(); }

private:
    void skipSeparator();

    std::string_view m_text;
    size_t m_pos = 0;
};

// All fields of a version data text, in order.
std::vector<std::string> readVersionFields(std::string_view text);

// The first field that contains the title without regard to ASCII case; nothing when none does.
// For a title of ASCII letters this is what lower-casing both in full Unicode finds: the only
// other letters that lower-case to ASCII (KELVIN SIGN to k, dotted capital I to i and a
// combining dot) cannot complete a title without a k.
std::optional<std::string> findProgramEntry(std::string_view text, std::string_view title);

// Numeric value of a version text: blanks, tabs and line feeds removed, then an optional sign,
// digits with at most one "." and an optional exponent, read the same in any locale; 0 when the
// text does not start with a number, infinity when it is too large for a double.
double versionValue(std::string_view text);

// The downloaded bytes as UTF-8 text: as they are when they are valid UTF-8 (a byte order mark
// in front dropped), else each byte taken as Latin-1.
std::string decodeVersionData(std::string_view data);

enum class VersionVerdict {
    NoEntry,        // no field names the program, or its entry carries no version
    NewerVersion,   // the web's version is greater than ours
    LatestVersion,  // it is not
};

struct VersionJudgement {
    VersionVerdict verdict = VersionVerdict::NoEntry;
    std::string webVersion;  // UTF-8; everything after the entry's first colon, for Newer and Latest
};

// Judges the bytes of the version data file for the given program title and version.
VersionJudgement judgeVersionData(std::string_view data, std::string_view title, std::string_view currentVersion);

} // namespace vrx

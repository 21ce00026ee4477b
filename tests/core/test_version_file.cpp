// The version data file on bytes: its fields, the value of a version text and the verdict for
// this program; and the version text of a release.

#include "tests/core/CoreTest.h"
#include "core/ProgramIdentity.h"
#include "core/VersionFile.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace vrx;
using namespace std::string_literals;

namespace {

const std::string Title(identity::ProgramTitle);

std::string joined(const std::vector<std::string>& fields)
{
    std::string text;
    for (const std::string& field : fields)
        text += "[" + field + "]";
    return text;
}

} // namespace

CORE_TEST(versionFields)
{
    const struct {
        const char* name;
        std::string text;
        std::string fields;
    } rows[] = {
        {"one field", "abc", "[abc]"},
        {"empty file", "", "[]"},
        {"comma separated", "a,b,c", "[a][b][c]"},
        {"line ends of every kind", "a\r\nb\nc\rd\r\n", "[a][b][c][d]"},
        {"leading blanks skipped, trailing kept", "  a ,   b", "[a ][b]"},
        {"tab is not skipped", "\ta", "[\ta]"},
        {"quoted with commas", "\"x, y\",z", "[x, y][z]"},
        {"quoted after blanks", "   \"a,b\"", "[a,b]"},
        {"quoted across a line end", "\"a\nb\",c", "[a\nb][c]"},
        {"text after closing quote dropped", "\"a\"junk,b", "[a][b]"},
        {"unclosed quote runs to the end", "\"a,b\nc", "[a,b\nc]"},
        {"quote inside a field is kept", "a\"b,c", "[a\"b][c]"},
        {"empty fields between commas", "a,,b", "[a][][b]"},
        {"empty line", "a\n\nb", "[a][][b]"},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        CHECK_EQ(joined(readVersionFields(row.text)), row.fields);
    }
}

CORE_TEST(versionValues)
{
    const double huge = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        std::string text;
        double value;
    } rows[] = {
        {"plain", "1.4", 1.4},
        {"blank in front", " 1.4", 1.4},
        {"1.10 is 1.1", " 1.10", 1.1},
        {"blanks tabs and line feeds anywhere", " 1\t.\n3 ", 1.3},
        {"carriage return ends it", "1.\r5", 1.0},
        {"second point ends it", "1.2.3", 1.2},
        {"letters end it", "2.0beta", 2.0},
        {"sign", "-1.5", -1.5},
        {"plus sign", "+2", 2.0},
        {"exponent", "1.4e1", 14.0},
        {"exponent with sign", "15E-1", 1.5},
        {"bare e is not an exponent", "2e", 2.0},
        {"leading point", ".5", 0.5},
        {"trailing point", "3.", 3.0},
        {"comma is no decimal point", "1,4", 1.0},
        {"not a number", "v1.4", 0.0},
        {"sign alone", "-", 0.0},
        {"point alone", ".", 0.0},
        {"empty", "", 0.0},
        {"arabic-indic digits are not digits", "\u0661.4", 0.0},
        {"tiny exponent", "1e-400", 0.0},
        {"huge exponent", "9e999", huge},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        CHECK_EQ(versionValue(row.text), row.value);
    }
}

CORE_TEST(versionVerdicts)
{
    const auto newer = VersionVerdict::NewerVersion;
    const auto latest = VersionVerdict::LatestVersion;
    const auto none = VersionVerdict::NoEntry;
    const struct {
        const char* name;
        std::string data;
        VersionVerdict verdict;
        std::string webVersion;
    } rows[] = {
        {"lower-case title, 1.4", "view & print vrx log files:1.4", newer, "1.4"},
        {"blank and 1.3 is the same", Title + ": 1.3\r\n", latest, " 1.3"},
        {"blank and 1.10 is older", Title + ": 1.10\r\n", latest, " 1.10"},
        {"blank kept in the newer text", Title + ": 1.4", newer, " 1.4"},
        {"older", Title + ":1.2", latest, "1.2"},
        {"not a number counts as 0", Title + ":soon", latest, "soon"},
        {"huge version is newer", Title + ":9e999", newer, "9e999"},
        {"bare title wins over a later entry", Title + "\r\n" + Title + ":1.4\r\n", none, ""},
        {"bare title in other case is no bare title", "VIEW & PRINT VRX LOG FILES", latest,
         "VIEW & PRINT VRX LOG FILES"},
        {"colon last", Title + " 2:", none, ""},
        {"several entries on one line", "Other Program:2.0," + Title + ":1.4\r\n", newer, "1.4"},
        {"entries on several lines", "Other Program:2.0\r\n" + Title + ":1.5\r\n", newer, "1.5"},
        {"quoted field with commas", "\"Other, Program:9.0\",\"" + Title + ", new:1,4\"", latest, "1,4"},
        {"quoted entry", "  \"" + Title + ":1.6\"", newer, "1.6"},
        {"only the first colon splits", Title + ":1.7:beta", newer, "1.7:beta"},
        {"text before the title", "Program " + Title + " v:2.1", newer, "2.1"},
        {"first match only", Title + ":1.2," + Title + ":1.9", latest, "1.2"},
        {"no entry", "Other Program:2.0\r\nThird:1.0\r\n", none, ""},
        {"empty file", "", none, ""},
        {"title split by a comma", "View & Print, VRX Log Files:1.4", none, ""},
        {"utf-8 bom in front", "\xEF\xBB\xBF" + Title + ":1.4", newer, "1.4"},
        {"utf-8 bom before a bare title", "\xEF\xBB\xBF" + Title, none, ""},
        {"latin-1 bytes", Title + ":1.4 \xE9t\xE9", newer, "1.4 \xC3\xA9t\xC3\xA9"},
        {"latin-1 byte at the very end", Title + ":1.4 caf\xE9", newer, "1.4 caf\xC3\xA9"},
        {"binary junk", "\x00\xff\xfe,\x01"s, none, ""},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        const VersionJudgement judged = judgeVersionData(row.data, identity::ProgramTitle, identity::versionText());
        CHECK_EQ(int(judged.verdict), int(row.verdict));
        CHECK_EQ(judged.webVersion, row.webVersion);
    }
}

CORE_TEST(releaseVersionText)
{
    const struct {
        const char* name;
        int major, minor, revision;
        std::string text;
    } rows[] = {
        {"this release", 1, 3, 0, "1.3"},
        {"revision kept", 1, 3, 1, "1.31"},
        {"one zero dropped", 1, 10, 0, "1.10"},
        {"major release", 2, 0, 0, "2.0"},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        CHECK_EQ(identity::versionText(row.major, row.minor, row.revision), row.text);
    }
    coretest::currentRow().clear();
    CHECK_EQ(identity::versionText(), std::string("1.3"));
    CHECK_EQ(identity::authorshipLine(), std::string("Uri Raviz, Israel, 2003 - 2025"));
    CHECK_EQ(identity::versionLine("vrxlog"), std::string("vrxlog 1.3 (Jan 2025)\n"));
}

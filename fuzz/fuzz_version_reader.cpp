// Version data file: the field reader, the search for this program's entry, the numeric value
// of a version text and the verdict. Checked: findProgramEntry gives the first of the fields
// readVersionFields lists that holds the title in any case; the verdict follows from that entry
// and from versionValue exactly as the check's rules say; versionValue ignores blanks, tabs
// and line feeds and agrees with the C library reading the same leading number.
//
// The input is the downloaded file. Its first field also serves as this program's version, so
// the comparison sees more than the one real version.

#include "FuzzCheck.h"
#include "Identity.h"
#include "UpdateCheck.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

using namespace vrx;

namespace {

// The leading number as the check defines it, read by strtod (the fuzzer runs in the C locale).
double referenceValue(QStringView text)
{
    std::string s;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        if (c.unicode() >= 128)
            break;
        s.push_back(char(c.unicode()));
    }
    size_t p = 0;
    if (p < s.size() && (s[p] == '+' || s[p] == '-'))
        ++p;
    size_t digits = 0;
    while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p])))
        ++p, ++digits;
    if (p < s.size() && s[p] == '.') {
        ++p;
        while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p])))
            ++p, ++digits;
    }
    if (digits == 0)
        return 0.0;
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        size_t e = p + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-'))
            ++e;
        if (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e]))) {
            while (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e])))
                ++e;
            p = e;
        }
    }
    return std::strtod(s.substr(0, p).c_str(), nullptr);
}

// Equal, or both so close to zero that the comparison with a version cannot tell them apart.
bool sameValue(double a, double b)
{
    if (a == b)
        return true;
    return std::fabs(a) < DBL_MIN && std::fabs(b) < DBL_MIN;
}

std::string show(const QString& s)
{
    const QByteArray utf8 = s.toUtf8();
    return fuzz::escaped(std::string_view(utf8.constData(), size_t(utf8.size())));
}

void checkValue(const QString& text)
{
    const double value = versionValue(text);
    FUZZ_CHECK(!std::isnan(value), "NaN for " + show(text));
    const double reference = referenceValue(text);
    FUZZ_CHECK(sameValue(value, reference),
               "value of " + show(text) + ": " + std::to_string(value) + ", C library " + std::to_string(reference));
    const QString spaced = QStringLiteral(" \t\n") + text + QStringLiteral("\n");
    FUZZ_CHECK(sameValue(versionValue(spaced), value), "blanks change the value of " + show(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = decodeVersionData(bytes);
    const QStringList fields = readVersionFields(text);
    FUZZ_CHECK(!fields.isEmpty(), "no field at all");
    qsizetype total = 0;
    for (const QString& field : fields)
        total += field.size();
    FUZZ_CHECK(total <= text.size(), "fields longer than the text");

    const QString title = ProgramTitle;
    const QString wanted = title.toLower();
    std::optional<QString> expectedEntry;
    for (const QString& field : fields) {
        if (field.toLower().contains(wanted)) {
            expectedEntry = field;
            break;
        }
    }
    const std::optional<QString> entry = findProgramEntry(text, title);
    FUZZ_CHECK(entry == expectedEntry, "entry differs from the first matching field of " + show(text));

    for (const QString& version : {VersionText(), fields.first()}) {
        const UpdateVerdict verdict = judgeVersionData(bytes, title, version);
        UpdateOutcome expected = UpdateOutcome::NoEntry;
        QString webVersion;
        if (entry && *entry != title && !(entry->indexOf(u':') >= 0 && entry->indexOf(u':') == entry->size() - 1)) {
            const qsizetype colon = entry->indexOf(u':');
            webVersion = colon < 0 ? *entry : entry->mid(colon + 1);
            expected = versionValue(webVersion) > versionValue(version) ? UpdateOutcome::NewerVersion
                                                                       : UpdateOutcome::LatestVersion;
        }
        FUZZ_CHECK(verdict.outcome == expected, "verdict for " + show(text) + " against " + show(version));
        FUZZ_CHECK(verdict.webVersion == webVersion, "version text for " + show(text));
        const UpdateMessage message = updateMessage(verdict);
        FUZZ_CHECK(!message.text.isEmpty(), "empty message");
        FUZZ_CHECK(message.offersHomepage == (verdict.outcome != UpdateOutcome::LatestVersion), "homepage offer");
        if (verdict.outcome == UpdateOutcome::NewerVersion || verdict.outcome == UpdateOutcome::LatestVersion)
            checkValue(verdict.webVersion);
    }
    checkValue(text.left(400));
    return 0;
}

// Version data file: the field reader, the search for this program's entry, the numeric value
// of a version text and the verdict. Checked: the text is the one Qt decodes from the same bytes;
// findProgramEntry gives the first of the fields readVersionFields lists that holds the title
// when both are lower-cased as Qt lower-cases text; the verdict follows from that entry and from
// versionValue exactly as the check's rules say; versionValue ignores blanks, tabs and line
// feeds and agrees with the C library reading the same leading number.
//
// The input is the downloaded file. Its first field also serves as this program's version, so
// the comparison sees more than the one real version.

#include "fuzz/FuzzCheck.h"
#include "core/ProgramIdentity.h"
#include "core/VersionFile.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace vrx;

namespace {

// The leading number as the check defines it, read by strtod (the fuzzer runs in the C locale).
double referenceValue(std::string_view text)
{
    std::string s;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        if (static_cast<unsigned char>(c) >= 128)
            break;
        s.push_back(c);
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

std::string show(std::string_view s)
{
    return fuzz::escaped(s);
}

QString fromUtf8(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

void checkValue(std::string_view text)
{
    const double value = versionValue(text);
    FUZZ_CHECK(!std::isnan(value), "NaN for " + show(text));
    const double reference = referenceValue(text);
    FUZZ_CHECK(sameValue(value, reference),
               "value of " + show(text) + ": " + std::to_string(value) + ", C library " + std::to_string(reference));
    const std::string spaced = " \t\n" + std::string(text) + "\n";
    FUZZ_CHECK(sameValue(versionValue(spaced), value), "blanks change the value of " + show(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = decodeVersionData(bytes);

    // The text Qt reads from the same bytes: UTF-8 when it is valid, else Latin-1. Stateless, as
    // the bytes are the whole file: a sequence cut off at its end makes it no UTF-8.
    const QByteArray raw(bytes.data(), qsizetype(bytes.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString qtText = utf8.decode(raw);
    if (utf8.hasError())
        qtText = QString::fromLatin1(raw);
    FUZZ_CHECK(qtText.toUtf8().toStdString() == text, "decoded text differs from Qt's for " + show(bytes));

    const std::vector<std::string> fields = readVersionFields(text);
    FUZZ_CHECK(!fields.empty(), "no field at all");
    size_t total = 0;
    for (const std::string& field : fields)
        total += field.size();
    FUZZ_CHECK(total <= text.size(), "fields longer than the text");

    const std::string_view title = identity::ProgramTitle;
    const QString wanted = fromUtf8(title).toLower();
    std::optional<std::string> expectedEntry;
    for (const std::string& field : fields) {
        if (fromUtf8(field).toLower().contains(wanted)) {
            expectedEntry = field;
            break;
        }
    }
    const std::optional<std::string> entry = findProgramEntry(text, title);
    FUZZ_CHECK(entry == expectedEntry, "entry differs from the first matching field of " + show(text));

    for (const std::string& version : {identity::versionText(), fields.front()}) {
        const VersionJudgement judged = judgeVersionData(bytes, title, version);
        VersionVerdict expected = VersionVerdict::NoEntry;
        std::string webVersion;
        if (entry && *entry != title && !(entry->find(':') != std::string::npos && entry->find(':') == entry->size() - 1)) {
            const size_t colon = entry->find(':');
            webVersion = colon == std::string::npos ? *entry : entry->substr(colon + 1);
            expected = versionValue(webVersion) > versionValue(version) ? VersionVerdict::NewerVersion
                                                                        : VersionVerdict::LatestVersion;
        }
        FUZZ_CHECK(judged.verdict == expected, "verdict for " + show(text) + " against " + show(version));
        FUZZ_CHECK(judged.webVersion == webVersion, "version text for " + show(text));
        if (judged.verdict != VersionVerdict::NoEntry)
            checkValue(judged.webVersion);
    }
    checkValue(std::string_view(text).substr(0, 400));
    return 0;
}

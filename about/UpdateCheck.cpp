#include "UpdateCheck.h"

#include "Author.h"
#include "Identity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

namespace vrx {

namespace {

const QString HomepageQuestion = QStringLiteral("Goto the Program Homepage for info ?");

bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

QString withQuestion(const QString& message)
{
    return message + QStringLiteral("\n\n") + HomepageQuestion;
}

} // namespace

void VersionFieldReader::skipSeparator()
{
    if (atEnd())
        return;
    const QChar c = m_text[m_pos];
    if (c == QLatin1Char(',') || c == QLatin1Char('\n')) {
        ++m_pos;
    } else if (c == QLatin1Char('\r')) {
        ++m_pos;
        if (!atEnd() && m_text[m_pos] == QLatin1Char('\n'))
            ++m_pos;
    }
}

QString VersionFieldReader::next()
{
    while (!atEnd() && m_text[m_pos] == QLatin1Char(' '))
        ++m_pos;
    if (atEnd())
        return QString();

    if (m_text[m_pos] == QLatin1Char('"')) {
        const qsizetype start = m_pos + 1;
        const qsizetype close = m_text.indexOf(QLatin1Char('"'), start);
        if (close < 0) {
            // An unclosed quote runs to the end of the file.
            m_pos = m_text.size();
            return m_text.mid(start).toString();
        }
        const QString field = m_text.mid(start, close - start).toString();
        m_pos = close + 1;
        // Whatever follows the closing quote belongs to no field.
        while (!atEnd() && m_text[m_pos] != QLatin1Char(',') && !isLineEnd(m_text[m_pos]))
            ++m_pos;
        skipSeparator();
        return field;
    }

    const qsizetype start = m_pos;
    while (!atEnd() && m_text[m_pos] != QLatin1Char(',') && !isLineEnd(m_text[m_pos]))
        ++m_pos;
    const QString field = m_text.mid(start, m_pos - start).toString();
    skipSeparator();
    return field;
}

QStringList readVersionFields(QStringView text)
{
    QStringList fields;
    VersionFieldReader reader(text);
    do
        fields.append(reader.next());
    while (!reader.atEnd());
    return fields;
}

std::optional<QString> findProgramEntry(QStringView text, const QString& title)
{
    const QString wanted = title.toLower();
    VersionFieldReader reader(text);
    // Only the first field that names the program counts, whatever follows it.
    do {
        QString field = reader.next();
        if (field.toLower().contains(wanted))
            return field;
    } while (!reader.atEnd());
    return std::nullopt;
}

double versionValue(QStringView text)
{
    std::string compact;
    compact.reserve(static_cast<size_t>(qMin<qsizetype>(text.size(), 64)));
    for (const QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n'))
            continue;
        // Only ASCII can be part of a number; anything else ends it.
        compact.push_back(c.unicode() < 128 ? static_cast<char>(c.unicode()) : '\x7f');
        if (c.unicode() >= 128)
            break;
    }

    // Find the longest leading number: sign, digits with at most one ".", exponent.
    size_t pos = 0;
    const size_t n = compact.size();
    bool negative = false;
    if (pos < n && (compact[pos] == '+' || compact[pos] == '-')) {
        negative = compact[pos] == '-';
        ++pos;
    }
    const size_t mantissaStart = pos;
    size_t digits = 0;
    while (pos < n && isAsciiDigit(compact[pos])) {
        ++pos;
        ++digits;
    }
    if (pos < n && compact[pos] == '.') {
        ++pos;
        while (pos < n && isAsciiDigit(compact[pos])) {
            ++pos;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    size_t end = pos;
    if (pos < n && (compact[pos] == 'e' || compact[pos] == 'E')) {
        size_t e = pos + 1;
        if (e < n && (compact[e] == '+' || compact[e] == '-'))
            ++e;
        if (e < n && isAsciiDigit(compact[e])) {
            while (e < n && isAsciiDigit(compact[e]))
                ++e;
            end = e;
        }
    }

    // from_chars reads the C form in every locale; it rejects a leading "+", so the sign is ours.
    double value = 0.0;
    const char* first = compact.data() + mantissaStart;
    const char* last = compact.data() + end;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too large gives infinity, too small gives 0. Which one it is follows from the decimal
        // place of the first non-zero digit plus the exponent; the exponent's sign alone does not
        // tell (1 followed by 400 zeros and e-5 is huge).
        const std::string_view number(first, static_cast<size_t>(last - first));
        const size_t ePos = number.find_first_of("eE");
        const std::string_view mantissa = number.substr(0, ePos);
        const size_t point = std::min(mantissa.find('.'), mantissa.size());
        const size_t lead = mantissa.find_first_of("123456789");
        long long magnitude = 0; // power of ten of the first non-zero digit
        if (lead != std::string_view::npos)
            magnitude = lead < point ? static_cast<long long>(point - lead) - 1
                                     : -static_cast<long long>(lead - point);
        long long exponent = 0;
        if (ePos != std::string_view::npos) {
            size_t e = ePos + 1;
            const bool negativeExponent = e < number.size() && number[e] == '-';
            if (e < number.size() && (number[e] == '+' || number[e] == '-'))
                ++e;
            for (; e < number.size() && exponent < 1000000000; ++e)
                exponent = exponent * 10 + (number[e] - '0');
            if (negativeExponent)
                exponent = -exponent;
        }
        value = magnitude + exponent < 0 ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

QString decodeVersionData(const QByteArray& data)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(data);
    if (utf8.hasError())
        return QString::fromLatin1(data);
    return text;
}

UpdateVerdict judgeVersionData(const QByteArray& data, const QString& title, const QString& currentVersion)
{
    const QString text = decodeVersionData(data);
    const std::optional<QString> entry = findProgramEntry(text, title);
    if (!entry)
        return {UpdateOutcome::NoEntry, {}, {}};
    // A bare title, or a colon with nothing after it, carries no version.
    if (*entry == title)
        return {UpdateOutcome::NoEntry, {}, {}};
    const qsizetype colon = entry->indexOf(QLatin1Char(':'));
    if (colon >= 0 && colon == entry->size() - 1)
        return {UpdateOutcome::NoEntry, {}, {}};

    // Everything after the first colon, blanks included; a field without a colon is all version.
    const QString webVersion = colon < 0 ? *entry : entry->mid(colon + 1);
    if (versionValue(webVersion) > versionValue(currentVersion))
        return {UpdateOutcome::NewerVersion, webVersion, {}};
    return {UpdateOutcome::LatestVersion, webVersion, {}};
}

QString shownVersion(const QString& version)
{
    // The text comes from the server and can be anything: a box as tall or as wide as the
    // whole text would push its own buttons off the screen.
    qsizetype end = 0;
    while (end < version.size() && end < ShownVersionLength && !isLineEnd(version[end]))
        ++end;
    if (end == version.size())
        return version;
    if (end > 0 && version[end - 1].isHighSurrogate())
        --end;
    return version.left(end) + QChar(0x2026);
}

UpdateMessage updateMessage(const UpdateVerdict& verdict)
{
    switch (verdict.outcome) {
    case UpdateOutcome::LocalFailure:
        return {withQuestion(verdict.reason), MessageButtons::YesNo, true};
    case UpdateOutcome::DownloadFailed:
        return {withQuestion(QStringLiteral("Web Datafile not found.")), MessageButtons::YesNo, true};
    case UpdateOutcome::DownloadedFileMissing:
        return {withQuestion(QStringLiteral("Downloaded Datafile not foud.")), MessageButtons::YesNo, true};
    case UpdateOutcome::NoEntry:
        return {withQuestion(QStringLiteral("Data for this program not found.")), MessageButtons::YesNo, true};
    case UpdateOutcome::NewerVersion:
        return {withQuestion(QStringLiteral("A newer version  ( ") + shownVersion(verdict.webVersion)
                             + QStringLiteral(" )  is available.")),
                MessageButtons::YesNo, true};
    case UpdateOutcome::LatestVersion:
        break;
    }
    return {QStringLiteral("This is the latest version."), MessageButtons::Ok, false};
}

QString updateMessageTitle(const QString& currentVersion)
{
    return QStringLiteral("Current Version: ") + currentVersion;
}

QString downloadFolder(Platform& platform)
{
    return joinPath(platform.appDataFolder(), QStringLiteral("vbTemp"));
}

QString localVersionFile(const QString& folder)
{
    return folder + QStringLiteral("/versions.txt");
}

UpdateVerdict fetchUpdateVerdict(Platform& platform, const DownloadOptions& options)
{
    const QString folder = downloadFolder(platform);
    std::error_code made;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(folder).toStdString()), made);
    if (made)
        return {UpdateOutcome::LocalFailure, {},
                QStringLiteral("Cannot create the download folder \"%1\": %2")
                    .arg(folder, QString::fromLocal8Bit(made.message()))};
    const QString file = localVersionFile(folder);

    const DownloadResult result = platform.download(versionDataUrl(platform), file, options);
    if (!result.ok && result.local)
        return {UpdateOutcome::LocalFailure, {}, result.error};
    if (!result.ok)
        return {UpdateOutcome::DownloadFailed, {}, {}};
    if (!QFileInfo(file).isFile())
        return {UpdateOutcome::DownloadedFileMissing, {}, {}};

    // A file that cannot be read is as good as one without an entry.
    QFile data(file);
    if (!data.open(QIODevice::ReadOnly))
        return {UpdateOutcome::NoEntry, {}, {}};
    return judgeVersionData(data.read(options.maxBytes), ProgramTitle, VersionText());
}

void reportUpdateVerdict(Platform& platform, QWidget* parent, const UpdateVerdict& verdict)
{
    const UpdateMessage message = updateMessage(verdict);
    const MessageResult answer = platform.messageBox(parent, message.text, updateMessageTitle(VersionText()),
                                                     message.buttons, MessageIcon::None);
    if (message.offersHomepage && answer == MessageResult::Yes)
        platform.openUrl(homepageUrl(platform));
}

UpdateVerdict runUpdateCheck(Platform& platform, QWidget* parent, const DownloadOptions& options)
{
    const UpdateVerdict verdict = fetchUpdateVerdict(platform, options);
    reportUpdateVerdict(platform, parent, verdict);
    return verdict;
}

} // namespace vrx

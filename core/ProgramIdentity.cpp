#include "core/ProgramIdentity.h"

namespace vrx::identity {

std::string versionText(int major, int minor, int revision)
{
    std::string text = std::to_string(major) + '.' + std::to_string(minor) + std::to_string(revision);
    if (text.ends_with('0'))
        text.pop_back();
    return text;
}

std::string versionLine(std::string_view program)
{
    return std::string(program) + ' ' + versionText() + " (" + std::string(ReleaseDate) + ")\n";
}

namespace {

std::string_view trimmed(std::string_view text)
{
    // Blanks and control characters at either end, as the name is typed by hand.
    const auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string authorName()
{
    // The company and the author are separated by two blanks in the application name.
    const size_t gap = SettingsAppName.find("  ");
    if (gap == std::string_view::npos)
        return std::string(trimmed(SettingsAppName));
    return std::string(trimmed(SettingsAppName.substr(gap)));
}

std::string authorshipLine()
{
    return authorName() + ", " + std::string(AuthorCountry) + ", " + std::string(AuthorYears);
}

} // namespace vrx::identity

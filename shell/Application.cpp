#include "shell/Application.h"

#include "platform/Identity.h"
#include "platform/Platform.h"

#include <QCommandLineParser>

#include <algorithm>

namespace vrx {

namespace {
const QString SettingsSection = QStringLiteral("Settings");
const QString DefaultPathKey = QStringLiteral("DefaultPath");
} // namespace

QString mainCaption()
{
    return ProgramTitle + QStringLiteral(", v") + VersionText() + QStringLiteral(" - ") + ReleaseDate
        + QStringLiteral(" / QX");
}

QString establishDefaultDir(Platform& platform)
{
    const QString dataFolder = platform.userDataFolder();
    QString folder = platform.readSetting(SettingsAppName, SettingsSection, DefaultPathKey, dataFolder).toString();
    if (!platform.exists(folder)) {
        folder = dataFolder;
        if (!platform.exists(folder))
            folder = platform.homeFolder();
    }
    return folder;
}

bool saveDefaultDirIfChanged(Platform& platform, const QString& savedDefaultDir, const QString& defaultDir)
{
    if (defaultDir == savedDefaultDir)
        return false;
    platform.writeSetting(SettingsAppName, SettingsSection, DefaultPathKey, defaultDir);
    return true;
}

QString captionToLabelText(const QString& caption)
{
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == QLatin1Char('&')) {
            if (i + 1 < caption.size() && caption.at(i + 1) == QLatin1Char('&'))
                ++i; // "&&": keep one
            else
                continue; // access-key marker
        }
        text.append(caption.at(i));
    }
    return text;
}

static QString usage(const QCommandLineParser& parser)
{
    // The usage line names the program as it is installed, not the path it was started by
    // (Qt puts that there, or a placeholder before there is an application object).
    QString text = parser.helpText();
    const QString usage = QStringLiteral("Usage: ");
    const qsizetype end = text.indexOf(QStringLiteral(" [options]"));
    if (text.startsWith(usage) && end > 0)
        text.replace(usage.size(), end - usage.size(), QStringLiteral("vrxpv"));
    return text;
}

CommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    // "-platform" is one option, as Qt's own options are spelt, not -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(ProgramTitle);
    // Answered before the program has a QApplication (they need no display), so the texts are
    // this program's own rather than Qt's, which name the running program.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and exits."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The log to open; only the first counts."),
                                 QStringLiteral("[FILE]"));
    CommandLine line;
    if (!parser.parse(arguments)) {
        line.action = CommandLine::Action::Error;
        line.output = QStringLiteral("vrxpv: ") + parser.errorText() + QStringLiteral("\n\n") + usage(parser);
        // The options every Qt program takes (the window system's and the widgets'): QApplication
        // takes them out of the command line itself.
        static const QStringList qtOptions = {
            QStringLiteral("platform"), QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
            QStringLiteral("plugin"), QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
            QStringLiteral("qwindowtitle"), QStringLiteral("reverse"), QStringLiteral("session"),
            QStringLiteral("display"), QStringLiteral("name"), QStringLiteral("title"), QStringLiteral("visual"),
            QStringLiteral("geometry"), QStringLiteral("style"), QStringLiteral("stylesheet"),
            QStringLiteral("widgetcount"), QStringLiteral("nograb"), QStringLiteral("dograb"), QStringLiteral("sync"),
            QStringLiteral("dialogs"), QStringLiteral("fontengine")};
        line.qtOptionsOnly = std::all_of(parser.unknownOptionNames().cbegin(), parser.unknownOptionNames().cend(),
                                         [](const QString& name) { return qtOptions.contains(name); });
    } else if (parser.isSet(help)) {
        line.action = CommandLine::Action::Help;
        line.output = usage(parser);
    } else if (parser.isSet(version)) {
        line.action = CommandLine::Action::Version;
        line.output = QStringLiteral("vrxpv ") + VersionText() + QLatin1Char('\n');
    } else if (!parser.positionalArguments().isEmpty()) {
        line.logPath = parser.positionalArguments().constFirst();
    }
    return line;
}

} // namespace vrx

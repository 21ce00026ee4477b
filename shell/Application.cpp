#include "shell/Application.h"

#include "platform/Identity.h"
#include "platform/NativePath.h"
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

// The settings file is UTF-8 text, which cannot hold a folder whose name is no UTF-8 (a
// Latin-1 name from DOS media): its bytes would come back as U+FFFD and name no folder. Such
// a folder is stored by its bytes (QSettings writes @ByteArray(...)) and read back from them;
// every other folder is stored as text, as before.
static QVariant settingOfFolder(const QString& folder)
{
    const QByteArray bytes = nativePathBytes(folder);
    if (QString::fromUtf8(bytes) == folder)
        return folder;
    return bytes;
}

static QString folderOfSetting(const QVariant& value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return pathFromNativeBytes(value.toByteArray());
    return value.toString();
}

QString establishDefaultDir(Platform& platform)
{
    const QString dataFolder = platform.userDataFolder();
    QString folder = folderOfSetting(platform.readSetting(SettingsAppName, SettingsSection, DefaultPathKey, dataFolder));
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
    platform.writeSetting(SettingsAppName, SettingsSection, DefaultPathKey, settingOfFolder(defaultDir));
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

// The arguments without the options that QGuiApplication, QApplication and the X11 platform
// take out of argv themselves, with the value those options read. Qt reads them with one or
// two dashes, anywhere on the line (also after "--"), and take the next argument as the value
// whatever it looks like.
static QStringList withoutQtOptions(const QStringList& arguments)
{
    static const QStringList withValue = {
        QStringLiteral("platform"), QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
        QStringLiteral("plugin"), QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"), QStringLiteral("session"), QStringLiteral("display"), QStringLiteral("name"),
        QStringLiteral("title"), QStringLiteral("icon"), QStringLiteral("geometry"), QStringLiteral("visual"),
        QStringLiteral("style"), QStringLiteral("stylesheet")};
    static const QStringList flags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                      QStringLiteral("nograb"), QStringLiteral("dograb"), QStringLiteral("sync"),
                                      QStringLiteral("testability")};
    static const QStringList joined = {QStringLiteral("style="), QStringLiteral("stylesheet="),
                                       QStringLiteral("qmljsdebugger=")};
    QStringList kept = arguments.mid(0, 1);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        QStringView name(argument);
        if (name.startsWith(QLatin1String("--")))
            name = name.mid(2);
        else if (name.startsWith(QLatin1Char('-')))
            name = name.mid(1);
        else {
            kept << argument;
            continue;
        }
        if (withValue.contains(name)) {
            ++i; // its value, if there is one
            continue;
        }
        if (flags.contains(name)
            || std::any_of(joined.cbegin(), joined.cend(), [name](const QString& j) { return name.startsWith(j); }))
            continue;
        kept << argument;
    }
    return kept;
}

CommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    // Long options take one dash as well (-help, -version), as Qt's own options are spelt.
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
    if (!parser.parse(withoutQtOptions(arguments))) {
        line.action = CommandLine::Action::Error;
        line.output = QStringLiteral("vrxpv: ") + parser.errorText() + QStringLiteral("\n\n") + usage(parser);
    } else if (parser.isSet(help)) {
        line.action = CommandLine::Action::Help;
        line.output = usage(parser);
    } else if (parser.isSet(version)) {
        line.action = CommandLine::Action::Version;
        line.output = VersionLine("vrxpv");
    } else if (!parser.positionalArguments().isEmpty()) {
        line.logPath = parser.positionalArguments().constFirst();
    }
    return line;
}

} // namespace vrx

#include "platform/ProcessStart.h"

#include "files/Files.h"
#include "platform/NativePath.h"

#include <QCoreApplication>
#include <QDir>

#ifdef _WIN32
#include <windows.h>
#include <cstdio>
#else
#include <unistd.h>
#include <cstdlib>
#endif

namespace vrx {

QStringList commandLineArguments(int argc, char* argv[])
{
    QStringList arguments{argc > 0 ? pathFromNativeBytes(QByteArray(argv[0])) : QString()};
    for (const std::string& word : files::commandLineArguments(argc, argv))
        arguments << pathFromNativeBytes(QByteArray::fromStdString(word));
    return arguments;
}

#ifdef _WIN32

QStringList applicationArguments(int, char*[])
{
    // Built from the UTF-16 command line less what Qt took out of it.
    return QCoreApplication::arguments();
}

QString absoluteCommandLinePath(const QString& path)
{
    if (path.isEmpty())
        return path;
    return QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
}

void chooseTextRendering()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "windows:fontengine=directwrite");
}

void attachParentConsole()
{
    const auto redirected = [](DWORD which) {
        const HANDLE handle = ::GetStdHandle(which);
        return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
    };
    if (redirected(STD_OUTPUT_HANDLE) || !::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    std::FILE* stream = nullptr;
    ::freopen_s(&stream, "CONOUT$", "w", stdout);
    ::freopen_s(&stream, "CONOUT$", "w", stderr);
}

#else

QString absoluteCommandLinePath(const QString& path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')))
        return path;
    // The working folder as bytes: it may carry a Latin-1 name that QDir would spell otherwise.
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd)
        return path;
    const QString folder = pathFromNativeBytes(QByteArray(cwd));
    std::free(cwd);
    return folder + (folder.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + path;
}

QStringList applicationArguments(int argc, char* argv[])
{
    return commandLineArguments(argc, argv);
}

void attachParentConsole() {}

void chooseTextRendering() {}

#endif

} // namespace vrx

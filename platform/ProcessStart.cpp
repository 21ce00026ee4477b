#include "platform/ProcessStart.h"

#include "platform/NativePath.h"

#include <QCoreApplication>
#include <QDir>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <cstdio>
#else
#include <unistd.h>
#include <cstdlib>
#endif

namespace vrx {

#ifdef _WIN32

QStringList commandLineArguments(int, char*[])
{
    QStringList arguments;
    int count = 0;
    if (LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments << QString::fromWCharArray(words[i]);
        ::LocalFree(words);
    }
    return arguments;
}

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

QStringList commandLineArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << pathFromNativeBytes(QByteArray(argv[i]));
    return arguments;
}

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

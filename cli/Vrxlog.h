#pragma once
// vrxlog: the log viewer's conversion, status summary and printed layout from the command line.

#include <QByteArrayList>
#include <QStringList>
#include <cstdio>

namespace vrx {

// Exit statuses.
inline constexpr int ExitOk = 0;
inline constexpr int ExitLogFailed = 1;
inline constexpr int ExitUsage = 2;

// Runs one vrxlog command line (without the program name); writes to out and err. The
// arguments are the system's bytes: a file name need not be valid UTF-8.
int runVrxlog(const QByteArrayList& arguments, std::FILE* out, std::FILE* err);
int runVrxlog(const QStringList& arguments, std::FILE* out, std::FILE* err);

QString vrxlogUsage();
// The usage of one command: text, status or pdf.
QString vrxlogUsage(const QString& command);

} // namespace vrx

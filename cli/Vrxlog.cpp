#include "Vrxlog.h"

#include "DevicePrinter.h"
#include "Identity.h"
#include "LogFiles.h"
#include "PrintModule.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPageSize>
#include <QPrinter>
#include <QSaveFile>

#include <cstring>

namespace vrx {

namespace {

struct Options {
    QString command;
    QStringList logs;
    QString outputFile;
    bool crlf = false;
    QString paper;
};

void writeText(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

int usageError(std::FILE* err, const QString& message)
{
    writeText(err, QStringLiteral("vrxlog: ") + message + QStringLiteral("\n")
                       + QStringLiteral("Try 'vrxlog --help'.\n"));
    return ExitUsage;
}

// Parses the words after the command; an empty optional error text means success.
QString parseOptions(const QStringList& words, Options& options)
{
    for (int i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        if (word == QLatin1String("-o") || word == QLatin1String("--output")) {
            if (i + 1 >= words.size())
                return QStringLiteral("%1 needs a file name").arg(word);
            options.outputFile = words[++i];
        } else if (word.startsWith(QLatin1String("--output="))) {
            options.outputFile = word.mid(9);
        } else if (word == QLatin1String("--crlf") && options.command == QLatin1String("text")) {
            options.crlf = true;
        } else if (word == QLatin1String("--paper") && options.command == QLatin1String("pdf")) {
            if (i + 1 >= words.size())
                return QStringLiteral("--paper needs a4 or letter");
            options.paper = words[++i].toLower();
        } else if (word.startsWith(QLatin1String("--paper=")) && options.command == QLatin1String("pdf")) {
            options.paper = word.mid(8).toLower();
        } else if (word == QLatin1String("--")) {
            options.logs += words.mid(i + 1);
            break;
        } else if (word.startsWith(QLatin1Char('-')) && word.size() > 1) {
            return QStringLiteral("unknown option '%1' for '%2'").arg(word, options.command);
        } else {
            options.logs += word;
        }
    }
    if (options.logs.isEmpty())
        return QStringLiteral("'%1' needs at least one log file").arg(options.command);
    if (!options.paper.isEmpty() && options.paper != QLatin1String("a4") && options.paper != QLatin1String("letter"))
        return QStringLiteral("--paper takes a4 or letter, not '%1'").arg(options.paper);
    if (options.command == QLatin1String("text") && !options.outputFile.isEmpty() && options.logs.size() != 1)
        return QStringLiteral("-o writes the text of one log; %1 were given").arg(options.logs.size());
    if (options.command == QLatin1String("status") && !options.outputFile.isEmpty())
        return QStringLiteral("'status' writes to standard output only");
    if (options.command == QLatin1String("pdf")) {
        if (options.outputFile.isEmpty())
            return QStringLiteral("'pdf' needs -o OUT.pdf");
        if (options.logs.size() != 1)
            return QStringLiteral("'pdf' prints one log; %1 were given").arg(options.logs.size());
    }
    return {};
}

// The window's message for a log that failed. It speaks of the lines it shows; here they were
// written out (text), or nothing of the log was (status, pdf).
void reportLogError(const LogReadResult& read, const QString& log, std::FILE* err, bool linesWritten = false)
{
    const LogReadError error = read.error.value_or(LogReadError{LogReadError::Kind::CannotOpen, log, 0, {}});
    QString message = logReadMessage(error);
    message.replace(QStringLiteral("\nOnly the lines before line %1 are shown.").arg(error.line),
                    linesWritten ? QStringLiteral("\nOnly the lines before line %1 were written.").arg(error.line)
                                 : QString());
    writeText(err, QStringLiteral("vrxlog: ") + message + QLatin1Char('\n'));
}

int runText(const Options& options, std::FILE* out, std::FILE* err)
{
    const LineEnds lineEnds = options.crlf ? LineEnds::CrLf : LineEnds::Lf;
    const char* lineEnd = options.crlf ? "\r\n" : "\n";
    int status = ExitOk;
    for (const QString& log : options.logs) {
        // The text goes out as it is converted, so a log of any size needs little memory.
        QSaveFile file(options.outputFile);
        if (!options.outputFile.isEmpty() && !file.open(QIODevice::WriteOnly)) {
            writeText(err, QStringLiteral("vrxlog: cannot write \"%1\": %2\n").arg(options.outputFile, file.errorString()));
            return ExitLogFailed;
        }
        bool written = false;
        bool writeFailed = false;
        auto put = [&](const char* data, size_t size) {
            if (options.outputFile.isEmpty())
                writeFailed |= std::fwrite(data, 1, size, out) != size;
            else
                writeFailed |= file.write(data, static_cast<qint64>(size)) != static_cast<qint64>(size);
        };
        const LogReadResult read = streamLogFile(log, [&](const std::string& piece) {
            const std::string utf8 = displayTextToUtf8(piece, lineEnds);
            put(utf8.data(), utf8.size());
            written = true;
        });
        if (written)
            put(lineEnd, std::strlen(lineEnd));
        if (!read.ok()) {
            reportLogError(read, log, err, written && options.outputFile.isEmpty());
            status = ExitLogFailed;
            continue; // a file named by -o is not left behind half written
        }
        if (writeFailed || (!options.outputFile.isEmpty() && !file.commit())) {
            writeText(err, QStringLiteral("vrxlog: cannot write \"%1\"\n")
                               .arg(options.outputFile.isEmpty() ? QStringLiteral("standard output") : options.outputFile));
            return ExitLogFailed;
        }
    }
    return status;
}

// The display text of a log, or nothing after reporting why on err.
std::optional<std::string> readDisplayBytes(const QString& log, std::FILE* err)
{
    LogReadResult read = readLogFile(log);
    if (read.ok())
        return std::move(read.text);
    reportLogError(read, log, err);
    return std::nullopt;
}

int runStatus(const Options& options, std::FILE* out, std::FILE* err)
{
    int status = ExitOk;
    bool first = true;
    // Many logs in one large folder: each folder is listed once for their status files.
    FolderListings listings;
    for (const QString& log : options.logs) {
        // As in the window, a status file is only read for a log that reads whole; the text
        // itself is not needed here and is not kept.
        const LogReadResult read = checkLogFile(log);
        if (!read.ok()) {
            reportLogError(read, log, err);
            status = ExitLogFailed;
            continue;
        }
        QString report = first ? QString() : QStringLiteral("\n");
        first = false;
        report += shownPath(log) + QStringLiteral(":\n");
        const StatusFileResult result = readStatusFile(statusFilePath(log, listings));
        for (const QString& item : result.items)
            report += item + QLatin1Char('\n');
        if (result.ok()) {
            report += QStringLiteral("Pass: %1  Fail: %2  N/A: %3\n")
                          .arg(result.counts[0])
                          .arg(result.counts[1])
                          .arg(result.counts[2]);
        } else {
            report += StatusErrorTitle + QStringLiteral(": ") + statusErrorMessage(*result.errorLine)
                + QLatin1Char('\n');
        }
        writeText(out, report);
    }
    return status;
}

QPageSize paperFor(const QString& paper)
{
    if (paper == QLatin1String("letter"))
        return QPageSize(QPageSize::Letter);
    if (paper == QLatin1String("a4"))
        return QPageSize(QPageSize::A4);
    return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize(QPageSize::Letter)
                                                                               : QPageSize(QPageSize::A4);
}

int runPdf(const Options& options, std::FILE* err)
{
    const QString& log = options.logs.constFirst();
    const std::optional<std::string> bytes = readDisplayBytes(log, err);
    if (!bytes)
        return ExitLogFailed;

    // Written to a temporary file first, so a failed run leaves no half document behind.
    const QString target = QFileInfo(options.outputFile).absoluteFilePath();
    const QString partial = target + QStringLiteral(".part");
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(partial);
        printer.setPageSize(paperFor(options.paper));
        // A PDF page has no unprintable edge: the layout's positions are from the paper's edge.
        printer.setFullPage(true);
        printer.setDocName(QFileInfo(log).fileName());
        printer.setCreator(ProgramTitle);
        try {
            DevicePrinter device(printer);
            PrintDocument(device, decodeWindows1252(*bytes));
        } catch (const PrintError& e) {
            QFile::remove(partial);
            writeText(err, QStringLiteral("vrxlog: cannot print \"%1\": %2\n").arg(log, QString::fromUtf8(e.what())));
            return ExitLogFailed;
        }
    }
    if (!QFile::exists(partial)) {
        // An empty log has no page; its document is still a (blank) PDF file.
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(partial);
        printer.setPageSize(paperFor(options.paper));
        QPainter painter(&printer);
    }
    QFile::remove(target);
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        writeText(err, QStringLiteral("vrxlog: cannot write \"%1\"\n").arg(options.outputFile));
        return ExitLogFailed;
    }
    return ExitOk;
}

} // namespace

QString vrxlogUsage()
{
    return QStringLiteral(
        "Usage: vrxlog text [--crlf] [-o FILE] LOG...\n"
        "       vrxlog status LOG...\n"
        "       vrxlog pdf [--paper a4|letter] -o OUT.pdf LOG\n"
        "\n"
        "Reads the compact log files of the VRX test program as %1 shows them.\n"
        "\n"
        "  text     write the display text of each log as UTF-8 to standard output\n"
        "           (LF line ends; --crlf keeps CR LF; -o FILE writes one log to FILE)\n"
        "  status   list each log's test outcomes from its status file (.tst) with the\n"
        "           counts of passed, failed and not-applicable tests\n"
        "  pdf      print one log into a PDF file with the page layout of the Print\n"
        "           command (--paper a4 or letter; the default follows the locale)\n"
        "\n"
        "Exit status: 0 when every log was read, 1 when a log could not be read or\n"
        "converted (the others are still processed), 2 for a wrong command line.\n"
        "Logs and status files are only read.\n")
        .arg(ProgramTitle);
}

int runVrxlog(const QStringList& arguments, std::FILE* out, std::FILE* err)
{
    if (arguments.isEmpty())
        return usageError(err, QStringLiteral("no command given"));
    const QString& command = arguments.constFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        writeText(out, vrxlogUsage());
        return ExitOk;
    }
    if (command == QLatin1String("--version")) {
        writeText(out, QStringLiteral("vrxlog %1 (%2)\n").arg(VersionText(), ReleaseDate));
        return ExitOk;
    }
    if (command != QLatin1String("text") && command != QLatin1String("status") && command != QLatin1String("pdf"))
        return usageError(err, QStringLiteral("unknown command '%1'").arg(command));

    Options options;
    options.command = command;
    const QString problem = parseOptions(arguments.mid(1), options);
    if (!problem.isEmpty())
        return usageError(err, problem);

    if (command == QLatin1String("text"))
        return runText(options, out, err);
    if (command == QLatin1String("status"))
        return runStatus(options, out, err);
    return runPdf(options, err);
}

} // namespace vrx

#include "cli/Vrxlog.h"

#include "print/DevicePrinter.h"
#include "platform/Identity.h"
#include "logview/LogFiles.h"
#include "cli/OutputFile.h"
#include "print/PrintModule.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPageSize>
#include <QPrinter>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vrx {

namespace {

struct Options {
    QString command;
    QByteArrayList logs;
    bool hasOutput = false;
    QByteArray outputFile;   // "-" or none: standard output
    bool crlf = false;
    QString paper;
    bool toStandardOutput() const { return !hasOutput || outputFile == "-"; }
};

const QByteArray StandardStream = "-";

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

// The first word of the command line that vrxlog does not take, as its usage message says:
// an option it does not know for the command, or one whose value is missing. Its options have
// these spellings only; the parser alone would also take "-output", "--o", "-o=FILE" or
// "--crlf=yes". Empty when every word is right.
QString wrongWord(const QByteArrayList& words, const QString& command)
{
    const bool text = command == QLatin1String("text");
    const bool pdf = command == QLatin1String("pdf");
    for (int i = 0; i < words.size(); ++i) {
        const QByteArray& word = words[i];
        if (word == "--")
            break;
        if (word == "-o" || word == "--output" || (pdf && word == "--paper")) {
            if (i + 1 >= words.size())
                return word == "--paper" ? QStringLiteral("--paper needs a4 or letter")
                                         : QStringLiteral("%1 needs a file name").arg(QString::fromLatin1(word));
            ++i; // the value, whatever it looks like
        } else if (word.startsWith('-') && word.size() > 1 && !word.startsWith("--output=")
                   && !(text && word == "--crlf") && !(pdf && word.startsWith("--paper="))) {
            return QStringLiteral("unknown option '%1' for '%2'").arg(shownName(word), command);
        }
    }
    return {};
}

// Parses the words after the command; an empty error text means success.
QString parseOptions(const QByteArrayList& words, Options& options)
{
    const QString wrong = wrongWord(words, options.command);
    if (!wrong.isEmpty())
        return wrong;

    // The parser works on text, the file names are the system's bytes: each byte goes in as the
    // character of the same number and comes back out unchanged, whatever its encoding.
    const auto toText = [](const QByteArray& bytes) { return QString::fromLatin1(bytes); };
    const auto toBytes = [](const QString& text) { return text.toLatin1(); };

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("FILE"));
    const QCommandLineOption crlf(QStringLiteral("crlf"));
    const QCommandLineOption paper(QStringLiteral("paper"), QString(), QStringLiteral("SIZE"));
    parser.addOption(output);
    if (options.command == QLatin1String("text"))
        parser.addOption(crlf);
    if (options.command == QLatin1String("pdf"))
        parser.addOption(paper);
    QStringList arguments{QStringLiteral("vrxlog")};
    for (const QByteArray& word : words)
        arguments.append(toText(word));
    if (!parser.parse(arguments))
        return parser.errorText(); // not reached: wrongWord has refused what the parser would

    // As on any command line, the last of a repeated option counts.
    if (parser.isSet(output)) {
        options.hasOutput = true;
        options.outputFile = toBytes(parser.value(output));
    }
    options.crlf = options.command == QLatin1String("text") && parser.isSet(crlf);
    if (options.command == QLatin1String("pdf") && parser.isSet(paper))
        options.paper = QString::fromUtf8(toBytes(parser.value(paper))).toLower();
    for (const QString& log : parser.positionalArguments())
        options.logs.append(toBytes(log));

    if (options.logs.isEmpty())
        return QStringLiteral("'%1' needs at least one log file").arg(options.command);
    if (options.hasOutput && options.outputFile.isEmpty())
        return QStringLiteral("-o needs a file name, not an empty one ('-' is standard output)");
    if (options.logs.count(StandardStream) > 1)
        return QStringLiteral("standard input ('-') can be read only once");
    if (!options.paper.isEmpty() && options.paper != QLatin1String("a4") && options.paper != QLatin1String("letter"))
        return QStringLiteral("--paper takes a4 or letter, not '%1'").arg(options.paper);
    if (options.command == QLatin1String("text") && !options.toStandardOutput() && options.logs.size() != 1)
        return QStringLiteral("-o writes the text of one log; %1 were given").arg(options.logs.size());
    if (options.command == QLatin1String("status") && options.hasOutput)
        return QStringLiteral("'status' writes to standard output only");
    if (options.command == QLatin1String("pdf")) {
        if (!options.hasOutput)
            return QStringLiteral("'pdf' needs -o OUT.pdf");
        if (options.logs.size() != 1)
            return QStringLiteral("'pdf' prints one log; %1 were given").arg(options.logs.size());
    }
    return {};
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString descriptorPath(int fd)
{
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

// The status file's name as bytes; empty for standard input, which has none.
QByteArray statusFileOf(const QByteArray& log)
{
    if (log == StandardStream)
        return {};
    return nativePathBytes(statusFilePath(pathFromNativeBytes(log)));
}

// A log named on the command line, made readable for the readers: standard input reaches them
// through a file of its own.
class LogInput {
public:
    explicit LogInput(const QByteArray& argument)
        : m_argument(argument)
        , m_shown(argument == StandardStream ? QStringLiteral("standard input") : shownName(argument))
    {
        if (argument == StandardStream) {
            struct stat st {};
            if (::fstat(0, &st) == 0 && S_ISREG(st.st_mode)) {
                m_path = QStringLiteral("/dev/stdin");
            } else if (::fstat(0, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
                // A pipe is read once, into a file of our own that the readers take as any log.
                m_spool = std::make_unique<ScratchFile>();
                if (!m_spool->isOpen()) {
                    m_problem = m_spool->errorText().mid(8);
                    return;
                }
                QString readError;
                if (!spoolStandardInput(readError)) {
                    m_problem = readError;
                    return;
                }
                m_path = descriptorPath(m_spool->fd());
            } else {
                m_problem = QStringLiteral("Standard input is no file or pipe.");
            }
        } else {
            // Names are the system's bytes; one that is no valid text (a Latin-1 name from
            // DOS media) still reaches the readers unchanged.
            m_path = pathFromNativeBytes(argument);
        }
    }
    LogInput(const LogInput&) = delete;
    LogInput& operator=(const LogInput&) = delete;

    const QString& path() const { return m_path; }
    const QString& shown() const { return m_shown; }
    // Why the log cannot be handed to the readers; empty when it can.
    const QString& problem() const { return m_problem; }

    // The status file, read as readStatusFile() reads it, its name shown as given.
    StatusFileResult readStatus(FolderListings& listings) const
    {
        if (m_argument == StandardStream) {
            StatusFileResult result;
            result.errorLine = QStringLiteral("Standard input has no status file.");
            return result;
        }
        return readStatusFile(statusFilePath(m_path, listings));
    }

private:
    bool spoolStandardInput(QString& readError)
    {
        QByteArray buffer(64 * 1024, Qt::Uninitialized);
        for (;;) {
            const ssize_t got = ::read(0, buffer.data(), size_t(buffer.size()));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                readError = systemReason(errno) + QLatin1Char('.');
                return false;
            }
            if (got == 0)
                return true;
            for (ssize_t done = 0; done < got;) {
                const ssize_t put = ::write(m_spool->fd(), buffer.constData() + done, size_t(got - done));
                if (put < 0 && errno == EINTR)
                    continue;
                if (put < 0) {
                    readError = QStringLiteral("It could not be kept in a temporary file: %1.").arg(systemReason(errno));
                    return false;
                }
                done += put;
            }
        }
    }

    QByteArray m_argument;
    QString m_shown;
    QString m_path;
    QString m_problem;
    std::unique_ptr<ScratchFile> m_spool;
};

// The message for a log that failed, worded from the failure's value: the lines before a
// failing line were written out (text), or nothing of the log was (status, pdf).
void reportLogError(const LogReadResult& read, const LogInput& log, std::FILE* err,
                    EarlierLines earlierLines = EarlierLines::None)
{
    const LogReadError error = read.error.value_or(LogReadError{LogReadError::Kind::CannotOpen, log.path(), 0, log.problem()});
    LogFailure failure = logFailureOf(error);
    failure.earlierLines = earlierLines;
    const std::string message = logFailureMessage(failure, shownPath(log.shown()).toStdString());
    writeText(err, QStringLiteral("vrxlog: ") + QString::fromStdString(message) + QLatin1Char('\n'));
}

LogReadResult cannotOpen(const LogInput& log)
{
    LogReadResult read;
    read.error = LogReadError{LogReadError::Kind::CannotOpen, log.shown(), 0, log.problem()};
    return read;
}

std::unique_ptr<OutputFile> outputFor(const Options& options, std::FILE* out)
{
    if (options.toStandardOutput())
        return std::make_unique<OutputFile>(out);
    return std::make_unique<OutputFile>(options.outputFile);
}

// Logs and status files are only read: an output that is one of them (by another name, a link,
// or standard output appended to it) is refused before anything is written.
QString sameFileProblem(const Options& options, const OutputFile& output)
{
    FileId outputId;
    if (!output.existingId(outputId))
        return {};
    for (const QByteArray& log : options.logs) {
        FileId id;
        const bool isStdin = log == StandardStream;
        bool known = false;
        if (isStdin) {
            struct stat st {};
            known = ::fstat(0, &st) == 0 && S_ISREG(st.st_mode);
            id = FileId{st.st_dev, st.st_ino};
        } else {
            known = fileIdOf(log, id);
        }
        const QString shownLog = isStdin ? QStringLiteral("standard input") : shownName(log);
        if (known && id == outputId)
            return QStringLiteral("the output \"%1\" is the log \"%2\"; logs are only read")
                .arg(output.displayName(), shownLog);
        const QByteArray status = statusFileOf(log);
        if (!status.isEmpty() && fileIdOf(status, id) && id == outputId)
            return QStringLiteral("the output \"%1\" is the status file \"%2\" of \"%3\"; status files are only read")
                .arg(output.displayName(), shownName(status), shownLog);
    }
    return {};
}

int writeFailed(const OutputFile& output, std::FILE* err)
{
    writeText(err, output.errorText() + QLatin1Char('\n'));
    return ExitLogFailed;
}

int runText(const Options& options, OutputFile& output, std::FILE* err)
{
    const LineEnds lineEnds = options.crlf ? LineEnds::CrLf : LineEnds::Lf;
    const std::string_view lineEnd = options.crlf ? "\r\n" : "\n";
    int status = ExitOk;
    for (const QByteArray& argument : options.logs) {
        const LogInput log(argument);
        // The text goes out as it is converted, so a log of any size needs little memory.
        bool written = false;
        const LogReadResult read = !log.problem().isEmpty() ? cannotOpen(log)
                                                            : streamLogFileUtf8(log.path(), lineEnds, [&](std::string_view piece) {
                                                                  output.write(piece.data(), piece.size());
                                                                  written = true;
                                                              });
        // The last line ends as every other.
        if (written)
            output.write(lineEnd.data(), lineEnd.size());
        if (!read.ok()) {
            reportLogError(read, log, err,
                           written && !output.replacesFile() ? EarlierLines::Written : EarlierLines::None);
            status = ExitLogFailed;
            if (output.replacesFile()) {
                output.discard();   // a file named by -o is not left behind half written
                return status;
            }
        }
        if (!output.write("", 0))
            return writeFailed(output, err);
    }
    if (!output.commit())
        return writeFailed(output, err);
    return status;
}

int runStatus(const Options& options, OutputFile& output, std::FILE* err)
{
    int status = ExitOk;
    bool first = true;
    // Many logs in one large folder: each folder is listed once for their status files.
    FolderListings listings;
    for (const QByteArray& argument : options.logs) {
        const LogInput log(argument);
        // As in the window, a status file is only read for a log that reads whole; the text
        // itself is not needed here and is not kept.
        const LogReadResult read = log.problem().isEmpty() ? checkLogFile(log.path()) : cannotOpen(log);
        if (!read.ok()) {
            reportLogError(read, log, err);
            status = ExitLogFailed;
            continue;
        }
        QString report = first ? QString() : QStringLiteral("\n");
        first = false;
        report += log.shown() + QStringLiteral(":\n");
        const StatusFileResult result = log.readStatus(listings);
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
        const QByteArray bytes = report.toUtf8();
        // A full disk or a closed output ends the run: nothing after it would arrive either.
        if (!output.write(bytes.constData(), size_t(bytes.size())))
            return writeFailed(output, err);
    }
    if (!output.commit())
        return writeFailed(output, err);
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

// Whether the disk holding a file is full: the usual reason why a PDF could not be written.
bool diskFull(int fd)
{
    struct statvfs disk {};
    return ::fstatvfs(fd, &disk) == 0 && disk.f_bavail == 0;
}

// Why a drawn PDF file came out incomplete.
QString incompleteReason(int fd)
{
    if (diskFull(fd))
        return systemReason(ENOSPC);
    return QStringLiteral("The PDF document was not written completely.");
}

int runPdf(const Options& options, OutputFile& output, std::FILE* err)
{
    const LogInput log(options.logs.constFirst());
    // The log is read twice instead of being kept: checked whole before any output, counting
    // its lines for the footers on the way, then printed a piece at a time, so a log of any
    // size prints in little memory.
    qsizetype lineCount = 0;
    qint64 printedCharacters = 0;   // for the size of the PDF
    LineSplitter lines{size_t(MaxPrintedLineLength)};
    const auto countLine = [&](std::string_view line, LineEnd) {
        ++lineCount;
        printedCharacters += qint64(std::count_if(line.begin(), line.end(), [](char c) { return c != ' '; }));
    };
    const LogReadResult check = log.problem().isEmpty()
        ? streamLogFile(log.path(), [&](const std::string& piece) { lines.add(piece, countLine); }, 1 << 20,
                        LongLines::PassedOn)
        : cannotOpen(log);
    if (!check.ok()) {
        reportLogError(check, log, err);
        return ExitLogFailed;
    }
    lines.finish(countLine);
    // Qt's PDF writer cannot make files past 2 GiB: such a log is refused before any output.
    const qint64 pdfBytes = estimatedPdfBytes(countPages(lineCount), printedCharacters);
    if (pdfBytes > MaxPdfBytes) {
        writeText(err, QStringLiteral("vrxlog: cannot print \"%1\": its %2 pages would make a PDF of about %3 GB, "
                                      "and the PDF writer cannot make files past 2 GiB\n")
                           .arg(log.shown())
                           .arg(countPages(lineCount))
                           .arg(double(pdfBytes) / 1e9, 0, 'f', 1));
        return ExitLogFailed;
    }
    const TextPieces displayText = [&log](const std::function<void(QStringView)>& take) {
        const LogReadResult read = streamLogFile(log.path(), [&take](const std::string& piece) {
            take(decodeWindows1252(piece));
        }, 1 << 20, LongLines::PassedOn);
        if (!read.ok())
            throw PrintError("The log changed while it was printed.");
    };
    if (!output.open())
        return writeFailed(output, err);

    // The PDF is drawn into a file of our own: the hidden temporary that replaces a regular
    // target, or, for standard output, a device or a FIFO, a scratch file copied into it once
    // complete. Either way a failed run leaves no half document under the target's name.
    std::unique_ptr<ScratchFile> scratch;
    int drawFd = output.fd();
    QByteArray drawPath = output.temporaryPath();
    if (!output.replacesFile()) {
        scratch = std::make_unique<ScratchFile>();
        if (!scratch->isOpen()) {
            writeText(err, scratch->errorText() + QLatin1Char('\n'));
            return ExitLogFailed;
        }
        drawFd = scratch->fd();
        drawPath = scratch->path();
    }
    // The printer opens the file by name; through the descriptor when the name is no text.
    // Qt's PDF writer takes its file by text; a name that is no valid text goes by descriptor.
    const bool spellsAsText = QFile::encodeName(QFile::decodeName(drawPath)) == drawPath;
    const QString drawName = spellsAsText ? QFile::decodeName(drawPath) : descriptorPath(drawFd);
    auto setUp = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(drawName);
        printer.setPageSize(paperFor(options.paper));
        // A PDF page has no unprintable edge: the layout's positions are from the paper's edge.
        printer.setFullPage(true);
        printer.setDocName(QFileInfo(log.shown()).fileName());
        printer.setCreator(ProgramTitle);
    };
    {
        QPrinter printer(QPrinter::HighResolution);
        setUp(printer);
        try {
            DevicePrinter device(printer);
            PrintDocument(device, displayText, lineCount);
        } catch (const PrintError& e) {
            // A full disk stops the PDF writer at a page; the system's reason tells the user why.
            if (diskFull(drawFd)) {
                writeText(err, QStringLiteral("vrxlog: cannot write \"%1\": %2\n")
                                   .arg(output.displayName(), systemReason(ENOSPC)));
                return ExitLogFailed;
            }
            // The printer's sentence names the file it drew into; the user knows the output.
            QString reason = QString::fromUtf8(e.what());
            reason.replace(drawName, output.displayName());
            writeText(err, QStringLiteral("vrxlog: cannot print \"%1\": %2\n").arg(log.shown(), reason));
            return ExitLogFailed;
        }
    }
    struct stat st {};
    if (::fstat(drawFd, &st) == 0 && st.st_size == 0) {
        // An empty log has no page; its document is still a (blank) PDF file.
        QPrinter printer(QPrinter::HighResolution);
        setUp(printer);
        QPainter painter(&printer);
    }
    if (!pdfIsComplete(drawFd)) {
        writeText(err, QStringLiteral("vrxlog: cannot write \"%1\": %2\n").arg(output.displayName(), incompleteReason(drawFd)));
        return ExitLogFailed;
    }
    if (scratch) {
        QString readError;
        if (!copyInto(drawFd, output, readError)) {
            if (!readError.isEmpty())
                writeText(err, QStringLiteral("vrxlog: cannot read the temporary PDF file: %1\n").arg(readError));
            else
                writeFailed(output, err);
            return ExitLogFailed;
        }
    }
    if (!output.commit())
        return writeFailed(output, err);
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
        "Logs and status files are only read. A LOG of - is standard input; -o - is\n"
        "standard output.\n")
        .arg(ProgramTitle);
}

int runVrxlog(const QStringList& arguments, std::FILE* out, std::FILE* err)
{
    QByteArrayList bytes;
    for (const QString& argument : arguments)
        bytes.append(QFile::encodeName(argument));
    return runVrxlog(bytes, out, err);
}

int runVrxlog(const QByteArrayList& arguments, std::FILE* out, std::FILE* err)
{
    if (arguments.isEmpty())
        return usageError(err, QStringLiteral("no command given"));
    const QString command = QString::fromUtf8(arguments.constFirst());
    OutputFile standardOutput(out);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        const QByteArray usage = vrxlogUsage().toUtf8();
        if (!standardOutput.write(usage.constData(), size_t(usage.size())) || !standardOutput.commit())
            return writeFailed(standardOutput, err);
        return ExitOk;
    }
    if (command == QLatin1String("--version")) {
        const QByteArray version = QStringLiteral("vrxlog %1 (%2)\n").arg(VersionText(), ReleaseDate).toUtf8();
        if (!standardOutput.write(version.constData(), size_t(version.size())) || !standardOutput.commit())
            return writeFailed(standardOutput, err);
        return ExitOk;
    }
    if (command != QLatin1String("text") && command != QLatin1String("status") && command != QLatin1String("pdf"))
        return usageError(err, QStringLiteral("unknown command '%1'").arg(shownName(arguments.constFirst())));

    Options options;
    options.command = command;
    const QString problem = parseOptions(arguments.mid(1), options);
    if (!problem.isEmpty())
        return usageError(err, problem);

    const std::unique_ptr<OutputFile> output = outputFor(options, out);
    const QString sameFile = sameFileProblem(options, *output);
    if (!sameFile.isEmpty()) {
        writeText(err, QStringLiteral("vrxlog: ") + sameFile + QLatin1Char('\n'));
        return ExitUsage;
    }
    if (command == QLatin1String("pdf"))
        return runPdf(options, *output, err);
    if (!output->open())
        return writeFailed(*output, err);
    if (command == QLatin1String("text"))
        return runText(options, *output, err);
    return runStatus(options, *output, err);
}

} // namespace vrx

#include "cli/Vrxlog.h"

#include "cli/OutputFile.h"
#include "core/LineIndex.h"
#include "files/LogSource.h"
#include "files/ReadFile.h"
#include "platform/Identity.h"
#include "platform/LogFiles.h"
#include "platform/SystemReason.h"
#include "print/DevicePrinter.h"
#include "print/PrintModule.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <limits>
#include <memory>
#include <optional>

namespace vrx {

namespace {

struct Options {
    QString command;
    QByteArrayList logs;
    bool hasOutput = false;
    QByteArray outputFile;   // "-" or none: standard output
    bool crlf = false;
    bool quiet = false;
    QString paper;
    bool toStandardOutput() const { return !hasOutput || outputFile == "-"; }
};

const QByteArray StandardStream = "-";
const QString StandardInputName = QStringLiteral("standard input");

// Dots per inch of the PDF's drawing: what Qt's printer draws PDF files at in high resolution.
constexpr int PdfResolution = 1200;

void writeText(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

// A message on standard error: its first line behind "vrxlog: ", every further line indented,
// so that a script can tell where each message begins.
void writeMessage(std::FILE* err, const QString& message)
{
    QString text;
    const QStringList lines = message.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i)
        text += (i == 0 ? QStringLiteral("vrxlog: ") : QStringLiteral("  ")) + lines[i] + QLatin1Char('\n');
    writeText(err, text);
}

int usageError(std::FILE* err, const QString& message, const QString& command = {})
{
    const QString help = command.isEmpty() ? QStringLiteral("vrxlog --help") : QStringLiteral("vrxlog %1 --help").arg(command);
    writeMessage(err, message + QStringLiteral("\nTry '%1'.").arg(help));
    return ExitUsage;
}

bool isHelpWord(const QByteArray& word)
{
    return word == "--help" || word == "-h";
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
                   && !(text && (word == "--crlf" || word == "-q" || word == "--quiet"))
                   && !(pdf && word.startsWith("--paper="))) {
            return QStringLiteral("unknown option '%1' for '%2'").arg(shownName(word), command);
        }
    }
    return {};
}

// Whether the words after the command ask for its help (before any "--").
bool asksForHelp(const QByteArrayList& words)
{
    for (int i = 0; i < words.size(); ++i) {
        if (words[i] == "--")
            return false;
        if (words[i] == "-o" || words[i] == "--output" || words[i] == "--paper")
            ++i; // a value, even one spelt "--help"
        else if (isHelpWord(words[i]))
            return true;
    }
    return false;
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
    const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption paper(QStringLiteral("paper"), QString(), QStringLiteral("SIZE"));
    parser.addOption(output);
    if (options.command == QLatin1String("text")) {
        parser.addOption(crlf);
        parser.addOption(quiet);
    }
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
    options.quiet = options.command == QLatin1String("text") && parser.isSet(quiet);
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
        return QStringLiteral("--paper takes a4 or letter, not '%1'").arg(shownName(options.paper));
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

// The status file's name as bytes; empty for standard input, which has none.
QByteArray statusFileOf(const QByteArray& log)
{
    if (log == StandardStream)
        return {};
    return nativePathBytes(statusFilePath(pathFromNativeBytes(log)));
}

// A log named on the command line, open for the readers: a regular file by its name, or
// standard input as the caller gave it (a file read from where it stands, or a pipe).
class LogInput {
public:
    explicit LogInput(const QByteArray& argument)
        : m_argument(argument)
        , m_shown(isStandardInput() ? StandardInputName : shownName(argument))
    {
        // Names are the system's bytes; one that is no valid text (a Latin-1 name from DOS
        // media) still reaches the readers unchanged.
        if (isStandardInput())
            m_file = std::make_unique<RegularFile>(RegularFile::Descriptor, 0);
        else
            m_file = std::make_unique<RegularFile>(argument.toStdString());
        m_start = m_file->offset();
    }
    LogInput(const LogInput&) = delete;
    LogInput& operator=(const LogInput&) = delete;

    bool isStandardInput() const { return m_argument == StandardStream; }
    // The name as messages show it.
    const QString& shown() const { return m_shown; }
    // The name a failure carries: the system's bytes (none for standard input).
    std::string failureName() const { return isStandardInput() ? std::string() : m_argument.toStdString(); }
    RegularFile& file() { return *m_file; }

    // The failure of a log that could not be opened; none when it is open.
    std::optional<LogRead> openFailure() const
    {
        if (m_file->isOpen())
            return std::nullopt;
        LogRead read;
        read.failure = LogFailure{LogFailure::Kind::CannotOpen, failureName(), 0, m_file->openFailure()};
        return read;
    }

    // Takes a pipe on standard input into a scratch file, for a reader that reads the log twice.
    bool keepPipe(QString& problem)
    {
        if (m_file->seekable())
            return true;
        m_spool = std::make_unique<ScratchFile>();
        if (!m_spool->isOpen()) {
            problem = m_spool->errorText();
            return false;
        }
        QByteArray buffer(1 << 20, Qt::Uninitialized);
        for (;;) {
            const std::int64_t got = m_file->read(buffer.data(), size_t(buffer.size()));
            if (got < 0) {
                problem = QStringLiteral("cannot read standard input: %1").arg(systemReason(errno));
                return false;
            }
            if (got == 0)
                break;
            if (const files::Error error = files::writeAll(m_spool->fd(), buffer.constData(), size_t(got))) {
                problem = QStringLiteral("cannot keep standard input in a temporary file: %1").arg(systemReason(error));
                return false;
            }
        }
        m_file = std::make_unique<RegularFile>(RegularFile::Descriptor, m_spool->fd());
        m_start = 0;
        return m_file->seekTo(0);
    }

    // The log as the window holds it, on the open file from where reading begins: its lines are
    // read from it again, and checked, as they are printed.
    std::shared_ptr<LogSource> source() const { return LogSource::ofDescriptor(m_file->descriptor(), failureName()); }
    std::int64_t start() const { return m_start; }

    // The status file, read as readStatusFile() reads it, its name shown as given.
    StatusFileResult readStatus(FolderListings& listings) const
    {
        if (isStandardInput()) {
            StatusFileResult result;
            result.errorLine = QStringLiteral("Standard input has no status file.");
            return result;
        }
        return readStatusFile(statusFilePath(pathFromNativeBytes(m_argument), listings));
    }

private:
    QByteArray m_argument;
    QString m_shown;
    std::unique_ptr<RegularFile> m_file;
    std::unique_ptr<ScratchFile> m_spool;
    std::int64_t m_start = 0;
};

// The message for a log that failed, worded from the failure's value, with what became of the
// lines before a failing line.
void reportLogError(const LogRead& read, const LogInput& log, std::FILE* err,
                    EarlierLines earlierLines = EarlierLines::None)
{
    LogFailure failure = *read.failure;
    failure.earlierLines = earlierLines;
    writeMessage(err, QString::fromStdString(logFailureMessage(failure, log.shown().toStdString())));
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
        const bool known = isStdin ? files::idOfRegularFile(0, id) : files::idOfPath(log.toStdString(), id);
        const QString shownLog = isStdin ? StandardInputName : shownName(log);
        if (known && id == outputId)
            return QStringLiteral("the output \"%1\" is the log \"%2\"; logs are only read")
                .arg(output.displayName(), shownLog);
        const QByteArray status = statusFileOf(log);
        if (!status.isEmpty() && files::idOfPath(status.toStdString(), id) && id == outputId)
            return QStringLiteral("the output \"%1\" is the status file \"%2\" of \"%3\"; status files are only read")
                .arg(output.displayName(), shownName(status), shownLog);
    }
    return {};
}

int writeFailed(const OutputFile& output, std::FILE* err)
{
    writeMessage(err, output.errorText());
    return ExitLogFailed;
}

// Thrown by a sink whose output failed: reading on would be for nothing.
struct OutputFailed {};

int runText(const Options& options, OutputFile& output, std::FILE* err)
{
    const LineEnds lineEnds = options.crlf ? LineEnds::CrLf : LineEnds::Lf;
    const QByteArray lineEnd = options.crlf ? "\r\n" : "\n";
    // Into a file that is thrown away when a log fails, a long line need not be checked before
    // its text goes out.
    const LongLines longLines = output.replacesFile() ? LongLines::PassedOn : LongLines::Held;
    // As head and tail do: with several logs, a line before each says which one follows.
    const bool headers = options.logs.size() > 1 && !options.quiet;
    bool firstHeader = true;
    bool anyOpened = false;
    int status = ExitOk;
    for (const QByteArray& argument : options.logs) {
        LogInput log(argument);
        if (const std::optional<LogRead> failed = log.openFailure()) {
            reportLogError(*failed, log, err);
            status = ExitLogFailed;
            continue;
        }
        anyOpened = true;
        if (headers) {
            const QByteArray header = (firstHeader ? QByteArray() : lineEnd)
                + QStringLiteral("==> %1 <==").arg(log.shown()).toUtf8() + lineEnd;
            firstHeader = false;
            if (!output.write(header))
                return writeFailed(output, err);
        }
        // The text goes out as it is converted, so a log of any size needs little memory.
        bool written = false;
        LogRead read;
        try {
            read = streamLogUtf8(log.file(), log.failureName(), lineEnds, [&](std::string_view piece) {
                if (!output.write(piece.data(), piece.size()))
                    throw OutputFailed{};
                written = true;
            }, 1 << 18, longLines);
        } catch (const OutputFailed&) {
            return writeFailed(output, err);
        }
        // The last line ends as every other.
        if (written && !output.write(lineEnd))
            return writeFailed(output, err);
        if (!read.ok()) {
            // Into a file named by -o nothing of a failed log is left: the file is not written.
            const EarlierLines earlier = output.replacesFile() ? EarlierLines::None
                : read.failedLineInPart                        ? EarlierLines::WrittenInPart
                                                               : EarlierLines::Written;
            reportLogError(read, log, err, earlier);
            status = ExitLogFailed;
            if (output.replacesFile()) {
                output.discard();
                return status;
            }
        }
    }
    // A file named by -o is replaced by the text of a log, never by nothing: when no log could
    // be opened, it stays exactly as it was.
    if (output.replacesFile() && !anyOpened) {
        output.discard();
        return status;
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
        LogInput log(argument);
        // As in the window, a status file is only read for a log that reads whole; the text
        // itself is not needed here and is not kept.
        const LogRead read = log.openFailure().value_or(checkLog(log.file(), log.failureName()));
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
        // A full disk or a closed output ends the run: nothing after it would arrive either.
        if (!output.write(report.toUtf8()))
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

// The lines of a log as the window finds them, and the characters of them that print (blanks
// left out, and no more of a line than the layout prints), for the size of the PDF.
class PrintedLines : public LogSink {
public:
    void line(const ScannedLine& line) override
    {
        m_index.line(line);
        if (line.first)
            m_column = 0;
        for (const char c : line.text) {
            if (c == '\n') {
                m_column = 0;
                continue;
            }
            if (m_column < MaxPrintedLineLength && c != ' ')
                ++m_printed;
            ++m_column;
        }
    }
    void reached(std::int64_t offset) override { m_index.reached(offset); }

    LineIndex& index() { return m_index; }
    qint64 printed() const { return m_printed; }

private:
    LineIndex m_index;
    qint64 m_printed = 0;
    qint64 m_column = 0;
};

int runPdf(const Options& options, OutputFile& output, std::FILE* err)
{
    LogInput log(options.logs.constFirst());
    // The log is read once as the window reads it, into an index of its lines, and checked whole
    // before any output; its pages are then drawn from those lines as File > Print draws them,
    // each part read again checked against what was read. A pipe is kept in a scratch file.
    if (const std::optional<LogRead> failed = log.openFailure()) {
        reportLogError(*failed, log, err);
        return ExitLogFailed;
    }
    QString spoolProblem;
    if (!log.keepPipe(spoolProblem)) {
        writeMessage(err, spoolProblem);
        return ExitLogFailed;
    }
    const std::shared_ptr<LogSource> source = log.source();
    PrintedLines found;
    LogRead check;
    {
        BytesInput bytes(*source, log.start(), std::numeric_limits<std::int64_t>::max());
        SnapshotInput input(bytes, source->sums(), log.start() == 0 ? source->keep() : nullptr);
        ScanOptions scan = LineIndex::scanOptions();
        scan.text = ScanText::Windows1252;   // the printed characters are counted on the way
        scan.from = {log.start(), 0, false, false};
        check = scanLog(input, log.failureName(), found, scan);
        input.finish(true);
        source->readDone(input.keptWhole());
    }
    if (!check.ok()) {
        reportLogError(check, log, err);
        return ExitLogFailed;
    }
    const DisplayLines lines = found.index().finish(source->snapshot());
    const qsizetype pages = countPages(qsizetype(lines.count()));
    // Qt's PDF writer cannot make files past 2 GiB: such a log is refused before any output.
    const qint64 pdfBytes = estimatedPdfBytes(pages, found.printed());
    if (pdfBytes > MaxPdfBytes) {
        writeMessage(err, QStringLiteral("cannot print \"%1\": its %2 pages would make a PDF of about %3 GB, "
                                         "and the PDF writer cannot make files past 2 GiB")
                              .arg(log.shown())
                              .arg(pages)
                              .arg(double(pdfBytes) / 1e9, 0, 'f', 1));
        return ExitLogFailed;
    }
    if (!output.open())
        return writeFailed(output, err);

    // The PDF is drawn into a file of our own: the hidden temporary that replaces a regular
    // target, or, for standard output, a device or a FIFO, a scratch file copied into it once
    // complete. Either way a failed run leaves no half document under the target's name.
    std::unique_ptr<ScratchFile> scratch;
    int drawFd = output.fd();
    if (!output.replacesFile()) {
        scratch = std::make_unique<ScratchFile>();
        if (!scratch->isOpen()) {
            writeMessage(err, scratch->errorText());
            return ExitLogFailed;
        }
        drawFd = scratch->fd();
    }
    // Qt's PDF writer draws into the open file, whatever its name; the first write that fails
    // is kept with the system's reason.
    DescriptorDevice drawFile(drawFd);
    const auto drawFailed = [&] {
        output.fail(systemReason(drawFile.failure()));
        return writeFailed(output, err);
    };
    const auto setUp = [&](QPdfWriter& writer) {
        // A PDF page has no unprintable edge: the layout's positions are from the paper's edge.
        QPageLayout layout(paperFor(options.paper), QPageLayout::Portrait, QMarginsF());
        layout.setMode(QPageLayout::FullPageMode);
        writer.setPageLayout(layout);
        writer.setResolution(PdfResolution);
        writer.setTitle(QFileInfo(log.shown()).fileName());
        writer.setCreator(ProgramTitle);
    };
    {
        QPdfWriter writer(&drawFile);
        setUp(writer);
        try {
            DevicePrinter device(writer, output.displayName(), &drawFile);
            PrintDocument(device, lines);
        } catch (const PrintError& e) {
            if (!drawFile.flush())
                return drawFailed();
            writeMessage(err, QStringLiteral("cannot print \"%1\": %2").arg(log.shown(), QString::fromUtf8(e.what())));
            return ExitLogFailed;
        }
    }
    if (drawFile.written() == 0) {
        // An empty log has no page; its document is still a (blank) PDF file.
        QPdfWriter writer(&drawFile);
        setUp(writer);
        QPainter painter(&writer);
    }
    if (!drawFile.flush())
        return drawFailed();
    if (scratch) {
        QString readError;
        if (!copyInto(drawFd, output, readError)) {
            if (readError.isEmpty())
                return writeFailed(output, err);
            writeMessage(err, QStringLiteral("cannot read the temporary PDF file: %1").arg(readError));
            return ExitLogFailed;
        }
    }
    if (!output.commit())
        return writeFailed(output, err);
    return ExitOk;
}

int writeOut(OutputFile& standardOutput, const QString& text, std::FILE* err)
{
    if (!standardOutput.write(text.toUtf8()) || !standardOutput.commit())
        return writeFailed(standardOutput, err);
    return ExitOk;
}

} // namespace

QString vrxlogUsage()
{
    return QStringLiteral(
        "Usage: vrxlog text [--crlf] [-q] [-o FILE] LOG...\n"
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
        "'vrxlog COMMAND --help' tells more of each command.\n"
        "\n"
        "Exit status: 0 when every log was read, 1 when a log could not be read or\n"
        "converted (the others are still processed), 2 for a wrong command line.\n"
        "Logs and status files are only read. A LOG of - is standard input; -o - is\n"
        "standard output.\n")
        .arg(ProgramTitle);
}

QString vrxlogUsage(const QString& command)
{
    if (command == QLatin1String("text"))
        return QStringLiteral(
            "Usage: vrxlog text [--crlf] [-q] [-o FILE] LOG...\n"
            "\n"
            "Writes the display text of each log, converted as the main window shows it, as\n"
            "UTF-8 to standard output.\n"
            "\n"
            "  --crlf        end lines with CR LF, as the display does (the default is LF)\n"
            "  -q, --quiet   no '==> LOG <==' line before each log when several are given\n"
            "  -o, --output FILE\n"
            "                write the text of the one log given to FILE ('-' is standard\n"
            "                output); FILE is replaced only once the whole text is written,\n"
            "                and a log that cannot be read leaves it as it was\n"
            "\n"
            "A LOG of - is standard input. When a line cannot be converted, the lines before\n"
            "it have been written and the message says so; with -o nothing is written.\n");
    if (command == QLatin1String("status"))
        return QStringLiteral(
            "Usage: vrxlog status LOG...\n"
            "\n"
            "Lists, for each log that reads whole, the outcomes of its status file (the\n"
            "log's name with .tst) as the status list shows them, and the counts of passed,\n"
            "failed and not-applicable tests, or the message the main window gives when the\n"
            "status file is missing or invalid.\n");
    return QStringLiteral(
        "Usage: vrxlog pdf [--paper a4|letter] -o OUT.pdf LOG\n"
        "\n"
        "Prints one log into a PDF file with the page layout of the Print command: 48\n"
        "lines a page and the footer \"Page N of M\".\n"
        "\n"
        "  --paper a4|letter   the paper size (the default follows the locale)\n"
        "  -o, --output OUT.pdf\n"
        "                      the PDF file ('-' is standard output); it is replaced\n"
        "                      only once the whole document is written\n"
        "\n"
        "A LOG of - is standard input.\n");
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
    if (isHelpWord(arguments.constFirst()) || command == QLatin1String("help"))
        return writeOut(standardOutput, vrxlogUsage(), err);
    if (command == QLatin1String("--version"))
        return writeOut(standardOutput, VersionLine("vrxlog"), err);
    if (command != QLatin1String("text") && command != QLatin1String("status") && command != QLatin1String("pdf"))
        return usageError(err, QStringLiteral("unknown command '%1'").arg(shownName(arguments.constFirst())));

    const QByteArrayList words = arguments.mid(1);
    if (asksForHelp(words))
        return writeOut(standardOutput, vrxlogUsage(command), err);
    Options options;
    options.command = command;
    const QString problem = parseOptions(words, options);
    if (!problem.isEmpty())
        return usageError(err, problem, command);

    const std::unique_ptr<OutputFile> output = outputFor(options, out);
    const QString sameFile = sameFileProblem(options, *output);
    if (!sameFile.isEmpty()) {
        writeMessage(err, sameFile);
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

// Log viewing: ConvertLogLine throughput, loading a generated log of 1,000,000 lines
// through "&Open File" into the display (time and peak memory), and finding in it; the same
// for a log whose line ends a file transfer turned into LF alone.

#include "core/ConvertLogLine.h"
#include "core/LineIndex.h"
#include "core/LogReader.h"
#include "core/LogSnapshot.h"
#include "bench/LogSample.h"
#include "logview/LogView.h"
#include "platform/QtPlatform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include "logview/LogTextView.h"
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <fstream>

using namespace vrx;

namespace {

// Resident memory of this process in KiB: "VmHWM" (peak) or "VmRSS" (now).
long statusKiB(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string word;
    while (in >> word) {
        if (word == key) {
            long value = 0;
            in >> value;
            return value;
        }
    }
    return 0;
}

// Starts a new peak at the current resident size (Linux: "5" to clear_refs).
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_ConvertLogLine(benchmark::State& state)
{
    std::mt19937 rng(3);
    std::vector<std::string> lines;
    size_t bytes = 0;
    for (long i = 0; i < 6000; ++i) {
        lines.push_back("\r\n" + bench::sampleLogLine(rng, i));
        bytes += lines.back().size() - 2;
    }
    std::string out;
    out.reserve(1 << 20);
    for (auto _ : state) {
        out.clear();
        for (const std::string& l : lines) {
            const ConvertResult r = ConvertLogLine(std::string_view(l).substr(2));
            benchmark::DoNotOptimize(r.text.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ConvertLogLine);

// The loader's way: appended to one buffer behind CR LF.
void BM_AppendConvertedLine(benchmark::State& state)
{
    std::mt19937 rng(3);
    std::vector<std::string> lines;
    size_t bytes = 0;
    for (long i = 0; i < 6000; ++i) {
        lines.push_back(bench::sampleLogLine(rng, i));
        bytes += lines.back().size();
    }
    std::string out;
    out.reserve(1 << 20);
    for (auto _ : state) {
        out.clear();
        for (const std::string& l : lines)
            appendConvertedLine(out, "\r\n", l);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_AppendConvertedLine);

// Finding the lines of a log held in memory, as the window's reading of a file does, without and
// with the checksums of its pages taken on the way (argument 1): their cost in the reading.
void BM_IndexLog(benchmark::State& state)
{
    std::mt19937 rng(5);
    std::string log;
    for (long i = 0; log.size() < (size_t(256) << 20); ++i)
        log += bench::sampleLogLine(rng, i) + "\r\n";
    const auto bytes = std::make_shared<const MemoryBytes>(std::move(log));
    const std::int64_t size = std::int64_t(bytes->bytes().size());
    for (auto _ : state) {
        LineIndex index;
        BytesInput input(*bytes, 0, size);
        PageSums sums;
        SnapshotInput summed(input, sums);
        ScanInput& read = state.range(0) ? static_cast<ScanInput&>(summed) : input;
        const LogRead result = scanLog(read, {}, index, LineIndex::scanOptions());
        if (!result.ok())
            state.SkipWithError("the log did not read");
        benchmark::DoNotOptimize(index.blocksFound());
    }
    state.counters["log_MB"] = double(size) / 1e6;
    state.SetBytesProcessed(std::int64_t(state.iterations()) * size);
}
BENCHMARK(BM_IndexLog)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The checksum alone, on pages of the file's size.
void BM_Checksum(benchmark::State& state)
{
    std::string page(size_t(PageSums::PageSize), 'x');
    for (size_t i = 0; i < page.size(); ++i)
        page[i] = char(i * 131);
    for (auto _ : state)
        benchmark::DoNotOptimize(checksum64(page.data(), page.size()));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(page.size()));
}
BENCHMARK(BM_Checksum);

// The real platform, with the open dialog answered and message boxes counted, not shown.
class BenchPlatform : public QtPlatform {
public:
    QString answer;
    int messages = 0;
    std::optional<OpenFileResult> openFile(QWidget*, const OpenFileRequest&) override
    {
        return OpenFileResult{answer, answer.mid(answer.lastIndexOf(QLatin1Char('/')) + 1)};
    }
    MessageResult messageBox(QWidget*, const QString&, const QString&, MessageButtons, MessageIcon) override
    {
        ++messages;
        return MessageResult::Ok;
    }
};

// A generated log with its status file, and the log view in a window.
struct LoadedLogWindow {
    QTemporaryDir dir;
    long long fileBytes = 0;
    BenchPlatform platform;
    QWidget window;
    LogView* view = new LogView(platform, &window);
    LogTextView* display = view->Display;
    bool printable = false;
    QString defaultDir;

    // The kinds of log: the test program's, its text expanded with LF alone (as a file
    // transfer leaves it), and the same text with CR LF.
    enum Kind { Compact = 0, TextLf = 1, TextCrLf = 2 };

    explicit LoadedLogWindow(long lines, long kind = Compact)
    {
        const QString path = dir.filePath(QStringLiteral("big.log"));
        // The text as the window shows it, so that reading it again repairs and expands nothing.
        const auto expand = [kind](std::string line) {
            if (kind != Compact)
                repairLogLine(line.data(), line.size());
            return kind == Compact ? line : ConvertLogLine(line).text;
        };
        fileBytes = bench::writeSampleLog(path.toStdString(), lines, kind == TextLf ? "\n" : "\r\n", expand);
        QFile status(dir.filePath(QStringLiteral("big.tst")));
        if (status.open(QIODevice::WriteOnly))
            status.write("1,0,-1\r\n");
        status.close();
        platform.answer = path;
        window.resize(700, 600);
        QObject::connect(view, &LogView::printableChanged, [this](bool on) { printable = on; });
        window.show();
        QCoreApplication::processEvents();
    }
};

// Arguments: lines; the kind of log (LoadedLogWindow::Kind).
void BM_LoadLog(benchmark::State& state)
{
    const long lines = state.range(0);
    LoadedLogWindow w(lines, state.range(1));
    const long long fileBytes = w.fileBytes;

    double seconds = 0;
    long peakKiB = 0;
    long baseKiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // The last round's log goes first, text and bytes; its question is not counted.
        w.view->clear();
        w.platform.messages = 0;
        QCoreApplication::processEvents();
        baseKiB = statusKiB("VmRSS:");
        resetPeak();
        state.ResumeTiming();

        QElapsedTimer timer;
        timer.start();
        w.view->openFromDialog(w.defaultDir);
        seconds = timer.nsecsElapsed() / 1e9;
        peakKiB = statusKiB("VmHWM:");
    }
    if (w.platform.messages != 0 || !w.printable)
        state.SkipWithError("the log did not load");
    const double fileMiB = fileBytes / 1048576.0;
    state.counters["file_MB"] = fileMiB;
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["load_s"] = seconds;
    state.counters["peak_rss_MB"] = peakKiB / 1024.0;
    state.counters["base_rss_MB"] = baseKiB / 1024.0;
    state.counters["peak_x_file"] = (peakKiB / 1024.0) / fileMiB;
    state.counters["growth_x_file"] = ((peakKiB - baseKiB) / 1024.0) / fileMiB;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * fileBytes);
}
BENCHMARK(BM_LoadLog)
    ->Args({1000000, LoadedLogWindow::Compact})
    ->Args({1000000, LoadedLogWindow::TextLf})
    ->Args({1000000, LoadedLogWindow::TextCrLf})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

// "Find Next" for a text the loaded log does not hold, from its first line down to its end:
// the whole display text is searched, then the not-found message (counted, not shown).
// Arguments: 0 any case (the find window's default), 1 match case; lines; the kind of log
// (300,000 lines of text with LF alone are 30 MB).
void BM_FindNotFound(benchmark::State& state)
{
    LoadedLogWindow w(state.range(1), state.range(2));
    w.view->openFromDialog(w.defaultDir);
    if (w.platform.messages != 0)
        state.SkipWithError("the log did not load");
    const FindRequest request{QStringLiteral("Not in this log"), state.range(0) != 0, true};
    const int before = w.platform.messages;
    for (auto _ : state) {
        w.display->setCursorPosition(0);
        benchmark::DoNotOptimize(w.view->findNext(request));
    }
    if (w.platform.messages - before != static_cast<int>(state.iterations()))
        state.SkipWithError("a match was found");
    const size_t textBytes = w.view->displayBytes().size();
    state.counters["file_MB"] = static_cast<double>(w.fileBytes) / 1048576.0;
    state.counters["text_MB"] = static_cast<double>(textBytes) / 1048576.0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(textBytes));
}
BENCHMARK(BM_FindNotFound)
    ->Args({0, 1000000, LoadedLogWindow::Compact})
    ->Args({1, 1000000, LoadedLogWindow::Compact})
    ->Args({0, 300000, LoadedLogWindow::TextLf})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

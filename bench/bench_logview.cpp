// Log viewing: ConvertLogLine throughput, loading a generated log of 1,000,000 lines
// through "&Open File" into the display (time and peak memory), and finding in it.

#include "core/ConvertLogLine.h"
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

    explicit LoadedLogWindow(long lines)
    {
        const QString path = dir.filePath(QStringLiteral("big.log"));
        fileBytes = bench::writeSampleLog(path.toStdString(), lines);
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

void BM_LoadLog(benchmark::State& state)
{
    const long lines = state.range(0);
    LoadedLogWindow w(lines);
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
BENCHMARK(BM_LoadLog)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);

// "Find Next" for a text the loaded log does not hold, from its first line down to its end:
// the whole display text is searched, then the not-found message (counted, not shown).
// Argument: 0 any case (the find window's default), 1 match case.
void BM_FindNotFound(benchmark::State& state)
{
    LoadedLogWindow w(1000000);
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
    state.counters["text_MB"] = static_cast<double>(textBytes) / 1048576.0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(textBytes));
}
BENCHMARK(BM_FindNotFound)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

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

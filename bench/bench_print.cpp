// Printing a long log to a PDF file through the real printer object.

#include "print/DevicePrinter.h"
#include "print/PrintModule.h"

#include <QGuiApplication>
#include <QPrinter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QString makeLog(int lines)
{
    QString text;
    text.reserve(lines * 64);
    for (int i = 1; i <= lines; ++i) {
        if (i > 1)
            text += QStringLiteral("\r\n");
        text += QStringLiteral("%1  Vert. scale 5 mV/div   measured 4.98 mV   limit 2%   PASS").arg(i, 6);
    }
    return text;
}

void printLogToPdf(benchmark::State& state)
{
    const int lines = static_cast<int>(state.range(0));
    const QString log = makeLog(lines);
    QTemporaryDir dir;
    for (auto _ : state) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("log.pdf")));
        vrx::DevicePrinter device(printer);
        vrx::PrintDocument(device, log);
    }
    state.counters["pages"] = static_cast<double>(vrx::countPages(vrx::countLines(log)));
}

} // namespace

BENCHMARK(printLogToPdf)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "print/CupsJob.h"

#include <QPrintEngine>
#include <QPrinter>
#include <QStringList>

namespace vrx {

namespace {

// Where Qt keeps the queue's options chosen in the dialog: name, value, name, value, ...
constexpr auto CupsOptionsKey = QPrintEngine::PrintEnginePropertyKey(0xfe00);

} // namespace

void prepareCupsPrinter(QPrinter& printer)
{
    QPrintEngine* engine = printer.printEngine();
    if (printer.outputFormat() != QPrinter::NativeFormat || engine == nullptr)
        return;
    const QStringList options = engine->property(CupsOptionsKey).toStringList();
    QStringList kept;
    bool ordered = false;
    for (qsizetype i = 0; i + 1 < options.size(); i += 2) {
        if (options[i] == QLatin1String("page-ranges"))
            continue;
        ordered = ordered || options[i] == QLatin1String("outputorder");
        kept << options[i] << options[i + 1];
    }
    // Qt's CUPS printing leaves the page order to the program.
    if (printer.pageOrder() == QPrinter::LastPageFirst && !ordered)
        kept << QStringLiteral("outputorder") << QStringLiteral("reverse");
    engine->setProperty(CupsOptionsKey, kept);
}

} // namespace vrx

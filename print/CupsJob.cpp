#include "print/CupsJob.h"

#include "print/PrintModule.h"

#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPrintEngine>
#include <QPrinter>
#include <QStringList>

#include <cups/cups.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vrx {

namespace {

// Where Qt keeps the queue's options chosen in the dialog: name, value, name, value, ...
constexpr auto CupsOptionsKey = QPrintEngine::PrintEnginePropertyKey(0xfe00);

QStringList cupsOptions(QPrinter& printer)
{
    QPrintEngine* engine = printer.printEngine();
    return engine == nullptr ? QStringList() : engine->property(CupsOptionsKey).toStringList();
}

} // namespace

void prepareCupsPrinter(QPrinter& printer)
{
    if (printer.outputFormat() != QPrinter::NativeFormat || printer.printEngine() == nullptr)
        return;
    const QStringList options = cupsOptions(printer);
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
    printer.printEngine()->setProperty(CupsOptionsKey, kept);
}

CupsJob::CupsJob(QPrinter& printer) : m_printer(printer)
{
    const QByteArray folder = QFile::encodeName(QDir::tempPath());
#ifdef O_TMPFILE
    if (::access("/proc/self/fd", X_OK) == 0) {
        m_fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (m_fd >= 0)
            m_path = "/proc/self/fd/" + QByteArray::number(m_fd);
    }
#endif
    if (m_fd < 0) {
        QByteArray pattern = folder + "/vrxpv-print-XXXXXX";
        m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (m_fd < 0)
            throw PrintError("No spool file could be made in \"" + folder.toStdString() + "\": "
                             + std::strerror(errno) + ".");
        m_path = m_namedFile = pattern;
    }
    m_printer.setOutputFileName(QFile::decodeName(m_path));
}

CupsJob::~CupsJob()
{
    m_printer.setOutputFileName(QString());
    ::close(m_fd);
    if (!m_namedFile.isEmpty())
        ::unlink(m_namedFile.constData());
}

qint64 CupsJob::size() const
{
    struct stat st {};
    return ::fstat(m_fd, &st) == 0 ? qint64(st.st_size) : 0;
}

void CupsJob::submit()
{
    // The options Qt's CUPS printing gives its jobs; one copy, each copy being a job of its own.
    const QPageLayout layout = m_printer.pageLayout();
    std::vector<std::pair<QByteArray, QByteArray>> options;
    options.emplace_back("media", layout.pageSize().key().toLocal8Bit());
    switch (m_printer.duplex()) {
    case QPrinter::DuplexNone: options.emplace_back("sides", "one-sided"); break;
    case QPrinter::DuplexAuto:
        options.emplace_back("sides", layout.orientation() == QPageLayout::Portrait ? "two-sided-long-edge"
                                                                                   : "two-sided-short-edge");
        break;
    case QPrinter::DuplexLongSide: options.emplace_back("sides", "two-sided-long-edge"); break;
    case QPrinter::DuplexShortSide: options.emplace_back("sides", "two-sided-short-edge"); break;
    }
    if (layout.orientation() == QPageLayout::Landscape)
        options.emplace_back("landscape", "");
    const QStringList chosen = cupsOptions(m_printer);
    for (qsizetype i = 0; i + 1 < chosen.size(); i += 2)
        options.emplace_back(chosen[i].toLocal8Bit(), chosen[i + 1].toLocal8Bit());
    std::vector<cups_option_t> cupsOptionList;
    for (auto& [name, value] : options)
        cupsOptionList.push_back({name.data(), value.data()});

    // The queue's name without the instance ("printer/instance").
    const QByteArray queue = m_printer.printerName().section(QLatin1Char('/'), 0, 0).toLocal8Bit();
    const QByteArray title = m_printer.docName().toLocal8Bit();
    if (cupsPrintFile(queue.constData(), m_path.constData(), title.constData(), int(cupsOptionList.size()),
                      cupsOptionList.data())
        == 0)
        throw PrintError("The printing system did not take the job: " + std::string(cupsLastErrorString()) + ".");
}

} // namespace vrx

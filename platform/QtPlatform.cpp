#include "platform/QtPlatform.h"

#ifdef Q_OS_WIN
#include "platform/WindowsPrintDialog.h"
#endif

#include "platform/Download.h"
#include "platform/NativePath.h"
#include "platform/Twips.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageRanges>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeView>

#include <sys/stat.h>

#include <algorithm>
#include <climits>

namespace vrx {

MessageResult QtPlatform::messageBox(QWidget* parent, const QString& text, const QString& title,
                                     MessageButtons buttons, MessageIcon icon)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (buttons == MessageButtons::Ok)
        return MessageResult::Ok;
    return answer == QMessageBox::Yes ? MessageResult::Yes : MessageResult::No;
}

std::optional<OpenFileResult> QtPlatform::openFile(QWidget* parent, const OpenFileRequest& request)
{
    // Qt's dialog names folders by UTF-8 text: a folder whose name holds other bytes (Latin-1
    // from DOS media) is opened at its nearest parent that it can name, where it is listed.
    QString initialDir = request.initialDir;
    while (std::any_of(initialDir.cbegin(), initialDir.cend(),
                       [](QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; }))
        initialDir = QFileInfo(initialDir).path();
    QFileDialog dialog(parent, request.title, initialDir, request.filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // Large enough for the file list to show each file's whole name, size and date side by
    // side, which is how a user tells one run from another (800 x 500 pixels at 96 DPI).
    const qreal scale = logicalDpi(parent) / 96.0;
    dialog.resize(qRound(800 * scale), qRound(500 * scale));
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (auto* files = dialog.findChild<QFileSystemModel*>(); files && list)
        QObject::connect(files, &QFileSystemModel::directoryLoaded, list, [list] {
            // Each column as wide as its widest entry; room to spare goes to the names.
            QHeaderView* header = list->header();
            header->resizeSections(QHeaderView::ResizeToContents);
            const int spare = list->viewport()->width() - header->length();
            if (spare > 0)
                header->resizeSection(0, header->sectionSize(0) + spare);
        });
    // The preset name (a pattern such as "*.log") stands selected in the name box, so that a
    // name typed over it replaces it.
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
        QTimer::singleShot(0, &dialog, [&dialog] {
            if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->selectAll();
        });
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString path = QDir::toNativeSeparators(resolveReplacedPath(dialog.selectedFiles().constFirst()));
    return OpenFileResult{path, QFileInfo(path).fileName()};
}

bool QtPlatform::printerInstalled()
{
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

std::optional<PrinterChoice> QtPlatform::printerDialog(QWidget* parent, const PrinterDialogRequest& request)
{
#ifdef Q_OS_WIN
    return windowsPrinterDialog(parent, request);
#else
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setCopyCount(request.copies);
    // Each copy is printed as a document of its own, so copies always come out collated.
    printer->setCollateCopies(true);
    const int lastPage = int(std::clamp<qint64>(request.pageCount, 1, INT_MAX - 1));
    printer->setFromTo(1, lastPage);
    QPrintDialog dialog(printer.get(), parent);
    QAbstractPrintDialog::PrintDialogOptions options = dialog.options();
    if (request.hidePrintToFile)
        options &= ~QAbstractPrintDialog::PrintToFile;
    if (request.noSelection)
        options &= ~QAbstractPrintDialog::PrintSelection;
    options &= ~QAbstractPrintDialog::PrintCollateCopies;
    options |= QAbstractPrintDialog::PrintPageRange;
    dialog.setOptions(options);
    dialog.setMinMax(1, lastPage);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;

    PrinterChoice choice;
    choice.printerName = printer->printerName();
    choice.copies = qMax(1, printer->copyCount());
    // Qt takes the text of its "Pages" box for a list of pages only when it reads it whole, and
    // otherwise prints every page without a word: the text goes to the command as typed.
    const auto* listChosen = dialog.findChild<QRadioButton*>(QStringLiteral("pagesRadioButton"));
    const auto* listText = dialog.findChild<QLineEdit*>(QStringLiteral("pagesLineEdit"));
    if (listChosen != nullptr && listText != nullptr && listChosen->isChecked()) {
        choice.pageList = listText->text();
    } else if (printer->printRange() == QPrinter::PageRange) {
        for (const QPageRanges::Range& range : printer->pageRanges().toRangeList())
            choice.pages.push_back({range.from, range.to});
        // A range that the printer could not take (one that counts down, or a page 0, where a
        // dialog lets it through) is no choice of every page: it is an empty list.
        if (choice.pages.empty())
            choice.pageList = QString();
    }
    choice.printer = std::move(printer);
    return choice;
#endif
}

static QSettings settingsStore(const QString& appName)
{
    // The same place Windows programs of this family keep their settings, so an existing
    // setting is found; on Linux this is ~/.config/VB and VBA Program Settings/<appName>.conf.
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QStringLiteral("VB and VBA Program Settings"), appName);
}

// QSettings reads its file as soon as it is made: a FIFO in its place would block the program
// for good and a device would never end. Only a regular file (or none yet) is used; anything
// else counts as no setting stored, and nothing is written to it.
static bool settingsFileUsable(const QString& appName)
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/VB and VBA Program Settings/") + appName + QStringLiteral(".conf");
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode);
}

QVariant QtPlatform::readSetting(const QString& appName, const QString& section, const QString& key,
                                 const QVariant& defaultValue)
{
    if (!settingsFileUsable(appName))
        return defaultValue;
    return settingsStore(appName).value(section + QLatin1Char('/') + key, defaultValue);
}

void QtPlatform::writeSetting(const QString& appName, const QString& section, const QString& key,
                              const QVariant& value)
{
    if (!settingsFileUsable(appName))
        return;
    QSettings store = settingsStore(appName);
    store.setValue(section + QLatin1Char('/') + key, value);
    store.sync();
}

QString QtPlatform::environment(const QString& name)
{
    return qEnvironmentVariable(name.toLocal8Bit().constData());
}

bool QtPlatform::exists(const QString& path)
{
    if (path.isEmpty())
        return false;
#ifdef Q_OS_WIN
    return QFileInfo::exists(path);
#else
    // By the name's own bytes: Qt's text for a Latin-1 name would name another file.
    struct stat info {};
    return ::stat(nativePathBytes(path).constData(), &info) == 0;
#endif
}

void QtPlatform::setBusy(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
}

void QtPlatform::processEvents()
{
    // Lets the windows repaint and timers run. What the user clicked or typed meanwhile waits
    // for the main loop, so no second command starts in the middle of this one.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

namespace {

// Qt's progress window: it shows itself once the task looks like taking more than half a second,
// and while shown, each update lets the windows repaint and its Cancel button be clicked.
class DialogProgress : public TaskProgress {
public:
    DialogProgress(QWidget* parent, const QString& title, qint64 total)
        : m_scale(std::max<qint64>(1, (total + INT_MAX - 1) / INT_MAX)),
          m_dialog(QString(), QStringLiteral("Cancel"), 0, int(total / m_scale), parent)
    {
        m_dialog.setWindowTitle(title);
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(500);
        m_dialog.setAutoReset(false);
        m_dialog.setAutoClose(false);
        m_dialog.setValue(0);
    }

    bool update(qint64 done, const QString& text) override
    {
        m_dialog.setLabelText(text);
        m_dialog.setValue(int(std::min<qint64>(done / m_scale, m_dialog.maximum())));
        return !m_dialog.wasCanceled();
    }

private:
    qint64 m_scale;   // steps of the task to one of the dialog's, which counts in int
    QProgressDialog m_dialog;
};

} // namespace

std::unique_ptr<TaskProgress> QtPlatform::startProgress(QWidget* parent, const QString& title, qint64 total)
{
    return std::make_unique<DialogProgress>(parent, title, total);
}

void QtPlatform::openUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

void QtPlatform::download(const QUrl& url, const QString& targetFile, const DownloadOptions& options,
                          QObject* context, DownloadDone done)
{
    startDownload(url, targetFile, options, [this](const QString& name) { return environment(name); },
                  context, std::move(done));
}

QString QtPlatform::homeFolder()
{
    return QDir::toNativeSeparators(QDir::homePath());
}

} // namespace vrx

#include "LogViewCommands.h"

#include "Identity.h"
#include "LogFiles.h"
#include "Platform.h"
#include "Twips.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <new>

namespace vrx {

LogViewCommands::LogViewCommands(Platform& platform, const LogViewWidgets& widgets)
    : m_platform(platform), m_w(widgets)
{
    if (m_w.showTestStatus)
        m_statusShown = m_w.showTestStatus->isChecked();
}

void LogViewCommands::LoadLogFile_Click(QString& defaultDir)
{
    OpenFileRequest request;
    request.fileName = QStringLiteral("*.log");
    // DOS media carry upper-case names; the one "*.log" entry lists both.
    request.filter = QStringLiteral("Log Files (*.log *.LOG)");
    request.initialDir = defaultDir;
    request.title = QStringLiteral("Log File");
    const std::optional<OpenFileResult> choice = m_platform.openFile(m_w.window, request);
    if (!choice)
        return;
    openChosenLog(choice->fullPath, choice->title, defaultDir);
}

void LogViewCommands::openChosenLog(const QString& fullPath, const QString& /*title*/, QString& defaultDir)
{
    // The folder is kept at once, also when reading fails afterwards.
    const QString folder = folderOfPath(fullPath);
    if (!folder.isEmpty())
        defaultDir = folder;

    LogReadResult log = readLogFile(fullPath);
    if (!log.opened) {
        m_platform.messageBox(m_w.window, logReadMessage(*log.error), ProgramTitle, MessageButtons::Ok,
                              MessageIcon::Information);
        return;
    }
    ResetDisplay();
    m_displayBytes = std::move(log.text);
    try {
        showLogText(m_w.display, m_displayBytes);
    } catch (const std::bad_alloc&) {
        // The text was read but cannot be shown: nothing of it stays, and the user is told.
        ResetDisplay();
        m_platform.messageBox(m_w.window,
                              logReadMessage({LogReadError::Kind::OutOfMemory, fullPath, 0, {}}),
                              ProgramTitle, MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    if (log.error) {
        // The lines read so far stay; "&Print" stays off, so a part is never taken for the whole.
        m_platform.messageBox(m_w.window, logReadMessage(*log.error), ProgramTitle, MessageButtons::Ok,
                              MessageIcon::Information);
        return;
    }

    m_platform.processEvents();
    m_w.display->setFocus();
    m_w.printDisplay->setEnabled(true);
    m_w.clearTests->setEnabled(true);

    m_w.statusList->clear();
    for (int i = 0; i < 3; ++i) {
        m_testCounts[i] = 0;
        m_w.counters[i]->setText(QStringLiteral("0"));
    }

    StatusFileResult status = readStatusFile(statusFilePath(fullPath));
    m_w.statusList->addItems(status.items);
    m_testCounts = status.counts;
    if (!status.ok()) {
        statusError(*status.errorLine);
        return;
    }
    for (int i = 0; i < 3; ++i)
        m_w.counters[i]->setText(QString::number(m_testCounts[i]));
    QLabel* failCounter = m_w.counters[1];
    QPalette palette = failCounter->palette();
    palette.setColor(QPalette::WindowText, m_testCounts[1] != 0
                                               ? QColor(255, 0, 0)
                                               : QApplication::palette(failCounter).color(QPalette::ButtonText));
    failCounter->setPalette(palette);
    m_w.showTestStatus->setEnabled(true);
}

void LogViewCommands::statusError(const QString& firstLine)
{
    placeDisplay(DisplayCoveredTop, DisplayCoveredHeight);
    m_statusShown = false;
    m_w.showTestStatus->setEnabled(false);
    m_w.showTestStatus->setChecked(false);
    m_platform.messageBox(m_w.window, statusErrorMessage(firstLine), StatusErrorTitle, MessageButtons::Ok,
                          MessageIcon::Information);
}

void LogViewCommands::ShowTestStatus_Click()
{
    // The state is kept here, not read from the check mark: a checkable menu item has already
    // turned its mark over when its handler runs.
    if (!m_statusShown)
        placeDisplay(DisplayShownTop, DisplayShownHeight);
    else
        placeDisplay(DisplayCoveredTop, DisplayCoveredHeight);
    m_statusShown = !m_statusShown;
    m_w.showTestStatus->setChecked(m_statusShown);
}

void LogViewCommands::ClearTests_Click()
{
    if (!ClearScreenQuery())
        return;
    ResetDisplay();
    placeDisplay(DisplayCoveredTop, DisplayCoveredHeight);
    m_statusShown = false;
    m_w.showTestStatus->setEnabled(false);
    m_w.showTestStatus->setChecked(false);
}

bool LogViewCommands::ClearScreenQuery()
{
    if (m_w.display->document()->isEmpty())
        return true;
    const MessageResult answer = m_platform.messageBox(
        m_w.window,
        QStringLiteral("This will clear screen and (re)set all test status.") + NewLine
            + QStringLiteral("Do you want to continue ?"),
        QStringLiteral("Create Log File"), MessageButtons::YesNo, MessageIcon::Question);
    return answer != MessageResult::No;
}

void LogViewCommands::ResetDisplay()
{
    m_w.display->clear();
    std::string().swap(m_displayBytes);
    m_w.printDisplay->setEnabled(false);
}

bool LogViewCommands::FindNext(const FindRequest& request, QWidget* dialogParent)
{
    // The search runs over the bytes already in memory, not over the text box's document:
    // the document of a long log is a million lines in paragraphs, too slow to walk. Byte
    // offsets and text box positions differ by one for each CR LF before them.
    //
    // It does not wrap round: it stops at the end (or, going up, at the start) and says the
    // text cannot be found, so that the user knows every match has been passed. Moving the
    // cursor to the other end starts the search again.
    const std::string_view bytes = m_displayBytes;
    const QTextCursor selection = m_w.display->textCursor();
    const size_t from = displayOffset(bytes, request.down ? selection.selectionEnd() : selection.selectionStart());
    const std::optional<size_t> match = findInDisplayText(bytes, request.text, from, request.matchCase, request.down);
    if (!match) {
        m_platform.messageBox(dialogParent ? dialogParent : m_w.window,
                              QStringLiteral("Cannot find \"") + request.text + QLatin1Char('"'), ProgramTitle,
                              MessageButtons::Ok, MessageIcon::Information);
        return false;
    }
    QTextDocument* document = m_w.display->document();
    const int last = document->characterCount() - 1;
    QTextCursor found(document);
    found.setPosition(std::min(displayPosition(bytes, *match), last));
    found.setPosition(std::min(displayPosition(bytes, *match + size_t(request.text.size())), last),
                      QTextCursor::KeepAnchor);
    m_w.display->setTextCursor(found);
    m_w.display->ensureCursorVisible();
    return true;
}

QString LogViewCommands::displayText() const
{
    return decodeWindows1252(m_displayBytes);
}

void LogViewCommands::forEachDisplayPiece(const std::function<void(QStringView)>& take) const
{
    // A megabyte at a time: the decoded copy of a long log would double what it holds.
    constexpr size_t PieceSize = 1 << 20;
    const std::string_view bytes = m_displayBytes;
    for (size_t at = 0; at < bytes.size(); at += PieceSize) {
        const QString piece = decodeWindows1252(bytes.substr(at, PieceSize));
        take(piece);
    }
}

void LogViewCommands::placeDisplay(int top, int height)
{
    QWidget* display = m_w.display;
    const QRect place = twipsRect(display, 0, top, 0, height);
    display->setGeometry(display->x(), place.y(), display->width(), place.height());
}

namespace {

// Turns display bytes into the text box's text: CR LF ends a paragraph after every
// linesPerParagraph lines and is a line separator inside one; a lone LF is a line separator.
// `lineInParagraph` carries the count over from one piece to the next.
QString documentPiece(std::string_view bytes, int linesPerParagraph, int& lineInParagraph)
{
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t o = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = in[i];
        if (c == '\r' && i + 1 < n && in[i + 1] == '\n') {
            ++i;
            if (++lineInParagraph >= linesPerParagraph) {
                lineInParagraph = 0;
                out[o++] = u'\n';
            } else {
                out[o++] = u'\u2028';
            }
        } else if (c == '\n') {
            out[o++] = u'\u2028'; // a line feed inside a log line breaks it on the screen only
        } else {
            out[o++] = windows1252ToUnicode(c);
        }
    }
    text.truncate(static_cast<qsizetype>(o));
    return text;
}

constexpr size_t DocumentPieceBytes = 1 << 20;

} // namespace

QString displayDocumentText(std::string_view bytes, int linesPerParagraph)
{
    int lineInParagraph = 0;
    return documentPiece(bytes, std::max(1, linesPerParagraph), lineInParagraph);
}

void showLogText(QPlainTextEdit* display, std::string_view bytes)
{
    const size_t lines = static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    const int perParagraph = static_cast<int>((lines + MaxDisplayParagraphs - 1) / MaxDisplayParagraphs);

    // Filled piece by piece, in one edit and without undo, so that the text is held once
    // in the document and never a second time as one large string.
    QTextDocument* document = display->document();
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    document->clear();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    int lineInParagraph = 0;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = std::min(bytes.size(), pos + DocumentPieceBytes);
        if (end < bytes.size() && bytes[end - 1] == '\r')
            ++end; // keep CR LF together
        cursor.insertText(documentPiece(bytes.substr(pos, end - pos), perParagraph, lineInParagraph));
        pos = end;
    }
    cursor.endEditBlock();
    document->setUndoRedoEnabled(undo);
    display->setTextCursor(QTextCursor(document));
    display->ensureCursorVisible();
}

QString folderOfPath(const QString& fullPath)
{
    qsizetype separator = fullPath.lastIndexOf(QLatin1Char('/'));
    if (QDir::separator() != QLatin1Char('/'))
        separator = std::max(separator, fullPath.lastIndexOf(QDir::separator()));
    if (separator < 0)
        return {};
    if (separator == 0)
        return QStringLiteral("/");
    return fullPath.left(separator);
}

} // namespace vrx

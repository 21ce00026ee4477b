#pragma once
// The log view in a window, with a scripted platform in front and the three menu items a
// main window keeps in step with it.

#include "logview/LogView.h"
#include "tests/support/ScriptedPlatform.h"
#include "platform/Twips.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QWidget>

namespace vrx::test {

struct Harness {
    ScriptedPlatform platform;
    QWidget window;
    LogView* view = nullptr;
    LogTextView* display = nullptr;
    QListWidget* statusList = nullptr;
    std::array<QLabel*, 3> counters{};
    QAction printDisplay{QStringLiteral("&Print")};
    QAction clearTests{QStringLiteral("&Clear Display/Status")};
    QAction showTestStatus{QStringLiteral("&Show Test Status")};
    QString defaultDir = QStringLiteral("/start");

    Harness()
    {
        window.resize(700, 600);
        view = new LogView(platform, &window);
        display = view->Display;
        statusList = view->StatusList;
        counters = view->Label2;
        printDisplay.setEnabled(false);
        clearTests.setEnabled(false);
        showTestStatus.setCheckable(true);
        showTestStatus.setEnabled(false);
        QObject::connect(view, &LogView::printableChanged, &printDisplay, &QAction::setEnabled);
        QObject::connect(view, &LogView::logOpened, &clearTests, [this] { clearTests.setEnabled(true); });
        QObject::connect(view, &LogView::clearAvailableChanged, &clearTests, &QAction::setEnabled);
        QObject::connect(view, &LogView::statusAvailableChanged, &showTestStatus, &QAction::setEnabled);
        QObject::connect(view, &LogView::statusShownChanged, &showTestStatus, &QAction::setChecked);
        QObject::connect(view, &LogView::folderChosen, view, [this](const QString& folder) { defaultDir = folder; });
    }

    // Loads a log through the open dialog, answered with this path.
    void load(const QString& path)
    {
        const int slash = int(path.lastIndexOf(QLatin1Char('/')));
        platform.openAnswers.append(OpenFileResult{path, path.mid(slash + 1)});
        view->openFromDialog(defaultDir);
    }

    // "&Show Test Status": shows the status area when it is covered, covers it when shown.
    void toggleStatus() { view->setStatusShown(!view->isStatusShown()); }

    QStringList items() const
    {
        QStringList list;
        for (int i = 0; i < statusList->count(); ++i)
            list << statusList->item(i)->text();
        return list;
    }
    QStringList captions() const
    {
        return {counters[0]->text(), counters[1]->text(), counters[2]->text()};
    }
    int top() const { return display->geometry().top(); }
    int height() const { return display->geometry().height(); }
    bool covered() const
    {
        return top() == twips(display, 0) && height() == twips(display, 8160);
    }
    bool shown() const
    {
        return top() == twips(display, 1680) && height() == twips(display, 6480);
    }
};

// Writes a file of the folder; a test cannot go on without it.
inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace vrx::test

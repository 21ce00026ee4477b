#pragma once
// The widgets the log commands act on, built as the main window lays them out, with a
// scripted platform in front.

#include "LogViewCommands.h"
#include "ScriptedPlatform.h"
#include "Twips.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QWidget>

namespace vrx::test {

struct Harness {
    ScriptedPlatform platform;
    QWidget window;
    QPlainTextEdit* display;
    QWidget* frame;
    QListWidget* statusList;
    std::array<QLabel*, 3> counters{};
    QAction printDisplay{QStringLiteral("&Print")};
    QAction clearTests{QStringLiteral("&Clear Display/Status")};
    QAction showTestStatus{QStringLiteral("&Show Test Status")};
    LogViewCommands* commands = nullptr;
    QString defaultDir = QStringLiteral("/start");

    Harness()
    {
        window.resize(700, 600);
        frame = new QWidget(&window);
        frame->setGeometry(twipsRect(&window, 120, 0, 9975, 1575));
        statusList = new QListWidget(frame);
        for (int i = 0; i < 3; ++i)
            counters[i] = new QLabel(QStringLiteral("0"), frame);
        display = new QPlainTextEdit(&window);
        display->setReadOnly(true);
        display->setGeometry(twipsRect(&window, 120, 0, 9975, 8160));
        printDisplay.setEnabled(false);
        clearTests.setEnabled(false);
        showTestStatus.setCheckable(true);
        showTestStatus.setEnabled(false);
        LogViewWidgets w;
        w.window = &window;
        w.display = display;
        w.statusList = statusList;
        w.counters = counters;
        w.printDisplay = &printDisplay;
        w.clearTests = &clearTests;
        w.showTestStatus = &showTestStatus;
        commands = new LogViewCommands(platform, w);
    }
    ~Harness() { delete commands; }

    // Loads a log through the open dialog, answered with this path.
    void load(const QString& path)
    {
        const int slash = int(path.lastIndexOf(QLatin1Char('/')));
        platform.openAnswers.append(OpenFileResult{path, path.mid(slash + 1)});
        commands->LoadLogFile_Click(defaultDir);
    }

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

} // namespace vrx::test

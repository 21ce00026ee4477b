#pragma once

#include <QObject>

class ConvertTest : public QObject {
    Q_OBJECT
private slots:
    void matchesLiteral_data();
    void matchesLiteral();
    void crowdedLines();
    void everyCountCode();
};

class LoaderTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void openDialog();
    void cancel();
    void logText_data();
    void logText();
    void displayPieces_data();
    void displayPieces();
    void windows1252();
    void logFailures_data();
    void logFailures();
    void statusFile_data();
    void statusFile();
    void statusFileCase_data();
    void statusFileCase();
    void failCounterColour();
    void secondLoadWhileShown();
    void statusErrorWhileShown();
    void tooManyTests();
    void folderOfPath_data();
    void folderOfPath();
    void largeLogAsInOrder_data();
    void largeLogAsInOrder();
};

class StatusAreaTest : public QObject {
    Q_OBJECT
private slots:
    void toggle();
    void toggleThroughMenuItem();
    void clear_data();
    void clear();
};

class FindTest : public QObject {
    Q_OBJECT
private slots:
    void findNext_data();
    void findNext();
    void failures_data();
    void failures();
};

class TextViewTest : public QObject {
    Q_OBJECT
private slots:
    void selection_data();
    void selection();
    void mouse();
    void scrolling();
    void accessibleText();
    void caretMoves_data();
    void caretMoves();
    void scrollBarMapping_data();
    void scrollBarMapping();
};

class ReadingTest : public QObject {
    Q_OBJECT
private slots:
    void firstScreenWhileReading();
    void failureAfterTheFirstScreen();
    void stoppedAtOnce_data();
    void stoppedAtOnce();
    void findWhileTheWindowAnswers();
    void changedWhileShown_data();
    void changedWhileShown();
    void followedWhileWritten_data();
    void followedWhileWritten();
    void rewrittenUnderTheWindow_data();
    void rewrittenUnderTheWindow();
};

#pragma once
// The test classes of the printing library, run one after the other by main.cpp.

#include <QObject>

class TestPrintLayout : public QObject {
    Q_OBJECT
private slots:
    void printTextAt_data();
    void printTextAt();
    void printTextAtEmptyOnlyMoves();
    void document_data();
    void document();
    void pageCount_data();
    void pageCount();
    void longLogPrintsCompletely();
    void eachCallIsACompleteDocument();
    void failureResetsBusyPointer();
};

class TestPrintPdf : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void layoutOnPaper();
    void wordsOnPaper_data();
    void wordsOnPaper();
    void printingAdvancesAcrossOnly();
    void emptyTextMakesNoFile();
    void documentPastTheLimitFails();
};

class TestDefaultPrinter : public QObject {
    Q_OBJECT
private slots:
    void methodByPlatform_data();
    void methodByPlatform();
    void profile_data();
    void profile();
    void splitDriverPort_data();
    void splitDriverPort();
    void spooler_data();
    void spooler();
    void spoolerLongNames();
    void copyStringAt_data();
    void copyStringAt();
    void messageThroughPlatform();
};

class TestPrintCommand : public QObject {
    Q_OBJECT
private slots:
    void dialogRequest();
    void runs_data();
    void runs();
    void askedOrTold_data();
    void askedOrTold();
    void cancel();
    void progress_data();
    void progress();
    void noPrinterInstalled();
    void failureBeforeDialogIsQuiet();
    void printingFailureIsReported();
    void logChangedWhilePrinting();
    void restoreFailureIsReported_data();
    void restoreFailureIsReported();
};

class TestPrintCups : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void selectDefaultPrinter();
    void twoCopiesOnAnotherPrinter();
    void dialogChoicesTakeEffect();
    void spoolFileHasNoName();
    void unknownPrinterIsReported();
};

#pragma once
// Printing on a CUPS queue with the settings the print dialog made.

#include "print/PrintModule.h"

#include <QByteArray>
#include <QtGlobal>

class QPrinter;

namespace vrx {

// Makes the queue's options that the dialog put on the printer fit the way the log is printed:
// the pages chosen are the only ones drawn, so the queue must not pick pages again; and the
// last page comes out first when the dialog asks for it.
void prepareCupsPrinter(QPrinter& printer);

// One document for a CUPS queue. Qt would spool it to a named file in the temporary folder,
// which stays there when the program is killed while it prints, and would not tell when the
// scheduler refuses the job. The document is drawn into a file without a name instead (where
// the system has such files), and handed to the scheduler here, with the options Qt would give.
class CupsJob {
public:
    // Points the printer, a CUPS queue, at the spool file; PrintError when none can be made.
    explicit CupsJob(QPrinter& printer);
    // Points the printer back at its queue; a document not handed on is dropped.
    ~CupsJob();
    CupsJob(const CupsJob&) = delete;
    CupsJob& operator=(const CupsJob&) = delete;

    // Hands the drawn document to the queue as one job; PrintError with the scheduler's reason.
    void submit();
    // Bytes drawn so far.
    qint64 size() const;

private:
    QPrinter& m_printer;
    int m_fd = -1;
    QByteArray m_path;        // the name the printer and the scheduler's client open it by
    QByteArray m_namedFile;   // the file's own name where it needs one; removed at the end
};

} // namespace vrx

#include "platform/WindowsPrintDialog.h"

#include <QPrinter>
#include <QWidget>
#include <QtPrintSupport/private/qprintengine_win_p.h>

#include <windows.h>
#include <commdlg.h>

#include <algorithm>

namespace vrx {

std::optional<PrinterChoice> windowsPrinterDialog(QWidget* parent, const PrinterDialogRequest& request)
{
    const auto lastPage = static_cast<WORD>(std::clamp<qint64>(request.pageCount, 1, 0xFFFF));
    PRINTDLGW pd{};
    pd.lStructSize = sizeof pd;
    pd.hwndOwner = parent ? reinterpret_cast<HWND>(parent->window()->winId()) : nullptr;
    // Copies and collation are the driver's, in its settings; each copy is printed as a document
    // of its own all the same.
    pd.Flags = PD_USEDEVMODECOPIESANDCOLLATE;
    if (request.noSelection)
        pd.Flags |= PD_NOSELECTION;
    if (request.hidePrintToFile)
        pd.Flags |= PD_HIDEPRINTTOFILE;
    pd.nMinPage = 1;
    pd.nMaxPage = lastPage;
    pd.nFromPage = 1;
    pd.nToPage = lastPage;
    pd.nCopies = static_cast<WORD>(std::clamp(request.copies, 1, 0xFFFF));
    if (!::PrintDlgW(&pd)) {
        // Cancel, or a dialog that could not be shown: the same quiet end.
        if (pd.hDevMode)
            ::GlobalFree(pd.hDevMode);
        if (pd.hDevNames)
            ::GlobalFree(pd.hDevNames);
        return std::nullopt;
    }

    // The printer and every setting the dialog made (paper, orientation, two-sided printing,
    // colour, the driver's own), handed to Qt's printer as its own dialog hands them. The
    // printer keeps the settings' memory; the names were only read.
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    if (auto* engine = dynamic_cast<QWin32PrintEngine*>(printer->printEngine()))
        engine->setGlobalDevMode(pd.hDevNames, pd.hDevMode);
    int copies = pd.nCopies;
    if (pd.hDevMode) {
        if (const auto* mode = static_cast<const DEVMODEW*>(::GlobalLock(pd.hDevMode))) {
            if (mode->dmFields & DM_COPIES)
                copies = mode->dmCopies;
            ::GlobalUnlock(pd.hDevMode);
        }
    }
    if (pd.hDevNames)
        ::GlobalFree(pd.hDevNames);

    PrinterChoice choice;
    choice.printerName = printer->printerName();
    choice.copies = std::max(1, copies);
    if (pd.Flags & PD_PAGENUMS) {
        // A range that counts down, or starts at 0, is no range of this log: the command says so
        // with what was typed.
        if (pd.nFromPage >= 1 && pd.nFromPage <= pd.nToPage)
            choice.pages.push_back({pd.nFromPage, pd.nToPage});
        else
            choice.pageList = QStringLiteral("%1-%2").arg(pd.nFromPage).arg(pd.nToPage);
    }
    choice.printer = std::move(printer);
    return choice;
}

} // namespace vrx

#pragma once
// The find window: a small tool window over the main window that asks for a text, whether
// its case must match and which way to go, and asks for each search by a signal.

#include "logview/FindText.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vrx {

class FindForm : public QDialog {
    Q_OBJECT
public:
    explicit FindForm(QWidget* owner);

    // Controls, in tab order.
    QLabel* FindWhatLabel = nullptr;
    QLineEdit* FindWhat = nullptr;
    QCheckBox* MatchCase = nullptr;
    QGroupBox* Direction = nullptr;
    QRadioButton* Up = nullptr;
    QRadioButton* Down = nullptr;
    QPushButton* FindNext = nullptr;
    QPushButton* Cancel = nullptr;

    // Shows the window (again) in front, its text selected so that typing replaces it.
    void showFind();

    // The text in the field with the options as set.
    FindRequest request() const;
    // The text last searched for with the options as set now; an empty text when there was
    // no search yet.
    FindRequest lastRequest() const;

signals:
    // "Find Next" (or Enter) with a text in the field.
    void findNextRequested(const vrx::FindRequest& request);

private:
    void FindNext_Click();

    QString m_lastText;
};

} // namespace vrx

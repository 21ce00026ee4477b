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

    // Shows the window (again) in front, its text selected so that typing replaces it. The
    // first time it opens beside its owner (right, else left), or where the screen has no room
    // for that, at the top right of the owner's text.
    void showFind();

    // Moves the window off a place on the screen (a found line), above or below it.
    void keepClearOf(const QRect& globalRect);

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
    void placeBesideOwner();

    QString m_lastText;
    bool m_placed = false;
};

} // namespace vrx

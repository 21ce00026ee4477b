#include "logview/FindForm.h"

#include "platform/FormStyle.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vrx {

namespace {

template <typename Control>
Control* named(Control* control, const QString& name, const QString& accessibleName)
{
    control->setObjectName(name);
    control->setAccessibleName(accessibleName);
    return control;
}

} // namespace

FindForm::FindForm(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FindForm"));
    // A tool window of its owner: it stays in front of it without blocking it, and has no
    // taskbar entry of its own.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    setWindowTitle(QStringLiteral("Find"));
    setFont(designFont(QStringLiteral("MS Sans Serif"), 8.25, QFont::SansSerif));

    FindWhatLabel = named(new QLabel(QStringLiteral("Find what:"), this), QStringLiteral("FindWhatLabel"),
                          QStringLiteral("Find what:"));
    FindWhat = named(new QLineEdit(this), QStringLiteral("FindWhat"), QStringLiteral("Find what:"));
    FindWhatLabel->setBuddy(FindWhat);
    MatchCase = named(new QCheckBox(QStringLiteral("Match case"), this), QStringLiteral("MatchCase"),
                      QStringLiteral("Match case"));
    Direction = named(new QGroupBox(QStringLiteral("Direction"), this), QStringLiteral("Direction"),
                      QStringLiteral("Direction"));
    Up = named(new QRadioButton(QStringLiteral("Up"), Direction), QStringLiteral("Up"), QStringLiteral("Up"));
    Down = named(new QRadioButton(QStringLiteral("Down"), Direction), QStringLiteral("Down"),
                 QStringLiteral("Down"));
    Down->setChecked(true);
    FindNext = named(new QPushButton(QStringLiteral("Find Next"), this), QStringLiteral("FindNext"),
                     QStringLiteral("Find Next"));
    Cancel = named(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("Cancel"),
                   QStringLiteral("Cancel"));

    // Enter is "Find Next" wherever the focus is; Escape closes the window (QDialog's reject).
    FindNext->setDefault(true);
    FindNext->setEnabled(false);
    connect(FindWhat, &QLineEdit::textChanged, this,
            [this](const QString& text) { FindNext->setEnabled(!text.isEmpty()); });
    connect(FindNext, &QPushButton::clicked, this, &FindForm::FindNext_Click);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* directions = new QHBoxLayout(Direction);
    directions->addWidget(Up);
    directions->addWidget(Down);

    auto* grid = new QGridLayout(this);
    grid->addWidget(FindWhatLabel, 0, 0);
    grid->addWidget(FindWhat, 0, 1, 1, 2);
    grid->addWidget(MatchCase, 1, 0, 1, 2, Qt::AlignBottom);
    grid->addWidget(Direction, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(FindNext);
    buttons->addWidget(Cancel);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 3, 2, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(FindWhat, MatchCase);
    setTabOrder(MatchCase, Up);
    setTabOrder(Up, Down);
    setTabOrder(Down, FindNext);
    setTabOrder(FindNext, Cancel);
}

void FindForm::showFind()
{
    show();
    raise();
    activateWindow();
    FindWhat->setFocus();
    FindWhat->selectAll();
}

FindRequest FindForm::request() const
{
    return {FindWhat->text(), MatchCase->isChecked(), Down->isChecked()};
}

FindRequest FindForm::lastRequest() const
{
    return {m_lastText, MatchCase->isChecked(), Down->isChecked()};
}

void FindForm::FindNext_Click()
{
    const FindRequest wanted = request();
    if (wanted.text.isEmpty())
        return;
    m_lastText = wanted.text;
    emit findNextRequested(wanted);
}

} // namespace vrx

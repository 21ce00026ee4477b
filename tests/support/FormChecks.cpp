#include "FormChecks.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>

namespace vrx::test {

namespace {

// "&x" shows as "x", "&&" as "&": how a caption with an access key is drawn.
QString withoutAccessKeys(const QString& caption)
{
    QString text;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == QLatin1Char('&')) {
            ++i;
            if (i == caption.size())
                break;
        }
        text.append(caption.at(i));
    }
    return text;
}

QString accessibleName(QWidget* control)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
    return face ? face->text(QAccessible::Name) : QString();
}

} // namespace

QString shownText(const QLabel* label)
{
    return label->buddy() ? withoutAccessKeys(label->text()) : label->text();
}

QString misreadControls(const QWidget* form)
{
    QStringList misread;
    for (QLabel* label : form->findChildren<QLabel*>()) {
        const QString name = accessibleName(label);
        if (name != shownText(label))
            misread.append(label->objectName() + QStringLiteral(" reads \"") + name + QStringLiteral("\", shows \"")
                           + shownText(label) + QLatin1Char('"'));
    }
    for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
        const QString name = accessibleName(button);
        if (name != withoutAccessKeys(button->text()))
            misread.append(button->objectName() + QStringLiteral(" reads \"") + name + QStringLiteral("\", shows \"")
                           + withoutAccessKeys(button->text()) + QLatin1Char('"'));
    }
    return misread.join(QStringLiteral("; "));
}

} // namespace vrx::test

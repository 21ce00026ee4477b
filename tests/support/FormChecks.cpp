#include "tests/support/FormChecks.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAccessible>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>

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

// The Liberation face with the metrics of a face the windows name; empty for any other.
QString standIn(const QString& family)
{
    if (family == QLatin1String("MS Sans Serif"))
        return QStringLiteral("Liberation Sans");
    if (family == QLatin1String("Courier") || family == QLatin1String("Courier New"))
        return QStringLiteral("Liberation Mono");
    if (family == QLatin1String("Times New Roman"))
        return QStringLiteral("Liberation Serif");
    return {};
}

bool inMenus(const QWidget* widget, const QWidget* form)
{
    for (const QWidget* w = widget; w && w != form; w = w->parentWidget())
        if (qobject_cast<const QMenuBar*>(w) || qobject_cast<const QMenu*>(w))
            return true;
    return false;
}

void addLabelFits(QList<TextFit>& fits, const QLabel* label)
{
    const QFontMetrics metrics(label->font());
    const int margin = label->margin();
    const QRect box = label->contentsRect().adjusted(margin, margin, -margin, -margin);
    const QString name = label->objectName();
    const QString text = shownText(label);
    if (!label->wordWrap()) {
        for (const QString& line : text.split(QLatin1Char('\n')))
            fits.append({name, line, QStringLiteral("width"), metrics.horizontalAdvance(line), box.width()});
        fits.append({name, text, QStringLiteral("height"), metrics.size(0, text).height(), box.height()});
        return;
    }
    // A word wider than the label would run past its edge rather than wrap.
    static const QRegularExpression space(QStringLiteral("\\s+"));
    for (const QString& word : text.split(space, Qt::SkipEmptyParts))
        fits.append({name, word, QStringLiteral("width"), metrics.horizontalAdvance(word), box.width()});
    // The height a twin of the label asks for at the label's width; line breaks at the end of
    // the text are left out, as the empty lines they make show nothing.
    QString shown = label->text();
    while (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    QLabel twin;
    twin.setFont(label->font());
    twin.setTextFormat(label->textFormat());
    twin.setWordWrap(true);
    twin.setMargin(margin);
    twin.setIndent(label->indent());
    twin.setFrameStyle(label->frameStyle());
    twin.setContentsMargins(label->contentsMargins());
    twin.setText(shown);
    fits.append({name, shown, QStringLiteral("height"), twin.heightForWidth(label->width()), label->height()});
}

// The style's measure of a push button's caption: the text, the margins beside it and the
// frame, as QPushButton::sizeHint adds them. Fusion then widens every captioned button to at
// least 80 pixels whatever its text; that floor is the style's taste, not room the caption needs.
TextFit buttonFit(const QPushButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QStyle* style = button->style();
    int needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width()
        + style->pixelMetric(QStyle::PM_ButtonMargin, &option, button)
        + 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
    if (button->autoDefault())
        needed += 2 * style->pixelMetric(QStyle::PM_ButtonDefaultIndicator, &option, button);
    return {button->objectName(), button->text(), QStringLiteral("width"), needed, button->width()};
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

QString TextFit::describe() const
{
    return control + QStringLiteral(" \"") + text + QStringLiteral("\" ") + measure + QStringLiteral(": needs ")
        + QString::number(needed) + QStringLiteral(" px, has ") + QString::number(room);
}

QList<TextFit> textFits(const QWidget* form)
{
    QList<TextFit> fits;
    for (const QLabel* label : form->findChildren<QLabel*>())
        addLabelFits(fits, label);
    for (const QPushButton* button : form->findChildren<QPushButton*>())
        fits.append(buttonFit(button));
    return fits;
}

QString fontsNotAsNamed(const QWidget* form)
{
    QStringList wrong;
    for (const QWidget* control : form->findChildren<QWidget*>()) {
        const bool showsText = qobject_cast<const QLabel*>(control) || qobject_cast<const QAbstractButton*>(control)
            || qobject_cast<const QAbstractScrollArea*>(control);
        if (!showsText || inMenus(control, form))
            continue;
        const QFont font = control->font();
        const QString named = font.families().value(0, font.family());
        const QString resolved = QFontInfo(font).family();
        if (resolved != named && (standIn(named).isEmpty() || resolved != standIn(named)))
            wrong.append(control->objectName() + QStringLiteral(" names \"") + named + QStringLiteral("\", got \"")
                         + resolved + QLatin1Char('"'));
    }
    return wrong.join(QStringLiteral("; "));
}

} // namespace vrx::test

#include "platform/FormStyle.h"

#include <QStringList>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vrx {

QFont designFont(const QString& family, qreal points, QFont::StyleHint hint)
{
    QString standIn;
    switch (hint) {
    case QFont::TypeWriter: standIn = QStringLiteral("Liberation Mono"); break;
    case QFont::Serif: standIn = QStringLiteral("Liberation Serif"); break;
    default: standIn = QStringLiteral("Liberation Sans"); break;
    }
    QFont font;
    font.setFamilies({family, standIn});
    font.setPointSizeF(points);
    font.setStyleHint(hint);
    font.setFixedPitch(hint == QFont::TypeWriter);
    return font;
}

void centreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // Before the first showing the frame is not known yet; the frame geometry then equals
    // the window's own, which is what gets centred.
    const QRect area = screen->availableGeometry();
    const QSize outer = window->frameGeometry().size();
    window->move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
}

} // namespace vrx

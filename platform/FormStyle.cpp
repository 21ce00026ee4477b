#include "platform/FormStyle.h"

#include <QStringList>
#include <QApplication>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vrx {

namespace {

// Faces of the same kind and metrics, the most fitting first: on Windows its own newer faces,
// then the metric-compatible Liberation faces (installed with the program on Linux, and seen by
// Wine through the system's fonts).
QStringList standInFaces(QFont::StyleHint hint)
{
    switch (hint) {
    case QFont::TypeWriter:
#ifdef _WIN32
        return {QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")};
#else
        return {QStringLiteral("Liberation Mono")};
#endif
    case QFont::Serif:
#ifdef _WIN32
        return {QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif")};
#else
        return {QStringLiteral("Liberation Serif")};
#endif
    default:
#ifdef _WIN32
        return {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Tahoma"),
                QStringLiteral("Liberation Sans")};
#else
        return {QStringLiteral("Liberation Sans")};
#endif
    }
}

} // namespace

QFont designFont(const QString& family, qreal points, QFont::StyleHint hint)
{
    QFont font;
    font.setFamilies(QStringList{family} + standInFaces(hint));
    font.setPointSizeF(points);
    font.setStyleHint(hint);
    font.setFixedPitch(hint == QFont::TypeWriter);
    return font;
}

void useStandInsForMissingFaces()
{
#ifndef _WIN32
    // fontconfig already answers a missing face with one of the same kind.
#else
    // A face Windows names may stand for another (its substitutes); under Wine "MS Shell Dlg"
    // even leads to a serif face. What counts is the face that is drawn.
    const QStringList standIns = standInFaces(QFont::SansSerif);
    const QStringList dialogFaces = {QStringLiteral("Segoe UI"), QStringLiteral("MS Shell Dlg"),
                                     QStringLiteral("MS Shell Dlg 2")};
    const auto drawnAsAsked = [&](const QFont& font) {
        const QString drawn = QFontInfo(font).family();
        return drawn.compare(font.family(), Qt::CaseInsensitive) == 0
            || standIns.contains(drawn, Qt::CaseInsensitive) || dialogFaces.contains(drawn, Qt::CaseInsensitive);
    };
    const auto standIn = [&standIns](QFont font) {
        font.setFamilies(standIns);
        font.setStyleHint(QFont::SansSerif);
        return font;
    };
    if (!drawnAsAsked(QApplication::font()))
        QApplication::setFont(standIn(QApplication::font()));
    for (const char* widget : {"QMenuBar", "QMenu", "QMessageBox", "QTipLabel", "QStatusBar", "QHeaderView"}) {
        const QFont font = QApplication::font(widget);
        if (!drawnAsAsked(font))
            QApplication::setFont(standIn(font), widget);
    }
#endif
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

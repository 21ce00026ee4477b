#include "shell/Icon.h"

#include <QFont>
#include <QPainter>

namespace vrx {

QImage programImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing, size > 32);
    const qreal scale = size / 32.0;
    p.scale(scale, scale);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(13);
    // The small image keeps hard pixel edges, as a 256-colour icon has; larger ones are smooth.
    if (size <= 32)
        font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    auto drawWord = [&p](const QString& word, int x, int baseline) {
        p.setPen(Qt::black);
        p.drawText(x + 1, baseline + 1, word); // shadow, one pixel to the lower right
        p.setPen(QColor(255, 255, 0));
        p.drawText(x, baseline, word);
    };
    drawWord(QStringLiteral("Log"), 1, 12);
    drawWord(QStringLiteral("File"), 7, 28);
    return image;
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : {32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(programImage(size)));
    return icon;
}

} // namespace vrx

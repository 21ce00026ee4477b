// Renders the program image at the icon theme's sizes, and the Windows icon file with the
// sizes Explorer and the taskbar ask for: make-icons OUTDIR [ICOFILE]
#include "shell/Icon.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QtEndian>

#include <vector>

namespace {

// An .ico file whose images are PNGs, as Windows has read them since Vista.
bool writeIco(const QString& path, const std::vector<int>& sizes)
{
    std::vector<QByteArray> images;
    for (int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!vrx::programImage(size).save(&buffer, "PNG"))
            return false;
        images.push_back(png);
    }
    QByteArray ico;
    const auto put16 = [&ico](quint16 v) { v = qToLittleEndian(v); ico.append(reinterpret_cast<const char*>(&v), 2); };
    const auto put32 = [&ico](quint32 v) { v = qToLittleEndian(v); ico.append(reinterpret_cast<const char*>(&v), 4); };
    put16(0);   // reserved
    put16(1);   // an icon, not a cursor
    put16(quint16(images.size()));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        ico.append(char(sizes[i] >= 256 ? 0 : sizes[i]));   // 0 stands for 256
        ico.append(char(sizes[i] >= 256 ? 0 : sizes[i]));
        ico.append(char(0));   // no palette
        ico.append(char(0));
        put16(1);              // colour planes
        put16(32);             // bits per pixel
        put32(quint32(images[i].size()));
        put32(offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray& png : images)
        ico += png;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(ico) == ico.size() && file.flush();
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    for (int size : {32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
        QDir().mkpath(dir);
        if (!vrx::programImage(size).save(dir + QStringLiteral("/vrxpv.png")))
            return 1;
    }
    if (argc > 2 && !writeIco(QString::fromLocal8Bit(argv[2]), {16, 24, 32, 48, 64, 256}))
        return 1;
    return 0;
}

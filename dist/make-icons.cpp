// Renders the program image at the icon theme's sizes: make-icons OUTDIR
#include "shell/Icon.h"

#include <QDir>
#include <QGuiApplication>

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
    return 0;
}

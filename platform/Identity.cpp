#include "Identity.h"

namespace vrx {

QString versionText(int major, int minor, int revision)
{
    QString text = QString::number(major) + QLatin1Char('.') + QString::number(minor)
        + QString::number(revision);
    if (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    return text;
}

} // namespace vrx

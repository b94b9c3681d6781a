#include "updateserver.h"

namespace UpdateServer {

QUrl defaultBase()
{
    return QUrl(QStringLiteral(VELMORA_UPDATE_BASE));
}

QUrl fileUrl(const QUrl &base, const char *path)
{
    QString text = base.toString(QUrl::RemoveQuery | QUrl::RemoveFragment);
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return QUrl(text + QLatin1String(path));
}

} // namespace UpdateServer

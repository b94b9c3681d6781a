#include "updateserver.h"

#include <QHostAddress>
#include <QNetworkInformation>

namespace UpdateServer {

QUrl defaultBase()
{
    return QUrl(QStringLiteral(VELMORA_UPDATE_BASE));
}

bool isAllowedBase(const QUrl &base)
{
    if (!base.isValid() || base.host().isEmpty() || !base.userInfo().isEmpty())
        return false;
    const QString scheme = base.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http"))
        return false;
    const QString host = base.host().toLower();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

QUrl fileUrl(const QUrl &base, const char *path)
{
    QString text = base.toString(QUrl::RemoveQuery | QUrl::RemoveFragment);
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return QUrl(text + QLatin1String(path));
}

bool isAllowedRedirect(const QUrl &from, const QUrl &to)
{
    const auto defaultPort = [](const QUrl &url) {
        return url.scheme().toLower() == QLatin1String("https") ? 443 : 80;
    };
    return to.isValid() && from.scheme().toLower() == to.scheme().toLower()
        && from.host().toLower() == to.host().toLower()
        && from.port(defaultPort(from)) == to.port(defaultPort(to));
}

} // namespace UpdateServer

bool InternetConnected()
{
    if (!QNetworkInformation::instance() && !QNetworkInformation::loadDefaultBackend())
        return true;
    return QNetworkInformation::instance()->reachability()
        != QNetworkInformation::Reachability::Disconnected;
}

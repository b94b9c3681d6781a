// The checks that need Qt Network: part of the network module (updatenetwork.h).
#include "updateserver.h"

#include <QHostAddress>
#include <QNetworkInformation>

namespace UpdateServer {

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

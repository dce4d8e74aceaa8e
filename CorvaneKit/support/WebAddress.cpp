#include "support/WebAddress.h"

#include <QHostAddress>

namespace {

bool isPublicWebUrl(const QUrl &url, bool allowPlain)
{
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty())
        return false;
    const auto scheme = url.scheme().toLower();
    if (scheme != u"https" && !(allowPlain && scheme == u"http"))
        return false;
    return !WebAddress::isLocalHost(url.host());
}

bool isArtworkHost(const QString &host)
{
    const auto lower = host.toLower();
    for (const auto domain : {u"mzstatic.com", u"phobos.apple.com"}) {
        if (lower == domain || lower.endsWith(u'.' + QString::fromUtf16(domain)))
            return true;
    }
    return false;
}

}

bool WebAddress::isLocalHost(const QString &host)
{
    auto name = host.toLower();
    if (name.endsWith(u'.'))
        name.chop(1);
    if (name.isEmpty() || name == u"localhost" || name.endsWith(u".localhost") || name.endsWith(u".local"))
        return true;
    const QHostAddress address(name.startsWith(u'[') ? name.mid(1, name.size() - 2) : name);
    if (address.isNull())
        return !name.contains(u'.'); // a bare name is resolved on the local network
    if (address.isLoopback() || address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6)
        return true;
    bool mapped = false;
    const auto v4 = address.toIPv4Address(&mapped);
    if (address.protocol() == QAbstractSocket::IPv4Protocol || mapped) {
        const QHostAddress ip(v4);
        return ip.isInSubnet(QHostAddress(QStringLiteral("0.0.0.0")), 8) || ip.isInSubnet(QHostAddress(QStringLiteral("10.0.0.0")), 8)
            || ip.isInSubnet(QHostAddress(QStringLiteral("127.0.0.0")), 8)
            || ip.isInSubnet(QHostAddress(QStringLiteral("169.254.0.0")), 16)
            || ip.isInSubnet(QHostAddress(QStringLiteral("172.16.0.0")), 12)
            || ip.isInSubnet(QHostAddress(QStringLiteral("192.168.0.0")), 16)
            || ip.isInSubnet(QHostAddress(QStringLiteral("100.64.0.0")), 10);
    }
    return address.isLinkLocal() || address.isUniqueLocalUnicast() || address.isSiteLocal();
}

bool WebAddress::isSafeToOpen(const QUrl &url)
{
    return isPublicWebUrl(url, false);
}

bool WebAddress::isSafeArtwork(const QUrl &url)
{
    return isPublicWebUrl(url, isArtworkHost(url.host()));
}

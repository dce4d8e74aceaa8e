#pragma once

#include <QString>
#include <QUrl>

// Addresses that come from servers (an app's store page, its artwork, a release's download)
// are opened or fetched only when they point at the public web: a secure address, or for
// artwork a plain one on Apple's artwork hosts, which still hand some out. Never a local file,
// another scheme, or a host on this machine or its local network.
namespace WebAddress {

// Whether the host names this machine or a private, link-local or unspecified address.
bool isLocalHost(const QString &host);

// A secure web address on a public host: safe to open in the browser.
bool isSafeToOpen(const QUrl &url);

// A secure address, or a plain one on an artwork host, on a public host: safe to fetch an
// image from.
bool isSafeArtwork(const QUrl &url);

}

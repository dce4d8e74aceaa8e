#pragma once

#include "tracking/Updater.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// Checks an appcast: an RSS document with one item per release. An item names its version in a
// "version" element or in a "version" attribute of its enclosure (any namespace), and its
// download link in the enclosure's url, else in its own link. The newest release is compared
// with the running version (QCoreApplication::applicationVersion).
//
// The updater can check only after start() and only with a feed address; builds made for
// distribution packages have none, as their package manager brings the updates.
class AppcastUpdater : public Updater
{
    Q_OBJECT

public:
    struct Release
    {
        QString version;
        QUrl link;
    };

    // The feed address fixed when the application was built; empty when there is none.
    static QUrl configuredFeedUrl();

    explicit AppcastUpdater(QUrl feedUrl = configuredFeedUrl(), QObject *parent = nullptr);
    ~AppcastUpdater() override;

    // Lets checks begin; before this the updater reports that it cannot check.
    void start();

    bool canCheckForUpdates() const override;
    void checkForUpdates() override;

    // The usable releases of a feed, in feed order: items without a valid version or a link
    // that is safe to open (WebAddress::isSafeToOpen) are left out. Absent when the document is
    // not an RSS feed. Relative links are read against the feed's address.
    static std::optional<QList<Release>> parseFeed(const QByteArray &document, const QUrl &feedUrl);

    // Dot-separated decimal numbers, e.g. "1.10.2"; absent for anything else.
    static std::optional<QList<quint64>> versionComponents(QStringView version);

    // Component by component, numerically; missing components count as 0, so 1.2 equals 1.2.0.
    static int compareVersions(const QList<quint64> &a, const QList<quint64> &b);

private:
    void finish(const QByteArray &body, std::optional<int> status, const QString &networkProblem);
    void setChecking(bool checking);

    QUrl m_feedUrl;
    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    bool m_started = false;
    bool m_checking = false;
};

#include "tracking/AppcastUpdater.h"

#include "support/WebAddress.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QXmlStreamReader>

#include <algorithm>

#ifndef VANTU_APPCAST_URL
#define VANTU_APPCAST_URL ""
#endif

namespace {

constexpr int transferTimeoutMs = 30'000;

bool isWebLink(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

UpdateCheckOutcome failure(QString problem)
{
    UpdateCheckOutcome outcome;
    outcome.kind = UpdateCheckOutcome::Kind::failed;
    outcome.problem = std::move(problem);
    return outcome;
}

// Reads one item; the reader stands on its start element and ends on its end element.
std::optional<AppcastUpdater::Release> readItem(QXmlStreamReader &xml, const QUrl &feedUrl)
{
    QString version;
    QString enclosureUrl;
    QString itemLink;
    int depth = 0;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (depth-- == 0)
                break;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++depth;
        const bool plain = xml.namespaceUri().isEmpty();
        if (depth == 1 && plain && xml.name() == QLatin1String("enclosure")) {
            for (const QXmlStreamAttribute &attribute : xml.attributes()) {
                if (attribute.name() == QLatin1String("url") && attribute.namespaceUri().isEmpty())
                    enclosureUrl = attribute.value().toString().trimmed();
                else if (attribute.name() == QLatin1String("version") && version.isEmpty())
                    version = attribute.value().toString().trimmed();
            }
        } else if (depth == 1 && xml.name() == QLatin1String("version")) {
            version = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            --depth;
        } else if (depth == 1 && plain && xml.name() == QLatin1String("link")) {
            itemLink = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            --depth;
        }
    }
    const QString linkText = enclosureUrl.isEmpty() ? itemLink : enclosureUrl;
    // An empty link would resolve to the feed itself.
    const QUrl link = linkText.isEmpty() ? QUrl() : feedUrl.resolved(QUrl(linkText));
    // The link is offered to the user to open: a feed (or whoever altered it) must not point
    // at a local file, another scheme or this machine's network.
    if (!AppcastUpdater::versionComponents(version) || !WebAddress::isSafeToOpen(link))
        return std::nullopt;
    return AppcastUpdater::Release{version, link};
}

} // namespace

QUrl AppcastUpdater::configuredFeedUrl()
{
    return QUrl(QStringLiteral(VANTU_APPCAST_URL));
}

AppcastUpdater::AppcastUpdater(QUrl feedUrl, QObject *parent)
    : Updater(parent), m_feedUrl(std::move(feedUrl)), m_network(new QNetworkAccessManager(this))
{
}

AppcastUpdater::~AppcastUpdater()
{
    // The reply must not call back into a half-destroyed updater.
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void AppcastUpdater::start()
{
    if (m_started)
        return;
    const bool before = canCheckForUpdates();
    m_started = true;
    if (canCheckForUpdates() != before)
        Q_EMIT canCheckForUpdatesChanged(canCheckForUpdates());
}

bool AppcastUpdater::canCheckForUpdates() const
{
    return m_started && isWebLink(m_feedUrl) && !m_checking;
}

void AppcastUpdater::checkForUpdates()
{
    if (!canCheckForUpdates())
        return;
    setChecking(true);

    QNetworkRequest request(m_feedUrl);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(transferTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        m_reply = nullptr;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        QString problem;
        if (reply->error() == QNetworkReply::OperationCanceledError)
            problem = QStringLiteral("The update server did not answer in time.");
        else if (!status.isValid() && reply->error() != QNetworkReply::NoError)
            problem = reply->errorString();
        finish(reply->readAll(), status.isValid() ? std::optional<int>(status.toInt()) : std::nullopt, problem);
    });
}

void AppcastUpdater::finish(const QByteArray &body, std::optional<int> status, const QString &networkProblem)
{
    const UpdateCheckOutcome outcome = [&] {
        if (!networkProblem.isEmpty())
            return failure(networkProblem);
        if (!status || *status < 200 || *status > 299)
            return failure(QStringLiteral("The update server answered with status %1.").arg(status.value_or(0)));
        const std::optional<QList<Release>> releases = parseFeed(body, m_feedUrl);
        if (!releases)
            return failure(QStringLiteral("The update feed could not be read."));
        if (releases->isEmpty())
            return failure(QStringLiteral("The update feed lists no release."));
        const auto running = versionComponents(QCoreApplication::applicationVersion());
        if (!running)
            return failure(QStringLiteral("The running version “%1” is not a version number.")
                               .arg(QCoreApplication::applicationVersion()));

        // The first of equal versions wins, so a feed listing a release twice stays predictable.
        const Release *newest = nullptr;
        QList<quint64> newestVersion;
        for (const Release &release : *releases) {
            const QList<quint64> version = *versionComponents(release.version);
            if (!newest || compareVersions(version, newestVersion) > 0) {
                newest = &release;
                newestVersion = version;
            }
        }
        UpdateCheckOutcome result;
        if (compareVersions(newestVersion, *running) > 0) {
            result.kind = UpdateCheckOutcome::Kind::updateAvailable;
            result.version = newest->version;
            result.link = newest->link;
        } else {
            result.kind = UpdateCheckOutcome::Kind::upToDate;
        }
        return result;
    }();
    setChecking(false);
    Q_EMIT checkFinished(outcome);
}

void AppcastUpdater::setChecking(bool checking)
{
    const bool before = canCheckForUpdates();
    m_checking = checking;
    if (canCheckForUpdates() != before)
        Q_EMIT canCheckForUpdatesChanged(canCheckForUpdates());
}

std::optional<QList<AppcastUpdater::Release>> AppcastUpdater::parseFeed(const QByteArray &document, const QUrl &feedUrl)
{
    QXmlStreamReader xml(document);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("rss"))
        return std::nullopt;
    QList<Release> releases;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("item") && xml.namespaceUri().isEmpty()) {
            if (auto release = readItem(xml, feedUrl))
                releases.append(*release);
        }
    }
    if (xml.hasError())
        return std::nullopt;
    return releases;
}

std::optional<QList<quint64>> AppcastUpdater::versionComponents(QStringView version)
{
    if (version.isEmpty())
        return std::nullopt;
    QList<quint64> components;
    for (const QStringView part : version.split(u'.')) {
        // Digits only: toULongLong alone would also take signs and blanks.
        if (part.isEmpty() || part.size() > 18
            || !std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
            return std::nullopt;
        components.append(part.toULongLong());
    }
    return components;
}

int AppcastUpdater::compareVersions(const QList<quint64> &a, const QList<quint64> &b)
{
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        const quint64 x = a.value(i, 0);
        const quint64 y = b.value(i, 0);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

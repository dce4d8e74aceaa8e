// The update feed. Whatever the document, parseFeed() gives releases with a version number and a web
// link, or nothing; the releases it gives, written into a feed of their own, read back the same.
// Versions compare as an order.

#include "clients/AppRecords.h"
#include "tracking/AppcastUpdater.h"

#include "FuzzSupport.h"

#include <QXmlStreamWriter>

#include <algorithm>

namespace {

const QUrl feedUrl(QStringLiteral("https://example.com/vantu/appcast.xml"));

// Half the releases name their version in an element and their link in the item, half in the
// enclosure's attributes. Links are written as the app stores addresses: fully encoded, a second
// '#' would become %23 and read back as another address.
QByteArray feedOf(const QList<AppcastUpdater::Release> &releases)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("rss"));
    xml.writeStartElement(QStringLiteral("channel"));
    for (qsizetype i = 0; i < releases.size(); ++i) {
        const AppcastUpdater::Release &release = releases.at(i);
        xml.writeStartElement(QStringLiteral("item"));
        if (i % 2 == 0) {
            xml.writeTextElement(QStringLiteral("version"), release.version);
            xml.writeTextElement(QStringLiteral("link"), AppRecords::urlText(release.link));
        } else {
            xml.writeEmptyElement(QStringLiteral("enclosure"));
            xml.writeAttribute(QStringLiteral("url"), AppRecords::urlText(release.link));
            xml.writeAttribute(QStringLiteral("version"), release.version);
        }
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return out;
}

QString describe(const QList<AppcastUpdater::Release> &releases)
{
    QStringList out;
    for (const AppcastUpdater::Release &release : releases)
        out.append(release.version + u' ' + release.link.toString(QUrl::FullyEncoded));
    return out.join(u'\n');
}

bool sameReleases(const QList<AppcastUpdater::Release> &a, const QList<AppcastUpdater::Release> &b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(), [](const auto &x, const auto &y) {
        return x.version == y.version && x.link == y.link;
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray document(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<QList<AppcastUpdater::Release>> releases = AppcastUpdater::parseFeed(document, feedUrl);
    if (!releases)
        return 0;

    for (const AppcastUpdater::Release &release : *releases) {
        FUZZ_CHECK(AppcastUpdater::versionComponents(release.version).has_value(), release.version);
        const QString scheme = release.link.scheme();
        FUZZ_CHECK(release.link.isValid() && !release.link.host().isEmpty()
                       && (scheme == QStringLiteral("https") || scheme == QStringLiteral("http")),
                   release.link.toString());
    }
    const QByteArray written = feedOf(*releases);
    const auto reread = AppcastUpdater::parseFeed(written, feedUrl);
    FUZZ_CHECK(reread && sameReleases(*reread, *releases),
               describe(*releases) + QStringLiteral("\nread back as\n") + (reread ? describe(*reread) : QStringLiteral("nothing")));

    // Every pair of versions compares one way round, and trailing zeros change nothing.
    for (qsizetype i = 0; i + 1 < releases->size(); ++i) {
        const QList<quint64> a = *AppcastUpdater::versionComponents(releases->at(i).version);
        const QList<quint64> b = *AppcastUpdater::versionComponents(releases->at(i + 1).version);
        FUZZ_CHECK(AppcastUpdater::compareVersions(a, b) == -AppcastUpdater::compareVersions(b, a), describe(*releases));
        FUZZ_CHECK(AppcastUpdater::compareVersions(a, a + QList<quint64>{0}) == 0, describe(*releases));
    }
    return 0;
}

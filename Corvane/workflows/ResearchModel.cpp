#include "workflows/ResearchModel.h"

#include "store/Settings.h"
#include "support/Unicode.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSet>

#include <algorithm>

ResearchModel::ResearchModel(std::optional<QString> country, ProviderFactory provider, QObject *parent)
    : QObject(parent),
      m_country(country ? *country : Settings::shared().defaultCountry()),
      m_provider(std::move(provider))
{
    if (!m_provider) {
        m_network = new QNetworkAccessManager(this);
        m_provider = defaultProvider(m_network);
    }
}

ResearchModel::~ResearchModel() = default;

ResearchModel::ProviderFactory ResearchModel::defaultProvider(QNetworkAccessManager *session)
{
    return [session = QPointer<QNetworkAccessManager>(session)]() -> std::shared_ptr<TopTermsProviding> {
        const auto url = Settings::shared().popularityServerURL();
        if (!url)
            return nullptr;
        // The service this deployment uses needs no access token.
        return std::make_shared<PopularityClient>(*url, std::nullopt, session.data());
    };
}

QString ResearchModel::noServiceMessage()
{
    return QStringLiteral("No popularity server is configured, so Apple’s top search terms are not available.");
}

void ResearchModel::setCountry(const QString &country)
{
    if (m_country == country)
        return;
    m_country = country;
    Q_EMIT countryChanged(m_country);
}

void ResearchModel::setGenre(const std::optional<QString> &genre)
{
    if (m_genre == genre)
        return;
    m_genre = genre;
    Q_EMIT genreChanged(m_genre);
}

void ResearchModel::setMinPopularity(qint64 value)
{
    if (m_minPopularity == value)
        return;
    m_minPopularity = value;
    Q_EMIT minPopularityChanged(m_minPopularity);
}

void ResearchModel::setMaxPopularity(qint64 value)
{
    if (m_maxPopularity == value)
        return;
    m_maxPopularity = value;
    Q_EMIT maxPopularityChanged(m_maxPopularity);
}

void ResearchModel::setQuery(const QString &query)
{
    if (m_query == query)
        return;
    m_query = query;
    Q_EMIT queryChanged(m_query);
}

void ResearchModel::setItems(QList<TopTerm> items)
{
    if (m_items == items)
        return;
    m_items = std::move(items);
    Q_EMIT itemsChanged();
}

void ResearchModel::setGenres(const QStringList &genres)
{
    if (m_genres == genres)
        return;
    m_genres = genres;
    Q_EMIT genresChanged(m_genres);
}

void ResearchModel::setTotal(qint64 total)
{
    if (m_total == total)
        return;
    m_total = total;
    Q_EMIT totalChanged(m_total);
}

void ResearchModel::setWeek(const std::optional<QString> &week)
{
    if (m_week == week)
        return;
    m_week = week;
    Q_EMIT weekChanged(m_week);
}

void ResearchModel::setIsLoading(bool isLoading)
{
    if (m_isLoading == isLoading)
        return;
    m_isLoading = isLoading;
    Q_EMIT isLoadingChanged(m_isLoading);
}

void ResearchModel::setError(const std::optional<QString> &error)
{
    if (m_error == error)
        return;
    m_error = error;
    Q_EMIT errorChanged(m_error);
}

void ResearchModel::setHasLoaded(bool hasLoaded)
{
    if (m_hasLoaded == hasLoaded)
        return;
    m_hasLoaded = hasLoaded;
    Q_EMIT hasLoadedChanged(m_hasLoaded);
}

bool ResearchModel::canLoadMore() const
{
    return m_hasLoaded && !m_error && !m_exhausted && m_received < m_total;
}

void ResearchModel::updateCanLoadMore()
{
    const bool now = canLoadMore();
    if (now == m_announcedCanLoadMore)
        return;
    m_announcedCanLoadMore = now;
    Q_EMIT canLoadMoreChanged(now);
}

QCoro::Task<> ResearchModel::reload(CancelTokenPtr cancel)
{
    ++m_generation;
    Q_EMIT generationChanged(m_generation);
    m_received = 0;
    m_exhausted = false;
    setItems({});
    setTotal(0);
    setError(std::nullopt);
    setHasLoaded(false);
    updateCanLoadMore();
    co_await fetch(0, m_generation, std::move(cancel));
}

QCoro::Task<> ResearchModel::loadMore(CancelTokenPtr cancel)
{
    if (!canLoadMore() || m_isLoading)
        co_return;
    co_await fetch(m_received, m_generation, std::move(cancel));
}

QCoro::Task<> ResearchModel::fetch(qint64 offset, qint64 generation, CancelTokenPtr cancel)
{
    const auto provider = m_provider ? m_provider() : nullptr;
    if (!provider) {
        setError(noServiceMessage());
        setHasLoaded(true);
        // Nothing loads now; a request of an older generation can no longer clear the flag.
        setIsLoading(false);
        updateCanLoadMore();
        co_return;
    }

    const qint64 lo = std::min(m_minPopularity, m_maxPopularity);
    const qint64 hi = std::max(m_minPopularity, m_maxPopularity);
    const auto minimum = lo > 1 ? std::optional<qint64>(std::clamp<qint64>(lo, 1, 100)) : std::nullopt;
    const auto maximum = hi < 100 ? std::optional<qint64>(std::clamp<qint64>(hi, 1, 100)) : std::nullopt;
    const QString trimmed = Unicode::trimmed(m_query);
    const auto query = trimmed.isEmpty() ? std::nullopt : std::optional<QString>(trimmed);

    setIsLoading(true);
    const QPointer<ResearchModel> self(this);
    std::optional<TopTermsResponse> page;
    std::optional<QString> failure;
    try {
        page = co_await provider->topTerms(m_country, m_genre, minimum, maximum, query, pageSize, offset, cancel);
    } catch (const PopularityError &error) {
        failure = error.message;
    } catch (const UserFacingError &error) {
        failure = error.description();
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    } catch (...) {
        failure = QStringLiteral("The popularity service could not be reached.");
    }
    // The screen may be gone, and a reload meanwhile makes this answer void.
    if (!self || self->m_generation != generation)
        co_return;

    if (page) {
        QSet<QString> held;
        held.reserve(self->m_items.size());
        for (const auto &item : self->m_items)
            held.insert(item.term);
        auto items = self->m_items;
        // Repeats within one page are the service's own and stay.
        for (const auto &item : page->items) {
            if (!held.contains(item.term))
                items.append(item);
        }
        const bool added = items.size() > self->m_items.size();
        self->m_received += page->items.size();
        self->m_exhausted = !added;
        self->setItems(std::move(items));
        self->setTotal(page->total);
        self->setGenres(page->genres);
        self->setWeek(page->week);
        self->setError(std::nullopt);
        self->setHasLoaded(true);
    } else if (!isCancelled(cancel)) {
        self->setError(failure);
        self->setHasLoaded(true);
    }
    self->setIsLoading(false);
    self->updateCanLoadMore();
}

QString genreDisplayName(const QString &code)
{
    static const QHash<QString, QString> fixed = {
        {QStringLiteral("SOCIAL_NETWORKING"), QStringLiteral("Social Networking")},
        {QStringLiteral("NEW_PUBLICATION"), QStringLiteral("New Publication")},
        {QStringLiteral("PRODUCTIVITY_UTILITIES"), QStringLiteral("Productivity & Utilities")},
    };
    if (const auto name = fixed.constFind(code); name != fixed.cend())
        return *name;

    QStringList words;
    for (const auto &part : code.split(u'_', Qt::SkipEmptyParts)) {
        // Lower case throughout, then the first letter of each word upper case.
        const QString lower = Unicode::lowercased(part);
        QString word;
        bool wordStart = true;
        for (qsizetype i = 0; i < lower.size();) {
            const char32_t c = Unicode::codePointAt(lower, i);
            const qsizetype length = QChar::requiresSurrogates(c) ? 2 : 1;
            const QString character = lower.mid(i, length);
            word += wordStart ? Unicode::uppercased(character) : character;
            wordStart = Unicode::isWhiteSpace(c);
            i += length;
        }
        words.append(word);
    }
    return words.join(QStringLiteral(" & "));
}

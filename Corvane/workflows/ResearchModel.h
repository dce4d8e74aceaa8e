#pragma once

#include "clients/PopularityClient.h"
#include "support/CancelToken.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

// The state behind the keyword research screen: its filters, the weekly top search terms
// loaded so far, page by page, and the paging state. One per screen, on the GUI thread; it
// never touches the database.
//
// Every reload starts a new generation. Only an answer to a request of the current generation
// may change what was loaded, so a late answer to an older filter never mixes with a newer one.
class ResearchModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString country READ country WRITE setCountry NOTIFY countryChanged)
    Q_PROPERTY(std::optional<QString> genre READ genre WRITE setGenre NOTIFY genreChanged)
    Q_PROPERTY(qint64 minPopularity READ minPopularity WRITE setMinPopularity NOTIFY minPopularityChanged)
    Q_PROPERTY(qint64 maxPopularity READ maxPopularity WRITE setMaxPopularity NOTIFY maxPopularityChanged)
    Q_PROPERTY(QString query READ query WRITE setQuery NOTIFY queryChanged)
    Q_PROPERTY(QList<TopTerm> items READ items NOTIFY itemsChanged)
    Q_PROPERTY(QStringList genres READ genres NOTIFY genresChanged)
    Q_PROPERTY(qint64 total READ total NOTIFY totalChanged)
    Q_PROPERTY(std::optional<QString> week READ week NOTIFY weekChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(std::optional<QString> error READ error NOTIFY errorChanged)
    Q_PROPERTY(bool hasLoaded READ hasLoaded NOTIFY hasLoadedChanged)
    Q_PROPERTY(qint64 generation READ generation NOTIFY generationChanged)
    Q_PROPERTY(bool canLoadMore READ canLoadMore NOTIFY canLoadMoreChanged)

public:
    // Called at every page request, so a changed setting applies to the next one; nothing
    // means that no popularity service is set up.
    using ProviderFactory = std::function<std::shared_ptr<TopTermsProviding>()>;

    // Terms asked for per page.
    static constexpr qint64 pageSize = 200;

    // country: else the "defaultCountry" setting, else "us". provider: else the default
    // factory over a network access of the model's own.
    explicit ResearchModel(std::optional<QString> country = std::nullopt, ProviderFactory provider = {},
                           QObject *parent = nullptr);
    ~ResearchModel() override;

    // A client of the configured popularity service over `session`, built anew at every call;
    // nothing while the "popularityServer" setting holds no usable address.
    static ProviderFactory defaultProvider(QNetworkAccessManager *session);

    // Shown when no popularity service is set up.
    static QString noServiceMessage();

    QString country() const { return m_country; }
    void setCountry(const QString &country);
    // A genre code; nothing means all genres.
    std::optional<QString> genre() const { return m_genre; }
    void setGenre(const std::optional<QString> &genre);
    qint64 minPopularity() const { return m_minPopularity; }
    void setMinPopularity(qint64 value);
    qint64 maxPopularity() const { return m_maxPopularity; }
    void setMaxPopularity(qint64 value);
    QString query() const { return m_query; }
    void setQuery(const QString &query);

    // In load order; a term that a later page repeats is held once.
    QList<TopTerm> items() const { return m_items; }
    QStringList genres() const { return m_genres; }
    // Terms matching the filters, as the service counts them.
    qint64 total() const { return m_total; }
    std::optional<QString> week() const { return m_week; }
    bool isLoading() const { return m_isLoading; }
    std::optional<QString> error() const { return m_error; }
    bool hasLoaded() const { return m_hasLoaded; }
    qint64 generation() const { return m_generation; }

    // A page loaded without error, the service holds more terms than were received, and the
    // last page added at least one new term.
    bool canLoadMore() const;

    const ProviderFactory &provider() const { return m_provider; }

    // Starts a new generation and loads its first page. Never throws; a failure goes to
    // error(). Cancelling the token drops a failure silently.
    QCoro::Task<> reload(CancelTokenPtr cancel = {});
    // Loads the next page when canLoadMore() holds and no page is loading; else does nothing.
    QCoro::Task<> loadMore(CancelTokenPtr cancel = {});

Q_SIGNALS:
    void countryChanged(const QString &country);
    void genreChanged(const std::optional<QString> &genre);
    void minPopularityChanged(qint64 minPopularity);
    void maxPopularityChanged(qint64 maxPopularity);
    void queryChanged(const QString &query);
    void itemsChanged();
    void genresChanged(const QStringList &genres);
    void totalChanged(qint64 total);
    void weekChanged(const std::optional<QString> &week);
    void isLoadingChanged(bool isLoading);
    void errorChanged(const std::optional<QString> &error);
    void hasLoadedChanged(bool hasLoaded);
    void generationChanged(qint64 generation);
    void canLoadMoreChanged(bool canLoadMore);

private:
    QCoro::Task<> fetch(qint64 offset, qint64 generation, CancelTokenPtr cancel);

    void setItems(QList<TopTerm> items);
    void setGenres(const QStringList &genres);
    void setTotal(qint64 total);
    void setWeek(const std::optional<QString> &week);
    void setIsLoading(bool isLoading);
    void setError(const std::optional<QString> &error);
    void setHasLoaded(bool hasLoaded);
    // Announces a change of canLoadMore() after the fields it depends on changed.
    void updateCanLoadMore();

    QString m_country;
    std::optional<QString> m_genre;
    qint64 m_minPopularity = 1;
    qint64 m_maxPopularity = 100;
    QString m_query;
    QList<TopTerm> m_items;
    QStringList m_genres;
    qint64 m_total = 0;
    std::optional<QString> m_week;
    bool m_isLoading = false;
    std::optional<QString> m_error;
    bool m_hasLoaded = false;
    ProviderFactory m_provider;
    qint64 m_generation = 0;

    // Paging of the current generation. The next page starts after every term received so
    // far, repeats included: counting only the terms kept would ask for the same page again
    // whenever a term shows up on two pages.
    qint64 m_received = 0;
    // The last page added no term; asking further could only repeat it.
    bool m_exhausted = false;
    bool m_announcedCanLoadMore = false;

    QNetworkAccessManager *m_network = nullptr;
};

// The display name of a genre code: "HEALTH_FITNESS" reads "Health & Fitness".
QString genreDisplayName(const QString &code);

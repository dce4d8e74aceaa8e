#pragma once

#include "store/ASOStore.h"

#include <QCoroTask>
#include <QFuture>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <optional>

class EmptyStateView;
class QButtonGroup;
class QComboBox;
class QLabel;
class QVBoxLayout;

// The tabs of the competitors section; the raw value is also the segment's title.
enum class CompetitorTab { suggested, compare, gap };

namespace CompetitorTabs {
inline constexpr std::array allCases{CompetitorTab::suggested, CompetitorTab::compare, CompetitorTab::gap};
QString rawValue(CompetitorTab tab);
std::optional<CompetitorTab> fromRaw(QStringView raw);
}

// The "Competitors" section of an app's detail screen in one storefront: the suggested
// competitors, the comparison with one tracked competitor and the keyword gap against it. The
// app's search evidence decides first whether there is anything to show; failed searches are
// reported above the tab. Holds the app's ID and the chosen competitor's, and reads everything
// from the store again when its data version rises. While many stored searches are read for a
// tab, on the pool's threads, it shows that it is loading; it draws the tab once they are read,
// unless another tab, storefront or competitor, or new data, has made them stale by then.
class CompetitorsView : public QWidget
{
    Q_OBJECT
public:
    // What the section shows below its pickers, the first rule that holds winning; loading
    // while the searches that a tab's analysis reads are read.
    enum class Content { noKeywords, noSearches, searchesFailed, suggested, noCompetitors, compare, gap, loading };

    static Content content(const ASOStore::EvidenceCoverage &coverage, CompetitorTab tab, bool hasCompetitor);
    // The banner over the tab; absent while no search failed.
    static std::optional<QString> bannerText(qint64 failed);

    CompetitorsView(ASOStore *store, QString appleAppId, QString country, QWidget *parent = nullptr);
    ~CompetitorsView() override;

    CompetitorTab tab() const { return m_tab; }
    // The competitor the user chose, even one that is no longer a competitor.
    std::optional<QString> competitorId() const { return m_competitorId; }
    // The chosen competitor while it is one, else the first competitor by name; none without any.
    std::optional<TrackedApp> selectedCompetitor();
    Content shownContent() const { return m_isLoading ? Content::loading : m_shown; }
    // The widget of the shown content: a table, a tab view or an empty state (also the loading one).
    QWidget *contentWidget() const { return m_isLoading ? m_loading : m_content; }
    QString country() const { return m_country; }

    void setCountry(const QString &country);
    void setTab(CompetitorTab tab);
    void chooseCompetitor(const QString &appleAppId);
    // A suggested app was tracked: it is chosen and compared.
    void didTrack(const QString &appleAppId);
    void showSuggestions();

Q_SIGNALS:
    // The loading state came, or went with the content drawn in its place.
    void loadingChanged(bool loading);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildPickers();
    // The chosen competitor among these, else the first.
    std::optional<TrackedApp> pick(const QList<TrackedApp> &competitors) const;
    // Reads the evidence and the competitors again and shows what they allow, once the searches
    // that the content's analysis reads are read.
    void refresh();
    void showContent(Content next, const std::optional<TrackedApp> &selected);
    void setLoading(bool loading);
    // Refreshes again once the reads are done, unless a later refresh came meanwhile.
    static QCoro::Task<> refreshWhenRead(QPointer<CompetitorsView> view, quint64 refreshed, QList<QFuture<void>> reads);
    void updatePicker(const QList<TrackedApp> &competitors, const std::optional<TrackedApp> &selected);
    QWidget *buildContent(Content content, const std::optional<TrackedApp> &competitor);

    QPointer<ASOStore> m_store;
    const QString m_appleAppId;
    QString m_country;
    CompetitorTab m_tab = CompetitorTab::suggested;
    std::optional<QString> m_competitorId;
    Content m_shown = Content::noKeywords;
    // A data version rose while the section was hidden.
    bool m_stale = false;
    // Counts the refreshes: a read finished for an earlier one is stale.
    quint64 m_refreshes = 0;
    bool m_isLoading = false;

    QButtonGroup *m_tabs = nullptr;
    QWidget *m_competitorPicker = nullptr;
    QComboBox *m_competitors = nullptr;
    QLabel *m_banner = nullptr;
    QVBoxLayout *m_layout = nullptr;
    QWidget *m_content = nullptr;
    QWidget *m_loading = nullptr;
};

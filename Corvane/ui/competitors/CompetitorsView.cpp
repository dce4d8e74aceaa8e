#include "ui/competitors/CompetitorsView.h"

#include "clients/Storefront.h"
#include "ui/cells/ElidingControls.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/Glyphs.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/Style.h"
#include "ui/competitors/ComparisonTable.h"
#include "ui/competitors/KeywordGapView.h"
#include "ui/competitors/SuggestedCompetitorsTable.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCoroFuture>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

QString CompetitorTabs::rawValue(CompetitorTab tab)
{
    switch (tab) {
    case CompetitorTab::suggested:
        return QStringLiteral("Suggested");
    case CompetitorTab::compare:
        return QStringLiteral("Compare");
    case CompetitorTab::gap:
        return QStringLiteral("Keyword Gap");
    }
    return {};
}

std::optional<CompetitorTab> CompetitorTabs::fromRaw(QStringView raw)
{
    for (const auto tab : allCases) {
        if (raw == rawValue(tab))
            return tab;
    }
    return std::nullopt;
}

CompetitorsView::Content CompetitorsView::content(const ASOStore::EvidenceCoverage &coverage, CompetitorTab tab,
                                                  bool hasCompetitor)
{
    if (coverage.keywords == 0)
        return Content::noKeywords;
    if (coverage.succeeded == 0)
        return coverage.failed == 0 ? Content::noSearches : Content::searchesFailed;
    if (tab == CompetitorTab::suggested)
        return Content::suggested;
    if (!hasCompetitor)
        return Content::noCompetitors;
    return tab == CompetitorTab::compare ? Content::compare : Content::gap;
}

std::optional<QString> CompetitorsView::bannerText(qint64 failed)
{
    if (failed < 1)
        return std::nullopt;
    return QStringLiteral("The latest search failed for ") + QString::number(failed) + QStringLiteral(" keyword")
        + (failed == 1 ? QString() : QStringLiteral("s")) + QStringLiteral(". They are shown as failed, never as not ranked.");
}

CompetitorsView::CompetitorsView(ASOStore *store, QString appleAppId, QString country, QWidget *parent)
    : QWidget(parent), m_store(store), m_appleAppId(std::move(appleAppId)), m_country(std::move(country))
{
    setObjectName(QStringLiteral("competitorsView"));
    m_banner = PlainText::label(this);
    m_banner->setObjectName(QStringLiteral("failedSearchesBanner"));
    m_banner->setWordWrap(true);
    m_banner->setFont(Style::font(Style::TextSize::callout));
    m_banner->setContentsMargins(16, 0, 16, 8);
    Style::setTone(m_banner, Style::Tone::orange);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->addWidget(buildPickers());
    m_layout->addWidget(m_banner);
    m_layout->addWidget(line);

    // In the content's place while the searches that a tab analyses are read.
    auto *loading = new EmptyStateView({}, QStringLiteral("Reading search results…"), {}, this);
    loading->setObjectName(QStringLiteral("competitorsLoadingState"));
    auto *busy = new QProgressBar(loading);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setFixedSize(48, 10);
    loading->addActionWidget(busy);
    loading->hide();
    m_loading = loading;
    m_layout->addWidget(m_loading, 1);

    if (m_store)
        connect(m_store, &ASOStore::dataVersionSettled, this, [this] {
            // A hidden section catches up when it is shown again.
            if (isVisible())
                refresh();
            else
                m_stale = true;
        });
    refresh();
}

CompetitorsView::~CompetitorsView()
{
    // The pickers go with the children; their signals may not reach this half-destroyed view.
    m_competitors->disconnect(this);
    m_tabs->disconnect(this);
}

QWidget *CompetitorsView::buildPickers()
{
    auto *row = new QWidget(this);
    row->setObjectName(QStringLiteral("competitorPickers"));
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->setSpacing(12);

    m_tabs = new QButtonGroup(row);
    m_tabs->setExclusive(true);
    auto *segments = new QHBoxLayout;
    segments->setSpacing(0);
    for (const auto tab : CompetitorTabs::allCases) {
        const auto title = CompetitorTabs::rawValue(tab);
        auto *segment = new QToolButton(row);
        segment->setObjectName(QStringLiteral("tab") + QString(title).remove(u' '));
        segment->setText(title);
        segment->setCheckable(true);
        segment->setChecked(tab == m_tab);
        m_tabs->addButton(segment, int(tab));
        segments->addWidget(segment);
    }
    connect(m_tabs, &QButtonGroup::idClicked, this, [this](int id) { setTab(CompetitorTab(id)); });
    layout->addLayout(segments);
    layout->addStretch();

    m_competitorPicker = new QWidget(row);
    auto *picker = new QHBoxLayout(m_competitorPicker);
    picker->setContentsMargins(0, 0, 0, 0);
    picker->addWidget(new QLabel(QStringLiteral("Competitor"), m_competitorPicker));
    m_competitors = new ElidingComboBox(m_competitorPicker);
    m_competitors->setObjectName(QStringLiteral("competitorPicker"));
    m_competitors->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_competitors->setMaximumWidth(260);
    connect(m_competitors, &QComboBox::activated, this,
            [this](int index) { chooseCompetitor(m_competitors->itemData(index).toString()); });
    picker->addWidget(m_competitors);
    layout->addWidget(m_competitorPicker);
    return row;
}

std::optional<TrackedApp> CompetitorsView::pick(const QList<TrackedApp> &competitors) const
{
    for (const auto &competitor : competitors) {
        if (competitor.appleAppId == m_competitorId)
            return competitor;
    }
    return competitors.isEmpty() ? std::nullopt : std::optional(competitors.first());
}

std::optional<TrackedApp> CompetitorsView::selectedCompetitor()
{
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    return app ? pick(m_store->competitors(*app)) : std::nullopt;
}

void CompetitorsView::setCountry(const QString &country)
{
    if (country == m_country)
        return;
    m_country = country;
    refresh();
}

void CompetitorsView::setTab(CompetitorTab tab)
{
    if (auto *button = m_tabs->button(int(tab)))
        button->setChecked(true);
    if (tab == m_tab)
        return;
    m_tab = tab;
    refresh();
}

void CompetitorsView::chooseCompetitor(const QString &appleAppId)
{
    m_competitorId = appleAppId;
    refresh();
}

void CompetitorsView::didTrack(const QString &appleAppId)
{
    m_competitorId = appleAppId;
    m_tab = CompetitorTab::compare;
    m_tabs->button(int(m_tab))->setChecked(true);
    refresh();
}

void CompetitorsView::showSuggestions()
{
    setTab(CompetitorTab::suggested);
}

void CompetitorsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_stale)
        refresh();
}

void CompetitorsView::refresh()
{
    m_stale = false;
    const auto refreshed = ++m_refreshes;
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    const auto coverage = app ? m_store->evidenceCoverage(*app, m_country) : ASOStore::EvidenceCoverage{};
    const auto banner = bannerText(coverage.failed);
    if (banner)
        m_banner->setText(Glyphs::text(u"exclamationmark.triangle.fill") + u' ' + *banner);
    m_banner->setVisible(banner.has_value());

    const auto competitors = app ? m_store->competitors(*app) : QList<TrackedApp>{};
    const auto selected = pick(competitors);
    updatePicker(competitors, selected);

    const auto next = content(coverage, m_tab, selected.has_value());
    QList<QFuture<void>> reads;
    if (app && (next == Content::suggested || next == Content::compare || next == Content::gap)) {
        QList<TrackedApp> analysed{*app};
        if (next == Content::gap)
            analysed.append(*selected);
        reads = m_store->readCompetitorSearches(analysed, m_country);
    }
    if (!reads.isEmpty()) {
        setLoading(true);
        refreshWhenRead(this, refreshed, std::move(reads));
        return;
    }
    showContent(next, selected);
    setLoading(false);
}

QCoro::Task<> CompetitorsView::refreshWhenRead(QPointer<CompetitorsView> view, quint64 refreshed,
                                               QList<QFuture<void>> reads)
{
    for (const auto &read : std::as_const(reads))
        co_await read;
    // A later refresh has reads of its own to wait for, or drew what is current already.
    if (view && view->m_refreshes == refreshed)
        view->refresh();
}

void CompetitorsView::setLoading(bool loading)
{
    if (m_content)
        m_content->setVisible(!loading);
    m_loading->setVisible(loading);
    if (loading == m_isLoading)
        return;
    m_isLoading = loading;
    Q_EMIT loadingChanged(loading);
}

void CompetitorsView::showContent(Content next, const std::optional<TrackedApp> &selected)
{
    if (m_content && next == m_shown) {
        // The same kind of content keeps its view state (sort orders, the gap's add action).
        if (auto *suggested = qobject_cast<SuggestedCompetitorsTable *>(m_content)) {
            suggested->setCountry(m_country);
            suggested->reload();
        } else if (auto *comparison = qobject_cast<ComparisonTable *>(m_content)) {
            comparison->setCompetitor(selected->appleAppId);
            comparison->setCountry(m_country);
            comparison->reload();
        } else if (auto *gap = qobject_cast<KeywordGapView *>(m_content)) {
            gap->setCompetitor(selected->appleAppId);
            gap->setCountry(m_country);
            gap->reload();
        } else if (auto *state = qobject_cast<EmptyStateView *>(m_content); state && next == Content::noSearches) {
            state->setContent(QStringLiteral("magnifyingglass"),
                              QStringLiteral("No searches yet in ") + Storefront::named(m_country).name,
                              state->description());
        }
        return;
    }
    m_shown = next;
    if (m_content) {
        // It may be the sender of what led here ("Show Suggestions", a tracked suggestion).
        m_layout->removeWidget(m_content);
        m_content->hide();
        m_content->deleteLater();
    }
    m_content = buildContent(next, selected);
    m_layout->addWidget(m_content, 1);
    // At once rather than when the layout gets round to it, so that it is whole when first painted.
    m_content->show();
}

void CompetitorsView::updatePicker(const QList<TrackedApp> &competitors, const std::optional<TrackedApp> &selected)
{
    m_competitorPicker->setVisible(m_tab != CompetitorTab::suggested && !competitors.isEmpty());
    bool same = m_competitors->count() == competitors.size();
    for (int i = 0; same && i < competitors.size(); ++i)
        same = m_competitors->itemData(i).toString() == competitors[i].appleAppId
            && m_competitors->itemText(i) == competitors[i].name;
    const QSignalBlocker blocker(m_competitors);
    if (!same) {
        m_competitors->clear();
        for (const auto &competitor : competitors) {
            m_competitors->addItem(competitor.name, competitor.appleAppId);
            m_competitors->setItemData(m_competitors->count() - 1, PlainText::tooltip(competitor.name), Qt::ToolTipRole);
        }
    }
    m_competitors->setCurrentIndex(selected ? m_competitors->findData(selected->appleAppId) : -1);
}

QWidget *CompetitorsView::buildContent(Content content, const std::optional<TrackedApp> &competitor)
{
    switch (content) {
    case Content::suggested: {
        auto *suggested = new SuggestedCompetitorsTable(m_store, m_appleAppId, m_country, this);
        connect(suggested, &SuggestedCompetitorsTable::tracked, this, &CompetitorsView::didTrack);
        return suggested;
    }
    case Content::compare:
        return new ComparisonTable(m_store, m_appleAppId, competitor->appleAppId, m_country, this);
    case Content::gap:
        return new KeywordGapView(m_store, m_appleAppId, competitor->appleAppId, m_country, this);
    case Content::noKeywords:
        return new EmptyStateView(QStringLiteral("text.magnifyingglass"), QStringLiteral("No keywords yet"),
                                  QStringLiteral("Competitors are found from the results of this app’s keywords. "
                                                 "Click “Discover Keywords” first."),
                                  this);
    case Content::noSearches:
        return new EmptyStateView(QStringLiteral("magnifyingglass"),
                                  QStringLiteral("No searches yet in ") + Storefront::named(m_country).name,
                                  QStringLiteral("Check this app’s keywords in this storefront to see who ranks for them."),
                                  this);
    case Content::searchesFailed:
        return new EmptyStateView(QStringLiteral("exclamationmark.triangle"), QStringLiteral("Searches failed"),
                                  QStringLiteral("No search for this app’s keywords succeeded in this storefront, so "
                                                 "nothing can be compared. Check the keywords again later."),
                                  this);
    case Content::noCompetitors: {
        auto *state = new EmptyStateView(QStringLiteral("person.2"), QStringLiteral("No competitors tracked"),
                                         QStringLiteral("Track an app from the suggestions to compare rankings and "
                                                        "find keyword gaps."),
                                         this);
        auto *show = state->addAction(QStringLiteral("Show Suggestions"));
        show->setObjectName(QStringLiteral("showSuggestions"));
        connect(show, &QPushButton::clicked, this, &CompetitorsView::showSuggestions);
        return state;
    }
    case Content::loading:
        break;
    }
    return nullptr;
}

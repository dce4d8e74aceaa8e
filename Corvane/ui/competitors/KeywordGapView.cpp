#include "ui/competitors/KeywordGapView.h"

#include "store/ASOStore.h"
#include "support/Unicode.h"
#include "ui/cells/ElidingControls.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/LayOutNow.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/Style.h"
#include "ui/cells/WriteGuard.h"
#include "ui/competitors/CompetitorKeywordModel.h"
#include "ui/competitors/CompetitorKeywordTable.h"
#include "workflows/DiscoveryRun.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int paneMinimumHeight = 160;

// A pane's header: "Title (N)" over its description.
QWidget *sectionHeader(QWidget *parent, QLabel *&title, QLabel *&description)
{
    auto *header = new QWidget(parent);
    title = PlainText::label(header);
    title->setFont(Style::font(Style::TextSize::body, QFont::DemiBold));
    description = PlainText::label(header);
    description->setFont(Style::font(Style::TextSize::caption));
    description->setWordWrap(true);
    Style::setTone(description, Style::Tone::secondary);
    auto *layout = new QVBoxLayout(header);
    layout->setContentsMargins(16, 8, 16, 8);
    layout->setSpacing(2);
    layout->addWidget(title);
    layout->addWidget(description);
    return header;
}

QString counted(const QString &title, qsizetype count)
{
    return title + QStringLiteral(" (") + QString::number(count) + u')';
}

}

KeywordGapView::KeywordGapView(ASOStore *store, QString appleAppId, QString competitorId, QString country,
                               QWidget *parent)
    : QWidget(parent), m_store(store), m_appleAppId(std::move(appleAppId)), m_competitorId(std::move(competitorId)),
      m_country(std::move(country))
{
    setObjectName(QStringLiteral("keywordGapView"));
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("gapSplitter"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(buildOpportunitiesPane());
    m_splitter->addWidget(buildUntrackedPane());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    if (m_store)
        connect(m_store, &ASOStore::discoveriesChanged, this, &KeywordGapView::updateUntrackedState);
    reload();
}

KeywordGapView::~KeywordGapView()
{
    // The tables go with the children; their signals may not reach this half-destroyed view.
    m_untracked->disconnect(this);
    if (m_popularityCancel)
        m_popularityCancel->cancel();
}

QWidget *KeywordGapView::buildOpportunitiesPane()
{
    auto *pane = new QWidget(this);
    pane->setObjectName(QStringLiteral("opportunitiesPane"));
    pane->setMinimumHeight(paneMinimumHeight);
    auto *header = sectionHeader(pane, m_opportunitiesTitle, m_opportunitiesDescription);
    m_opportunitiesTitle->setObjectName(QStringLiteral("opportunitiesTitle"));
    m_opportunitiesDescription->setObjectName(QStringLiteral("opportunitiesDescription"));
    m_opportunities = new CompetitorKeywordTable(CompetitorKeywordTable::Selection::none, pane);
    m_opportunities->setObjectName(QStringLiteral("opportunitiesTable"));
    m_opportunities->setSort(CompetitorKeywordModel::theirRank, Qt::AscendingOrder);
    // Only the pane's own state shows over an empty list.
    m_opportunities->setShowsEmptyState(false);
    m_opportunitiesState = new EmptyStateView(QStringLiteral("checkmark.seal"), QStringLiteral("No gaps among your keywords"), {});
    m_opportunitiesState->setObjectName(QStringLiteral("opportunitiesEmptyState"));
    m_opportunitiesState->overlayOn(m_opportunities->viewport());
    auto *layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header);
    layout->addWidget(m_opportunities, 1);
    return pane;
}

QWidget *KeywordGapView::buildUntrackedPane()
{
    auto *pane = new QWidget(this);
    pane->setObjectName(QStringLiteral("untrackedPane"));
    pane->setMinimumHeight(paneMinimumHeight);
    auto *header = sectionHeader(pane, m_untrackedTitle, m_untrackedDescription);
    m_untrackedTitle->setObjectName(QStringLiteral("untrackedTitle"));
    m_untrackedDescription->setObjectName(QStringLiteral("untrackedDescription"));
    m_add = new QPushButton(addTitle(0, false), pane);
    m_add->setObjectName(QStringLiteral("addToMyKeywords"));
    WriteGuard::guard(m_add, m_store);
    connect(m_add, &QPushButton::clicked, this, [this] {
        const auto selection = m_untracked->selection();
        addToMyKeywords(QStringList(selection.cbegin(), selection.cend()));
    });
    // The button on the title's line, 16 points from the edge.
    auto *button = new QVBoxLayout;
    button->setContentsMargins(0, 8, 16, 0);
    button->addWidget(m_add);
    button->addStretch();
    auto *top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(header, 1);
    top->addLayout(button);

    m_untracked = new CompetitorKeywordTable(CompetitorKeywordTable::Selection::multiple, pane);
    m_untracked->setObjectName(QStringLiteral("untrackedTable"));
    m_untracked->setSort(CompetitorKeywordModel::theirRank, Qt::AscendingOrder);
    m_untracked->setShowsEmptyState(false);
    m_untracked->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_untracked, &CompetitorKeywordTable::selectionChanged, this, &KeywordGapView::updateAddButton);
    connect(m_untracked, &QWidget::customContextMenuRequested, this, [this](const QPoint &position) {
        auto *menu = contextMenu(menuTargets(position), this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_untracked->viewport()->mapToGlobal(position));
    });

    m_untrackedState = new EmptyStateView(QStringLiteral("text.magnifyingglass"), {}, {});
    m_untrackedState->setObjectName(QStringLiteral("untrackedEmptyState"));
    m_discover = new ElidingButton(m_untrackedState);
    m_untrackedState->addActionWidget(m_discover);
    m_discover->setObjectName(QStringLiteral("discoverCompetitorKeywords"));
    WriteGuard::guard(m_discover, m_store);
    connect(m_discover, &QPushButton::clicked, this, &KeywordGapView::startDiscovery);
    m_running = new QWidget(m_untrackedState);
    m_running->setObjectName(QStringLiteral("discoveryRunning"));
    auto *busy = new QProgressBar(m_running);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setFixedSize(48, 10);
    m_runningPhase = PlainText::label(m_running);
    m_runningPhase->setObjectName(QStringLiteral("discoveryPhase"));
    Style::setTone(m_runningPhase, Style::Tone::secondary);
    auto *running = new QHBoxLayout(m_running);
    running->setContentsMargins(0, 0, 0, 0);
    running->setSpacing(6);
    running->addWidget(busy);
    running->addWidget(m_runningPhase);
    m_untrackedState->addActionWidget(m_running);
    m_untrackedState->overlayOn(m_untracked->viewport());

    auto *layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(top);
    layout->addWidget(m_untracked, 1);
    return pane;
}

QString KeywordGapView::addTitle(qsizetype selected, bool adding)
{
    if (adding)
        return QStringLiteral("Adding…");
    return selected == 0 ? QStringLiteral("Add to My Keywords")
                         : QStringLiteral("Add ") + QString::number(selected) + QStringLiteral(" to My Keywords");
}

void KeywordGapView::setCompetitor(const QString &competitorId)
{
    if (competitorId == m_competitorId)
        return;
    m_competitorId = competitorId;
    m_untracked->setSelection({});
}

void KeywordGapView::reload()
{
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    const auto competitor = m_store ? m_store->app(m_competitorId) : std::nullopt;
    ASOStore::KeywordGapRows rows;
    if (app && competitor)
        rows = m_store->keywordGapRows(*app, *competitor, m_country);
    const auto name = competitor ? competitor->name : QString();

    m_opportunitiesTitle->setText(counted(QStringLiteral("Opportunities"), rows.opportunities.size()));
    m_opportunitiesDescription->setText(
        name + QStringLiteral(" ranks in the top 50 where this app is not in the results or ranks at least 10 places lower."));
    m_opportunitiesState->setContent(QStringLiteral("checkmark.seal"), QStringLiteral("No gaps among your keywords"),
                                     name + QStringLiteral(" does not clearly outrank this app on any keyword it tracks."));
    m_opportunitiesState->setVisible(rows.opportunities.isEmpty());
    m_opportunities->setCompetitorName(name);
    m_opportunities->setRows(std::move(rows.opportunities));

    m_untrackedTitle->setText(counted(QStringLiteral("Their keywords you don’t track"), rows.untracked.size()));
    m_untrackedDescription->setText(QStringLiteral("Keywords tracked for ") + name
                                    + QStringLiteral(" that this app does not track."));
    m_untrackedState->setVisible(rows.untracked.isEmpty());
    m_untracked->setCompetitorName(name);
    m_untracked->setRows(std::move(rows.untracked));
    updateUntrackedState();
    updateAddButton();
    // Descriptions of another length need another number of lines: laid out at once, so that no
    // frame draws them in the room the former ones took.
    layOutNow(this);
    if (m_shown)
        refreshPopularity();
}

void KeywordGapView::updateUntrackedState()
{
    const auto competitor = m_store ? m_store->app(m_competitorId) : std::nullopt;
    if (!competitor || !m_untrackedState->isVisibleTo(m_untracked->viewport()))
        return;
    const auto &name = competitor->name;
    if (m_store->linkCount(*competitor) == 0)
        m_untrackedState->setContent(QStringLiteral("text.magnifyingglass"), QStringLiteral("No keywords tracked for ") + name,
                                     QStringLiteral("Run discovery on ") + name
                                         + QStringLiteral(" to find the keywords it ranks for."));
    else
        m_untrackedState->setContent(QStringLiteral("text.magnifyingglass"), QStringLiteral("Nothing new"),
                                     QStringLiteral("This app already tracks every keyword tracked for ") + name
                                         + u'.');
    const auto run = m_store->discoveryRun(*competitor, m_country);
    if (run) {
        connect(run.get(), &DiscoveryRun::isRunningChanged, this, &KeywordGapView::updateUntrackedState,
                Qt::UniqueConnection);
        connect(run.get(), &DiscoveryRun::phaseChanged, this, &KeywordGapView::updateUntrackedState,
                Qt::UniqueConnection);
    }
    const bool running = run && run->isRunning();
    m_discover->setFullText(QStringLiteral("Discover Keywords for ") + name);
    m_discover->setVisible(!running);
    m_runningPhase->setText(running ? run->phase() : QString());
    m_running->setVisible(running);
    // Texts of another length: centre the state again.
    m_untrackedState->overlayOn(m_untracked->viewport());
}

void KeywordGapView::updateAddButton()
{
    m_add->setText(addTitle(m_untracked->selection().size(), m_adding));
    WriteGuard::setEnabled(m_add, !m_untracked->selection().isEmpty() && !m_adding);
    // A title of another width leaves the description beside it another width, and so another
    // number of lines.
    layOutNow(this);
}

void KeywordGapView::startDiscovery()
{
    if (const auto competitor = m_store ? m_store->app(m_competitorId) : std::nullopt)
        m_store->startDiscovery(*competitor, m_country);
    updateUntrackedState();
}

QStringList KeywordGapView::menuTargets(const QPoint &position) const
{
    const auto clicked = m_untracked->idAt(position);
    if (clicked.isEmpty())
        return {};
    const auto selection = m_untracked->selection();
    if (!selection.contains(clicked))
        return {clicked};
    QStringList ids(selection.cbegin(), selection.cend());
    std::sort(ids.begin(), ids.end(), Unicode::lessThan);
    return ids;
}

QMenu *KeywordGapView::contextMenu(const QStringList &ids, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("gapMenu"));
    auto *add = menu->addAction(QStringLiteral("Add to My Keywords"));
    add->setEnabled(!ids.isEmpty() && !m_adding);
    WriteGuard::guard(add, m_store);
    connect(add, &QAction::triggered, this, [this, ids] { addToMyKeywords(ids); });
    return menu;
}

void KeywordGapView::addToMyKeywords(QStringList ids)
{
    if (ids.isEmpty() || m_adding || !WriteGuard::allows(m_store))
        return;
    m_adding = true;
    updateAddButton();
    std::sort(ids.begin(), ids.end(), Unicode::lessThan);
    runAdd(this, m_store, std::move(ids), m_appleAppId, m_competitorId, m_country);
}

QCoro::Task<> KeywordGapView::runAdd(QPointer<KeywordGapView> view, QPointer<ASOStore> store, QStringList ids,
                                     QString appleAppId, QString competitorId, QString country)
{
    const auto app = store ? store->app(appleAppId) : std::nullopt;
    const auto competitor = store ? store->app(competitorId) : std::nullopt;
    // Either app may have been removed since the rows were drawn: then nothing is added.
    const bool linked = app && competitor && co_await store->addCompetitorKeywords(ids, *competitor, *app, country);
    if (view)
        view->finishAdd(ids, linked);
}

void KeywordGapView::finishAdd(const QStringList &ids, bool linked)
{
    // Refused, the keywords stay chosen for another try; the store told why.
    if (linked) {
        auto selection = m_untracked->selection();
        for (const auto &id : ids)
            selection.remove(id);
        m_untracked->setSelection(selection);
    }
    m_adding = false;
    updateAddButton();
    if (linked)
        Q_EMIT added(ids);
}

void KeywordGapView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_shown = true;
    refreshPopularity();
}

void KeywordGapView::refreshPopularity()
{
    const auto key = m_competitorId + u'|' + m_country;
    if (key == m_popularityKey)
        return;
    m_popularityKey = key;
    // The refresh for the former competitor or storefront no longer speaks for this view.
    if (m_popularityCancel)
        m_popularityCancel->cancel();
    m_popularityCancel = CancelToken::create();
    runPopularity(m_store, m_competitorId, m_country, m_popularityCancel);
}

QCoro::Task<> KeywordGapView::runPopularity(QPointer<ASOStore> store, QString competitorId, QString country,
                                            CancelTokenPtr cancel)
{
    const auto competitor = store ? store->app(competitorId) : std::nullopt;
    // A competitor without keywords has no popularity to fetch.
    if (competitor && store->linkCount(*competitor) > 0)
        co_await store->refreshPopularity(*competitor, country, false, std::move(cancel));
}

#include "ui/research/ResearchView.h"

#include "keywords/KeywordText.h"
#include "store/ASOStore.h"
#include "ui/cells/CellDelegate.h"
#include "ui/cells/ChildSignals.h"
#include "ui/cells/ContextClick.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/Glyphs.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/SortKeyProxy.h"
#include "ui/cells/StorefrontMenu.h"
#include "ui/cells/Style.h"
#include "ui/cells/WriteGuard.h"
#include "ui/research/ElidedLabel.h"
#include "ui/research/ResearchTableModel.h"

#include <QClipboard>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QSpinBox *popularityField(const QString &name, QWidget *parent)
{
    auto *field = new QSpinBox(parent);
    field->setObjectName(name);
    // Wider than the stored range so that any typed value is taken and then clamped on commit,
    // instead of the field refusing the keystroke.
    field->setRange(-999, 999);
    field->setButtonSymbols(QAbstractSpinBox::NoButtons);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field->setKeyboardTracking(false);
    field->setFixedWidth(44);
    field->setToolTip(QStringLiteral("Apple Ads search popularity, 1–100"));
    return field;
}

QLabel *secondaryLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    Style::setTone(label, Style::Tone::secondary);
    return label;
}

}

ResearchView::ResearchView(ASOStore *store, QWidget *parent, ResearchModel::ProviderFactory provider)
    : QWidget(parent)
    , m_store(store)
    , m_model(new ResearchModel(std::nullopt, std::move(provider), this))
    , m_rows(new ResearchTableModel(this))
    , m_sorted(new SortKeyProxy(ResearchTableModel::sortRole, this))
    , m_reloadTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("researchView"));
    setWindowTitle(QStringLiteral("Keyword Research"));

    // Toolbar: the text filter and "Track in…".
    auto *toolbar = new QWidget(this);
    toolbar->setObjectName(QStringLiteral("researchToolbar"));
    m_search = new QLineEdit(toolbar);
    m_search->setObjectName(QStringLiteral("researchSearch"));
    m_search->setPlaceholderText(QStringLiteral("Filter terms"));
    m_search->setClearButtonEnabled(true);
    m_search->setMaximumWidth(260);
    m_trackIn = new QToolButton(toolbar);
    m_trackIn->setObjectName(QStringLiteral("trackInButton"));
    m_trackIn->setText(QStringLiteral("Track in…"));
    m_trackIn->setIcon(Glyphs::icon(u"plus.circle"));
    m_trackIn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_trackIn->setToolTip(QStringLiteral("Add the selected terms to an app’s tracked keywords"));
    Style::setMenuButton(m_trackIn);
    WriteGuard::guard(m_trackIn, m_store);
    auto *trackMenu = new QMenu(m_trackIn);
    trackMenu->setObjectName(QStringLiteral("trackInMenu"));
    m_trackIn->setMenu(trackMenu);
    // Built afresh each time, so the check marks follow the store.
    connect(trackMenu, &QMenu::aboutToShow, this, [this, trackMenu] {
        trackMenu->clear();
        fillAppItems(trackMenu, chosenTerms());
    });
    WriteGuard::setEnabled(m_trackIn, false);
    auto *toolbarLayout = new QHBoxLayout(toolbar);
    toolbarLayout->setContentsMargins(12, 6, 12, 6);
    toolbarLayout->addStretch();
    toolbarLayout->addWidget(m_search);
    toolbarLayout->addWidget(m_trackIn);

    auto *filterBar = new QWidget(this);
    buildFilterBar(filterBar);

    // The table, sorted by popularity, most popular first, until a header is clicked.
    m_sorted->setSourceModel(m_rows);
    m_table = new QTableView(this);
    keepSelectionOnContextClick(m_table);
    m_table->setObjectName(QStringLiteral("researchTable"));
    m_table->setModel(m_sorted);
    m_table->setItemDelegate(new CellDelegate(m_table));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(ResearchTableModel::popularityColumn, Qt::DescendingOrder);
    auto *header = m_table->horizontalHeader();
    header->setMinimumSectionSize(ResearchTableModel::minimumWidth(ResearchTableModel::rankColumn));
    header->setStretchLastSection(true);
    // Whole rows are selected; the titles stay plain rather than all turning bold.
    header->setHighlightSections(false);
    // The header knows one minimum for all columns; the wider ones of the others are held here.
    connect(header, &QHeaderView::sectionResized, this, [header](int column, int, int width) {
        const int minimum = ResearchTableModel::minimumWidth(column);
        if (width < minimum)
            header->resizeSection(column, minimum);
    });
    const std::initializer_list<std::pair<int, int>> idealWidths{{ResearchTableModel::termColumn, 260},
                                                                 {ResearchTableModel::popularityColumn, 100},
                                                                 {ResearchTableModel::genreColumn, 170},
                                                                 {ResearchTableModel::rankColumn, 100}};
    for (const auto &[column, width] : idealWidths)
        m_table->setColumnWidth(column, width);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &ResearchView::updateTrackIn);
    connect(m_table, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const auto index = m_table->indexAt(pos);
        if (!index.isValid())
            return;
        // The whole selection when the clicked row is part of it, else the clicked row alone.
        const auto terms = m_table->selectionModel()->isRowSelected(index.row(), {})
            ? selectedTerms()
            : QStringList{index.data(ResearchTableModel::termRole).toString()};
        auto *menu = contextMenu(terms, this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_table->viewport()->mapToGlobal(pos));
    });

    // Overlays, at most one shown.
    m_errorState = new EmptyStateView(QStringLiteral("exclamationmark.triangle"),
                                      QStringLiteral("Couldn’t load top terms"), {}, m_table);
    m_errorState->setObjectName(QStringLiteral("researchErrorState"));
    auto *tryAgain = m_errorState->addAction(QStringLiteral("Try Again"));
    tryAgain->setObjectName(QStringLiteral("tryAgainButton"));
    // Leaves the selection and the status as they are.
    connect(tryAgain, &QPushButton::clicked, this, [this] { m_model->reload(renewLoadCancel()); });
    auto *openSettings = m_errorState->addAction(QStringLiteral("Open Settings"));
    openSettings->setObjectName(QStringLiteral("openSettingsButton"));
    connect(openSettings, &QPushButton::clicked, this, &ResearchView::settingsRequested);
    m_emptyState = new EmptyStateView(
        QStringLiteral("text.magnifyingglass"), QStringLiteral("No terms match"),
        QStringLiteral("Apple’s weekly list has no terms for these filters. Try another genre, a wider popularity "
                       "range, or a shorter filter."),
        m_table);
    m_emptyState->setObjectName(QStringLiteral("researchEmptyState"));
    // A progress indicator over its label in the body font: a title's larger type would not fit.
    m_loadingState = new EmptyStateView({}, {}, {}, m_table);
    m_loadingState->setObjectName(QStringLiteral("researchLoadingState"));
    auto *loading = new QWidget(m_loadingState);
    auto *loadingBar = new QProgressBar(loading);
    loadingBar->setRange(0, 0);
    loadingBar->setTextVisible(false);
    loadingBar->setFixedSize(48, 10);
    auto *loadingLabel = new QLabel(QStringLiteral("Loading Apple’s most searched terms…"), loading);
    loadingLabel->setObjectName(QStringLiteral("researchLoadingText"));
    auto *loadingLayout = new QVBoxLayout(loading);
    loadingLayout->setContentsMargins(0, 0, 0, 0);
    loadingLayout->addWidget(loadingBar, 0, Qt::AlignHCenter);
    loadingLayout->addWidget(loadingLabel, 0, Qt::AlignHCenter);
    m_loadingState->addActionWidget(loading);
    for (auto *state : {m_errorState, m_emptyState, m_loadingState})
        state->overlayOn(m_table->viewport());

    // Footer: the count and week, or the status of the last add action; "Load More".
    auto *footer = new QWidget(this);
    m_footer = new ElidedLabel(footer);
    m_footer->setObjectName(QStringLiteral("researchFooterText"));
    m_footer->setFont(Style::font(Style::TextSize::callout));
    Style::setTone(m_footer, Style::Tone::secondary);
    m_loadMore = new QPushButton(QStringLiteral("Load More"), footer);
    m_loadMore->setObjectName(QStringLiteral("loadMoreButton"));
    connect(m_loadMore, &QPushButton::clicked, this, [this] { m_model->loadMore(m_loadCancel); });
    auto *footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(12, 6, 12, 6);
    footerLayout->setSpacing(10);
    footerLayout->addWidget(m_footer, 1);
    footerLayout->addWidget(m_loadMore);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolbar);
    layout->addWidget(filterBar);
    layout->addWidget(divider(this));
    layout->addWidget(m_table, 1);
    layout->addWidget(divider(this));
    layout->addWidget(footer);

    // Filters reload the list once they rest.
    m_reloadTimer->setObjectName(QStringLiteral("reloadTimer"));
    m_reloadTimer->setSingleShot(true);
    m_reloadTimer->setInterval(350ms);
    connect(m_reloadTimer, &QTimer::timeout, this, &ResearchView::reloadForFilters);
    connect(m_search, &QLineEdit::textChanged, m_model, &ResearchModel::setQuery);
    for (const auto signal : {&ResearchModel::countryChanged, &ResearchModel::queryChanged})
        connect(m_model, signal, this, &ResearchView::filtersChanged);
    connect(m_model, &ResearchModel::genreChanged, this, &ResearchView::filtersChanged);
    connect(m_model, &ResearchModel::minPopularityChanged, this, &ResearchView::filtersChanged);
    connect(m_model, &ResearchModel::maxPopularityChanged, this, &ResearchView::filtersChanged);

    connect(m_model, &ResearchModel::itemsChanged, this, &ResearchView::showItems);
    connect(m_model, &ResearchModel::genresChanged, this, &ResearchView::rebuildGenres);
    connect(m_model, &ResearchModel::isLoadingChanged, this, [this](bool loading) {
        m_busy->setVisible(loading);
        updateFooter();
    });
    for (const auto signal : {&ResearchModel::hasLoadedChanged, &ResearchModel::canLoadMoreChanged})
        connect(m_model, signal, this, [this] {
            updateOverlay();
            updateFooter();
        });
    connect(m_model, &ResearchModel::errorChanged, this, [this] {
        updateOverlay();
        updateFooter();
    });
    connect(m_model, &ResearchModel::totalChanged, this, &ResearchView::updateFooter);
    connect(m_model, &ResearchModel::weekChanged, this, &ResearchView::updateFooter);

    updateOverlay();
    updateFooter();
    // The first load does not wait.
    filtersChanged();
}

ResearchView::~ResearchView()
{
    // Taking the window down moves the focus out of a field, whose "editing finished" would
    // otherwise reach this screen after its destructor ran.
    ChildSignals::disconnectFrom(this);
    // Nobody is left to show the answer of a running request.
    if (m_loadCancel)
        m_loadCancel->cancel();
}

void ResearchView::buildFilterBar(QWidget *bar)
{
    bar->setObjectName(QStringLiteral("researchFilterBar"));
    m_storefront = new StorefrontMenu(bar);
    m_storefront->setCountry(m_model->country());
    connect(m_storefront, &StorefrontMenu::countryChanged, m_model, &ResearchModel::setCountry);

    m_genre = new QComboBox(bar);
    m_genre->setObjectName(QStringLiteral("genreCombo"));
    m_genre->setToolTip(QStringLiteral("Genre"));
    m_genre->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_genre->addItem(QStringLiteral("All genres"));
    connect(m_genre, &QComboBox::activated, this, [this](int index) {
        const auto code = m_genre->itemData(index);
        m_model->setGenre(code.isValid() ? std::optional(code.toString()) : std::nullopt);
    });

    m_minPopularity = popularityField(QStringLiteral("minPopularityField"), bar);
    m_maxPopularity = popularityField(QStringLiteral("maxPopularityField"), bar);
    m_minPopularity->setValue(int(m_model->minPopularity()));
    m_maxPopularity->setValue(int(m_model->maxPopularity()));
    connect(m_minPopularity, &QSpinBox::editingFinished, this,
            [this] { commitPopularity(m_minPopularity, &ResearchModel::setMinPopularity); });
    connect(m_maxPopularity, &QSpinBox::editingFinished, this,
            [this] { commitPopularity(m_maxPopularity, &ResearchModel::setMaxPopularity); });

    m_busy = new QProgressBar(bar);
    m_busy->setObjectName(QStringLiteral("researchBusy"));
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_busy->setFixedSize(60, 10);
    m_busy->hide();

    auto *range = new QHBoxLayout;
    range->setSpacing(4);
    range->addWidget(secondaryLabel(QStringLiteral("Popularity"), bar));
    range->addWidget(m_minPopularity);
    range->addWidget(secondaryLabel(QStringLiteral("–"), bar));
    range->addWidget(m_maxPopularity);

    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(12);
    layout->addWidget(m_storefront);
    layout->addWidget(m_genre);
    layout->addLayout(range);
    layout->addStretch();
    layout->addWidget(m_busy);
}

void ResearchView::setReloadDelay(std::chrono::milliseconds delay)
{
    m_reloadTimer->setInterval(delay);
}

void ResearchView::commitPopularity(QSpinBox *field, void (ResearchModel::*setter)(qint64))
{
    // The two ends are not compared: a minimum above the maximum stays as entered.
    const auto value = std::clamp<qint64>(field->value(), 1, 100);
    field->setValue(int(value));
    (m_model->*setter)(value);
}

void ResearchView::filtersChanged()
{
    // Nothing to keep on screen while the list is empty and unloaded, so there is no reason to wait.
    if (!m_model->hasLoaded() && m_model->items().isEmpty()) {
        m_reloadTimer->stop();
        reloadForFilters();
    } else {
        m_reloadTimer->start();
    }
}

CancelTokenPtr ResearchView::renewLoadCancel()
{
    if (m_loadCancel)
        m_loadCancel->cancel();
    m_loadCancel = CancelToken::create();
    return m_loadCancel;
}

void ResearchView::reloadForFilters()
{
    m_heldSelection.clear();
    m_table->clearSelection();
    setStatus({});
    m_model->reload(renewLoadCancel());
}

void ResearchView::rebuildGenres()
{
    const QSignalBlocker blocker(m_genre);
    while (m_genre->count() > 1)
        m_genre->removeItem(1);
    const auto genres = m_model->genres();
    if (!genres.isEmpty())
        m_genre->insertSeparator(1);
    for (const auto &code : genres)
        m_genre->addItem(genreDisplayName(code), code);
    const auto current = m_model->genre();
    // A chosen genre the storefront no longer offers still filters: the picker shows no item
    // rather than claiming "All genres".
    m_genre->setCurrentIndex(current ? m_genre->findData(*current) : 0);
}

void ResearchView::showItems()
{
    // Paging replaces the rows, and "Try Again" empties them until its answer comes: the chosen
    // terms that come back, and the scroll position, survive both.
    m_heldSelection += selectedTerms();
    const int scroll = m_table->verticalScrollBar()->value();
    m_rows->setItems(m_model->items());
    selectTerms(m_heldSelection);
    if (!m_model->items().isEmpty())
        m_heldSelection.clear();
    m_table->verticalScrollBar()->setValue(scroll);
    updateTrackIn();
    updateOverlay();
    updateFooter();
}

QStringList ResearchView::selectedTerms() const
{
    auto rows = m_table->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) { return a.row() < b.row(); });
    QStringList terms;
    for (const auto &row : rows)
        terms.append(row.data(ResearchTableModel::termRole).toString());
    return terms;
}

QStringList ResearchView::chosenTerms() const
{
    auto terms = selectedTerms();
    for (const auto &term : m_heldSelection) {
        if (!terms.contains(term))
            terms.append(term);
    }
    return terms;
}

void ResearchView::updateTrackIn()
{
    // Terms held through "Try Again" are still chosen while their rows are away.
    WriteGuard::setEnabled(m_trackIn, !chosenTerms().isEmpty());
}

void ResearchView::selectTerms(const QStringList &terms)
{
    const QSet<QString> chosen(terms.cbegin(), terms.cend());
    QItemSelection selection;
    for (int row = 0; row < m_sorted->rowCount(); ++row) {
        const auto index = m_sorted->index(row, 0);
        if (chosen.contains(index.data(ResearchTableModel::termRole).toString()))
            selection.select(index, m_sorted->index(row, ResearchTableModel::columnCount_ - 1));
    }
    m_table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void ResearchView::updateOverlay()
{
    const auto error = m_model->error();
    if (error)
        m_errorState->setContent(QStringLiteral("exclamationmark.triangle"), QStringLiteral("Couldn’t load top terms"),
                                 *error);
    const bool loaded = m_model->hasLoaded();
    const bool empty = m_model->items().isEmpty();
    m_errorState->setVisible(error.has_value());
    m_emptyState->setVisible(!error && loaded && empty);
    m_loadingState->setVisible(!error && !loaded);
}

QString ResearchView::footerText() const
{
    return m_footer->fullText();
}

void ResearchView::updateFooter()
{
    QString text = m_status;
    if (text.isEmpty() && m_model->hasLoaded() && !m_model->error()) {
        text = QStringLiteral("%1 of %2 terms").arg(m_model->items().size()).arg(m_model->total());
        if (const auto week = m_model->week())
            text += QStringLiteral(" · Apple Ads, week of ") + *week;
    }
    m_footer->setFullText(text);
    m_loadMore->setVisible(m_model->canLoadMore());
    m_loadMore->setEnabled(!m_model->isLoading());
}

void ResearchView::setStatus(const QString &status)
{
    m_status = status;
    updateFooter();
}

QMenu *ResearchView::contextMenu(const QStringList &terms, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("researchContextMenu"));
    if (terms.isEmpty())
        return menu;
    const auto title = terms.size() == 1 ? QStringLiteral("Track “%1” in…").arg(PlainText::actionText(terms.first()))
                                         : QStringLiteral("Track %1 Terms in…").arg(terms.size());
    fillAppItems(menu->addMenu(title), terms);
    connect(menu->addAction(QStringLiteral("Copy")), &QAction::triggered, this, [terms] { copyTerms(terms); });
    return menu;
}

void ResearchView::fillAppItems(QMenu *menu, const QStringList &terms)
{
    const auto apps = m_store ? m_store->apps() : QList<TrackedApp>{};
    if (apps.isEmpty()) {
        menu->addAction(QStringLiteral("Add an app first"))->setEnabled(false);
        return;
    }
    // Stored keywords are normal forms, so the terms are compared in theirs.
    QStringList normalized;
    for (const auto &term : terms)
        normalized.append(KeywordText::normalize(term));
    for (const bool own : {true, false}) {
        if (std::none_of(apps.cbegin(), apps.cend(), [own](const auto &app) { return app.isOwn == own; }))
            continue;
        menu->addSection(own ? QStringLiteral("My Apps") : QStringLiteral("Competitors"));
        for (const auto &app : apps) {
            if (app.isOwn != own)
                continue;
            const auto linked = m_store->linkedKeywords(app);
            const bool tracksAll = std::all_of(normalized.cbegin(), normalized.cend(),
                                               [&linked](const auto &term) { return linked.contains(term); });
            auto *item = menu->addAction(PlainText::actionText(app.name)
                                         + (tracksAll ? QStringLiteral("  ") + Glyphs::text(u"checkmark") : QString()));
            WriteGuard::guard(item, m_store);
            connect(item, &QAction::triggered, this,
                    [this, terms, id = app.appleAppId] { addTerms(terms, id); });
        }
    }
}

void ResearchView::copyTerms(const QStringList &terms)
{
    auto *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(terms.join(u'\n'));
}

void ResearchView::addTerms(const QStringList &terms, const QString &appleAppId)
{
    if (!m_store || terms.isEmpty() || !WriteGuard::allows(m_store))
        return;
    const auto app = m_store->app(appleAppId);
    if (!app)
        return;
    // The storefront of this moment; later filter changes do not move the task.
    const auto country = m_model->country();
    setStatus(terms.size() == 1 ? QStringLiteral("Adding “%1” to %2…").arg(terms.first(), app->name)
                                : QStringLiteral("Adding %1 terms to %2…").arg(terms.size()).arg(app->name));
    runAdd(this, m_store, terms, appleAppId, country);
}

QCoro::Task<> ResearchView::runAdd(QPointer<ResearchView> view, QPointer<ASOStore> store, QStringList terms,
                                   QString appleAppId, QString country)
{
    const auto app = store ? store->app(appleAppId) : std::nullopt;
    if (!app)
        co_return;
    const auto added = co_await store->addResearchTerms(terms, *app, country);
    // The app may have been removed meanwhile, or the screen closed: then there is nothing to report.
    const auto current = store ? store->app(appleAppId) : std::nullopt;
    if (!view || !current)
        co_return;
    const auto storefront = StorefrontMenu::label(country);
    QString status;
    if (!added) {
        // Refused: the store told why.
        status = QStringLiteral("Nothing was added to %1.").arg(current->name);
    } else {
        status = *added == 0 ? QStringLiteral("Already tracked by %1. Checked in %2.").arg(current->name, storefront)
                             : QStringLiteral("Tracking %1 new keyword%2 for %3 in %4.")
                                   .arg(*added)
                                   .arg(*added == 1 ? QString() : QStringLiteral("s"), current->name, storefront);
        if (const auto problem = store->popularityError())
            status += QStringLiteral(" Popularity: ") + *problem;
    }
    view->setStatus(status);
    Q_EMIT view->statusChanged(status);
}

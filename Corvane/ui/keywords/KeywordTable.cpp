#include "ui/keywords/KeywordTable.h"

#include "ui/cells/CellPainter.h"
#include "ui/keywords/KeywordChecks.h"

#include "store/ASOStore.h"
#include "ui/cells/CellDelegate.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/WriteGuard.h"
#include "ui/keywords/KeywordFilterProxy.h"
#include "ui/keywords/KeywordTableModel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <array>

namespace {

struct ColumnWidth
{
    int minimum;
    int ideal;
};

constexpr std::array<ColumnWidth, KeywordTableModel::columns> widths{
    ColumnWidth{180, 240}, {90, 100}, {80, 95}, {44, 50}, {90, 110}, {56, 64}, {80, 100}};

// The best opportunities first.
constexpr int initialSortColumn = KeywordTableModel::opportunity;
constexpr Qt::SortOrder initialSortOrder = Qt::DescendingOrder;

// Relative reading times are written to the minute at best, so this keeps them current.
constexpr int timeRefreshMs = 30'000;

// The keyword cell: the keyword over its source labels; every other column is a CellContent.
class KeywordCellDelegate : public CellDelegate
{
public:
    using CellDelegate::CellDelegate;

    static int rowHeight()
    {
        return QFontMetrics(Style::font(Style::TextSize::body, QFont::Medium)).height()
            + QFontMetrics(Style::font(Style::TextSize::caption2)).height() + 1 + 8;
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.column() != KeywordTableModel::keyword) {
            CellDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QPalette palette = CellPainter::drawRowBackground(painter, opt);
        const QFont keywordFont = Style::font(Style::TextSize::body, QFont::Medium);
        const QFont sourcesFont = Style::font(Style::TextSize::caption2);
        const int top = QFontMetrics(keywordFont).height();
        const int bottom = QFontMetrics(sourcesFont).height();
        const QRect area = opt.rect.adjusted(4, 0, -4, 0);
        const int y = area.top() + (area.height() - top - 1 - bottom) / 2;

        painter->save();
        painter->setFont(keywordFont);
        const bool selected = opt.state & QStyle::State_Selected;
        painter->setPen(CellPainter::textColor(Style::Tone::primary, palette, selected));
        const QRect first(area.left(), y, area.width(), top);
        painter->drawText(first, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(keywordFont).elidedText(index.data().toString(), Qt::ElideRight, area.width()));
        painter->setFont(sourcesFont);
        painter->setPen(CellPainter::textColor(Style::Tone::secondary, palette, selected));
        const QRect second(area.left(), y + top + 1, area.width(), bottom);
        painter->drawText(second, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(sourcesFont)
                              .elidedText(index.data(KeywordTableModel::SourcesRole).toString(), Qt::ElideRight, area.width()));
        painter->restore();
    }
};

}

KeywordTable::KeywordTable(ASOStore *store, QString appleAppId, QString country, QWidget *parent)
    : QTableView(parent),
      m_store(store),
      m_model(new KeywordTableModel(store, std::move(appleAppId), std::move(country), this)),
      m_proxy(new KeywordFilterProxy(this))
{
    setObjectName(QStringLiteral("keywordTable"));
    m_proxy->setSourceModel(m_model);
    // Sorted before the view sees the rows, so that the first sort reorders nothing on screen.
    // Before the connections below too: their ends are connected only after the view, so this
    // sort's layout change would leave the table shifting, deaf to the user's first selection.
    m_proxy->sort(initialSortColumn, initialSortOrder);

    // Connected before the view and its selection model see the model, so that these run first.
    const auto shifting = [this] { m_shifting = true; };
    connect(m_proxy, &QAbstractItemModel::rowsAboutToBeRemoved, this, shifting);
    connect(m_proxy, &QAbstractItemModel::layoutAboutToBeChanged, this, shifting);
    connect(m_proxy, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_shifting = true;
        m_savedScroll = verticalScrollBar()->value();
    });
    // Hidden before the rows come: a shown row header measures hundreds of row labels.
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(KeywordCellDelegate::rowHeight());
    setModel(m_proxy);
    setItemDelegate(new KeywordCellDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setShowGrid(false);
    setAlternatingRowColors(true);
    setContextMenuPolicy(Qt::CustomContextMenu);

    auto *header = horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setStretchLastSection(true);
    header->setMinimumSectionSize(widths[KeywordTableModel::opportunity].minimum);
    for (int column = 0; column < int(widths.size()); ++column)
        header->resizeSection(column, widths[column].ideal);
    connect(header, &QHeaderView::sectionResized, this, [header](int column, int, int size) {
        if (column < int(widths.size()) && size < widths[column].minimum)
            header->resizeSection(column, widths[column].minimum);
    });
    connect(header, &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
        if (column == KeywordTableModel::change) {
            const QSignalBlocker blocker(horizontalHeader());
            horizontalHeader()->setSortIndicator(m_sortColumn, m_sortOrder);
            return;
        }
        setSort(column, order);
    });

    const auto settled = [this] {
        m_shifting = false;
        restoreSelection();
        updateEmptyState();
    };
    connect(m_proxy, &QAbstractItemModel::rowsRemoved, this, settled);
    connect(m_proxy, &QAbstractItemModel::rowsInserted, this, settled);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, settled);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, [this, settled] {
        settled();
        updateGeometries();
        verticalScrollBar()->setValue(m_savedScroll);
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &KeywordTable::followSelection);
    connect(this, &QWidget::customContextMenuRequested, this, &KeywordTable::showMenu);


    auto *timer = new QTimer(this);
    timer->setInterval(timeRefreshMs);
    connect(timer, &QTimer::timeout, m_model, &KeywordTableModel::refreshTimes);
    timer->start();

    setSort(initialSortColumn, initialSortOrder);
    updateEmptyState();
}

void KeywordTable::setCountry(const QString &country)
{
    m_model->setCountry(country);
}

void KeywordTable::setFilter(KeywordFilter filter)
{
    m_proxy->setFilter(filter);
}

void KeywordTable::setSearch(const QString &search)
{
    m_proxy->setSearch(search);
}

void KeywordTable::setSelection(const std::optional<QString> &id)
{
    if (id == m_selection)
        return;
    m_selection = id;
    {
        const QSignalBlocker blocker(selectionModel());
        selectionModel()->clearSelection();
    }
    restoreSelection();
    viewport()->update();
    Q_EMIT selectionChanged(m_selection);
}

void KeywordTable::setSort(int column, Qt::SortOrder order)
{
    if (column == KeywordTableModel::change || column < 0 || column >= KeywordTableModel::columns)
        return;
    const bool changed = column != m_sortColumn || order != m_sortOrder;
    m_sortColumn = column;
    m_sortOrder = order;
    {
        const QSignalBlocker blocker(horizontalHeader());
        horizontalHeader()->setSortIndicator(column, order);
    }
    m_proxy->sort(column, order);
    if (changed)
        Q_EMIT sortChanged(column, order);
}

CellContent KeywordTable::rankCell(const KeywordRow &row)
{
    return rankCell(row.state, row.rank, row.resultCount);
}

CellContent KeywordTable::rankCell(RankingState state, std::optional<qint64> rank, std::optional<qint64> sampleSize)
{
    if (state != RankingState::found || !rank)
        return CellContents::stateBadge(state, sampleSize);
    CellContent content;
    content.text = u'#' + QString::number(*rank);
    content.weight = QFont::DemiBold;
    return content;
}

QMenu *KeywordTable::contextMenu(const QStringList &ids, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("keywordMenu"));
    auto *checkNow = menu->addAction(QStringLiteral("Check Now"));
    connect(checkNow, &QAction::triggered, this, [this, ids] { checkNowAction(ids); });
    menu->addSeparator();
    auto *stopTracking = menu->addAction(QStringLiteral("Stop Tracking"));
    connect(stopTracking, &QAction::triggered, this, [this, ids] { stopTrackingAction(ids); });
    for (auto *action : {checkNow, stopTracking})
        WriteGuard::guard(action, m_store);
    return menu;
}

void KeywordTable::showMenu(const QPoint &position)
{
    QStringList ids;
    if (const auto index = indexAt(position); index.isValid())
        ids.append(index.data(KeywordTableModel::IdRole).toString());
    auto *menu = contextMenu(ids, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(viewport()->mapToGlobal(position));
}

QCoro::Task<> KeywordTable::checkNowAction(QStringList ids)
{
    return KeywordChecks::searchAndApply(m_store, m_model->appleAppId(), m_model->country(), std::move(ids), true);
}

void KeywordTable::stopTrackingAction(const QStringList &ids)
{
    if (!m_store)
        return;
    for (const auto &id : ids) {
        const auto app = m_store ? m_store->app(m_model->appleAppId()) : std::nullopt;
        if (!app)
            return;
        // Refused: the store told why, once.
        if (!m_store->unlink(id, *app))
            return;
    }
}

void KeywordTable::followSelection()
{
    if (m_shifting)
        return;
    const auto rows = selectionModel()->selectedRows();
    std::optional<QString> id;
    if (!rows.isEmpty())
        id = rows.first().data(KeywordTableModel::IdRole).toString();
    else if (m_selection && m_proxy->rowOf(*m_selection) < 0)
        return; // its row left the table; the keyword stays chosen
    if (id == m_selection)
        return;
    m_selection = id;
    Q_EMIT selectionChanged(m_selection);
}

void KeywordTable::restoreSelection()
{
    if (!m_selection)
        return;
    const int row = m_proxy->rowOf(*m_selection);
    if (row < 0)
        return;
    const auto index = m_proxy->index(row, 0);
    if (selectionModel()->isRowSelected(row, {}))
        return;
    {
        const QSignalBlocker blocker(selectionModel());
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    viewport()->update();
}

EmptyStateView *KeywordTable::emptyState()
{
    // Made when first needed: placing it over the table measures its wrapped text at every resize.
    if (!m_empty) {
        m_empty = new EmptyStateView(QStringLiteral("text.magnifyingglass"), QStringLiteral("No keywords here"),
                                     QStringLiteral("Click “Discover Keywords”, or change the filter."));
        m_empty->setObjectName(QStringLiteral("keywordsEmptyState"));
        m_empty->overlayOn(viewport());
        // Right-clicks on the overlay reach the table's menu, as on empty table space.
        m_empty->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_empty->hide();
    }
    return m_empty;
}

void KeywordTable::updateEmptyState()
{
    const bool empty = m_proxy->rowCount() == 0;
    if (empty || m_empty)
        emptyState()->setVisible(empty);
}

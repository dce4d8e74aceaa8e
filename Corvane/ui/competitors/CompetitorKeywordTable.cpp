#include "ui/competitors/CompetitorKeywordTable.h"

#include "ui/cells/CellDelegate.h"
#include "ui/cells/CellPainter.h"
#include "ui/cells/ContextClick.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/SortKeyProxy.h"
#include "ui/competitors/CompetitorKeywordModel.h"
#include "ui/competitors/TableColumns.h"

#include <QApplication>
#include <QHeaderView>

#include <array>

namespace {

constexpr std::array<ColumnWidth, CompetitorKeywordModel::columns> widths{
    ColumnWidth{160, 220}, {90, 110}, {90, 110}, {80, 95}, {90, 100}, {80, 95}};

// Inside a selection every cell takes the selection's text colour, signal colours too, so that
// red and green never sit on the highlight.
class SelectionReadableDelegate : public CellDelegate
{
public:
    using CellDelegate::CellDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const auto value = index.data(CellContents::contentRole);
        if (!(option.state & QStyle::State_Selected) || value.metaType() != QMetaType::fromType<CellContent>()) {
            CellDelegate::paint(painter, option, index);
            return;
        }
        auto content = value.value<CellContent>();
        content.tone = Style::Tone::primary;
        content.gaugeTone = Style::Tone::primary;
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QPalette palette = CellPainter::drawRowBackground(painter, opt);
        const QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, &opt, opt.widget) + 1;
        CellPainter::paint(painter, opt.rect.adjusted(margin, 0, -margin, 0), content, palette, opt.displayAlignment);
    }
};

}

CompetitorKeywordTable::CompetitorKeywordTable(Selection selection, QWidget *parent)
    : QTableView(parent),
      m_model(new CompetitorKeywordModel(this)),
      m_proxy(new SortKeyProxy(CompetitorKeywordModel::SortRole, this))
{
    setObjectName(QStringLiteral("competitorKeywordTable"));
    keepSelectionOnContextClick(this);
    m_proxy->setSourceModel(m_model);
    // Connected before the view and its selection model see the model, so that these run first.
    const auto shifting = [this] { m_shifting = true; };
    connect(m_proxy, &QAbstractItemModel::modelAboutToBeReset, this, shifting);
    connect(m_proxy, &QAbstractItemModel::layoutAboutToBeChanged, this, shifting);
    setModel(m_proxy);
    const auto settled = [this] {
        m_shifting = false;
        restoreSelection();
        updateEmptyState();
    };
    connect(m_proxy, &QAbstractItemModel::modelReset, this, settled);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, settled);

    setItemDelegate(new SelectionReadableDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(selection == Selection::multiple ? QAbstractItemView::ExtendedSelection
                                                      : QAbstractItemView::NoSelection);
    setFocusPolicy(selection == Selection::multiple ? Qt::StrongFocus : Qt::NoFocus);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setShowGrid(false);
    setAlternatingRowColors(true);
    verticalHeader()->hide();

    auto *header = horizontalHeader();
    // Selected rows span every column: the titles stay as they are.
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    TableColumns::apply(this, widths);
    connect(header, &QHeaderView::sortIndicatorChanged, this, &CompetitorKeywordTable::setSort);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &CompetitorKeywordTable::followSelection);

    m_empty = new EmptyStateView(QStringLiteral("text.magnifyingglass"), QStringLiteral("No keywords here"), {});
    m_empty->setObjectName(QStringLiteral("competitorKeywordsEmptyState"));
    m_empty->overlayOn(viewport());
    m_empty->setAttribute(Qt::WA_TransparentForMouseEvents);
    updateEmptyState();
}

CompetitorKeywordTable::~CompetitorKeywordTable()
{
    // The model and the proxy go with the view's children; nothing of theirs may reach this
    // half-destroyed table.
    m_proxy->disconnect(this);
    selectionModel()->disconnect(this);
}

void CompetitorKeywordTable::setShowsEmptyState(bool shows)
{
    m_showsEmptyState = shows;
    updateEmptyState();
}

void CompetitorKeywordTable::setRows(QList<CompetitorKeywordRow> rows)
{
    m_model->setRows(std::move(rows));
}

void CompetitorKeywordTable::setCompetitorName(const QString &name)
{
    m_model->setCompetitorName(name);
}

void CompetitorKeywordTable::setSort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= CompetitorKeywordModel::columns)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    {
        const QSignalBlocker blocker(horizontalHeader());
        horizontalHeader()->setSortIndicator(column, order);
    }
    m_proxy->sort(column, order);
}

QStringList CompetitorKeywordTable::shownIds() const
{
    QStringList ids;
    ids.reserve(m_proxy->rowCount());
    for (int row = 0; row < m_proxy->rowCount(); ++row)
        ids.append(m_proxy->index(row, 0).data(CompetitorKeywordModel::IdRole).toString());
    return ids;
}

QString CompetitorKeywordTable::idAt(const QPoint &position) const
{
    const auto index = indexAt(position);
    return index.isValid() ? index.data(CompetitorKeywordModel::IdRole).toString() : QString();
}

void CompetitorKeywordTable::setSelection(const QSet<QString> &ids)
{
    if (selectionMode() == QAbstractItemView::NoSelection || ids == m_selection)
        return;
    m_selection = ids;
    {
        const QSignalBlocker blocker(selectionModel());
        selectionModel()->clearSelection();
    }
    restoreSelection();
    Q_EMIT selectionChanged(m_selection);
}

void CompetitorKeywordTable::followSelection()
{
    if (m_shifting)
        return;
    QSet<QString> ids;
    for (const auto &index : selectionModel()->selectedRows())
        ids.insert(index.data(CompetitorKeywordModel::IdRole).toString());
    if (ids == m_selection)
        return;
    m_selection = ids;
    Q_EMIT selectionChanged(m_selection);
}

void CompetitorKeywordTable::restoreSelection()
{
    if (m_selection.isEmpty())
        return;
    QItemSelection rows;
    for (int row = 0; row < m_proxy->rowCount(); ++row) {
        const auto index = m_proxy->index(row, 0);
        if (m_selection.contains(index.data(CompetitorKeywordModel::IdRole).toString()))
            rows.select(index, index);
    }
    const QSignalBlocker blocker(selectionModel());
    selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    viewport()->update();
}

void CompetitorKeywordTable::updateEmptyState()
{
    m_empty->setVisible(m_showsEmptyState && m_proxy->rowCount() == 0);
}

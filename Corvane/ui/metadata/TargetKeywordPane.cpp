#include "ui/metadata/TargetKeywordPane.h"

#include "ui/cells/CellDelegate.h"
#include "ui/cells/CellPainter.h"
#include "ui/cells/ChildSignals.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/Style.h"
#include "ui/keywords/KeywordTable.h"
#include "ui/metadata/MetadataEditor.h"
#include "ui/metadata/TargetTableModel.h"

#include <QApplication>
#include <QButtonGroup>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <array>

namespace {

struct ColumnWidth
{
    int minimum;
    int ideal;
};

constexpr std::array<ColumnWidth, TargetTableModel::columns> widths{
    ColumnWidth{22, 22}, {140, 190}, {90, 100}, {80, 90}, {80, 100}, {110, 160}, {0, 0}};

// The least the keyword and "In metadata" columns keep when their texts are cut short: a few
// letters and the ellipsis.
constexpr int elidedMinimum = 48;

// Cuts the "In metadata" text short with an ellipsis when its column is too narrow.
class TargetCellDelegate : public CellDelegate
{
public:
    using CellDelegate::CellDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.column() != TargetTableModel::coverage) {
            CellDelegate::paint(painter, option, index);
            return;
        }
        auto content = index.data(CellContents::contentRole).value<CellContent>();
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const auto palette = CellPainter::drawRowBackground(painter, opt);
        const QRect area = opt.rect.adjusted(4, 0, -4, 0);
        const int room = area.width() - (CellPainter::sizeHint(content).width()
                                         - QFontMetrics(Style::font(content.size, content.weight)).horizontalAdvance(content.text));
        content.text = QFontMetrics(Style::font(content.size, content.weight)).elidedText(content.text, Qt::ElideRight, room);
        CellPainter::paint(painter, area, content, palette);
    }

    // A keyword cut short shows whole in its tooltip; "In metadata" has its help, which names
    // the missing words.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() == QEvent::ToolTip && index.column() == TargetTableModel::keyword) {
            if (isCut(option, index))
                QToolTip::showText(event->globalPos(), PlainText::tooltip(index.data().toString()), view, option.rect);
            else
                QToolTip::hideText();
            return true;
        }
        return CellDelegate::helpEvent(event, view, option, index);
    }

    // Whether the cell's text is cut short in the option's rectangle.
    bool isCut(const QStyleOptionViewItem &option, const QModelIndex &index) const
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const auto *style = opt.widget ? opt.widget->style() : QApplication::style();
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, &opt, opt.widget) + 1;
        return opt.fontMetrics.horizontalAdvance(opt.text) > text.width() - 2 * margin;
    }
};

}

TargetKeywordPane::TargetKeywordPane(MetadataEditor *editor, QWidget *parent)
    : QWidget(parent), m_editor(editor), m_model(new TargetTableModel(editor, this)), m_proxy(new TargetTableProxy(editor, this))
{
    setObjectName(QStringLiteral("targetKeywords"));
    m_proxy->setSourceModel(m_model);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("targetTable"));
    m_table->setModel(m_proxy);
    m_table->setItemDelegate(new TargetCellDelegate(m_table));
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(QFontMetrics(Style::font(Style::TextSize::body)).height() + 10);
    auto *header = m_table->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setTextElideMode(Qt::ElideRight);
    header->setMinimumSectionSize(widths[TargetTableModel::target].minimum);
    measureColumns();
    m_lowest = m_minimums;
    for (int column = 0; column < int(widths.size()); ++column)
        header->resizeSection(column, std::max(widths[column].ideal, m_minimums[column]));
    m_table->viewport()->installEventFilter(this);
    header->setSectionResizeMode(TargetTableModel::target, QHeaderView::Fixed);
    connect(header, &QHeaderView::sectionResized, this, [this, header](int column, int, int size) {
        if (column < int(widths.size()) && size < m_lowest[column])
            header->resizeSection(column, m_lowest[column]);
        else
            elideTitle(column);
    });
    // Opportunity descending, without a column of its own; the tick and coverage columns never sort.
    m_table->setColumnHidden(TargetTableModel::opportunity, true);
    m_proxy->sort(TargetTableModel::opportunity, Qt::DescendingOrder);
    header->setSortIndicator(TargetTableModel::opportunity, Qt::DescendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this, [this, header](int column, Qt::SortOrder order) {
        if (column == TargetTableModel::target || column == TargetTableModel::coverage) {
            const QSignalBlocker blocker(header);
            header->setSortIndicator(m_proxy->sortColumn(), m_proxy->sortOrder());
            return;
        }
        m_proxy->sort(column, order);
    });

    m_empty = new EmptyStateView({}, {}, {});
    m_empty->setObjectName(QStringLiteral("targetsEmptyState"));
    m_empty->overlayOn(m_table->viewport());

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildHeader());
    layout->addWidget(line);
    layout->addWidget(m_table, 1);

    connect(m_proxy, &QAbstractItemModel::rowsInserted, this, &TargetKeywordPane::updateEmptyState);
    connect(m_proxy, &QAbstractItemModel::rowsRemoved, this, &TargetKeywordPane::updateEmptyState);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &TargetKeywordPane::updateEmptyState);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, &TargetKeywordPane::updateEmptyState);
    connect(m_editor, &MetadataEditor::rowsChanged, this, &TargetKeywordPane::updateRows);
    connect(m_editor, &MetadataEditor::targetsChanged, this, &TargetKeywordPane::updateHeader);
    connect(m_editor, &MetadataEditor::filterChanged, this, &TargetKeywordPane::updateEmptyState);
    updateRows();
    updateEmptyState();
}

TargetKeywordPane::~TargetKeywordPane()
{
    ChildSignals::disconnectFrom(this);
}

bool TargetKeywordPane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table->viewport() && event->type() == QEvent::Resize)
        fitColumns();
    return QWidget::eventFilter(watched, event);
}

TargetKeywordPane::Widths TargetKeywordPane::fitWidths(int room, const Widths &minimums, const Widths &floors)
{
    Widths fitted{};
    int minimum = 0;
    int ideal = 0;
    for (int column = 0; column < TargetTableModel::columns; ++column) {
        minimum += minimums[column];
        ideal += std::max(widths[column].ideal, minimums[column]);
    }
    if (room >= minimum) {
        // Between their smallest and ideal widths; "In metadata" takes what is left beyond.
        const double share = ideal > minimum ? std::clamp(double(room - minimum) / (ideal - minimum), 0.0, 1.0) : 1.0;
        int used = 0;
        for (int column = 0; column < TargetTableModel::columns; ++column) {
            const int most = std::max(widths[column].ideal, minimums[column]);
            fitted[column] = minimums[column] + int(share * (most - minimums[column]));
            if (column != TargetTableModel::coverage)
                used += fitted[column];
        }
        fitted[TargetTableModel::coverage] = std::max(minimums[TargetTableModel::coverage], room - used);
        return fitted;
    }
    // Short of room, every column gives up part of what it has beyond its floor, in proportion:
    // the titles and the keyword and "In metadata" cells are cut short with "…", never a gauge
    // or a badge.
    int slack = 0;
    for (int column = 0; column < TargetTableModel::columns; ++column)
        slack += minimums[column] - floors[column];
    const double given = slack > 0 ? std::min(1.0, double(minimum - room) / slack) : 0.0;
    for (int column = 0; column < TargetTableModel::columns; ++column)
        fitted[column] = minimums[column] - int(std::ceil(given * (minimums[column] - floors[column])));
    return fitted;
}

void TargetKeywordPane::measureColumns()
{
    auto *header = m_table->horizontalHeader();
    const auto *style = m_table->style();
    QStyleOptionViewItem item;
    item.initFrom(m_table);
    const int margin = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, &item, m_table) + 1);
    // The widest content of a column.
    const auto widest = [margin](std::initializer_list<CellContent> contents) {
        int width = 0;
        for (const auto &content : contents)
            width = std::max(width, CellPainter::sizeHint(content).width() + margin);
        return width;
    };
    const auto sample = std::optional<qint64>(200);
    m_floors.fill(0);
    m_floors[TargetTableModel::target] = widths[TargetTableModel::target].minimum;
    m_floors[TargetTableModel::keyword] = elidedMinimum;
    m_floors[TargetTableModel::coverage] = elidedMinimum;
    m_floors[TargetTableModel::popularity] = widest({CellContents::popularity(100, PopularitySource::appleCountry),
                                                     CellContents::popularity(std::nullopt, std::nullopt)});
    m_floors[TargetTableModel::difficulty] =
        widest({CellContents::difficulty(34), CellContents::difficulty(64), CellContents::difficulty(100)});
    m_floors[TargetTableModel::rank] = widest({CellContents::stateBadge(RankingState::requestFailed, sample),
                                              CellContents::stateBadge(RankingState::notFoundInSample, sample),
                                              CellContents::stateBadge(RankingState::notFoundInSample, std::nullopt),
                                              CellContents::stateBadge(RankingState::notChecked, sample),
                                              KeywordTable::rankCell(RankingState::found, 200, sample)});

    m_minimums.fill(0);
    for (int column = TargetTableModel::target; column <= TargetTableModel::coverage; ++column) {
        // The title whole, with room for the sort arrow where there is one.
        QStyleOptionHeader title;
        title.initFrom(header);
        title.text = TargetTableModel::title(column);
        title.fontMetrics = header->fontMetrics();
        if (column != TargetTableModel::target && column != TargetTableModel::coverage)
            title.sortIndicator = QStyleOptionHeader::SortDown;
        const int titled = column == TargetTableModel::target
            ? 0 : style->sizeFromContents(QStyle::CT_HeaderSection, &title, QSize(), header).width();
        m_minimums[column] = std::max({widths[column].minimum, titled, m_floors[column]});
    }
}

int TargetKeywordPane::neededWidth() const
{
    int width = 2 * m_table->frameWidth() + m_table->verticalScrollBar()->sizeHint().width();
    for (const int minimum : m_minimums)
        width += minimum;
    return width;
}

void TargetKeywordPane::fitColumns()
{
    const auto fitted = fitWidths(m_table->viewport()->width(), m_minimums, m_floors);
    auto *header = m_table->horizontalHeader();
    for (int column = 0; column <= TargetTableModel::coverage; ++column) {
        m_lowest[column] = std::min(m_minimums[column], fitted[column]);
        header->resizeSection(column, fitted[column]);
    }
}

void TargetKeywordPane::elideTitle(int column)
{
    // The header draws a title too long for its section centred and cut at both ends.
    auto *header = m_table->horizontalHeader();
    QStyleOptionHeader option;
    option.initFrom(header);
    option.rect = QRect(0, 0, header->sectionSize(column), header->height());
    option.fontMetrics = header->fontMetrics();
    option.text = TargetTableModel::title(column);
    if (column != TargetTableModel::target && column != TargetTableModel::coverage)
        option.sortIndicator = QStyleOptionHeader::SortDown;
    const int room = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header).width();
    const QString elided = option.fontMetrics.elidedText(option.text, Qt::ElideRight, room);
    m_model->setShownTitle(column, elided == option.text ? QString() : elided);
}

QWidget *TargetKeywordPane::buildHeader()
{
    auto *bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("targetsHeader"));
    auto *title = new QLabel(QStringLiteral("Target keywords"), bar);
    title->setFont(Style::font(Style::TextSize::body, QFont::DemiBold));
    m_chosen = new QLabel(bar);
    m_chosen->setObjectName(QStringLiteral("chosenCount"));
    Style::setTone(m_chosen, Style::Tone::secondary);

    auto *segments = new QHBoxLayout;
    segments->setSpacing(0);
    m_filters = new QButtonGroup(bar);
    m_filters->setExclusive(true);
    for (const auto filter : TargetFilters::allCases) {
        auto *segment = new QToolButton(bar);
        segment->setObjectName(QStringLiteral("targetFilter") + TargetFilters::rawValue(filter));
        segment->setText(TargetFilters::rawValue(filter));
        segment->setCheckable(true);
        segment->setChecked(filter == m_editor->filter());
        segment->setFocusPolicy(Qt::StrongFocus);
        m_filters->addButton(segment, int(filter));
        segments->addWidget(segment);
    }
    connect(m_filters, &QButtonGroup::idClicked, m_editor, [this](int id) { m_editor->setFilter(TargetFilter(id)); });

    auto *select = new QToolButton(bar);
    select->setObjectName(QStringLiteral("selectButton"));
    select->setText(QStringLiteral("Select"));
    Style::setMenuButton(select);
    m_select = new QMenu(select);
    m_select->setObjectName(QStringLiteral("selectMenu"));
    m_top = m_select->addAction(QStringLiteral("Top %1 by Opportunity").arg(MetadataEditor::defaultTargetCount));
    connect(m_top, &QAction::triggered, m_editor, &MetadataEditor::selectTopTargets);
    connect(m_select->addAction(QStringLiteral("All Shown")), &QAction::triggered, m_editor,
            [this] { m_editor->selectAllShown(m_proxy->shownIds()); });
    m_select->addSeparator();
    connect(m_select->addAction(QStringLiteral("None")), &QAction::triggered, m_editor, &MetadataEditor::selectNoTargets);
    select->setMenu(m_select);

    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(10);
    // The count stands under the title, so that the row fits beside the fields at the window's
    // smallest size.
    auto *heading = new QVBoxLayout;
    heading->setSpacing(0);
    heading->addWidget(title);
    heading->addWidget(m_chosen);
    layout->addLayout(heading);
    layout->addStretch();
    layout->addLayout(segments);
    layout->addWidget(select);
    return bar;
}

void TargetKeywordPane::updateHeader()
{
    m_chosen->setText(QString::number(m_editor->chosenCount()) + QStringLiteral(" chosen"));
}

void TargetKeywordPane::updateRows()
{
    updateHeader();
    m_top->setEnabled(!suggestedTargets(m_editor->rows(), MetadataEditor::defaultTargetCount).isEmpty());
}

void TargetKeywordPane::updateEmptyState()
{
    const auto checklist = QStringLiteral("checklist");
    if (m_editor->rows().isEmpty())
        m_empty->setContent(QStringLiteral("text.magnifyingglass"), QStringLiteral("No tracked keywords"),
                            QStringLiteral("Discover keywords in the Keywords section, then choose the ones your "
                                           "metadata should cover."));
    else if (m_editor->filter() == TargetFilter::uncovered)
        m_empty->setContent(checklist, QStringLiteral("Every target is covered"),
                            QStringLiteral("All words of your targets are in the metadata."));
    else
        m_empty->setContent(checklist, QStringLiteral("No targets chosen"), QStringLiteral("Tick keywords in “All” to target them."));
    m_empty->setVisible(m_proxy->rowCount() == 0);
}

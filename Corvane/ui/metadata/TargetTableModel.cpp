#include "ui/metadata/TargetTableModel.h"

#include "support/Unicode.h"
#include "ui/keywords/KeywordTable.h"
#include "ui/metadata/CoverageCell.h"
#include "ui/metadata/MetadataEditor.h"

TargetTableModel::TargetTableModel(MetadataEditor *editor, QObject *parent)
    : QAbstractTableModel(parent), m_editor(editor)
{
    connect(editor, &MetadataEditor::rowsChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(editor, &MetadataEditor::targetsChanged, this, [this] {
        if (rowCount() > 0)
            Q_EMIT dataChanged(index(0, target), index(rowCount() - 1, keyword));
    });
    connect(editor, &MetadataEditor::coverageChanged, this,
            [this](int first, int last) { Q_EMIT dataChanged(index(first, coverage), index(last, coverage)); });
}

int TargetTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_editor->rows().size());
}

int TargetTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(columns);
}

QVariant TargetTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_editor->rows().size())
        return {};
    const auto &row = m_editor->rows().at(index.row());
    if (role == IdRole)
        return row.id;
    const auto column = Column(index.column());
    if (role == SortRole) {
        switch (column) {
        case keyword:
            return row.keyword;
        case popularity:
            return row.popularitySortKey();
        case difficulty:
            return row.difficultySortKey();
        case rank:
            return row.rankSortKey();
        case opportunity:
            return row.opportunitySortKey();
        default:
            return {};
        }
    }

    switch (column) {
    case target:
        if (role == Qt::CheckStateRole)
            return m_editor->isTarget(row.id) ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
            return QStringLiteral("Target");
        return {};
    case keyword:
        if (role == Qt::DisplayRole)
            return row.keyword;
        if (role == Qt::FontRole)
            return Style::font(Style::TextSize::body, m_editor->isTarget(row.id) ? QFont::Medium : QFont::Normal);
        return {};
    default:
        break;
    }
    if (role != Qt::DisplayRole && role != CellContents::contentRole)
        return {};
    CellContent content;
    switch (column) {
    case popularity:
        content = CellContents::popularity(row.popularity, row.popularitySource);
        break;
    case difficulty:
        content = CellContents::difficulty(row.difficulty);
        break;
    case rank:
        content = KeywordTable::rankCell(row);
        break;
    case coverage:
        content = CoverageCell::content(m_editor->coverage(row.id));
        break;
    case opportunity:
        return row.opportunity ? QVariant(*row.opportunity) : QVariant();
    default:
        return {};
    }
    return role == Qt::DisplayRole ? QVariant(content.text) : QVariant::fromValue(content);
}

bool TargetTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != target || role != Qt::CheckStateRole
        || index.row() >= m_editor->rows().size())
        return false;
    m_editor->setTarget(m_editor->rows().at(index.row()).id, value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags TargetTableModel::flags(const QModelIndex &index) const
{
    auto flags = QAbstractTableModel::flags(index) & ~Qt::ItemIsSelectable;
    if (index.column() == target)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QString TargetTableModel::title(int column)
{
    switch (Column(column)) {
    case keyword:
        return QStringLiteral("Keyword");
    case popularity:
        return QStringLiteral("Popularity");
    case difficulty:
        return QStringLiteral("Difficulty");
    case rank:
        return QStringLiteral("Rank");
    case coverage:
        return QStringLiteral("In metadata");
    case opportunity:
        return QStringLiteral("Opp.");
    default:
        return QString();
    }
}

void TargetTableModel::setShownTitle(int column, const QString &shown)
{
    if (column < 0 || column >= columns || m_shownTitles[column] == shown)
        return;
    m_shownTitles[column] = shown;
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
}

QVariant TargetTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columns)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_shownTitles[section].isNull() ? title(section) : m_shownTitles[section];
    // A title cut short in a narrow column shows whole in its tooltip.
    if (role == Qt::ToolTipRole && !title(section).isEmpty())
        return title(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

TargetTableProxy::TargetTableProxy(MetadataEditor *editor, QObject *parent)
    : QSortFilterProxyModel(parent), m_editor(editor)
{
    setSortRole(TargetTableModel::SortRole);
    // Every column's change may change whether a row is shown (ticks, coverage).
    setFilterKeyColumn(-1);
    setDynamicSortFilter(true);
    connect(editor, &MetadataEditor::filterChanged, this, &TargetTableProxy::invalidateRowsFilter);
}

QStringList TargetTableProxy::shownIds() const
{
    QStringList ids;
    ids.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row)
        ids.append(index(row, 0).data(TargetTableModel::IdRole).toString());
    return ids;
}

bool TargetTableProxy::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    return sourceRow < m_editor->rows().size() && m_editor->shows(m_editor->rows().at(sourceRow));
}

bool TargetTableProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const auto a = left.data(sortRole());
    const auto b = right.data(sortRole());
    if (left.column() == TargetTableModel::keyword) {
        if (const int order = Unicode::compare(a.toString(), b.toString()))
            return order < 0;
    } else if (a.toLongLong() != b.toLongLong()) {
        return a.toLongLong() < b.toLongLong();
    }
    return sortOrder() == Qt::AscendingOrder ? left.row() < right.row() : left.row() > right.row();
}

#include "ui/competitors/CompetitorKeywordModel.h"

#include "ui/keywords/KeywordTable.h"

namespace {

std::optional<qint64> widened(std::optional<int> value)
{
    return value ? std::optional<qint64>(*value) : std::nullopt;
}

}

void CompetitorKeywordModel::setRows(QList<CompetitorKeywordRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void CompetitorKeywordModel::setCompetitorName(const QString &name)
{
    if (name == m_competitorName)
        return;
    m_competitorName = name;
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0, theirRank), index(int(m_rows.size()) - 1, theirRank));
}

CellContent CompetitorKeywordModel::rankCell(const KeywordGap::Position &position, std::optional<int> sampleSize)
{
    return KeywordTable::rankCell(position.state, widened(position.rank), widened(sampleSize));
}

CellContent CompetitorKeywordModel::leadCell(const KeywordGap::Lead &lead)
{
    using Kind = KeywordGap::Lead::Kind;
    CellContent content;
    content.size = Style::TextSize::callout;
    switch (lead.kind) {
    case Kind::both: {
        if (lead.places == 0) {
            content.text = QStringLiteral("Tied");
            content.size = Style::TextSize::body;
            content.tone = Style::Tone::secondary;
            break;
        }
        const bool ahead = lead.places > 0;
        // The distance through unsigned arithmetic, defined for every qint64.
        const auto distance = QString::number(ahead ? quint64(lead.places) : 0 - quint64(lead.places));
        content.text = distance;
        content.symbol = ahead ? QStringLiteral("arrow.up") : QStringLiteral("arrow.down");
        content.weight = QFont::Medium;
        content.tone = ahead ? Style::Tone::green : Style::Tone::red;
        content.spacing = 3;
        content.tooltip = QStringLiteral("My app ranks ") + distance
            + (ahead ? QStringLiteral(" places higher.") : QStringLiteral(" places lower."));
        break;
    }
    case Kind::onlyMine:
        content.text = QStringLiteral("Only mine");
        content.tone = Style::Tone::green;
        break;
    case Kind::onlyTheirs:
        content.text = QStringLiteral("Only theirs");
        content.tone = Style::Tone::red;
        break;
    case Kind::neither:
        content.text = QStringLiteral("Neither");
        content.tone = Style::Tone::secondary;
        break;
    case Kind::unknown:
        content.text = QStringLiteral("—");
        content.size = Style::TextSize::body;
        content.tone = Style::Tone::tertiary;
        content.tooltip = QStringLiteral("No successful search: nothing can be compared.");
        break;
    }
    return content;
}

int CompetitorKeywordModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CompetitorKeywordModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(columns);
}

QVariant CompetitorKeywordModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const auto &row = m_rows.at(index.row());
    if (role == IdRole)
        return row.id;
    const auto column = Column(index.column());
    if (role == SortRole) {
        switch (column) {
        case keyword:
            return row.keyword;
        case myRank:
            return row.myRankSortKey();
        case theirRank:
            return row.theirRankSortKey();
        case difference:
            return row.leadSortKey();
        case popularity:
            return row.popularitySortKey();
        case difficulty:
            return row.difficultySortKey();
        default:
            return {};
        }
    }
    if (column == keyword) {
        if (role == Qt::DisplayRole)
            return row.keyword;
        if (role == Qt::FontRole)
            return Style::font(Style::TextSize::body, QFont::Medium);
        return {};
    }
    if (role != Qt::DisplayRole && role != CellContents::contentRole)
        return {};
    CellContent content;
    switch (column) {
    case myRank:
        content = rankCell(row.mine, row.sampleSize);
        break;
    case theirRank:
        content = rankCell(row.theirs, row.sampleSize);
        content.tooltip = m_competitorName;
        break;
    case difference:
        content = leadCell(row.lead);
        break;
    case popularity:
        content = CellContents::popularity(row.popularity, row.popularitySource);
        break;
    case difficulty:
        content = CellContents::difficulty(row.difficulty);
        break;
    default:
        return {};
    }
    return role == Qt::DisplayRole ? QVariant(content.text) : QVariant::fromValue(content);
}

QVariant CompetitorKeywordModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (Column(section)) {
    case keyword:
        return QStringLiteral("Keyword");
    case myRank:
        return QStringLiteral("My rank");
    case theirRank:
        return QStringLiteral("Their rank");
    case difference:
        return QStringLiteral("Difference");
    case popularity:
        return QStringLiteral("Popularity");
    case difficulty:
        return QStringLiteral("Difficulty");
    default:
        return {};
    }
}

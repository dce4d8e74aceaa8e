#include "ui/keywords/KeywordTableModel.h"

#include "store/ASOStore.h"
#include "ui/cells/Formatters.h"
#include "ui/keywords/KeywordTable.h"

#include <QStringList>

namespace {

const QString emDash = QStringLiteral("—");

}

KeywordTableModel::KeywordTableModel(ASOStore *store, QString appleAppId, QString country, QObject *parent)
    : QAbstractTableModel(parent), m_store(store), m_appleAppId(std::move(appleAppId)), m_country(std::move(country))
{
    if (m_store)
        connect(m_store, &ASOStore::dataVersionChanged, this, &KeywordTableModel::reload);
    reload();
}

void KeywordTableModel::setCountry(const QString &country)
{
    if (country == m_country)
        return;
    m_country = country;
    reload();
}

void KeywordTableModel::setRows(QList<KeywordRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void KeywordTableModel::reload()
{
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    setRows(app ? m_store->rows(*app, m_country) : QList<KeywordRow>{});
}

void KeywordTableModel::refreshTimes()
{
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0, checked), index(int(m_rows.size()) - 1, checked));
}

CellContent KeywordTableModel::opportunityCell(const KeywordRow &row)
{
    CellContent content;
    content.weight = QFont::DemiBold;
    content.text = row.opportunity ? QString::number(*row.opportunity) : emDash;
    content.tone = row.opportunity ? Style::Tone::primary : Style::Tone::tertiary;
    return content;
}

CellContent KeywordTableModel::checkedCell(const KeywordRow &row, const QDateTime &now)
{
    CellContent content;
    content.text = row.checkedAt ? Formatters::relativeTime(*row.checkedAt, now) : emDash;
    content.tone = row.checkedAt ? Style::Tone::secondary : Style::Tone::tertiary;
    return content;
}

QString KeywordTableModel::sourceLabels(const KeywordRow &row)
{
    QStringList labels;
    for (const auto source : row.sources)
        labels.append(KeywordSources::label(source));
    return labels.join(QStringLiteral(" · "));
}

int KeywordTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int KeywordTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(columns);
}

QVariant KeywordTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const auto &row = m_rows.at(index.row());
    switch (role) {
    case IdRole:
        return row.id;
    case StateRole:
        return int(row.state);
    case SourcesRole:
        return sourceLabels(row);
    default:
        break;
    }

    const auto column = Column(index.column());
    if (role == SortRole) {
        switch (column) {
        case keyword:
            return row.keyword;
        case popularity:
            return row.popularitySortKey();
        case difficulty:
            return row.difficultySortKey();
        case opportunity:
            return row.opportunitySortKey();
        case rank:
            return row.rankSortKey();
        case checked:
            return row.checkedAtSortKey().toMSecsSinceEpoch();
        default:
            return {};
        }
    }

    if (column == keyword) {
        if (role == Qt::DisplayRole)
            return row.keyword;
        if (role == Qt::ToolTipRole)
            return row.provenance;
        return {};
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
    case opportunity:
        content = opportunityCell(row);
        break;
    case rank:
        content = KeywordTable::rankCell(row);
        break;
    case change:
        content = CellContents::change(row.change);
        break;
    case checked:
        content = checkedCell(row, m_now());
        break;
    default:
        return {};
    }
    return role == Qt::DisplayRole ? QVariant(content.text) : QVariant::fromValue(content);
}

QVariant KeywordTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (Column(section)) {
    case keyword:
        return QStringLiteral("Keyword");
    case popularity:
        return QStringLiteral("Popularity");
    case difficulty:
        return QStringLiteral("Difficulty");
    case opportunity:
        return QStringLiteral("Opp.");
    case rank:
        return QStringLiteral("Rank");
    case change:
        return QStringLiteral("Change");
    case checked:
        return QStringLiteral("Checked");
    default:
        return {};
    }
}

#include "ui/keywords/KeywordTableModel.h"

#include "store/ASOStore.h"
#include "ui/cells/Formatters.h"
#include "ui/cells/PlainText.h"
#include "ui/keywords/KeywordTable.h"

#include <QHash>
#include <QStringList>

#include <algorithm>

namespace {

const QString emDash = QStringLiteral("—");

}

KeywordTableModel::KeywordTableModel(ASOStore *store, QString appleAppId, QString country, QObject *parent)
    : QAbstractTableModel(parent), m_store(store), m_appleAppId(std::move(appleAppId)), m_country(std::move(country))
{
    if (m_store)
        connect(m_store, &ASOStore::dataVersionSettled, this, &KeywordTableModel::reload);
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
    // Rows that went are removed, new ones inserted and changed ones reported changed, so that
    // the proxy re-sorts only those and the view keeps its selection and scroll position.
    // Rows that kept their keyword but changed places are rare (a keyword's first link went):
    // those reset the model.
    QHash<QString, qsizetype> position;
    position.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i)
        position.insert(rows.at(i).id, i);
    qsizetype last = -1;
    bool inOrder = position.size() == rows.size();
    for (qsizetype i = 0; inOrder && i < m_rows.size(); ++i) {
        const auto found = position.constFind(m_rows.at(i).id);
        if (found == position.cend())
            continue;
        inOrder = *found > last;
        last = *found;
    }
    if (!inOrder || m_rows.isEmpty() || rows.isEmpty()) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
        return;
    }

    for (auto i = m_rows.size() - 1; i >= 0; --i) {
        if (position.contains(m_rows.at(i).id))
            continue;
        auto first = i;
        while (first > 0 && !position.contains(m_rows.at(first - 1).id))
            --first;
        beginRemoveRows({}, int(first), int(i));
        m_rows.remove(first, i - first + 1);
        endRemoveRows();
        i = first;
    }

    // What is left of the old rows comes in the new order, each in its place or later.
    qsizetype at = 0;
    qsizetype changedFrom = -1;
    const auto reportChanged = [&](qsizetype end) {
        if (changedFrom >= 0)
            Q_EMIT dataChanged(index(int(changedFrom), 0), index(int(end) - 1, columns - 1));
        changedFrom = -1;
    };
    for (qsizetype i = 0; i < rows.size();) {
        if (at < m_rows.size() && m_rows.at(at).id == rows.at(i).id) {
            if (!(m_rows.at(at) == rows.at(i))) {
                m_rows[at] = rows.at(i);
                if (changedFrom < 0)
                    changedFrom = at;
            } else {
                reportChanged(at);
            }
            ++at;
            ++i;
            continue;
        }
        reportChanged(at);
        auto end = i + 1;
        while (end < rows.size() && (at >= m_rows.size() || m_rows.at(at).id != rows.at(end).id))
            ++end;
        beginInsertRows({}, int(at), int(at + end - i - 1));
        m_rows.insert(at, end - i, KeywordRow());
        std::copy(rows.cbegin() + i, rows.cbegin() + end, m_rows.begin() + at);
        endInsertRows();
        at += end - i;
        i = end;
    }
    reportChanged(at);
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

qint64 KeywordTableModel::sortKey(const KeywordRow &row, int column)
{
    switch (Column(column)) {
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
        return 0;
    }
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
        if (column == keyword)
            return row.keyword;
        if (column == change || column >= columns)
            return {};
        return sortKey(row, column);
    }

    if (column == keyword) {
        if (role == Qt::DisplayRole)
            return row.keyword;
        if (role == Qt::ToolTipRole)
            return PlainText::tooltip(row.provenance);
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

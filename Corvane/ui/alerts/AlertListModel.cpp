#include "ui/alerts/AlertListModel.h"

#include "ui/alerts/AlertRow.h"
#include "ui/cells/Style.h"

#include <QLocale>

#include <algorithm>

// An index's internal id is 0 for a day row and the day's row plus one for an alert row.

AlertListModel::AlertListModel(QObject *parent) : QAbstractItemModel(parent) {}

void AlertListModel::setDays(QList<Day> days)
{
    beginResetModel();
    m_days = std::move(days);
    m_titles.clear();
    const QLocale locale = QLocale::system();
    for (const auto &day : std::as_const(m_days))
        m_titles.append(locale.toString(day.day, QLocale::LongFormat));
    endResetModel();
}

bool AlertListModel::addNewest(const Day &day)
{
    // A new day row would shift the day rows, whose numbers the alert rows' indexes carry.
    if (day.items.isEmpty() || m_days.isEmpty() || m_days.first().day != day.day)
        return day.items.isEmpty();
    beginInsertRows(index(0, 0), 0, int(day.items.size()) - 1);
    auto &items = m_days.first().items;
    items = day.items + items;
    endInsertRows();
    return true;
}

void AlertListModel::setReadFlags(const QHash<qint64, bool> &flags)
{
    bool changed = false;
    for (auto &day : m_days) {
        for (auto &alert : day.items) {
            const auto flag = flags.constFind(alert.persistentId);
            if (flag != flags.cend() && *flag != alert.isRead) {
                alert.isRead = *flag;
                changed = true;
            }
        }
    }
    // Told as a new layout with every row in place: a tree view measures every row named in a
    // change of data again, thousands after "Mark All Read", but only the rows in view after this.
    if (changed) {
        Q_EMIT layoutAboutToBeChanged();
        Q_EMIT layoutChanged();
    }
}

void AlertListModel::removeAlerts(const std::function<bool(const RankAlert &)> &gone)
{
    if (!std::any_of(m_days.cbegin(), m_days.cend(),
                     [&](const Day &day) { return std::any_of(day.items.cbegin(), day.items.cend(), gone); }))
        return;
    // A new layout rather than removed rows: a tree view handles each removal of rows on its own,
    // thousands of them when two apps' alerts alternate. The few rows the view holds on to (those
    // expanded, the current one) are moved to where their day and alert went.
    Q_EMIT layoutAboutToBeChanged();
    const auto held = persistentIndexList();
    QList<std::pair<qsizetype, QUuid>> heldRows;
    heldRows.reserve(held.size());
    for (const auto &index : held) {
        const auto *alert = alertAt(index);
        heldRows.append({index.internalId() == 0 ? index.row() : qsizetype(index.internalId() - 1),
                         alert ? alert->id : QUuid()});
    }
    QList<qsizetype> dayRows;
    dayRows.reserve(m_days.size());
    qsizetype kept = 0;
    for (qsizetype d = 0; d < m_days.size(); ++d) {
        m_days[d].items.removeIf(gone);
        const bool empty = m_days.at(d).items.isEmpty();
        dayRows.append(empty ? -1 : kept);
        if (!empty) {
            m_days.swapItemsAt(kept, d);
            m_titles.swapItemsAt(kept, d);
            ++kept;
        }
    }
    m_days.resize(kept);
    m_titles.resize(kept);
    QModelIndexList moved;
    moved.reserve(held.size());
    for (qsizetype i = 0; i < held.size(); ++i) {
        const auto &[oldDay, id] = heldRows.at(i);
        const auto day = dayRows.value(oldDay, -1);
        if (day < 0) {
            moved.append(QModelIndex());
        } else if (held.at(i).internalId() == 0) {
            moved.append(createIndex(int(day), held.at(i).column(), quintptr(0)));
        } else {
            const auto &items = m_days.at(day).items;
            const auto row = std::find_if(items.cbegin(), items.cend(), [&id](const RankAlert &alert) { return alert.id == id; });
            moved.append(row == items.cend() ? QModelIndex()
                                              : createIndex(int(row - items.cbegin()), held.at(i).column(), quintptr(day + 1)));
        }
    }
    changePersistentIndexList(held, moved);
    Q_EMIT layoutChanged();
}

qsizetype AlertListModel::alertCount() const
{
    qsizetype count = 0;
    for (const auto &day : m_days)
        count += day.items.size();
    return count;
}

bool AlertListModel::hasUnread() const
{
    return std::any_of(m_days.begin(), m_days.end(), [](const Day &day) {
        return std::any_of(day.items.begin(), day.items.end(), [](const RankAlert &alert) { return !alert.isRead; });
    });
}

const RankAlert *AlertListModel::alertAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.internalId() == 0)
        return nullptr;
    const auto &items = m_days.at(qsizetype(index.internalId() - 1)).items;
    return index.row() < items.size() ? &items.at(index.row()) : nullptr;
}

QModelIndex AlertListModel::indexOf(const QUuid &id) const
{
    for (qsizetype d = 0; d < m_days.size(); ++d) {
        const auto &items = m_days.at(d).items;
        for (qsizetype r = 0; r < items.size(); ++r) {
            if (items.at(r).id == id)
                return createIndex(int(r), 0, quintptr(d + 1));
        }
    }
    return {};
}

QModelIndex AlertListModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || row >= rowCount(parent))
        return {};
    return createIndex(row, 0, parent.isValid() ? quintptr(parent.row() + 1) : quintptr(0));
}

QModelIndex AlertListModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int AlertListModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_days.size());
    if (parent.internalId() != 0 || parent.column() != 0)
        return 0;
    return int(m_days.at(parent.row()).items.size());
}

int AlertListModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant AlertListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (index.internalId() == 0) {
        if (role == Qt::DisplayRole)
            return m_titles.at(index.row());
        if (role == Qt::FontRole)
            return Style::font(Style::TextSize::body, QFont::DemiBold);
        return {};
    }
    const auto *alert = alertAt(index);
    if (!alert)
        return {};
    if (role == Qt::DisplayRole)
        return alert->keywordDisplay;
    if (role == AlertRow::alertRole)
        return QVariant::fromValue(*alert);
    return {};
}

Qt::ItemFlags AlertListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return index.internalId() == 0 ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

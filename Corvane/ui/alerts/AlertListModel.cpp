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

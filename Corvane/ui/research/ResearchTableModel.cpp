#include "ui/research/ResearchTableModel.h"

#include "ui/cells/CellContents.h"
#include "ui/cells/Style.h"
#include "workflows/ResearchModel.h"

#include <QApplication>

#include <limits>

void ResearchTableModel::setItems(const QList<TopTerm> &items)
{
    beginResetModel();
    m_items = items;
    m_genreTitles.clear();
    for (const auto &item : m_items)
        m_genreTitles.append(genreDisplayName(item.genre));
    endResetModel();
}

int ResearchTableModel::minimumWidth(int column)
{
    switch (column) {
    case termColumn:
        return 180;
    case popularityColumn:
        return 90;
    case genreColumn:
        return 120;
    default:
        return 80;
    }
}

int ResearchTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

int ResearchTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

QVariant ResearchTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const auto &item = m_items[index.row()];
    if (role == termRole)
        return item.term;
    switch (index.column()) {
    case termColumn:
        if (role == Qt::DisplayRole || role == sortRole)
            return item.term;
        if (role == Qt::FontRole)
            return Style::font(Style::TextSize::body, QFont::Medium);
        break;
    case popularityColumn:
        if (role == sortRole)
            return item.popularity;
        if (role == CellContents::contentRole)
            return QVariant::fromValue(CellContents::popularity(item.popularity, PopularitySource::appleCountry));
        break;
    case genreColumn:
        if (role == Qt::DisplayRole || role == sortRole)
            return m_genreTitles.value(index.row());
        if (role == Qt::ForegroundRole)
            return Style::color(Style::Tone::secondary, QApplication::palette());
        break;
    case rankColumn:
        if (role == sortRole)
            return item.rankInGenre.value_or(std::numeric_limits<qint64>::max());
        if (role == Qt::DisplayRole)
            return item.rankInGenre ? u'#' + QString::number(*item.rankInGenre) : QStringLiteral("—");
        if (role == Qt::ForegroundRole && !item.rankInGenre)
            return Style::color(Style::Tone::tertiary, QApplication::palette());
        break;
    default:
        break;
    }
    return {};
}

QVariant ResearchTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case termColumn:
        return QStringLiteral("Term");
    case popularityColumn:
        return QStringLiteral("Popularity");
    case genreColumn:
        return QStringLiteral("Genre");
    case rankColumn:
        return QStringLiteral("Rank in Genre");
    default:
        return {};
    }
}

#include "ui/competitors/SuggestedCompetitorsModel.h"

#include "ui/cells/Formatters.h"
#include "ui/cells/PlainText.h"

#include <QLocale>

void SuggestedCompetitorsModel::setRows(QList<KeywordGap::Suggestion> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void SuggestedCompetitorsModel::setTracking(const QSet<QString> &appleAppIds)
{
    if (appleAppIds == m_tracking)
        return;
    m_tracking = appleAppIds;
    buttonsChanged();
}

void SuggestedCompetitorsModel::setRefusal(const QString &reason)
{
    if (reason == m_refusal)
        return;
    m_refusal = reason;
    buttonsChanged();
}

void SuggestedCompetitorsModel::buttonsChanged()
{
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0, track), index(int(m_rows.size()) - 1, track));
}

QString SuggestedCompetitorsModel::caption(const KeywordGap::Suggestion &row)
{
    QStringList parts;
    for (const auto &part : {row.developerName, row.primaryGenre})
        if (part)
            parts.append(*part);
    return parts.join(QStringLiteral(" · "));
}

QString SuggestedCompetitorsModel::sharedHelp(const KeywordGap::Suggestion &row,
                                              const std::function<QString(const QString &)> &display)
{
    QStringList keywords;
    keywords.reserve(row.keywords.size());
    for (const auto &keyword : row.keywords)
        keywords.append(display(keyword));
    return QStringLiteral("In the top 20 for: ") + keywords.join(QStringLiteral(", "));
}

CellContent SuggestedCompetitorsModel::sharedCell(const KeywordGap::Suggestion &row)
{
    CellContent content;
    content.text = QString::number(row.sharedKeywords());
    content.weight = QFont::DemiBold;
    return content;
}

CellContent SuggestedCompetitorsModel::averageRankCell(const KeywordGap::Suggestion &row)
{
    CellContent content;
    content.text = u'#' + QLocale::system().toString(row.averageRank, 'f', 1);
    content.tooltip = QStringLiteral("Average rank over the shared keywords (best #") + QString::number(row.bestRank)
        + QStringLiteral(").");
    return content;
}

CellContent SuggestedCompetitorsModel::ratingsCell(const KeywordGap::Suggestion &row)
{
    CellContent content;
    if (row.ratingCount) {
        content.text = Formatters::compactNumber(*row.ratingCount);
    } else {
        content.text = QStringLiteral("—");
        content.tone = Style::Tone::tertiary;
    }
    return content;
}

QString SuggestedCompetitorsModel::trackTitle(bool tracking)
{
    return tracking ? QStringLiteral("Tracking…") : QStringLiteral("Track as Competitor");
}

int SuggestedCompetitorsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SuggestedCompetitorsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(columns);
}

QVariant SuggestedCompetitorsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const auto &row = m_rows.at(index.row());
    switch (role) {
    case IdRole:
        return row.appleAppId;
    case TrackingRole:
        return m_tracking.contains(row.appleAppId);
    case TrackableRole:
        return m_refusal.isEmpty() && !m_tracking.contains(row.appleAppId);
    default:
        break;
    }
    const auto column = Column(index.column());
    if (role == SortRole) {
        switch (column) {
        case app:
            return row.name;
        case shared:
            return qint64(row.sharedKeywords());
        case averageRank:
            return row.averageRank;
        case ratings:
            return row.ratingCount.value_or(-1);
        default:
            return {};
        }
    }
    switch (column) {
    case app:
        if (role == Qt::DisplayRole)
            return row.name;
        if (role == CaptionRole)
            return caption(row);
        if (role == IconRole)
            return row.iconURL.value_or(QUrl());
        if (role == Qt::ToolTipRole)
            return QStringLiteral("ID ") + row.appleAppId;
        return {};
    case track:
        if (role == Qt::DisplayRole)
            return trackTitle(m_tracking.contains(row.appleAppId));
        if (role == Qt::ToolTipRole && !m_refusal.isEmpty())
            return m_refusal;
        return {};
    case shared:
        if (role == Qt::ToolTipRole)
            return m_sharedHelp ? PlainText::tooltip(m_sharedHelp(row)) : QString();
        break;
    default:
        break;
    }
    if (role != Qt::DisplayRole && role != CellContents::contentRole)
        return {};
    CellContent content;
    switch (column) {
    case shared:
        content = sharedCell(row);
        break;
    case averageRank:
        content = averageRankCell(row);
        break;
    case ratings:
        content = ratingsCell(row);
        break;
    default:
        return {};
    }
    return role == Qt::DisplayRole ? QVariant(content.text) : QVariant::fromValue(content);
}

QVariant SuggestedCompetitorsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (Column(section)) {
    case app:
        return QStringLiteral("App");
    case shared:
        return QStringLiteral("Shared keywords");
    case averageRank:
        return QStringLiteral("Avg. rank");
    case ratings:
        return QStringLiteral("Ratings");
    default:
        return QString();
    }
}

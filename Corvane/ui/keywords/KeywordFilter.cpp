#include "ui/keywords/KeywordFilter.h"

#include "support/Unicode.h"

#include <algorithm>

namespace {

bool isSeparator(QChar c)
{
    // Every space separator lies in the basic plane, so one UTF-16 unit decides.
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

}

QString KeywordFilters::rawValue(KeywordFilter filter)
{
    switch (filter) {
    case KeywordFilter::all:
        return QStringLiteral("All");
    case KeywordFilter::found:
        return QStringLiteral("Found");
    case KeywordFilter::notFound:
        return QStringLiteral("Not in sample");
    case KeywordFilter::notChecked:
        return QStringLiteral("Not checked");
    case KeywordFilter::failed:
        return QStringLiteral("Failed");
    }
    return {};
}

std::optional<KeywordFilter> KeywordFilters::fromRaw(QStringView raw)
{
    for (const auto filter : allCases) {
        if (raw == rawValue(filter))
            return filter;
    }
    return std::nullopt;
}

bool KeywordFilters::keeps(KeywordFilter filter, RankingState state)
{
    switch (filter) {
    case KeywordFilter::all:
        return true;
    case KeywordFilter::found:
        return state == RankingState::found;
    case KeywordFilter::notFound:
        return state == RankingState::notFoundInSample;
    case KeywordFilter::notChecked:
        return state == RankingState::notChecked;
    case KeywordFilter::failed:
        return state == RankingState::requestFailed;
    }
    return false;
}

QString KeywordFilters::query(const QString &search)
{
    const QString lower = Unicode::lowercased(search);
    qsizetype start = 0;
    qsizetype end = lower.size();
    while (start < end && isSeparator(lower[start]))
        ++start;
    while (end > start && isSeparator(lower[end - 1]))
        --end;
    return lower.mid(start, end - start);
}

bool KeywordFilters::matches(const KeywordRow &row, const QString &query)
{
    return query.isEmpty() || Unicode::lowercased(row.keyword).contains(query);
}

QList<KeywordRow> KeywordFilters::visibleRows(const QList<KeywordRow> &rows, KeywordFilter filter, const QString &search)
{
    const QString q = query(search);
    QList<KeywordRow> kept;
    for (const auto &row : rows) {
        if (keeps(filter, row.state) && matches(row, q))
            kept.append(row);
    }
    return kept;
}

qsizetype KeywordFilters::rowCount(const QList<KeywordRow> &rows, KeywordFilter filter)
{
    return std::count_if(rows.cbegin(), rows.cend(), [filter](const KeywordRow &row) { return keeps(filter, row.state); });
}

QString KeywordFilters::pickerTitle(KeywordFilter filter, qsizetype count)
{
    return rawValue(filter) + u' ' + QString::number(count);
}

KeywordFilters::Counters KeywordFilters::counters(const QList<KeywordRow> &rows)
{
    Counters counters;
    counters.tracked = rows.size();
    for (const auto &row : rows) {
        if (row.state != RankingState::found)
            continue;
        ++counters.ranking;
        if (row.rank && *row.rank <= 10)
            ++counters.top10;
    }
    return counters;
}

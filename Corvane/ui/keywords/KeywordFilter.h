#pragma once

#include "store/KeywordRow.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

// The status filter of an app's keyword rows: every row, or the rows in one ranking state.
enum class KeywordFilter { all, found, notFound, notChecked, failed };

// How the keyword screen narrows and counts an app's rows. Pure functions, so the table's proxy
// and the screen's status picker and counters agree.
namespace KeywordFilters {

inline constexpr std::array<KeywordFilter, 5> allCases{KeywordFilter::all, KeywordFilter::found, KeywordFilter::notFound,
                                                       KeywordFilter::notChecked, KeywordFilter::failed};

// The picker's title: "All", "Found", "Not in sample", "Not checked", "Failed".
QString rawValue(KeywordFilter filter);
// Only an exact raw value gives a case.
std::optional<KeywordFilter> fromRaw(QStringView raw);

bool keeps(KeywordFilter filter, RankingState state);

// The search text as it is matched: lower-cased, then trimmed of tabs and space separators
// (the no-break space among them) at both ends; line breaks stay.
QString query(const QString &search);
// Whether the row's keyword text contains the query; an empty query matches every row.
bool matches(const KeywordRow &row, const QString &query);

// The rows the filter keeps and the search finds, in the given order.
QList<KeywordRow> visibleRows(const QList<KeywordRow> &rows, KeywordFilter filter, const QString &search);

// How many rows the filter keeps; the search does not enter.
qsizetype rowCount(const QList<KeywordRow> &rows, KeywordFilter filter);
// The picker's entry: the raw value, a blank and the count ("Not in sample 12").
QString pickerTitle(KeywordFilter filter, qsizetype count);

// The screen's three counters, blind to the filter and the search.
struct Counters
{
    qsizetype tracked = 0;
    qsizetype ranking = 0; // found
    qsizetype top10 = 0;   // found with a rank of at most 10

    bool operator==(const Counters &) const = default;
};
Counters counters(const QList<KeywordRow> &rows);

}

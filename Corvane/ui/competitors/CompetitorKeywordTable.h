#pragma once

#include "workflows/CompetitorKeywordRow.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTableView>

class CompetitorKeywordModel;
class SortKeyProxy;
class EmptyStateView;

// The keyword table of the comparison and of the keyword gap: keyword, both ranks, difference,
// popularity and difficulty, every column sorted by its key. It allows either no selection or
// several rows; the selected keywords (normal forms) outlive a change of rows, as the store's
// data version rises.
class CompetitorKeywordTable : public QTableView
{
    Q_OBJECT
public:
    enum class Selection { none, multiple };

    explicit CompetitorKeywordTable(Selection selection, QWidget *parent = nullptr);
    ~CompetitorKeywordTable() override;

    CompetitorKeywordModel *tableModel() const { return m_model; }
    SortKeyProxy *proxy() const { return m_proxy; }
    // "No keywords here", shown over the table while it has no rows unless turned off.
    EmptyStateView *emptyState() const { return m_empty; }
    void setShowsEmptyState(bool shows);

    void setRows(QList<CompetitorKeywordRow> rows);
    void setCompetitorName(const QString &name);

    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    void setSort(int column, Qt::SortOrder order);

    // The row IDs in the order shown.
    QStringList shownIds() const;
    // The row ID under a point of the viewport; empty outside the rows.
    QString idAt(const QPoint &position) const;

    QSet<QString> selection() const { return m_selection; }
    void setSelection(const QSet<QString> &ids);

Q_SIGNALS:
    // The user changed the selection, or setSelection() did.
    void selectionChanged(const QSet<QString> &ids);

private:
    void followSelection();
    void restoreSelection();
    void updateEmptyState();

    CompetitorKeywordModel *m_model;
    SortKeyProxy *m_proxy;
    EmptyStateView *m_empty;
    bool m_showsEmptyState = true;
    int m_sortColumn = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QSet<QString> m_selection;
    // Set while rows change under the selection, which is not the user's doing.
    bool m_shifting = false;
};

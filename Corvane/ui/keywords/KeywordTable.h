#pragma once

#include "store/KeywordRow.h"
#include "ui/cells/CellContents.h"
#include "ui/keywords/KeywordFilter.h"

#include <QCoroTask>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTableView>

#include <optional>

class ASOStore;
class EmptyStateView;
class KeywordFilterProxy;
class KeywordTableModel;
class QMenu;

// The keyword table of one tracked app in one storefront: seven columns sorted by the header,
// one selected keyword, and a context menu that searches keywords again at once or stops
// tracking them. It follows the store's data version; a new version keeps the selected keyword
// and the scroll position.
class KeywordTable : public QTableView
{
    Q_OBJECT
public:
    KeywordTable(ASOStore *store, QString appleAppId, QString country, QWidget *parent = nullptr);

    KeywordTableModel *tableModel() const { return m_model; }
    KeywordFilterProxy *proxy() const { return m_proxy; }
    // The "No keywords here" overlay.
    EmptyStateView *emptyState();

    void setCountry(const QString &country);
    void setFilter(KeywordFilter filter);
    void setSearch(const QString &search);

    // The selected keyword's normal form. It stays while its row is filtered out or gone, and
    // is selected again when the row returns.
    std::optional<QString> selection() const { return m_selection; }
    void setSelection(const std::optional<QString> &id);

    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    // The column must be sortable (every column but "Change").
    void setSort(int column, Qt::SortOrder order);

    // The rank column's cell: "#N" when the app was found at a rank, else the state badge.
    static CellContent rankCell(const KeywordRow &row);
    // The same for any reading: the rank counts only when found, the sample size only when not
    // in the sample.
    static CellContent rankCell(RankingState state, std::optional<qint64> rank, std::optional<qint64> sampleSize);

    // The row menu for the keywords it applies to (none on empty space).
    QMenu *contextMenu(const QStringList &ids, QWidget *parent = nullptr);
    // Searches each keyword again, ignoring the cache, in the given order and applies each
    // result to the app; then refreshes popularity and raises the data version once. Runs on
    // after the table is gone; stops quietly when the app is removed meanwhile.
    QCoro::Task<> checkNowAction(QStringList ids);
    // Unlinks each keyword from the app at once; the selection stays.
    void stopTrackingAction(const QStringList &ids);

Q_SIGNALS:
    void selectionChanged(const std::optional<QString> &id);
    void sortChanged(int column, Qt::SortOrder order);

private:
    void showMenu(const QPoint &position);
    void followSelection();
    void restoreSelection();
    void updateEmptyState();

    QPointer<ASOStore> m_store;
    KeywordTableModel *m_model;
    KeywordFilterProxy *m_proxy;
    EmptyStateView *m_empty = nullptr;
    std::optional<QString> m_selection;
    int m_sortColumn = 0;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    // Set while rows are moved or removed under the selection, which is not the user's doing.
    bool m_shifting = false;
    int m_savedScroll = 0;
};

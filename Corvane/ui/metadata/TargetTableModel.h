#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <array>

class MetadataEditor;

// The target keyword table over a metadata editor's rows: a tick per row that makes it a target,
// the keyword, its popularity, difficulty and rank, and whether the metadata covers it. Reads
// everything from the editor and writes ticks back to it.
class TargetTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // `opportunity` is hidden; the table starts sorted by it.
    enum Column { target, keyword, popularity, difficulty, rank, coverage, opportunity, columns };

    enum Role {
        SortRole = Qt::UserRole + 1, // the keyword text, else a qint64 key; nothing for unsortable columns
        IdRole,                      // the row's normal form
    };

    explicit TargetTableModel(MetadataEditor *editor, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static QString title(int column);
    // The title as its column has room to show it, cut short with "…"; a null text shows it whole.
    void setShownTitle(int column, const QString &shown);

private:
    MetadataEditor *m_editor;
    std::array<QString, columns> m_shownTitles;
};

// Shows the rows the editor's filter keeps, sorted by the columns' keys; rows with equal keys
// keep the store's order in either direction.
class TargetTableProxy : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    TargetTableProxy(MetadataEditor *editor, QObject *parent = nullptr);

    // The normal forms of the shown rows, in the shown order.
    QStringList shownIds() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    MetadataEditor *m_editor;
};

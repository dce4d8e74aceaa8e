#pragma once

#include "ui/metadata/TargetTableModel.h"

#include <QWidget>

#include <array>

class EmptyStateView;
class MetadataEditor;
class QAction;
class QButtonGroup;
class QLabel;
class QMenu;
class QTableView;
class TargetTableProxy;

// The right pane of the metadata editor: the app's keyword rows in the storefront, where the
// user ticks the targets the metadata should cover, filtered to all rows, the targets or the
// targets still missing from the metadata, with bulk choices in a "Select" menu.
class TargetKeywordPane : public QWidget
{
    Q_OBJECT
public:
    explicit TargetKeywordPane(MetadataEditor *editor, QWidget *parent = nullptr);
    ~TargetKeywordPane() override;

    QTableView *table() const { return m_table; }
    TargetTableProxy *proxy() const { return m_proxy; }
    EmptyStateView *emptyState() const { return m_empty; }
    QMenu *selectMenu() const { return m_select; }

    using Widths = std::array<int, TargetTableModel::columns>;
    // The columns' widths in the room, given the widths below which each column's content is
    // cut: each whole while the room allows, else the keyword and "In metadata" cut short.
    static Widths fitWidths(int room, const Widths &minimums);
    // The pane's width at which no column is cut.
    int neededWidth() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildHeader();
    // The widths below which each column's content is cut: its title with the sort arrow, and
    // the widest gauge or badge it may show.
    Widths columnMinimums() const;
    void fitColumns();
    void updateHeader();
    void updateRows();
    void updateEmptyState();

    MetadataEditor *m_editor;
    TargetTableModel *m_model;
    TargetTableProxy *m_proxy;
    QLabel *m_chosen = nullptr;
    QButtonGroup *m_filters = nullptr;
    QMenu *m_select = nullptr;
    QAction *m_top = nullptr;
    QTableView *m_table = nullptr;
    EmptyStateView *m_empty = nullptr;
    Widths m_minimums{};
    // What the user may narrow each column to: its minimum, or less while the room is short.
    Widths m_lowest{};
};

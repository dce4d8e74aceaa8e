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
    // The columns' widths in the room, given the widths at which each column shows its title and
    // content whole and the floors below which a gauge or badge would be cut: whole while the
    // room allows, else cut short toward the floors.
    static Widths fitWidths(int room, const Widths &minimums, const Widths &floors);
    // The pane's width at which no column is cut.
    int neededWidth() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildHeader();
    // The widths at which each column shows its title (with the sort arrow) and content whole,
    // and the floors: the widest gauge or badge a column may show, a few letters of a text.
    void measureColumns();
    void fitColumns();
    void elideTitle(int column);
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
    Widths m_floors{};
    // What the user may narrow each column to: its minimum, or less while the room is short.
    Widths m_lowest{};
};

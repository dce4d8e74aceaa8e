#pragma once

#include <QWidget>

class EmptyStateView;
class MetadataEditor;
class QAction;
class QButtonGroup;
class QLabel;
class QMenu;
class QTableView;
class TargetTableModel;
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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildHeader();
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
};

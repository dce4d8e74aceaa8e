#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <optional>

class ASOStore;
class AddAppDialog;
class CheckForUpdatesViewModel;
class EmptyStateView;
class QAction;
class QMenu;
class QTreeView;
class QWidget;
class RankTracker;
class SidebarModel;
class Updater;
struct UpdateCheckOutcome;

// The main window: a sidebar of the tools and the tracked apps (own apps, then competitors),
// and a detail column that shows whatever is selected. It adds apps through the add-app sheet,
// re-marks them as own app or competitor and removes them; every change goes through the store,
// and the window follows the store's data version.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    MainWindow(ASOStore *store, RankTracker *tracker, Updater *updater, QWidget *parent = nullptr);
    ~MainWindow() override;

    // A tool's raw value or an app's ID; absent when nothing is selected.
    std::optional<QString> selection() const { return m_selection; }
    // The screen in the detail column.
    QWidget *detail() const { return m_detail; }
    SidebarModel *sidebarModel() const { return m_model; }
    // An app row's context menu, for the caller to show and delete; null for no such app.
    QMenu *sidebarMenu(const QString &appleAppId);

public Q_SLOTS:
    void setSelection(const std::optional<QString> &selection);
    // Opens the add-app sheet; the added app is selected when the sheet's request ends.
    AddAppDialog *openAddApp();
    // Moves the app to the other section.
    void toggleOwn(const QString &appleAppId);
    // Asks whether to remove the app; its "Remove" removes it.
    QMessageBox *confirmRemove(const QString &appleAppId);
    // Stops the app's work and deletes it with its readings and alerts; when the store refuses
    // (another program writes), the app stays and the store's problem tells why.
    void removeApp(const QString &appleAppId);
    // Shows the one settings window.
    void openSettings();

Q_SIGNALS:
    void selectionChanged(const std::optional<QString> &selection);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildMenus();
    QWidget *buildSidebar();
    // Reads the apps and the unread alerts again and rebuilds the sidebar around the selection.
    void reload();
    void updateBadge();
    // Shows the screen for the selection, unless it shows already.
    void route();
    QWidget *createDetail(const QString &key);
    void showSidebarMenu(const QPoint &position);
    void showUpdateOutcome(const UpdateCheckOutcome &outcome);
    // The store stopped saving because the file is damaged; it says so once.
    void showDatabaseDamage(const std::optional<QString> &message);
    // A problem the store tells of, in a sheet of its own.
    void showStoreProblem(const QString &message);
    // A message over the window, with OK, deleted once closed; the caller opens it.
    QMessageBox *messageBox(QMessageBox::Icon icon, const QString &title, const QString &text, const QString &name);

    QPointer<ASOStore> m_store;
    QPointer<RankTracker> m_tracker;
    QPointer<Updater> m_updater;
    CheckForUpdatesViewModel *m_updateModel = nullptr;
    SidebarModel *m_model;
    QTreeView *m_sidebar = nullptr;
    EmptyStateView *m_noApps = nullptr;
    QWidget *m_detailHost = nullptr;
    QWidget *m_detail = nullptr;
    // What the detail column shows: "" for the placeholder, else a tool's raw value or an app ID.
    QString m_detailKey;
    QPointer<QWidget> m_settings;
    std::optional<QString> m_selection;
    bool m_shownOnce = false;
};

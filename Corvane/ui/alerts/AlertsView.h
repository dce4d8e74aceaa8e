#pragma once

#include "model/RankAlert.h"
#include "model/StoreDb.h"
#include "ui/alerts/AlertListModel.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class ASOStore;
class EmptyStateView;
class QCheckBox;
class QComboBox;
class QMessageBox;
class QPushButton;
class QTreeView;
class RankTracker;

// Every stored ranking alert, newest first and grouped by local day, with filters by app, kind
// and read state. The user marks alerts read or unread, deletes one or every visible alert, and
// starts or stops a manual tracking run. Changes go through the store; whenever the store's
// data version moves the list reads what changed: only the new alerts and the read flags when
// nothing else did, so that it follows a tracking run over thousands of alerts cheaply.
class AlertsView : public QWidget
{
    Q_OBJECT
public:
    struct Filters
    {
        // An app's appleAppId; absent for all apps.
        std::optional<QString> app;
        std::optional<RankAlertKind> kind;
        bool unreadOnly = false;
    };

    struct AppChoice
    {
        QString id;
        QString name;
        friend bool operator==(const AppChoice &, const AppChoice &) = default;
    };

    using DaySection = AlertListModel::Day;

    AlertsView(ASOStore *store, RankTracker *tracker, QWidget *parent = nullptr);

    static bool matchesFilters(const RankAlert &alert, const Filters &filters);
    // The alerts that pass, in the given order.
    static QList<RankAlert> visibleAlerts(const QList<RankAlert> &alerts, const Filters &filters);
    // One entry per app, named after the app's first (newest) alert, sorted by name
    // case-sensitively; equal names stay separate entries in the alerts' order.
    static QList<AppChoice> appChoices(const QList<RankAlert> &alerts);
    // One section per local day, the newest day first; each keeps the alerts' order.
    static QList<DaySection> groupByDay(const QList<RankAlert> &alerts);
    // The same of those of the alerts that the filters let through.
    static QList<DaySection> groupByDay(const QList<RankAlert> &alerts, const Filters &filters);
    // "Delete 3 alerts?"
    static QString confirmationTitle(qsizetype count);

    Filters filters() const { return m_filters; }
    QList<RankAlert> visibleAlerts() const { return visibleAlerts(m_alerts, m_filters); }

public Q_SLOTS:
    void setFilters(const AlertsView::Filters &filters);
    void checkNow();
    void stopManualCheck();
    // A click: marks an unread alert read; a read one stays read.
    void markRead(const RankAlert &alert);
    void toggleRead(const RankAlert &alert);
    void deleteAlert(const RankAlert &alert);
    void markAllRead();
    // Asks before deleting the alerts visible now; "Delete" removes exactly those.
    QMessageBox *confirmClear();

private:
    void reload();
    // Runs the store's edit of the shown alerts and shows its outcome: they are gone, or read.
    void editShown(const std::function<void()> &edit, const QList<RankAlert> &shown, bool removed);
    // From the alerts as of `before` to those of `now` by reading only what was added and the
    // read flags; false when only a full read can tell.
    bool followChanges(const StoreDb::AlertsMark &before, const StoreDb::AlertsMark &now);
    void refreshList();
    void updateStates();
    void fillAppChoices();
    void updateRunButtons();
    void showContextMenu(const QPoint &position);
    std::optional<RankAlert> alertAt(const QModelIndex &index) const;

    QPointer<ASOStore> m_store;
    QPointer<RankTracker> m_tracker;
    QList<RankAlert> m_alerts;
    // What m_alerts reflects, and the highest row id among them.
    std::optional<StoreDb::AlertsMark> m_mark;
    qint64 m_newestPk = 0;
    // While this view's own edit runs: it follows that edit itself.
    bool m_editing = false;
    QList<AppChoice> m_choices;
    Filters m_filters;

    QPushButton *m_checkNow;
    QPushButton *m_stop;
    QComboBox *m_app;
    QComboBox *m_kind;
    QCheckBox *m_unread;
    QPushButton *m_markAllRead;
    QPushButton *m_clear;
    QTreeView *m_list;
    AlertListModel *m_model;
    EmptyStateView *m_empty;
};

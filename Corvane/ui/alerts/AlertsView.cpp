#include "ui/alerts/AlertsView.h"

#include "store/ASOStore.h"
#include "support/Unicode.h"
#include "tracking/RankTracker.h"
#include "ui/alerts/AlertRow.h"
#include "ui/cells/ElidingControls.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/Glyphs.h"
#include "ui/cells/PickerWidth.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/Style.h"
#include "ui/cells/WriteGuard.h"
#include "ui/settings/TrackingStatusLine.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMap>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

AlertsView::AlertsView(ASOStore *store, RankTracker *tracker, QWidget *parent)
    : QWidget(parent), m_store(store), m_tracker(tracker),
      m_checkNow(new QPushButton(QStringLiteral("Check Now"), this)), m_stop(new QPushButton(QStringLiteral("Stop"), this)),
      m_app(new ElidingComboBox(this)), m_kind(new QComboBox(this)), m_unread(new QCheckBox(QStringLiteral("Unread"), this)),
      m_markAllRead(new QPushButton(QStringLiteral("Mark All Read"), this)),
      m_clear(new QPushButton(QStringLiteral("Clear"), this)), m_list(new QTreeView(this)),
      m_model(new AlertListModel(this)),
      m_empty(new EmptyStateView(QStringLiteral("bell"), QString(), QString(), this))
{
    setObjectName(QStringLiteral("alertsView"));
    setWindowTitle(QStringLiteral("Alerts"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(16, 10, 16, 10);
    header->setSpacing(12);
    header->addWidget(new TrackingStatusLine(tracker, this), 0, Qt::AlignVCenter);
    header->addStretch();
    m_checkNow->setObjectName(QStringLiteral("checkNow"));
    m_checkNow->setToolTip(QStringLiteral("Search every tracked keyword again now (paced by the rate limit)."));
    m_stop->setObjectName(QStringLiteral("stop"));
    header->addWidget(m_checkNow, 0, Qt::AlignVCenter);
    header->addWidget(m_stop, 0, Qt::AlignVCenter);
    layout->addLayout(header);

    auto *toolbar = new QHBoxLayout;
    toolbar->setContentsMargins(16, 0, 16, 10);
    toolbar->setSpacing(8);
    m_app->setObjectName(QStringLiteral("appFilter"));
    m_app->setToolTip(QStringLiteral("App"));
    // Both pickers as wide as their longest item; the app picker only as far as the row has room,
    // so that a long app name leaves the kind picker and the unread box theirs, and cuts a longer
    // chosen name with "…". The kind picker never cuts its entries.
    m_app->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_app->setMinimumContentsLength(12);
    m_app->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    m_app->addItem(QStringLiteral("All apps"));
    m_kind->setObjectName(QStringLiteral("kindFilter"));
    m_kind->setToolTip(QStringLiteral("Kind"));
    m_kind->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_kind->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_kind->addItem(QStringLiteral("All changes"));
    for (const auto kind : RankAlertKinds::allCases())
        m_kind->addItem(Glyphs::icon(AlertRow::symbol(kind)), AlertRow::title(kind), RankAlertKinds::rawValue(kind));
    // Its list draws the entries with their symbols and more room than the picker's own width
    // holds; as wide as the list needs, the picker opens a list that cuts none of them.
    PickerWidth::keepEntriesWhole(m_kind);
    m_unread->setObjectName(QStringLiteral("unreadOnly"));
    m_markAllRead->setObjectName(QStringLiteral("markAllRead"));
    m_clear->setObjectName(QStringLiteral("clear"));
    for (auto *writes : std::initializer_list<QWidget *>{m_checkNow, m_markAllRead, m_clear})
        WriteGuard::guard(writes, m_store);
    toolbar->addStretch();
    for (auto *widget : std::initializer_list<QWidget *>{m_app, m_kind, m_unread, m_markAllRead, m_clear})
        toolbar->addWidget(widget);
    layout->addLayout(toolbar);

    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);

    m_list->setObjectName(QStringLiteral("alertsList"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(new AlertRow(m_list));
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(false);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setFrameShape(QFrame::NoFrame);
    layout->addWidget(m_list, 1);
    m_empty->setObjectName(QStringLiteral("alertsEmptyState"));
    m_empty->overlayOn(m_list->viewport());

    connect(m_checkNow, &QPushButton::clicked, this, &AlertsView::checkNow);
    connect(m_stop, &QPushButton::clicked, this, &AlertsView::stopManualCheck);
    connect(m_app, &QComboBox::activated, this, [this](int index) {
        auto filters = m_filters;
        const QVariant id = m_app->itemData(index);
        filters.app = id.isValid() ? std::optional(id.toString()) : std::nullopt;
        setFilters(filters);
    });
    connect(m_kind, &QComboBox::currentIndexChanged, this, [this](int index) {
        auto filters = m_filters;
        filters.kind = RankAlertKinds::fromRaw(m_kind->itemData(index).toString());
        setFilters(filters);
    });
    connect(m_unread, &QCheckBox::toggled, this, [this](bool on) {
        auto filters = m_filters;
        filters.unreadOnly = on;
        setFilters(filters);
    });
    connect(m_markAllRead, &QPushButton::clicked, this, &AlertsView::markAllRead);
    connect(m_clear, &QPushButton::clicked, this, &AlertsView::confirmClear);
    connect(m_list, &QTreeView::clicked, this, [this](const QModelIndex &index) {
        if (const auto alert = alertAt(index))
            markRead(*alert);
    });
    connect(m_list, &QTreeView::customContextMenuRequested, this, &AlertsView::showContextMenu);
    if (m_store)
        connect(m_store, &ASOStore::dataVersionSettled, this, &AlertsView::reload);
    if (m_tracker) {
        connect(m_tracker, &RankTracker::isRunningChanged, this, &AlertsView::updateRunButtons);
        connect(m_tracker, &RankTracker::manualRunActiveChanged, this, &AlertsView::updateRunButtons);
    }
    updateRunButtons();
    reload();
}

bool AlertsView::matchesFilters(const RankAlert &alert, const Filters &filters)
{
    return (!filters.app || *filters.app == alert.appleAppId) && (!filters.kind || *filters.kind == alert.kind()) &&
           (!filters.unreadOnly || !alert.isRead);
}

QList<RankAlert> AlertsView::visibleAlerts(const QList<RankAlert> &alerts, const Filters &filters)
{
    QList<RankAlert> visible;
    visible.reserve(alerts.size());
    std::copy_if(alerts.begin(), alerts.end(), std::back_inserter(visible),
                 [&](const RankAlert &alert) { return matchesFilters(alert, filters); });
    return visible;
}

QList<AlertsView::AppChoice> AlertsView::appChoices(const QList<RankAlert> &alerts)
{
    QList<AppChoice> choices;
    QSet<QString> seen;
    for (const auto &alert : alerts) {
        if (!seen.contains(alert.appleAppId)) {
            seen.insert(alert.appleAppId);
            choices.append({alert.appleAppId, alert.appName});
        }
    }
    // By code point: UTF-16 order would put names with letters above U+FFFF too early.
    std::stable_sort(choices.begin(), choices.end(),
                     [](const AppChoice &a, const AppChoice &b) { return Unicode::lessThan(a.name, b.name); });
    return choices;
}

QList<AlertsView::DaySection> AlertsView::groupByDay(const QList<RankAlert> &alerts)
{
    return groupByDay(alerts, Filters());
}

QList<AlertsView::DaySection> AlertsView::groupByDay(const QList<RankAlert> &alerts, const Filters &filters)
{
    // The time zone is asked once per day rather than once per alert: an alert inside the
    // bounds of the day found last belongs to it.
    QMap<QDate, QList<RankAlert>> days;
    QDate day;
    qint64 dayStart = 0;
    qint64 dayEnd = 0;
    QList<RankAlert> *items = nullptr;
    for (const auto &alert : alerts) {
        if (!matchesFilters(alert, filters))
            continue;
        const auto moment = alert.createdAt.toMSecsSinceEpoch();
        if (!items || moment < dayStart || moment >= dayEnd) {
            day = alert.createdAt.toLocalTime().date();
            dayStart = day.startOfDay().toMSecsSinceEpoch();
            dayEnd = day.addDays(1).startOfDay().toMSecsSinceEpoch();
            items = &days[day];
        }
        items->append(alert);
    }
    QList<DaySection> sections;
    for (auto day = days.constKeyValueBegin(); day != days.constKeyValueEnd(); ++day)
        sections.prepend({day->first, day->second});
    return sections;
}

QString AlertsView::confirmationTitle(qsizetype count)
{
    return QStringLiteral("Delete ") + QString::number(count) + QStringLiteral(" alert") +
           (count == 1 ? QString() : QStringLiteral("s")) + QLatin1Char('?');
}

void AlertsView::setFilters(const Filters &filters)
{
    m_filters = filters;
    const QSignalBlocker blockKind(m_kind), blockUnread(m_unread);
    m_kind->setCurrentIndex(filters.kind ? m_kind->findData(RankAlertKinds::rawValue(*filters.kind)) : 0);
    m_unread->setChecked(filters.unreadOnly);
    fillAppChoices();
    refreshList();
}

void AlertsView::checkNow()
{
    if (!m_tracker || m_tracker->isRunning())
        return;
    m_tracker->startManualRun();
}

void AlertsView::stopManualCheck()
{
    if (m_tracker)
        m_tracker->stopManualRun();
}

void AlertsView::markRead(const RankAlert &alert)
{
    if (m_store && !alert.isRead)
        m_store->markAlertsRead({alert}, true);
}

void AlertsView::toggleRead(const RankAlert &alert)
{
    if (m_store)
        m_store->markAlertsRead({alert}, !alert.isRead);
}

void AlertsView::deleteAlert(const RankAlert &alert)
{
    if (m_store)
        m_store->deleteAlerts({alert});
}

void AlertsView::markAllRead()
{
    if (!m_store)
        return;
    const auto shown = visibleAlerts();
    editShown([&] { m_store->markAlertsRead(shown, true); }, shown, false);
}

void AlertsView::editShown(const std::function<void()> &edit, const QList<RankAlert> &shown, bool removed)
{
    // What this view shows changes as the edit says, without reading every alert again: with
    // many, that read alone would hold the window. Only a view that was up to date may; another
    // connection's commits since then, or the log copied back, are followed at the next reload.
    auto before = m_store->alertsMark();
    if (m_mark)
        before.others = m_mark->others;
    const bool current = m_mark && *m_mark == before;
    m_editing = true;
    edit();
    m_editing = false;
    if (!current) {
        reload();
        return;
    }
    QHash<qint64, bool> flags;
    if (removed) {
        QSet<qint64> edited;
        edited.reserve(shown.size());
        for (const auto &alert : shown)
            edited.insert(alert.persistentId);
        m_alerts.removeIf([&edited](const RankAlert &alert) { return edited.contains(alert.persistentId); });
    } else {
        // Marked at once: the shown alerts are those the filters let through.
        for (auto &alert : m_alerts) {
            if (!alert.isRead && matchesFilters(alert, m_filters)) {
                alert.isRead = true;
                flags.insert(alert.persistentId, true);
            }
        }
    }
    const auto others = m_mark->others;
    m_mark = m_store->alertsMark();
    m_mark->others = others;
    if (removed)
        fillAppChoices();
    if (removed || m_filters.unreadOnly) {
        refreshList();
    } else {
        m_model->setReadFlags(flags);
        updateStates();
    }
}

QMessageBox *AlertsView::confirmClear()
{
    // The list the title counts is the list deleted: alerts that arrive while the question is
    // open were never seen, so they stay.
    const auto shown = visibleAlerts();
    if (shown.isEmpty())
        return nullptr;
    // The question is the dialog's text; a title bar would elide it.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Clear Alerts"), confirmationTitle(shown.size()),
                                QMessageBox::Cancel, this);
    box->setObjectName(QStringLiteral("clearConfirmation"));
    PlainText::fitMessageBox(box);
    box->setInformativeText(QStringLiteral("Ranking history is kept; only these alerts are removed."));
    auto *remove = box->addButton(QStringLiteral("Delete"), QMessageBox::DestructiveRole);
    remove->setObjectName(QStringLiteral("confirmDelete"));
    WriteGuard::guard(remove, m_store);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<ASOStore> store = m_store;
    connect(remove, &QPushButton::clicked, this, [this, store, shown] {
        if (store)
            editShown([&] { store->deleteAlerts(shown); }, shown, true);
    });
    box->open();
    return box;
}

void AlertsView::reload()
{
    if (m_editing)
        return;
    const auto mark = m_store ? std::optional(m_store->alertsMark()) : std::nullopt;
    if (mark && m_mark && (*mark == *m_mark || followChanges(*m_mark, *mark))) {
        m_mark = mark;
        return;
    }
    m_mark = mark;
    m_alerts = m_store ? m_store->alerts() : QList<RankAlert>();
    m_newestPk = 0;
    for (const auto &alert : std::as_const(m_alerts)) {
        // New alerts take ids below one past the largest, which only damage leaves.
        if (alert.persistentId <= StoreDb::largestAlertId)
            m_newestPk = std::max(m_newestPk, alert.persistentId);
    }
    fillAppChoices();
    refreshList();
}

namespace {

// Drops from the alerts and the list those the edits deleted and takes over the flags they set,
// adding those to `flags`.
void followEdits(const QList<ASOStore::AlertEditNote> &edits, QList<RankAlert> &alerts, AlertListModel &model,
                 QHash<qint64, bool> &flags)
{
    QSet<qint64> gone;
    for (const auto &edit : edits) {
        for (const auto id : edit.persistentIds) {
            if (edit.remove) {
                gone.insert(id);
                flags.remove(id);
            } else {
                flags.insert(id, edit.read);
            }
        }
    }
    if (!gone.isEmpty()) {
        const auto deleted = [&gone](const RankAlert &alert) { return gone.contains(alert.persistentId); };
        alerts.removeIf(deleted);
        model.removeAlerts(deleted);
    }
    if (!flags.isEmpty()) {
        for (auto &alert : alerts)
            alert.isRead = flags.value(alert.persistentId, alert.isRead);
    }
}

}

bool AlertsView::followChanges(const StoreDb::AlertsMark &before, const StoreDb::AlertsMark &now)
{
    if (now.rewritten != before.rewritten || now.leftWithApp.size() < before.leftWithApp.size())
        return false;
    // The alerts of an app being removed left at once, by their app: dropped from the list in
    // place, without reading the others again.
    if (now.leftWithApp.size() > before.leftWithApp.size()) {
        const QSet<QString> gone(now.leftWithApp.cbegin() + before.leftWithApp.size(), now.leftWithApp.cend());
        const auto leaving = [&gone](const RankAlert &alert) { return gone.contains(alert.appleAppId); };
        m_alerts.removeIf(leaving);
        m_model->removeAlerts(leaving);
    }
    // Edits made through the store, as they tell themselves; when it no longer keeps some of
    // them, every read flag tells.
    QHash<qint64, bool> flags;
    bool readFlags = now.flagged != before.flagged || now.removed != before.removed;
    if (now.edits != before.edits) {
        if (const auto edits = m_store->alertEditsSince(before.edits))
            followEdits(*edits, m_alerts, *m_model, flags);
        else
            readFlags = true;
    }
    // Another connection's commit, or only the log copied back into the file by the one that
    // does so: what was added and every read flag tell.
    const bool others = now.others != before.others;
    auto added = now.added != before.added || others ? m_store->alertsAfter(m_newestPk) : QList<RankAlert>();
    // Alerts carry the time they were made; one older than the newest listed would go between them.
    if (!added.isEmpty() && !m_alerts.isEmpty()) {
        const auto &oldest = added.constLast();
        const auto &newest = m_alerts.constFirst();
        if (oldest.createdAt < newest.createdAt || (oldest.createdAt == newest.createdAt && oldest.persistentId < newest.persistentId))
            return false;
    }
    bool removed = false;
    if (readFlags || others) {
        const auto read = m_store->alertReadFlags();
        flags.clear();
        flags.reserve(read.size());
        for (const auto &[id, isRead] : read)
            flags.insert(id, isRead);
        // Those no longer read were deleted, or their app was removed.
        removed = m_alerts.removeIf([&flags](const RankAlert &alert) { return !flags.contains(alert.persistentId); }) > 0;
        if (read.size() != added.size() + m_alerts.size())
            return false;
        for (auto &alert : m_alerts)
            alert.isRead = flags.value(alert.persistentId, alert.isRead);
    }
    for (const auto &alert : std::as_const(added))
        m_newestPk = std::max(m_newestPk, alert.persistentId);
    const auto shown = groupByDay(added, m_filters);
    if (!added.isEmpty()) {
        added.append(std::move(m_alerts));
        m_alerts = std::move(added);
    }
    fillAppChoices();
    // The unread filter drops what was marked read; a new day shifts the day rows.
    if (removed || (!flags.isEmpty() && m_filters.unreadOnly) || shown.size() > 1 || (!shown.isEmpty() && !m_model->addNewest(shown.first()))) {
        refreshList();
        return true;
    }
    if (!flags.isEmpty())
        m_model->setReadFlags(flags);
    updateStates();
    return true;
}

void AlertsView::fillAppChoices()
{
    const QSignalBlocker block(m_app);
    // Changed entry by entry, and only where they changed: an open list keeps the entry under the
    // pointer, and the picker is as wide as its items up to its cap, so a new width lays the window
    // out again.
    auto choices = appChoices(m_alerts);
    const bool changed = choices != m_choices;
    if (changed) {
        QSet<QString> ids;
        for (const auto &choice : std::as_const(choices))
            ids.insert(choice.id);
        for (int row = m_app->count() - 1; row > 0; --row) {
            if (!ids.contains(m_app->itemData(row).toString()))
                m_app->removeItem(row);
        }
        // Row 0 is "All apps"; the apps follow in the order of the choices.
        for (int row = 1; row <= choices.size(); ++row) {
            const auto &choice = choices.at(row - 1);
            if (row < m_app->count() && m_app->itemData(row).toString() == choice.id) {
                if (m_app->itemText(row) != choice.name)
                    m_app->setItemText(row, choice.name);
                continue;
            }
            // A renamed app may have moved.
            if (const int moved = m_app->findData(choice.id); moved > 0)
                m_app->removeItem(moved);
            m_app->insertItem(row, choice.name, choice.id);
        }
        m_choices = std::move(choices);
    }
    // An app whose alerts are all gone keeps its filter; the picker then shows no entry.
    const int current = m_filters.app ? m_app->findData(*m_filters.app) : 0;
    if (m_app->currentIndex() != current)
        m_app->setCurrentIndex(current);

    // An open list is not laid out again when its entries change: it would keep its old size,
    // scroll within it and stay where the picker was before it grew. Opening it again lays it out
    // as opening does, at the picker once the layout has given the picker its new width; as that
    // highlights the picker's entry, the highlighted one is put back.
    auto *list = m_app->view();
    if (changed && list->isVisible()) {
        if (layout())
            layout()->activate();
        const QPersistentModelIndex highlighted = list->currentIndex();
        m_app->showPopup();
        if (highlighted.isValid())
            list->setCurrentIndex(highlighted);
    }
}

void AlertsView::refreshList()
{
    std::optional<QUuid> selected;
    if (const auto current = alertAt(m_list->currentIndex()))
        selected = current->id;
    const int scroll = m_list->verticalScrollBar()->value();

    // In one pass over the alerts: with many, a list of the visible ones first took as long again.
    m_model->setDays(groupByDay(m_alerts, m_filters));
    // Day by day: expandAll() would hold every alert row as expanded too.
    for (int day = 0; day < m_model->rowCount(); ++day)
        m_list->setExpanded(m_model->index(day, 0), true);
    if (const auto index = selected ? m_model->indexOf(*selected) : QModelIndex(); index.isValid())
        m_list->setCurrentIndex(index);
    m_list->verticalScrollBar()->setValue(scroll);
    updateStates();
}

void AlertsView::updateStates()
{
    const bool listed = m_model->alertCount() > 0;
    if (m_alerts.isEmpty()) {
        m_empty->setContent(QStringLiteral("bell"), QStringLiteral("No alerts yet"),
                            QStringLiteral("Daily tracking compares each keyword's rank with its previous successful check "
                                           "and lists notable changes here."));
    } else {
        m_empty->setContent(QStringLiteral("line.3.horizontal.decrease.circle"), QStringLiteral("No matching alerts"),
                            QStringLiteral("Change the filters to see more."));
    }
    m_empty->setVisible(!listed);
    WriteGuard::setEnabled(m_markAllRead, m_model->hasUnread());
    WriteGuard::setEnabled(m_clear, listed);
}

void AlertsView::updateRunButtons()
{
    const bool running = m_tracker && m_tracker->isRunning();
    // Stop cancels only a run that Check Now started; a run of the daily loop shows its
    // progress in the status line and offers nothing to press.
    const bool manual = m_tracker && m_tracker->manualRunActive();
    m_stop->setVisible(manual);
    m_checkNow->setVisible(!manual);
    WriteGuard::setEnabled(m_checkNow, m_tracker && !running);
}

void AlertsView::showContextMenu(const QPoint &position)
{
    const auto alert = alertAt(m_list->indexAt(position));
    if (!alert)
        return;
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("alertMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const RankAlert chosen = *alert;
    WriteGuard::guard(menu->addAction(chosen.isRead ? QStringLiteral("Mark as Unread") : QStringLiteral("Mark as Read"),
                                      this, [this, chosen] { toggleRead(chosen); }),
                      m_store);
    WriteGuard::guard(menu->addAction(QStringLiteral("Delete"), this, [this, chosen] { deleteAlert(chosen); }), m_store);
    menu->popup(m_list->viewport()->mapToGlobal(position));
}

std::optional<RankAlert> AlertsView::alertAt(const QModelIndex &index) const
{
    if (const auto *alert = m_model->alertAt(index))
        return *alert;
    return std::nullopt;
}

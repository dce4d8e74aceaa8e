#pragma once

#include "model/TrackedApp.h"

#include <QList>
#include <QStandardItemModel>
#include <QString>

// The sidebar's entries: the section "Tools" with its two tools, then "My Apps" and
// "Competitors" with the apps oldest first; an app section without apps is left out.
class SidebarModel : public QStandardItemModel
{
    Q_OBJECT
public:
    enum Role {
        // The selection string of a tool or app row; absent on section rows.
        SelectionRole = Qt::UserRole + 1,
        KindRole,
        // Unread alerts on the "Alerts" row; 0 shows nothing.
        BadgeRole,
        // The second line of an app row: its developer, or empty.
        SubtitleRole,
        IconUrlRole,
    };
    enum class Kind { section, tool, app };

    explicit SidebarModel(QObject *parent = nullptr);

    // Brings the rows in line with the apps (oldest first) and the count of unread alerts.
    void setContent(const QList<TrackedApp> &apps, qint64 unreadAlerts);
    // Sets the alerts badge alone.
    void setUnreadAlerts(qint64 unreadAlerts);

    // The row for a selection string; invalid when none holds it.
    QModelIndex indexOf(const QString &selection) const;
    // The section titles in order, for whoever checks the layout.
    QStringList sectionTitles() const;

private:
    QStandardItem *section(const QString &title, int row);
    QStandardItem *m_alerts = nullptr;
};

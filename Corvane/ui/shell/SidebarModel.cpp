#include "ui/shell/SidebarModel.h"

#include "ui/cells/Glyphs.h"
#include "ui/shell/Tool.h"

SidebarModel::SidebarModel(QObject *parent) : QStandardItemModel(parent)
{
    setContent({}, 0);
}

QStandardItem *SidebarModel::section(const QString &title)
{
    auto *item = new QStandardItem(title);
    item->setData(QVariant::fromValue(int(Kind::section)), KindRole);
    item->setFlags(Qt::ItemIsEnabled);
    appendRow(item);
    return item;
}

void SidebarModel::setContent(const QList<TrackedApp> &apps, qint64 unreadAlerts)
{
    clear();
    auto *tools = section(QStringLiteral("Tools"));
    for (const auto tool : Tools::all()) {
        auto *item = new QStandardItem(Glyphs::icon(Tools::symbol(tool)), Tools::title(tool));
        item->setData(Tools::rawValue(tool), SelectionRole);
        item->setData(int(Kind::tool), KindRole);
        item->setData(qint64(0), BadgeRole);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        tools->appendRow(item);
        if (tool == Tool::alerts)
            m_alerts = item;
    }
    setUnreadAlerts(unreadAlerts);

    for (const bool own : {true, false}) {
        QStandardItem *appSection = nullptr;
        for (const auto &app : apps) {
            if (app.isOwn != own)
                continue;
            if (!appSection)
                appSection = section(own ? QStringLiteral("My Apps") : QStringLiteral("Competitors"));
            auto *item = new QStandardItem(app.name);
            item->setData(app.appleAppId, SelectionRole);
            item->setData(int(Kind::app), KindRole);
            item->setData(app.developerName.value_or(QString()), SubtitleRole);
            item->setData(app.iconURL.value_or(QUrl()), IconUrlRole);
            item->setToolTip(app.name);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            appSection->appendRow(item);
        }
    }
}

void SidebarModel::setUnreadAlerts(qint64 unreadAlerts)
{
    if (m_alerts && m_alerts->data(BadgeRole).toLongLong() != unreadAlerts)
        m_alerts->setData(unreadAlerts, BadgeRole);
}

QModelIndex SidebarModel::indexOf(const QString &selection) const
{
    for (int s = 0; s < rowCount(); ++s) {
        const auto *section = item(s);
        for (int r = 0; r < section->rowCount(); ++r) {
            if (section->child(r)->data(SelectionRole).toString() == selection)
                return section->child(r)->index();
        }
    }
    return {};
}

QStringList SidebarModel::sectionTitles() const
{
    QStringList titles;
    for (int s = 0; s < rowCount(); ++s)
        titles.append(item(s)->text());
    return titles;
}

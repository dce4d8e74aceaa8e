#include "ui/shell/SidebarModel.h"

#include "ui/cells/Glyphs.h"
#include "ui/cells/PlainText.h"
#include "ui/shell/Tool.h"

namespace {

const QString myApps = QStringLiteral("My Apps");
const QString competitors = QStringLiteral("Competitors");

// Sets a role only when it changes, so that an unchanged row is not redrawn.
void update(QStandardItem *item, const QVariant &value, int role)
{
    if (item->data(role) != value)
        item->setData(value, role);
}

void fill(QStandardItem *item, const TrackedApp &app)
{
    update(item, app.name, Qt::DisplayRole);
    update(item, PlainText::tooltip(app.name), Qt::ToolTipRole);
    update(item, app.appleAppId, SidebarModel::SelectionRole);
    update(item, app.developerName.value_or(QString()), SidebarModel::SubtitleRole);
    update(item, app.iconURL.value_or(QUrl()), SidebarModel::IconUrlRole);
}

}

SidebarModel::SidebarModel(QObject *parent) : QStandardItemModel(parent)
{
    auto *tools = section(QStringLiteral("Tools"), 0);
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
}

QStandardItem *SidebarModel::section(const QString &title, int row)
{
    auto *item = new QStandardItem(title);
    item->setData(QVariant::fromValue(int(Kind::section)), KindRole);
    // Titles are neither selected nor reached by the arrow keys, which skip disabled rows.
    item->setFlags(Qt::NoItemFlags);
    insertRow(row, item);
    return item;
}

void SidebarModel::setContent(const QList<TrackedApp> &apps, qint64 unreadAlerts)
{
    setUnreadAlerts(unreadAlerts);
    // Rows are updated where they stand rather than rebuilt, so that a view over the model
    // keeps its scroll position and selection while runs raise the data version.
    int row = 1;
    for (const bool own : {true, false}) {
        const auto &title = own ? myApps : competitors;
        QList<const TrackedApp *> wanted;
        for (const auto &app : apps) {
            if (app.isOwn == own)
                wanted.append(&app);
        }
        QStandardItem *appSection = row < rowCount() && item(row)->text() == title ? item(row) : nullptr;
        if (wanted.isEmpty()) {
            if (appSection)
                removeRow(row);
            continue;
        }
        if (!appSection)
            appSection = section(title, row);
        ++row;
        for (int i = 0; i < wanted.size(); ++i) {
            const auto &app = *wanted[i];
            int found = i;
            while (found < appSection->rowCount() && appSection->child(found)->data(SelectionRole).toString() != app.appleAppId)
                ++found;
            if (found < appSection->rowCount() && found > i) {
                appSection->removeRows(i, found - i);
            } else if (found == appSection->rowCount()) {
                auto *item = new QStandardItem;
                item->setData(int(Kind::app), KindRole);
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                appSection->insertRow(i, item);
            }
            fill(appSection->child(i), app);
        }
        if (appSection->rowCount() > wanted.size())
            appSection->removeRows(wanted.size(), appSection->rowCount() - wanted.size());
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

#include "ui/cells/WriteGuard.h"

#include "store/ASOStore.h"

#include <QAction>
#include <QMenu>

WriteGuard::WriteGuard(QObject *control, ASOStore *store)
    : QObject(control), m_control(control), m_store(store), m_enabled(control->property("enabled").toBool())
{
    setObjectName(QStringLiteral("writeGuard"));
    // An action without a tooltip of its own shows its text; reading it would make that text fixed.
    if (auto *action = qobject_cast<QAction *>(control)) {
        // A menu hides its items' tooltips unless told to show them.
        if (auto *menu = qobject_cast<QMenu *>(action->parent()))
            menu->setToolTipsVisible(true);
    } else {
        m_toolTip = control->property("toolTip").toString();
    }
    if (store) {
        connect(store, &ASOStore::writesHeldChanged, this, &WriteGuard::apply);
        // Damage found during the check keeps writes held, but changes the reason.
        connect(store, &ASOStore::databaseDamaged, this, &WriteGuard::apply);
    }
    apply();
}

void WriteGuard::guard(QObject *control, ASOStore *store)
{
    if (control && !of(control))
        new WriteGuard(control, store);
}

WriteGuard *WriteGuard::of(QObject *control)
{
    return control->findChild<WriteGuard *>(QStringLiteral("writeGuard"), Qt::FindDirectChildrenOnly);
}

void WriteGuard::setEnabled(QObject *control, bool enabled)
{
    if (auto *guard = of(control)) {
        guard->m_enabled = enabled;
        guard->apply();
    } else {
        control->setProperty("enabled", enabled);
    }
}

void WriteGuard::setToolTip(QObject *control, const QString &toolTip)
{
    if (auto *guard = of(control)) {
        guard->m_toolTip = toolTip;
        guard->apply();
    } else {
        control->setProperty("toolTip", toolTip);
    }
}

QString WriteGuard::reason(const ASOStore *store)
{
    if (!store || !store->writesHeld())
        return {};
    if (store->databaseDamage())
        return QStringLiteral("Changes cannot be saved: the local database is damaged.");
    return QStringLiteral("Changes cannot be saved until the local database has been checked.");
}

void WriteGuard::apply()
{
    const auto why = reason(m_store);
    m_control->setProperty("enabled", m_enabled && why.isEmpty());
    m_control->setProperty("toolTip", why.isEmpty() ? m_toolTip : why);
}

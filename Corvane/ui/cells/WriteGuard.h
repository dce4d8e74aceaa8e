#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class ASOStore;

// Keeps a control that writes to the database (a widget or an action) unavailable while the
// store refuses writes, during the check after an unclean end or once the file is damaged, with
// a tooltip that says why; nothing the user does then may look saved. The control's own
// enablement and tooltip come back when writes are accepted again, so its owner sets them
// through setEnabled() and setToolTip() here rather than on the control.
class WriteGuard : public QObject
{
    Q_OBJECT
public:
    // Guards the control for as long as it lives; a control is guarded once.
    static void guard(QObject *control, ASOStore *store);
    // The control's own state, in force while writes are accepted; plain setters for a control
    // without a guard.
    static void setEnabled(QObject *control, bool enabled);
    static void setToolTip(QObject *control, const QString &toolTip);

    // Why writes are refused now; empty while the store accepts them.
    static QString reason(const ASOStore *store);
    static bool allows(const ASOStore *store) { return reason(store).isEmpty(); }

private:
    WriteGuard(QObject *control, ASOStore *store);
    static WriteGuard *of(QObject *control);
    void apply();

    QObject *m_control;
    QPointer<ASOStore> m_store;
    bool m_enabled;
    QString m_toolTip;
};

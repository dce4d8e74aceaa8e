#pragma once

#include <QCoroTask>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class RankTracker;
class TrackingNotifying;
class TrackingStatusLine;

// The "Tracking" tab of the settings: the daily schedule and which apps it covers, the tracker's
// status with "Check Now" and "Stop", the alert rules and notifications, and opening at login.
class TrackingSettings : public QWidget
{
    Q_OBJECT
public:
    explicit TrackingSettings(RankTracker *tracker, QWidget *parent = nullptr);

    // "9:00 AM": today at that hour in local time (the next time that exists when the clock
    // skips it), in the locale's short time.
    static QString hourLabel(int hour);

    // Forgets the messages of failed changes, as closing the window does.
    void discardMessages();

protected:
    void showEvent(QShowEvent *event) override;

private:
    static QCoro::Task<> requestNotifications(QPointer<TrackingSettings> self, QPointer<TrackingNotifying> notifier,
                                              int sitting);

    void updateRunButtons();
    void updateEnablement();
    void notificationsToggled(bool on);
    void openAtLoginToggled(bool on);
    // Shows the login item as it is now.
    void syncOpenAtLogin();
    static void showMessage(QLabel *label, const std::optional<QString> &message);

    QPointer<RankTracker> m_tracker;
    QComboBox *m_hour;
    QSpinBox *m_threshold;
    QCheckBox *m_notifications;
    QLabel *m_notificationProblem;
    QCheckBox *m_openAtLogin;
    QLabel *m_loginProblem;
    QPushButton *m_checkNow;
    QPushButton *m_stop;
    // Counts the times the messages were discarded; an answer that comes in a later sitting of
    // the window shows nothing.
    int m_sitting = 0;
};

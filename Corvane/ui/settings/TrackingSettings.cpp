#include "ui/settings/TrackingSettings.h"

#include "store/Settings.h"
#include "store/TrackingScope.h"
#include "tracking/LoginItem.h"
#include "tracking/RankTracker.h"
#include "tracking/TrackingSchedule.h"
#include "ui/cells/Formatters.h"
#include "ui/cells/Style.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/WriteGuard.h"
#include "ui/settings/SettingControls.h"
#include "ui/settings/TrackingStatusLine.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QLabel *calloutLabel(const QString &text, Style::Tone tone, QWidget *parent)
{
    auto *label = PlainText::label(parent, text);
    label->setFont(Style::font(Style::TextSize::callout));
    Style::setTone(label, tone);
    label->setWordWrap(true);
    return label;
}

// A box of rows, each a widget across the box or a title beside its field, as a form lays them
// out. A grid rather than a QFormLayout: depending on the order in which layout requests
// arrive, that one could give a wrapping text the height it needs at the form's preferred width
// rather than at its real one, and squeeze the row below to its minimum, cutting the status and
// its failure note.
class Section
{
public:
    Section(QVBoxLayout *layout, QWidget *parent) : m_grid(new QGridLayout(new QGroupBox(parent)))
    {
        layout->addWidget(m_grid->parentWidget());
        m_grid->setColumnStretch(1, 1);
    }

    void addRow(QWidget *widget) { m_grid->addWidget(widget, m_rows++, 0, 1, 2); }

    void addRow(const QString &title, QWidget *field)
    {
        auto *label = new QLabel(title, m_grid->parentWidget());
        label->setBuddy(field);
        m_grid->addWidget(label, m_rows, 0);
        m_grid->addWidget(field, m_rows++, 1);
    }

private:
    QGridLayout *m_grid;
    int m_rows = 0;
};

bool loginItemRegistered()
{
    return LoginItem::status() == LoginItem::Status::enabled;
}

}

TrackingSettings::TrackingSettings(RankTracker *tracker, QWidget *parent)
    : QWidget(parent), m_tracker(tracker), m_hour(new QComboBox(this)), m_notificationProblem(nullptr),
      m_openAtLogin(new QCheckBox(QStringLiteral("Open Vantu at login"), this)), m_loginProblem(nullptr),
      m_checkNow(new QPushButton(QStringLiteral("Check Now"), this)), m_stop(new QPushButton(QStringLiteral("Stop"), this))
{
    setObjectName(QStringLiteral("trackingSettings"));
    auto *layout = new QVBoxLayout(this);

    Section schedule(layout, this);
    schedule.addRow(SettingControls::toggle(SettingsKey::trackingEnabled, QStringLiteral("Track rankings daily"), this));
    for (int hour = 0; hour < 24; ++hour)
        m_hour->addItem(hourLabel(hour), hour);
    SettingControls::bindPicker(m_hour, SettingsKey::trackingHour, [] { return QVariant(int(Settings::shared().trackingHour())); });
    schedule.addRow(QStringLiteral("Run after"), m_hour);
    auto *scope = new QComboBox(this);
    scope->addItem(QStringLiteral("My apps only"), TrackingScopes::rawValue(TrackingScope::own));
    scope->addItem(QStringLiteral("My apps and competitors"), TrackingScopes::rawValue(TrackingScope::all));
    SettingControls::bindPicker(scope, SettingsKey::trackingScope,
                                [] { return QVariant(TrackingScopes::rawValue(Settings::shared().trackingScope())); });
    schedule.addRow(QStringLiteral("Apps"), scope);
    schedule.addRow(calloutLabel(QStringLiteral("While Vantu is open, each app's tracked keywords are searched again once a "
                                                "day in every storefront it is tracked in, at the pace set under Search."),
                                 Style::Tone::secondary, this));
    // A widget of its own, not a layout nested in the section: a note that appears or changes in
    // the status line then lays the section out again, rather than keeping the height it had.
    auto *status = new QWidget(this);
    auto *statusRow = new QHBoxLayout(status);
    statusRow->setContentsMargins(0, 0, 0, 0);
    // The note under the status wraps at the room left beside the buttons.
    statusRow->addWidget(new TrackingStatusLine(tracker, status), 1, Qt::AlignVCenter);
    m_checkNow->setObjectName(QStringLiteral("checkNow"));
    m_stop->setObjectName(QStringLiteral("stop"));
    // A run saves what it reads; none is started while the database refuses that.
    WriteGuard::guard(m_checkNow, m_tracker ? m_tracker->store() : nullptr);
    statusRow->addWidget(m_checkNow, 0, Qt::AlignVCenter);
    statusRow->addWidget(m_stop, 0, Qt::AlignVCenter);
    schedule.addRow(status);

    Section alerts(layout, this);
    alerts.addRow(SettingControls::toggle(SettingsKey::alertsEnabled, QStringLiteral("Create alerts for ranking changes"), this));
    m_threshold = SettingControls::stepper(SettingsKey::alertMoveThreshold, 1, 50, 1,
                                           QStringLiteral("Alert when a keyword moves "), QStringLiteral("+ places"), {}, this);
    alerts.addRow(m_threshold);
    m_notifications = SettingControls::toggle(SettingsKey::notificationsEnabled, QStringLiteral("Notify me after each daily run"), this);
    alerts.addRow(m_notifications);
    m_notificationProblem = calloutLabel({}, Style::Tone::orange, this);
    m_notificationProblem->setObjectName(QStringLiteral("notificationProblem"));
    alerts.addRow(m_notificationProblem);

    Section login(layout, this);
    m_openAtLogin->setObjectName(QStringLiteral("openAtLogin"));
    m_openAtLogin->setChecked(loginItemRegistered());
    login.addRow(m_openAtLogin);
    // Autostart entries need nobody's approval, so there is never a Login Items pane to open.
    m_loginProblem = calloutLabel({}, Style::Tone::orange, this);
    m_loginProblem->setObjectName(QStringLiteral("loginProblem"));
    login.addRow(m_loginProblem);
    layout->addStretch();
    discardMessages();

    connect(m_notifications, &QCheckBox::toggled, this, &TrackingSettings::notificationsToggled);
    connect(m_openAtLogin, &QCheckBox::toggled, this, &TrackingSettings::openAtLoginToggled);
    connect(m_checkNow, &QPushButton::clicked, this, [this] {
        if (m_tracker)
            m_tracker->startManualRun();
    });
    connect(m_stop, &QPushButton::clicked, this, [this] {
        if (m_tracker)
            m_tracker->stopManualRun();
    });
    if (m_tracker) {
        connect(m_tracker, &RankTracker::isRunningChanged, this, &TrackingSettings::updateRunButtons);
        connect(m_tracker, &RankTracker::manualRunActiveChanged, this, &TrackingSettings::updateRunButtons);
    }
    connect(&Settings::shared(), &Settings::changed, this, [this](const QString &key) {
        if (key == SettingsKey::trackingEnabled || key == SettingsKey::alertsEnabled)
            updateEnablement();
    });
    updateRunButtons();
    updateEnablement();
}

QString TrackingSettings::hourLabel(int hour)
{
    const auto time = TrackingSchedule::dateAt(QDate::currentDate(), QTime(hour, 0));
    if (!time.isValid())
        return QString::number(hour) + QStringLiteral(":00");
    return Formatters::shortTime(time.toLocalTime().time());
}

void TrackingSettings::discardMessages()
{
    ++m_sitting;
    showMessage(m_notificationProblem, std::nullopt);
    showMessage(m_loginProblem, std::nullopt);
}

void TrackingSettings::showEvent(QShowEvent *event)
{
    syncOpenAtLogin();
    QWidget::showEvent(event);
}

void TrackingSettings::showMessage(QLabel *label, const std::optional<QString> &message)
{
    label->setText(message.value_or(QString()));
    label->setVisible(message.has_value());
}

void TrackingSettings::updateRunButtons()
{
    const bool running = m_tracker && m_tracker->isRunning();
    // Stop cancels only a run that Check Now started; the loop's own run shows its progress
    // in the status line and offers nothing to press.
    const bool manual = m_tracker && m_tracker->manualRunActive();
    m_stop->setVisible(manual);
    m_checkNow->setVisible(!manual);
    WriteGuard::setEnabled(m_checkNow, m_tracker && !running);
}

void TrackingSettings::updateEnablement()
{
    const auto &settings = Settings::shared();
    m_hour->setEnabled(settings.trackingEnabled());
    // Disabled, not cleared: the stored values wait for alerts to come back on.
    m_threshold->setEnabled(settings.alertsEnabled());
    m_notifications->setEnabled(settings.alertsEnabled());
}

void TrackingSettings::notificationsToggled(bool on)
{
    showMessage(m_notificationProblem, std::nullopt);
    if (on)
        requestNotifications(QPointer<TrackingSettings>(this), m_tracker ? m_tracker->notifier() : nullptr, m_sitting);
}

QCoro::Task<> TrackingSettings::requestNotifications(QPointer<TrackingSettings> self, QPointer<TrackingNotifying> notifier,
                                                     int sitting)
{
    bool granted = false;
    try {
        if (notifier)
            granted = co_await notifier->requestAuthorization();
    } catch (...) {
        // A request that failed is a refusal.
    }
    if (granted)
        co_return;
    // The toggle turns off without taking the "turned off" path, which would clear the message.
    if (self) {
        const QSignalBlocker blocker(self->m_notifications);
        self->m_notifications->setChecked(false);
    }
    // Stored even when the window went away meanwhile: the setting must not promise notifications.
    Settings::shared().setValue(SettingsKey::notificationsEnabled, false);
    // Closing the window discarded its messages, this late one too.
    if (self && self->m_sitting == sitting) {
        showMessage(self->m_notificationProblem,
                    QStringLiteral("Notifications are off for Vantu. Allow them in your desktop's notification settings."));
    }
}

void TrackingSettings::openAtLoginToggled(bool on)
{
    // Already so, e.g. when the entry was made outside the application.
    if (on == loginItemRegistered())
        return;
    showMessage(m_loginProblem, setOpenAtLogin(on));
    syncOpenAtLogin();
}

void TrackingSettings::syncOpenAtLogin()
{
    const QSignalBlocker blocker(m_openAtLogin);
    m_openAtLogin->setChecked(loginItemRegistered());
}

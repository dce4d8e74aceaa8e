#pragma once

#include "tracking/TrackingNotifying.h"

// The notifier of test mode: never allowed, never shows anything.
class SilentNotifier : public TrackingNotifying
{
    Q_OBJECT

public:
    using TrackingNotifying::TrackingNotifying;

    QCoro::Task<bool> requestAuthorization() override;
    QCoro::Task<> notify(QString title, QString body) override;
};

#pragma once

#include <QObject>
#include <QString>

#include <QCoroTask>

// Posts the notification that ends a tracking run. One notifier is made at start-up and shared
// by the tracker and the tracking settings for the life of the application.
class TrackingNotifying : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Whether notifications may be shown; false when refused or when asking failed. Never throws.
    virtual QCoro::Task<bool> requestAuthorization() = 0;

    // Shows one notification when allowed; anything that goes wrong is dropped. Never throws.
    virtual QCoro::Task<> notify(QString title, QString body) = 0;
};

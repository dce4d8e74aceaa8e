#include "tracking/SilentNotifier.h"

QCoro::Task<bool> SilentNotifier::requestAuthorization()
{
    co_return false;
}

QCoro::Task<> SilentNotifier::notify(QString, QString)
{
    co_return;
}

#include "tracking/CheckForUpdatesViewModel.h"

#include "tracking/Updater.h"

CheckForUpdatesViewModel::CheckForUpdatesViewModel(Updater *updater, QObject *parent) : QObject(parent)
{
    if (!updater)
        return;
    setCanCheckForUpdates(updater->canCheckForUpdates());
    connect(updater, &Updater::canCheckForUpdatesChanged, this, &CheckForUpdatesViewModel::setCanCheckForUpdates);
}

void CheckForUpdatesViewModel::setCanCheckForUpdates(bool value)
{
    if (m_canCheckForUpdates == value)
        return;
    m_canCheckForUpdates = value;
    Q_EMIT canCheckForUpdatesChanged(value);
}

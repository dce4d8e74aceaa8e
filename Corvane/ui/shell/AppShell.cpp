#include "ui/shell/AppShell.h"

#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "store/Settings.h"
#include "tracking/AppcastUpdater.h"
#include "tracking/DesktopNotifier.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/shell/MainWindow.h"

#include <QCoreApplication>

void AppShell::describeApplication()
{
    // No organisation: the data folder is then ~/.local/share/Vantu. The settings name both
    // themselves.
    QCoreApplication::setApplicationName(QStringLiteral("Vantu"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTU_VERSION));
}

AppShell::AppShell(bool testMode, QObject *parent) : QObject(parent), m_testMode(testMode)
{
    // First: the store reads the request rate as it is built.
    registerDefaultSettings();
    auto db = testMode ? StoreDb::openInMemory() : StoreDb::openFile(StoreDb::defaultFilePath());
    m_store = std::make_unique<ASOStore>(std::move(db));
    if (testMode)
        m_notifier = std::make_unique<SilentNotifier>();
    else
        m_notifier = std::make_unique<DesktopNotifier>();
    auto updater = std::make_unique<AppcastUpdater>();
    if (!testMode)
        updater->start();
    m_updater = std::move(updater);
    m_tracker = std::make_unique<RankTracker>(m_store.get(), m_notifier.get());
    if (!testMode)
        m_tracker->start();
    m_mainWindow = std::make_unique<MainWindow>(m_store.get(), m_tracker.get(), m_updater.get());
}

AppShell::~AppShell() = default;

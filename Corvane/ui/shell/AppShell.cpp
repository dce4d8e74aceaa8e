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
#include <QDeadlineTimer>
#include <QLabel>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>

#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler's end of the pair; the event loop reads the other.
int signalSocket = -1;

void noteTerminationSignal(int)
{
    // Only async-signal-safe calls here: one byte to wake the event loop.
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalSocket, &byte, 1);
    errno = savedErrno;
}

}

void AppShell::quitOnTerminationSignals()
{
    int sockets[2];
    if (signalSocket >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sockets) != 0)
        return;
    signalSocket = sockets[0];
    auto *notifier = new QSocketNotifier(sockets[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [fd = sockets[1]] {
        char bytes[16];
        while (::read(fd, bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = noteTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

void AppShell::describeApplication()
{
    // No organisation: the data folder is then ~/.local/share/Vantu. The settings name both
    // themselves.
    QCoreApplication::setApplicationName(QStringLiteral("Vantu"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTU_VERSION));
}

AppShell::AppShell(bool testMode, QObject *parent)
    : AppShell(testMode, testMode ? StoreDb::openInMemory() : StoreDb::openFile(StoreDb::defaultFilePath()), {},
               parent)
{
}

AppShell::AppShell(bool testMode, std::unique_ptr<StoreDb> db, std::shared_ptr<AppSearching> itunes, QObject *parent)
    : QObject(parent), m_testMode(testMode)
{
    // First: the store reads the request rate as it is built.
    registerDefaultSettings();
    m_store = std::make_unique<ASOStore>(std::move(db), std::move(itunes));
    if (testMode)
        m_notifier = std::make_unique<SilentNotifier>();
    else
        m_notifier = std::make_unique<DesktopNotifier>();
    auto updater = std::make_unique<AppcastUpdater>();
    if (!testMode)
        updater->start();
    m_updater = std::move(updater);
    m_tracker = std::make_unique<RankTracker>(m_store.get(), m_notifier.get());
    if (!testMode) {
        // A run would save nothing while the database is checked.
        if (m_store->db().writesHeld())
            connect(&m_store->db(), &StoreDb::writesReleased, m_tracker.get(), &RankTracker::start);
        else
            m_tracker->start();
    }
    m_mainWindow = std::make_unique<MainWindow>(m_store.get(), m_tracker.get(), m_updater.get());
    followDatabaseState();
}

void AppShell::followDatabaseState()
{
    // From the state as it is now, not only from signals: building the window reads the
    // database, and damage met there was told before anyone here listened.
    const auto show = [this] {
        auto *line = databaseCheckLine();
        if (!m_store->writesHeld()) {
            if (line)
                m_mainWindow->setStatusBar(nullptr); // removes the line with the bar
            return;
        }
        if (!line) {
            line = new QLabel;
            line->setObjectName(QStringLiteral("databaseCheck"));
            m_mainWindow->statusBar()->addWidget(line, 1);
        }
        line->setText(m_store->databaseDamage()
                          ? QStringLiteral("The local database is damaged. Changes are not saved.")
                          : QStringLiteral("Checking the local database, as Vantu did not quit properly last time. "
                                           "Changes cannot be saved until the check is done."));
    };
    show();
    connect(m_store.get(), &ASOStore::writesHeldChanged, m_mainWindow.get(), show);
    // Damage found during the check keeps writes held, but changes what the line says.
    connect(m_store.get(), &ASOStore::databaseDamaged, m_mainWindow.get(), show);
}

QLabel *AppShell::databaseCheckLine() const
{
    return m_mainWindow->findChild<QLabel *>(QStringLiteral("databaseCheck"));
}

AppShell::~AppShell()
{
    endWork();
}

void AppShell::endWork()
{
    // The tracker first, so that its run stops instead of meeting its search's cancellation.
    m_tracker->shutDown();
    m_store->shutDown();
    // By now the application's event loop has returned, and what was cancelled ends on later
    // turns of it. User input stays queued: nothing new may start.
    const QDeadlineTimer deadline(quitGrace);
    // Wakes the wait below now and then, so that it notices the deadline.
    QTimer wake;
    wake.start(std::chrono::milliseconds(100));
    while (!(m_tracker->isIdle() && m_store->isIdle()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
}

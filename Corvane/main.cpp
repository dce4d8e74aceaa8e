#include "model/StoreDb.h"
#include "ui/shell/AppShell.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SingleInstance.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    AppShell::describeApplication();
    // A logout or a kill quits as the menu's Quit does: the store is closed and its marker removed.
    AppShell::quitOnTerminationSignals();
    const bool testMode = StoreDb::isTestMode();

    // Two processes on one database would each save over the other's work; a second start
    // brings the first to the front instead. Test mode keeps its database in memory.
    std::unique_ptr<SingleInstance> instance;
    if (!testMode) {
        instance = std::make_unique<SingleInstance>(QFileInfo(StoreDb::defaultFilePath()).absolutePath());
        if (!instance->acquire()) {
            std::fprintf(stderr, "Vantu is already running.\n");
            return EXIT_SUCCESS;
        }
    }

    std::unique_ptr<AppShell> shell;
    try {
        shell = std::make_unique<AppShell>(testMode);
    } catch (const StoreDb::OpenError &error) {
        // Without its database the application cannot run; no window is shown.
        std::fprintf(stderr, "%s\n", qPrintable(error.startupMessage()));
        return EXIT_FAILURE;
    }
    auto *window = shell->mainWindow();
    if (instance) {
        QObject::connect(instance.get(), &SingleInstance::activationRequested, window, [window] {
            window->showNormal();
            window->raise();
            window->activateWindow();
        });
    }
    window->show();
    return application.exec();
}

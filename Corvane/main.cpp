#include "model/StoreDb.h"
#include "ui/shell/AppShell.h"
#include "ui/shell/MainWindow.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    AppShell::describeApplication();

    std::unique_ptr<AppShell> shell;
    try {
        shell = std::make_unique<AppShell>(StoreDb::isTestMode());
    } catch (const StoreDb::OpenError &error) {
        // Without its database the application cannot run; no window is shown.
        std::fprintf(stderr, "%s\n", qPrintable(error.startupMessage()));
        return EXIT_FAILURE;
    }
    shell->mainWindow()->show();
    return application.exec();
}

#include "app/ClientComposition.h"
#include "app/Startup.h"
#include "ui/mainwindow/MainWindow.h"

int main(int argc, char *argv[])
{
    StartupOptions options = StartupOptions::fromEnvironment();
    options.createWindow = [] { return createMainWindow(); };
    options.readStoredOptions = [] { (void)MainWindow::storedWindowSize(); };
    options.startWindowPreparation = [] { MainWindow::startPreparingFirstPage(); };
    return runClient(argc, argv, options);
}

#include "app/Startup.h"
#include "ui/mainwindow/MainWindow.h"

int main(int argc, char *argv[])
{
    StartupOptions options = StartupOptions::fromEnvironment();
    options.createWindow = [] { return std::make_unique<MainWindow>(); };
    return runClient(argc, argv, options);
}

#include "ui/mainwindow/MainWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorlix"));
    QApplication::setApplicationName(QStringLiteral("Quorlix"));
    MainWindow window;
    window.show();
    return app.exec();
}

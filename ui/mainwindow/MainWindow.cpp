#include "ui/mainwindow/MainWindow.h"

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent)
{
    setWindowFlag(Qt::FramelessWindowHint, true);
    setWindowTitle(QStringLiteral("Quorlix v2.0.0"));
    setFixedSize(1440, 810);
}

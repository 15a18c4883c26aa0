// The busy overlay over the whole window.
#include "ui/mainwindow/MainWindow.h"

#include "ui/widgets/ProxyStatusOverlay.h"

void MainWindow::buildBusyOverlay(MainWindowBuildContext &)
{
    m_busyOverlay = new ProxyStatusOverlay(this);
    m_busyOverlay->setGeometry(rect());
    m_busyOverlay->hide();
}

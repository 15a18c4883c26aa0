// The route settings panel: the window builds it after the route area, with
// the routing diagram its counters lay out, and opens and closes it.
#include "ui/mainwindow/MainWindow.h"

#include "ui/mainwindow/WindowRules.h"

#include "ui/pages/connection/ConnectionPanels.h"
#include "ui/pages/connection/RouteArea.h"
#include "ui/pages/connection/RouteSettings.h"

void MainWindow::buildRouteSettings()
{
    m_routeSettings = new RouteSettings(m_connectionPanels->right(), m_rootFrame, size(),
                                        m_routeArea->diagramState(), this);
    m_sections.add(WindowRules::Section::RouteSettingsPanel, m_routeSettings->panel());
}

void MainWindow::toggleRouteSettings()
{
    buildPages();
    m_routeSettings->toggleRouteSettings();
}

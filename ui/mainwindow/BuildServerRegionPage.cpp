// The server region page with its picker: how the window builds and wires
// them after the connection page, and the window's named operations for
// them, each forwarding to the picker or the page.
#include "ui/mainwindow/MainWindow.h"

#include "connection/SweepResults.h"
#include "ui/pages/connection/ConnectDisplay.h"

#include "services/ServerSync.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/servers/CountryFlags.h"
#include "ui/pages/servers/ServerPicker.h"
#include "ui/pages/servers/ServerRegionPage.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

void MainWindow::buildServerRegionPage()
{
    m_serverRegion = new ServerRegionPage(m_rootFrame, width(), this);
    m_sections.add(WindowRules::Section::ServerRegionBack, m_serverRegion->backButton());
    m_sections.add(WindowRules::Section::ServerRegionPageTitle, m_serverRegion->title());
    m_sections.add(WindowRules::Section::ServerRegionLeftPanel, m_serverRegion->leftPanel());
    m_sections.add(WindowRules::Section::ServerRegionRightPanel, m_serverRegion->rightPanel());

    ServerPicker::Sources sources = ServerPicker::Sources::defaults();
    if (m_services.flags) {
        const QPointer<CountryFlags> flags(m_services.flags);
        sources.loadFlag = [flags](QLabel *label, const QString &countryCode, const QString &flagUrl) {
            if (flags)
                flags->loadCountryFlag(label, countryCode, flagUrl);
        };
    }
    m_serverPicker = new ServerPicker(m_serverRegion->pickerWidgets(), std::move(sources), this);
    connect(m_serverPicker, &ServerPicker::relayPicked, this, &MainWindow::onRelayPicked);
    if (m_services.sweepResults)
        connect(m_services.sweepResults, &SweepResults::pingsMeasured, m_serverPicker,
                &ServerPicker::showSweepPings);
    connect(m_serverRegion, &ServerRegionPage::backClicked, this, [this] { showServerRegionPage(false); });
}

void MainWindow::onRelayPicked(const QString &cardText, const QString &countryCode, const QString &flagUrl)
{
    buildPages();
    m_connectDisplay->showRelay(ConnectDisplay::RelayFrom::Picker,
                                {cardText, QStringLiteral("Manual"), countryCode, flagUrl, true});
    m_serverRegion->backButton()->click();
}

void MainWindow::showServerRegionPage(bool open)
{
    buildPages();
    for (WindowRules::Section section :
         {WindowRules::Section::QuorlixConnLeft, WindowRules::Section::QuorlixConnRightScroll,
          WindowRules::Section::QuorlixConnRight, WindowRules::Section::QuorlixConnHeader}) {
        if (QWidget *w = m_sections.widget(section))
            w->setVisible(!open);
    }
    m_serverRegion->setShown(open);
    m_sections.placeForLanguage(currentLanguageIsPersian());
}

void MainWindow::leaveServerSearch()
{
    buildPages();
    m_serverPicker->leaveServerSearch();
}

void MainWindow::applyServerModeStyle(bool manual)
{
    buildPages();
    m_serverPicker->applyServerModeStyle(manual);
}

void MainWindow::showRegionHeader(bool manual)
{
    buildPages();
    m_serverPicker->showRegionHeader(manual);
}

void MainWindow::reloadServerPicker()
{
    buildPages();
    m_serverPicker->reloadServerPicker();
}

void MainWindow::onRegionButtonClicked(QPushButton *row)
{
    buildPages();
    m_serverPicker->onRegionButtonClicked(row);
}

void MainWindow::showRegionServers(const QString &region)
{
    buildPages();
    m_serverPicker->showRegionServers(region);
}

void MainWindow::searchServers()
{
    buildPages();
    m_serverPicker->searchServers();
}

void MainWindow::showServerSearchResults(const QList<QVariantMap> &servers, const QString &title)
{
    buildPages();
    m_serverPicker->showServerSearchResults(servers, title);
}

void MainWindow::scrollServerList()
{
    buildPages();
    m_serverPicker->scrollServerList();
}

void MainWindow::requestPickerServers()
{
    if (!m_services.serverSync)
        return;
    // A picker built after the reply reads the stored list itself.
    const QPointer<MainWindow> self(this);
    m_services.serverSync->requestPickerServers([self] {
        if (self && self->m_serverPicker)
            self->m_serverPicker->reloadServerPicker();
    });
}

QHash<QString, int> MainWindow::loadServerPings()
{
    return RelayChoice::loadServerPings(RelayChoice::serverPingsPath());
}

bool MainWindow::lessByPing(const QPair<QVariantMap, int> &a, const QPair<QVariantMap, int> &b)
{
    return RelayChoice::lessByPing(a, b);
}

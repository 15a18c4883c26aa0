// The ping sweep's window side: the sweep page over the whole window, the two
// handlers that keep a finished sweep in the route cache (the hidden one and
// the shown one, which also shows its result), the automatic relay on the
// relay card, and the relays' country flags.
#include "ui/mainwindow/MainWindow.h"

#include "connection/SweepResults.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/connection/ConnectDisplay.h"
#include "ui/pages/connection/PingOptimizerPage.h"
#include "ui/pages/servers/CountryFlags.h"

PingOptimizerPage *MainWindow::pingSweepPage()
{
    if (!m_pingSweepPage) {
        m_pingSweepPage = new PingOptimizerPage(this, m_services.pingSweep);
        m_pingSweepPage->setGeometry(rect());
        m_pingSweepPage->hide();
    }
    return m_pingSweepPage;
}

void MainWindow::applyServerPings(QWidget *window, const QString &title, const QString &logo,
                                  const QString &region)
{
    Q_UNUSED(window);
    if (m_pingSweepPage)
        m_pingSweepPage->hide();
    updateConnectionGameHeader(title, logo);
    navigateToPage(WindowRules::NavNetwork);

    if (m_services.sweepResults)
        m_services.sweepResults->takeShownSweep(title, region, relayInUse());
}

void MainWindow::onBackgroundPingSweepFinished(QWidget *window, const QString &title, const QString &region)
{
    Q_UNUSED(window);
    if (m_pingSweepPage) {
        // Another hidden sweep may start from now on.
        m_pingSweepPage->setProperty("qxBgPingSweep", false);
        m_pingSweepPage->hide();
    }
    // Nothing is shown: the page keeps what it showed from the older entry.
    if (m_services.sweepResults)
        m_services.sweepResults->takeHiddenSweep(title, region);
}

QVariantMap MainWindow::showSelectedRegion(QWidget *window, const QHash<QString, int> &pings)
{
    Q_UNUSED(window);
    return m_services.sweepResults ? m_services.sweepResults->chooseAutomatic(pings, relayInUse())
                                   : QVariantMap();
}

// The page of the game being connected keeps the relay in use: neither its
// card nor the stored selection takes another choice meanwhile.
bool MainWindow::relayInUse() const
{
    return m_connectDisplay && m_connectDisplay->showsRunningConnection();
}

void MainWindow::loadCountryFlag(QLabel *label, const QString &countryCode, const QString &flagUrl)
{
    if (m_services.flags)
        m_services.flags->loadCountryFlag(label, countryCode, flagUrl);
}

void MainWindow::onFlagImageReply(QNetworkReply *reply, const QPointer<QLabel> &label,
                                  const QString &countryCode)
{
    if (m_services.flags)
        m_services.flags->onFlagImageReply(reply, label, countryCode);
}

// The home page's lowest rows and the hardware card's contents: the metrics
// strip and the three help cards below the dashboard's lower row, then the
// gauges, lines and memory badges inside "DashboardLowerRight" with their
// refresh timer.
#include "services/ServiceClient.h"
#include "services/ServiceConfig.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/home/HardwareCard.h"
#include "ui/pages/home/HeroCard.h"
#include "ui/pages/home/HomeDashboard.h"
#include "ui/pages/home/HomeMetrics.h"
#include "ui/pages/home/LastSessionCard.h"

void MainWindow::buildMetricsAndHardware()
{
    const ServiceConfig config =
        m_services.serviceClient ? m_services.serviceClient->config() : ServiceConfig::instance();

    HomeMetrics::Setup metrics;
    // The strip lies 402 px below the dashboard's lower row.
    metrics.y = m_home->lastSession()->card()->y() + 402;
    metrics.persianFontFamily = persianFontFamily();
    metrics.openUrl = m_services.openUrl;
    metrics.supportLink = config.siteUrl(QStringLiteral("/clientarea.php?tab=tickets"));
    metrics.discordLink = config.communityInvite();
    metrics.upperContainers = {m_home->connectionSection(), m_home->hero()->card(),
                               m_home->lastSession()->card(), m_home->lowerRight()};
    m_metrics = new HomeMetrics(m_rootFrame, metrics, this);
    m_sections.add(WindowRules::Section::BottomBreakerSection, m_metrics->strip());
    m_sections.add(WindowRules::Section::HelpCardTutorials, m_metrics->card(HomeMetrics::Tutorials));
    m_sections.add(WindowRules::Section::HelpCardSupport, m_metrics->card(HomeMetrics::Support));
    m_sections.add(WindowRules::Section::HelpCardDiscord, m_metrics->card(HomeMetrics::Discord));
    // Joins after the dashboard, so its places are the ones that hold.
    addLanguageArea(m_metrics, false);

    // Null reader: the process-wide one, which tests replace with a fake.
    m_hardware = new HardwareCard(m_home->lowerRight(), persianFontFamily(), nullptr,
                                  m_intervals.hardwareRefreshMs, this);
    addLanguageArea(m_hardware, false);

    // The hero card's picture and link, last.
    m_home->hero()->addPictureAndLink();
    m_sections.add(WindowRules::Section::ConnectionsHero, m_home->hero()->picture());
    retranslateConnectionsHero(currentLanguage());
}

void MainWindow::refreshHardwareCard()
{
    buildPages();
    m_hardware->refreshHardwareCard();
}

void MainWindow::layoutHomeMetrics(const QString &languageCode)
{
    buildPages();
    m_metrics->layoutHomeMetrics(languageCode);
}

void MainWindow::retranslateHomeCards(const QString &languageCode)
{
    buildPages();
    m_metrics->retranslateHomeCards(languageCode);
}

void MainWindow::openHelpCardLink(const QUrl &link)
{
    buildPages();
    m_metrics->openHelpCardLink(link);
}

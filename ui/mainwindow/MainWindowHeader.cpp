// The header's promotion pill and game search: the areas, their wiring to
// the promotion service, and the window's names for their operations.
#include "ui/mainwindow/MainWindow.h"

#include "services/PromoService.h"
#include "services/ServiceClient.h"
#include "services/UsageEvents.h"
#include "ui/mainwindow/AuthPageView.h"
#include "ui/mainwindow/HeaderSearch.h"
#include "ui/mainwindow/PromoPill.h"
#include "ui/mainwindow/WindowRules.h"

#include <QJsonObject>
#include <QTimer>

void MainWindow::wireHeaderSearchAndPromo()
{
    connect(m_headerSearch, &HeaderSearch::gameOpened, this,
            qOverload<const QString &, const QString &>(&MainWindow::handleOpenConnectionsForGame));
    PromoService *promo = m_services.promo;
    if (!promo)
        return;
    connect(promo, &PromoService::labelChanged, m_promoPill, &PromoPill::setLabelText);
    connect(promo, &PromoService::badgeChanged, m_promoPill, &PromoPill::setBadge);
    connect(promo, &PromoService::pillVisibleChanged, m_promoPill, &PromoPill::setHeaderPromoSpacing);
    connect(promo, &PromoService::signInNeeded, this, &MainWindow::showSignInPage);
    connect(m_promoPill, &PromoPill::clicked, promo, &PromoService::openPromoLink);
    // A sign-out asks again: the pill goes back to "Sign Up Now", hidden.
    connect(this, &MainWindow::promotionRefreshNeeded, promo, &PromoService::evaluatePromo);
    if (m_services.usage)
        connect(m_services.usage, &UsageEvents::promotionRefreshDue, promo, &PromoService::evaluatePromo);
    // The first look once the event loop runs; until then the row keeps its gaps.
    QTimer::singleShot(0, m_promoPill, [this] { evaluatePromo(); });
}

void MainWindow::evaluatePromo()
{
    if (m_services.promo)
        m_services.promo->evaluatePromo();
}

void MainWindow::onPromoEvaluateReply(const ServiceApi::Reply &reply)
{
    if (m_services.promo)
        m_services.promo->onPromoEvaluateReply(reply);
}

void MainWindow::openPromoLink()
{
    if (m_services.promo)
        m_services.promo->openPromoLink();
}

void MainWindow::onPromoLinkReply(const ServiceApi::Reply &reply)
{
    if (m_services.promo)
        m_services.promo->onPromoLinkReply(reply);
}

void MainWindow::setHeaderPromoSpacing(bool on)
{
    m_promoPill->setHeaderPromoSpacing(on);
}

void MainWindow::onHeaderSearchTextChanged(const QString &text)
{
    m_headerSearch->onTextChanged(text);
}

void MainWindow::runHeaderSearch()
{
    m_headerSearch->runSearch();
}

void MainWindow::fillHeaderSearchResults(const QString &query)
{
    m_headerSearch->fillResults(query);
}

QString MainWindow::gameLogoUrl(const QJsonObject &game) const
{
    return HeaderSearch::gameLogoUrl(game, m_services.serviceClient ? m_services.serviceClient->config()
                                                                    : ServiceConfig::instance());
}

void MainWindow::openCurrentHeaderSearchResult()
{
    m_headerSearch->openCurrentResult();
}

void MainWindow::clearHeaderSearchText()
{
    m_headerSearch->clearText();
}

void MainWindow::focusHeaderSearch()
{
    m_headerSearch->focusEdit();
}

void MainWindow::closeHeaderSearchPopup()
{
    m_headerSearch->closePopup();
}

void MainWindow::layoutHeaderSearchForLanguage(const QString &languageCode)
{
    m_headerSearch->place(WindowRules::isPersian(languageCode));
}

void MainWindow::showSignInPage()
{
    if (m_authPageView)
        m_authPageView->showPage();
}

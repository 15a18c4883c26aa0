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

void MainWindow::wirePromotion()
{
    PromoService *promo = m_services.promo;
    if (!promo)
        return;
    // What the promotion says is kept for the pill, which may be built after
    // the answer came.
    connect(promo, &PromoService::labelChanged, this, [this](const QString &text) {
        m_promoLook.label = text;
        if (m_promoPill)
            m_promoPill->setLabelText(text);
    });
    connect(promo, &PromoService::badgeChanged, this, [this](bool shown, const QString &text) {
        m_promoLook.badge = qMakePair(shown, text);
        if (m_promoPill)
            m_promoPill->setBadge(shown, text);
    });
    connect(promo, &PromoService::pillVisibleChanged, this, [this](bool visible) {
        m_promoLook.pillVisible = visible;
        if (m_promoPill)
            m_promoPill->setHeaderPromoSpacing(visible);
    });
    connect(promo, &PromoService::signInNeeded, this, &MainWindow::showSignInPage);
    // A sign-out asks again: the pill goes back to "Sign Up Now", hidden.
    connect(this, &MainWindow::promotionRefreshNeeded, promo, &PromoService::evaluatePromo);
    if (m_services.usage)
        connect(m_services.usage, &UsageEvents::promotionRefreshDue, promo, &PromoService::evaluatePromo);
    // The first look once the event loop runs; until then the row keeps its gaps.
    QTimer::singleShot(0, this, [this] { evaluatePromo(); });
}

void MainWindow::wireHeaderSearchAndPromo()
{
    connect(m_headerSearch, &HeaderSearch::gameOpened, this,
            qOverload<const QString &, const QString &>(&MainWindow::handleOpenConnectionsForGame));
    if (m_promoLook.label)
        m_promoPill->setLabelText(*m_promoLook.label);
    if (m_promoLook.badge)
        m_promoPill->setBadge(m_promoLook.badge->first, m_promoLook.badge->second);
    if (m_promoLook.pillVisible)
        m_promoPill->setHeaderPromoSpacing(*m_promoLook.pillVisible);
    if (PromoService *promo = m_services.promo)
        connect(m_promoPill, &PromoPill::clicked, promo, &PromoService::openPromoLink);
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
    buildPages();
    m_promoPill->setHeaderPromoSpacing(on);
}

void MainWindow::onHeaderSearchTextChanged(const QString &text)
{
    buildPages();
    m_headerSearch->onTextChanged(text);
}

void MainWindow::runHeaderSearch()
{
    buildPages();
    m_headerSearch->runSearch();
}

void MainWindow::fillHeaderSearchResults(const QString &query)
{
    buildPages();
    m_headerSearch->fillResults(query);
}

QString MainWindow::gameLogoUrl(const QJsonObject &game) const
{
    return HeaderSearch::gameLogoUrl(game, m_services.serviceClient ? m_services.serviceClient->config()
                                                                    : ServiceConfig::instance());
}

void MainWindow::openCurrentHeaderSearchResult()
{
    buildPages();
    m_headerSearch->openCurrentResult();
}

void MainWindow::clearHeaderSearchText()
{
    buildPages();
    m_headerSearch->clearText();
}

void MainWindow::focusHeaderSearch()
{
    buildPages();
    m_headerSearch->focusEdit();
}

void MainWindow::closeHeaderSearchPopup()
{
    buildPages();
    m_headerSearch->closePopup();
}

void MainWindow::layoutHeaderSearchForLanguage(const QString &languageCode)
{
    buildPages();
    m_headerSearch->place(WindowRules::isPersian(languageCode));
}

void MainWindow::showSignInPage()
{
    if (m_authPageView)
        m_authPageView->showPage();
}

#include "ui/mainwindow/AuthPageView.h"

#include "ui/pages/signin/AuthPage.h"

AuthPageView::AuthPageView(AuthPage *page, QWidget *window, SignInController *controller)
    : m_page(page), m_window(window), m_controller(controller)
{}

void AuthPageView::setFormEnabled(bool enabled)
{
    if (m_page)
        m_page->setFormEnabled(enabled);
}

void AuthPageView::showLoginProgress()
{
    if (m_page)
        m_page->showLoginProgress();
}

void AuthPageView::setLoginProgress(int percent, const QString &text)
{
    if (m_page)
        m_page->setLoginProgress(percent, text);
}

void AuthPageView::showLoginForm()
{
    if (m_page)
        m_page->showLoginForm();
}

void AuthPageView::showError(const QString &text)
{
    if (m_page)
        m_page->showError(text);
}

void AuthPageView::requestAutoLogin()
{
    if (m_page)
        m_page->requestAutoLogin();
}

void AuthPageView::showPage()
{
    if (!m_page)
        return;
    if (m_window)
        m_page->setGeometry(m_window->rect());
    m_page->raise();
    m_page->show();
}

void AuthPageView::hidePage()
{
    if (m_page)
        m_page->hide();
}

void AuthPageView::setPageFlag(const char *name, bool value)
{
    if (m_page)
        m_page->setProperty(name, value);
}

bool AuthPageView::pageFlag(const char *name) const
{
    return m_page && m_page->property(name).toBool();
}

void AuthPageView::watchProgressFinished()
{
    if (m_page && m_controller)
        QObject::connect(m_page, &AuthPage::progressFinished, m_controller,
                         &SignInController::onLoginProgressFinished, Qt::UniqueConnection);
}

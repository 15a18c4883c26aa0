#pragma once
// The sign-in page as the sign-in flow drives it: the page's own operations,
// plus covering the window, hiding, and the two progress properties.

#include "services/SignInController.h"

#include <QPointer>

class AuthPage;
class QWidget;

class AuthPageView : public SignInView
{
public:
    AuthPageView(AuthPage *page, QWidget *window, SignInController *controller);

    void setFormEnabled(bool enabled) override;
    void showLoginProgress() override;
    void setLoginProgress(int percent, const QString &text) override;
    void showLoginForm() override;
    void showError(const QString &text) override;
    void requestAutoLogin() override;
    void showPage() override;
    void hidePage() override;
    void setPageFlag(const char *name, bool value) override;
    bool pageFlag(const char *name) const override;
    void watchProgressFinished() override;

private:
    QPointer<AuthPage> m_page;
    QPointer<QWidget> m_window;
    QPointer<SignInController> m_controller;
};

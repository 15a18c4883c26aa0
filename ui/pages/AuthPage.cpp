#include "ui/pages/AuthPage.h"

AuthPage::AuthPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("AuthPage"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("QWidget#AuthPage { background-color: #111317; }"));
}

void AuthPage::setFormEnabled(bool) {}
void AuthPage::showLoginProgress() {}
void AuthPage::setLoginProgress(int, const QString &) {}
void AuthPage::showLoginForm() {}
void AuthPage::showError(const QString &) {}
void AuthPage::requestAutoLogin() {}

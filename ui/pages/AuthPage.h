#pragma once
#include <QWidget>

// Stand-in for the sign-in page, to be filled: the names the window uses, with no behaviour yet.
class AuthPage : public QWidget
{
    Q_OBJECT
public:
    explicit AuthPage(QWidget *parent = nullptr);

    bool hasRememberedSession() const { return false; }
    void setFormEnabled(bool enabled);
    void showLoginProgress();
    void setLoginProgress(int percent, const QString &text);
    void showLoginForm();
    void showError(const QString &text);
    void requestAutoLogin();

signals:
    void loginRequested(const QString &email, const QString &password);
    void progressFinished();
};

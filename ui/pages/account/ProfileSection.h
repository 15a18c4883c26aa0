#pragma once
// The Profile section of the long page: the "Personal info" card with the
// account's e-mail, internet provider and country, the "Log Out" pill, and
// the confirmation card over the whole window that the pill opens. Its texts
// are looked up once, at construction; its layout does not mirror.

#include "services/AccountInfo.h"

#include <QFrame>
#include <QObject>
#include <QPointer>

#include "ui/widgets/CardOverlay.h"
class GradientBorderCard;
class QLabel;
class QPushButton;

// A frame that reports a left press: the "Log Out" pill.
class ProfileClickableFrame : public QFrame
{
    Q_OBJECT
public:
    explicit ProfileClickableFrame(QWidget *parent);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

class ProfileSection : public QObject
{
    Q_OBJECT
public:
    // The card and the pill are children of the root frame; the overlay is a
    // child of the window so that it covers everything.
    ProfileSection(QWidget *rootFrame, QWidget *window, const AccountTexts &texts, QObject *parent);

    GradientBorderCard *card() const { return m_card; }
    ProfileClickableFrame *logoutButton() const { return m_logoutButton; }
    CardOverlay *overlay() const { return m_overlay; }
    QFrame *logoutCard() const { return m_logoutCard; }
    // The sign-out confirmation's overlay over the window's rectangle
    // `full`, its card centred; raised when shown and `raiseShown`.
    void coverWindow(const QRect &full, bool raiseShown);
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *confirmButton() const { return m_confirm; }
    QLabel *emailValue() const { return m_emailValue; }
    QLabel *ispValue() const { return m_ispValue; }
    QLabel *countryValue() const { return m_countryValue; }

public slots:
    void showAccount(const AccountTexts &texts);
    // The overlay over the window's whole rectangle, the card centred in it.
    void placeLogoutConfirm();
    void showLogoutConfirm();
    void cancelLogout();
    void dismissOverlay();

signals:
    void logoutConfirmed();

private:
    QPointer<QWidget> m_window;
    GradientBorderCard *m_card = nullptr;
    QLabel *m_emailValue = nullptr;
    QLabel *m_ispValue = nullptr;
    QLabel *m_countryValue = nullptr;
    QPointer<CardOverlay> m_overlay;
    QFrame *m_logoutCard = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_confirm = nullptr;
    ProfileClickableFrame *m_logoutButton = nullptr;
};

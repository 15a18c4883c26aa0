#pragma once
// The account pill at the right end of the header band (avatar, name,
// e-mail, caret) and the profile pop-up it drops down with three feature
// rows. While the pop-up is open the pill loses its rounded bottom, so pill
// and pop-up read as one panel; whatever hides the pop-up gives the pill its
// closed look back.

#include "services/AccountInfo.h"
#include "ui/widgets/WindowArea.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <functional>

#include <QFrame>
class QLabel;
class QPushButton;
class QWidget;

// Runs its callback whenever the watched widget hides; never eats an event.
class ProfilePopupHideFilter : public QObject
{
    Q_OBJECT
public:
    ProfilePopupHideFilter(std::function<void()> onHide, QObject *parent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> m_onHide;
};

class AccountPill : public QObject, public WindowArea
{
    Q_OBJECT
public:
    static const QString kClosedStyle;
    static const QString kOpenStyle;

    // The pill is a child of the header band; the pop-up a top-level pop-up
    // window owned by `window`.
    AccountPill(QWidget *headerBand, QWidget *window, const QString &persianFamily, const AccountTexts &texts,
                QObject *parent);

    QWidget *pill() const { return m_pill; }
    QFrame *popup() const { return m_popup; }
    QPushButton *caret() const { return m_caret; }
    QPushButton *hit() const { return m_hit; }
    QLabel *userName() const { return m_userName; }
    QLabel *userEmail() const { return m_userEmail; }

    void retranslate() override;
    void place(bool persian) override;

public slots:
    void setAccountPillOpen(bool open);
    void toggleProfilePopup();
    void showAccount(const AccountTexts &texts);

private:
    struct Row
    {
        QWidget *row = nullptr;
        QLabel *text = nullptr;
    };

    // The header band owns the pill; the pop-up's hide may come after it is gone.
    QPointer<QWidget> m_pill;
    QLabel *m_userName = nullptr;
    QLabel *m_userEmail = nullptr;
    QPushButton *m_caret = nullptr;
    QPushButton *m_hit = nullptr;
    // A top-level window: the window's destruction takes it along, but it
    // is held guarded like everything that may outlive the pill.
    QPointer<QFrame> m_popup;
    std::array<Row, 3> m_rows;
    QString m_persianFamily;
    AccountTexts m_shown;
    bool m_persian = false;
};

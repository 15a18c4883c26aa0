#include "ui/pages/account/ProfileSection.h"

#include "i18n/Language.h"
#include "ui/widgets/CardOverlay.h"
#include "ui/widgets/DecorativeWidgets.h"
#include "ui/widgets/Palette.h"

#include <QBitmap>

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using Language::windowText;

QPixmap icon16(const QString &path)
{
    const QPixmap pixmap(path);
    if (pixmap.isNull())
        return {};
    return pixmap.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QLabel *label(QWidget *parent, const char *name, const QString &text, const QString &style)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setStyleSheet(QStringLiteral("QLabel#%1 { %2 }").arg(QLatin1String(name), style));
    return l;
}

const QString kTitleStyle = QStringLiteral("background: transparent; color: " QX_WHITE
                                           "; font-family: 'Inter'; font-size: 16px; font-weight: 600; "
                                           "line-height: 24px;");
const QString kFieldStyle = QStringLiteral("background: transparent; color: " QX_MUTED
                                           "; font-family: 'Inter'; font-size: 14px; font-weight: 600; "
                                           "line-height: 20px;");

} // namespace

ProfileClickableFrame::ProfileClickableFrame(QWidget *parent) : QFrame(parent)
{
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover, true);
    setMouseTracking(true);
}

void ProfileClickableFrame::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QFrame::mousePressEvent(event);
}

ProfileSection::ProfileSection(QWidget *rootFrame, QWidget *window, const AccountTexts &texts,
                               QObject *parent)
    : QObject(parent), m_window(window)
{
    m_card = new GradientBorderCard(rootFrame);
    m_card->setObjectName(QStringLiteral("ProfileLeftSection"));
    m_card->setFillColor(QColor(QStringLiteral(QX_PANEL)));
    m_card->setBorderWidth(1);
    m_card->setBorderGradient(QColor(QStringLiteral(QX_BORDER)), QColor(QStringLiteral(QX_PANEL)), 0.4205);
    m_card->setRadius(20);
    m_card->setGeometry(120, 154, 640, 390);
    m_card->hide();
    auto *cardLayout = new QVBoxLayout(m_card);
    cardLayout->setContentsMargins(20, 20, 20, 20);
    cardLayout->setSpacing(30);
    QLabel *title = label(m_card, "ProfilePersonalInfoTitle", windowText("Personal info"), kTitleStyle);
    title->setFixedHeight(24);
    cardLayout->addWidget(title, 0, Qt::AlignLeft | Qt::AlignTop);
    cardLayout->addStretch(1);

    struct Row
    {
        const char *iconBg, *icon, *label, *value, *iconPath, *text;
        int y;
        QLabel **valueLabel;
    };
    const Row rows[] = {
        {"ProfileEmailIconBg", "ProfileEmailIcon", "ProfileEmailLabel", "ProfileEmailValue",
         ":/icons/imail.png", QT_TRANSLATE_NOOP("MainWindow", "Email"), 84, &m_emailValue},
        {"ProfileIspIconBg", "ProfileIspIcon", "ProfileIspLabel", "ProfileIspValue",
         ":/icons/wifi-high-1.png", QT_TRANSLATE_NOOP("MainWindow", "Internet provider"), 164, &m_ispValue},
        {"ProfileCountryIconBg", "ProfileCountryIcon", "ProfileCountryLabel", "ProfileCountryValue",
         ":/icons/globe-simple.png", QT_TRANSLATE_NOOP("MainWindow", "Country"), 254, &m_countryValue},
    };
    const int w = m_card->width();
    for (int i = 0; i < 3; ++i) {
        const Row &row = rows[i];
        auto *iconBg = new QFrame(m_card);
        iconBg->setObjectName(QLatin1String(row.iconBg));
        iconBg->setStyleSheet(QStringLiteral("QFrame#%1 { background: " QX_RAISED "; border-radius: 10px; }")
                                  .arg(QLatin1String(row.iconBg)));
        iconBg->setGeometry(20, row.y + 5, 40, 40);
        auto *icon = new QLabel(iconBg);
        icon->setObjectName(QLatin1String(row.icon));
        icon->setGeometry(12, 12, 16, 16);
        icon->setStyleSheet(QStringLiteral("background: transparent;"));
        const QPixmap pixmap = icon16(QLatin1String(row.iconPath));
        if (!pixmap.isNull())
            icon->setPixmap(pixmap);
        QLabel *name = label(m_card, row.label, windowText(row.text), kFieldStyle);
        name->adjustSize();
        name->setGeometry(80, row.y, name->sizeHint().width(), 20);
        QLabel *value = label(m_card, row.value, QString(), kTitleStyle);
        value->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
        value->setGeometry(80, row.y + 26, w - 80 - 20, 24);
        *row.valueLabel = value;
        if (i < 2) {
            auto *divider = new QFrame(m_card);
            divider->setObjectName(QStringLiteral("ProfilePersonalInfoDivider%1").arg(i + 1));
            divider->setFrameShape(QFrame::NoFrame);
            divider->setStyleSheet(QStringLiteral("QFrame#%1 { background: " QX_RAISED "; border: none; }")
                                       .arg(divider->objectName()));
            divider->setGeometry(20, i == 0 ? 149 : 239, w - 40, 1);
        }
    }

    m_overlay = new CardOverlay(QStringLiteral("LogoutConfirmOverlay"), window);
    m_overlay->setStyleSheet(
        QStringLiteral("QWidget#LogoutConfirmOverlay { background: rgba(" QX_BACKGROUND_RGB ", 204); }"));
    m_overlay->setGeometry(window->rect());
    m_overlay->hide();
    m_overlay->raise();
    m_logoutCard = new QFrame(m_overlay);
    m_logoutCard->setObjectName(QStringLiteral("LogoutConfirmCard"));
    m_logoutCard->setAttribute(Qt::WA_StyledBackground, true);
    m_logoutCard->setFrameShape(QFrame::NoFrame);
    m_logoutCard->setLineWidth(0);
    m_logoutCard->setMidLineWidth(0);
    m_logoutCard->setStyleSheet(QStringLiteral("QFrame#LogoutConfirmCard { background: " QX_PANEL
                                               "; border: 1px solid " QX_BORDER "; border-radius: 20px; }"));
    m_logoutCard->resize(386, 232);
    const int cw = m_logoutCard->width();
    auto *iconBg = new QFrame(m_logoutCard);
    iconBg->setObjectName(QStringLiteral("LogoutConfirmIconBg"));
    iconBg->setStyleSheet(QStringLiteral("QFrame#LogoutConfirmIconBg { background: " QX_RAISED
                                         "; border-radius: 24px; border: none; }"));
    iconBg->setGeometry((cw - 48) / 2, 30, 48, 48);
    auto *overlayIcon = new QLabel(iconBg);
    overlayIcon->setGeometry(16, 16, 16, 16);
    overlayIcon->setStyleSheet(
        QStringLiteral("background: transparent; border: none; padding: 0px; margin: 0px;"));
    const QPixmap signOut = icon16(QStringLiteral(":/icons/sign-out-1.png"));
    if (!signOut.isNull())
        overlayIcon->setPixmap(signOut);
    QLabel *confirmTitle = label(m_logoutCard, "LogoutConfirmTitle", windowText("Log out"),
                                 kTitleStyle + QStringLiteral(" border: none;"));
    confirmTitle->setAlignment(Qt::AlignCenter);
    confirmTitle->setGeometry(0, 98, cw, 24);
    QLabel *desc = label(m_logoutCard, "LogoutConfirmDesc", windowText("Are you sure you want to leave?"),
                         QStringLiteral("background: transparent; border: none; color: " QX_SECONDARY "; "
                                        "font-family: 'Inter'; font-size: 14px; font-weight: 400; "
                                        "line-height: 20px;"));
    desc->setAlignment(Qt::AlignCenter);
    desc->setGeometry(0, 130, cw, 20);
    auto button = [this](const char *name, const QString &text, const char *colours) {
        auto *b = new QPushButton(text, m_logoutCard);
        b->setObjectName(QLatin1String(name));
        b->setCursor(Qt::PointingHandCursor);
        b->setFocusPolicy(Qt::NoFocus);
        b->setDefault(false);
        b->setAutoDefault(false);
        b->setStyleSheet(QString::fromLatin1(colours).arg(QLatin1String(name)));
        return b;
    };
    m_cancel = button("LogoutConfirmCancel", windowText("Cancel"),
                      "QPushButton#%1 { background: " QX_BORDER
                      "; border: none; border-radius: 16px; color: " QX_SOFT "; "
                      "font-family: 'Inter'; font-size: 14px; font-weight: 600; line-height: 20px; }"
                      "QPushButton#%1:hover { background: " QX_GREY_HOVER "; }"
                      "QPushButton#%1:pressed { background: " QX_GREY_PRESSED "; }");
    m_cancel->setGeometry(108, 176, 80, 32);
    m_confirm = button("LogoutConfirmConfirm", windowText("Confirm"),
                       "QPushButton#%1 { background: " QX_ACCENT
                       "; border: none; border-radius: 16px; color: " QX_BACKGROUND "; "
                       "font-family: 'Inter'; font-size: 14px; font-weight: 600; line-height: 20px; }"
                       "QPushButton#%1:hover { background: " QX_ACCENT_HOVER "; }"
                       "QPushButton#%1:pressed { background: " QX_ACCENT_PRESSED "; }");
    m_confirm->setGeometry(198, 176, 80, 32);
    m_overlay->setCard(m_logoutCard);
    connect(m_overlay, &CardOverlay::dismissRequested, this, &ProfileSection::dismissOverlay);
    placeLogoutConfirm();

    m_logoutButton = new ProfileClickableFrame(rootFrame);
    m_logoutButton->setObjectName(QStringLiteral("ProfileLogoutButton"));
    m_logoutButton->setAttribute(Qt::WA_StyledBackground, true);
    m_logoutButton->setStyleSheet(
        QStringLiteral("QFrame#ProfileLogoutButton { background: " QX_RAISED "; border: none; "
                       "border-radius: 24px; }"
                       "QFrame#ProfileLogoutButton:hover { background: " QX_LOGOUT_HOVER "; }"));
    m_logoutButton->setGeometry(120, 564, 138, 48);
    m_logoutButton->hide();
    m_logoutButton->raise();
    auto *pillLayout = new QHBoxLayout(m_logoutButton);
    pillLayout->setContentsMargins(30, 0, 30, 0);
    pillLayout->setSpacing(12);
    pillLayout->setAlignment(Qt::AlignCenter);
    auto *pillText = new QLabel(windowText("Log Out"), m_logoutButton);
    pillText->setStyleSheet(QStringLiteral("background: transparent; color: " QX_WHITE
                                           "; font-family: 'Inter'; "
                                           "font-size: 14px; font-weight: 600; line-height: 20px;"));
    pillText->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    auto *pillIcon = new QLabel(m_logoutButton);
    pillIcon->setFixedSize(16, 16);
    pillIcon->setStyleSheet(QStringLiteral("background: transparent;"));
    pillIcon->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    if (!signOut.isNull())
        pillIcon->setPixmap(signOut);
    pillLayout->addWidget(pillText, 0);
    pillLayout->addWidget(pillIcon, 0);
    // The side margins give way before the text is cut.
    const int room = m_logoutButton->width() - pillText->sizeHint().width() - 12 - 16;
    const int side = std::clamp(room / 2, 0, 30);
    pillLayout->setContentsMargins(side, 0, side, 0);
    // Presses count only inside the pill's rounded shape.
    QBitmap mask(m_logoutButton->size());
    mask.clear();
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::color1);
        painter.drawRoundedRect(QRectF(0, 0, 138, 48), 24, 24, Qt::AbsoluteSize);
    }
    m_logoutButton->setMask(mask);

    connect(m_logoutButton, &ProfileClickableFrame::clicked, this, &ProfileSection::showLogoutConfirm);
    connect(m_cancel, &QPushButton::clicked, this, &ProfileSection::cancelLogout);
    connect(m_confirm, &QPushButton::clicked, this, &ProfileSection::logoutConfirmed);

    showAccount(texts);
}

void ProfileSection::showAccount(const AccountTexts &texts)
{
    m_emailValue->setText(texts.profileEmail);
    m_ispValue->setText(texts.isp);
    m_countryValue->setText(texts.country);
}

void ProfileSection::placeLogoutConfirm()
{
    if (!m_overlay || !m_window)
        return;
    m_overlay->setGeometry(m_window->rect());
    m_logoutCard->move((m_overlay->width() - m_logoutCard->width()) / 2,
                       (m_overlay->height() - m_logoutCard->height()) / 2);
    m_overlay->raise();
}

void ProfileSection::showLogoutConfirm()
{
    if (!m_overlay)
        return;
    placeLogoutConfirm();
    m_overlay->show();
    m_overlay->raise();
    m_overlay->setFocus(Qt::OtherFocusReason);
}

void ProfileSection::cancelLogout()
{
    if (m_overlay)
        m_overlay->hide();
}

void ProfileSection::dismissOverlay()
{
    if (m_overlay)
        m_overlay->hide();
}

void ProfileSection::coverWindow(const QRect &full, bool raiseShown)
{
    m_overlay->setGeometry(full);
    m_logoutCard->move((m_overlay->width() - m_logoutCard->width()) / 2,
                       (m_overlay->height() - m_logoutCard->height()) / 2);
    if (raiseShown && m_overlay->isVisible())
        m_overlay->raise();
}

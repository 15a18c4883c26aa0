#include "ui/pages/common/TitlesAndLanding.h"

#include "i18n/Language.h"
#include "ui/pages/common/PageWidgets.h"
#include "ui/widgets/DecorativeWidgets.h"
#include "ui/widgets/Palette.h"

#include <QFont>
#include <QFrame>
#include <QGraphicsBlurEffect>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRegion>

using PageWidgets::interFont;

namespace {

constexpr int kUnboundedHeight = 16777215;

using Language::windowText;

QWidget *styledLayer(QWidget *parent, const char *name, const QString &sheet, const QRect &geometry)
{
    auto *w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    w->setAttribute(Qt::WA_StyledBackground, true);
    w->setStyleSheet(sheet);
    w->setGeometry(geometry);
    return w;
}

QLabel *textLabel(QWidget *parent, const char *name, const QString &text, const QFont &font,
                  const char *colour)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("QLabel#%1 { background: transparent; color: %2; }")
                             .arg(QLatin1String(name), QLatin1String(colour)));
    return label;
}

QIcon plusIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(QStringLiteral(QX_WHITE)), 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(3, 8), QPointF(13, 8));
    painter.drawLine(QPointF(8, 3), QPointF(8, 13));
    painter.end();
    return QIcon(pixmap);
}

} // namespace

TitlesAndLanding::TitlesAndLanding(QWidget *rootFrame, const QString &persianFontFamily, QObject *parent)
    : QObject(parent), m_rootFrame(rootFrame), m_persianFamily(persianFontFamily)
{
    buildTitles();
    buildBanner();
    buildBody();
}

void TitlesAndLanding::buildTitles()
{
    const QFont titleFont = interFont(32, QFont::DemiBold);
    auto title = [&](const char *name, const QString &text, int y, bool shown) {
        auto *label = new QLabel(text, m_rootFrame);
        label->setObjectName(QLatin1String(name));
        label->setFont(titleFont);
        label->adjustSize();
        label->move(kTitleX, y);
        label->setVisible(shown);
        label->raise();
        return label;
    };
    // The application style sheet gives the Dashboard title its English look;
    // the Persian look is set on the label by placeDashboardTitle.
    m_dashboardTitle = title("DashboardTitle", windowText("Dashboard"), kDashboardTitleY, true);
    m_gamesTitle = title("GamesTitle", windowText("Games"), kTitleY, false);
    m_settingsTitle = title("SettingsTitle", QStringLiteral("General Sittings"), kTitleY, false);
    m_profileTitle = title("ProfileTitle", windowText("Profile"), kTitleY, false);
    m_landingTitle = title("ConnectionsLandingTitle", windowText("Connections"), kTitleY, false);
    for (QLabel *label : {m_gamesTitle, m_settingsTitle, m_profileTitle, m_landingTitle}) {
        label->setStyleSheet(QStringLiteral("QLabel#%1 { background: transparent; color: " QX_WHITE "; }")
                                 .arg(label->objectName()));
        label->adjustSize();
    }
}

void TitlesAndLanding::buildBanner()
{
    const int bannerY = m_landingTitle->y() + m_landingTitle->height() + 20;
    const QRect whole(0, 0, kBannerWidth, kBannerHeight);
    m_banner = styledLayer(m_rootFrame, "ConnectionsLandingBanner",
                           QStringLiteral("QWidget#ConnectionsLandingBanner { background: transparent; }"),
                           QRect(kTitleX, bannerY, kBannerWidth, kBannerHeight));
    auto *shadow = new QGraphicsDropShadowEffect(m_banner);
    shadow->setOffset(0, 12);
    shadow->setBlurRadius(40);
    shadow->setColor(QColor(0, 0, 0, 64));
    m_banner->setGraphicsEffect(shadow);

    m_blur = new QLabel(m_banner);
    m_blur->setObjectName(QStringLiteral("ConnectionsLandingBannerBlurBg"));
    m_blur->setStyleSheet(
        QStringLiteral("QLabel#ConnectionsLandingBannerBlurBg { background: transparent; }"));
    m_blur->setGeometry(whole);
    m_blur->setScaledContents(true);
    auto *blur = new QGraphicsBlurEffect(m_blur);
    blur->setBlurRadius(40);
    m_blur->setGraphicsEffect(blur);

    styledLayer(m_banner, "ConnectionsLandingBannerDark",
                QStringLiteral("QWidget#ConnectionsLandingBannerDark { background: rgba(17,19,23,170); "
                               "border-radius: 7px; }"),
                whole);
    QWidget *fill =
        styledLayer(m_banner, "ConnectionsLandingBannerFill",
                    QStringLiteral("QWidget#ConnectionsLandingBannerFill { border-radius: 7px; background: "
                                   "qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 " QX_WHITE
                                   ", stop:0.5 " QX_TITLE_SHADE_1 ", "
                                   "stop:0.75 " QX_TITLE_SHADE_2 ", stop:0.875 " QX_TITLE_SHADE_3
                                   ", stop:1 " QX_TITLE_SHADE_4 "); }"),
                    whole);
    auto *faint = new QGraphicsOpacityEffect(fill);
    faint->setOpacity(0.0006);
    fill->setGraphicsEffect(faint);

    m_border = new AnimatedStrokeBorder(m_banner);
    m_border->setObjectName(QStringLiteral("ConnectionsLandingBannerBorder"));
    m_border->setGeometry(whole);
    m_border->setRadius(kBannerRadius);
    m_border->setStrokeWidth(2);
    m_border->setHighlightColor(QColor(QStringLiteral(QX_ACCENT)));
    m_border->setSegmentLength(800);
    m_border->setSpeed(10);

    styledLayer(m_banner, "ConnectionsLandingBannerInset",
                QStringLiteral("QWidget#ConnectionsLandingBannerInset { background: transparent; "
                               "border: 1px solid rgba(255,255,255,26); border-radius: 6px; }"),
                QRect(1, 1, kBannerWidth - 2, kBannerHeight - 2));

    QLabel *rocket =
        PageWidgets::pictureLabel(m_banner, QStringLiteral("ConnectionsLandingRocket"),
                                  QStringLiteral(":/icons/connections-ready-rocket.png"), QSize(50, 51));
    rocket->move(20, 16);
    const int textX = rocket->x() + rocket->width() + 20;
    QLabel *heading = textLabel(m_banner, "ConnectionsLandingBannerTitle", windowText("Ready to optimize ?"),
                                interFont(16, QFont::DemiBold), QX_WHITE);
    heading->adjustSize();
    heading->setGeometry(textX, 19, heading->width(), 24);
    QLabel *sub = textLabel(m_banner, "ConnectionsLandingBannerSub",
                            windowText("Add a game or app and ensure the best connection route."),
                            interFont(14, QFont::Normal), QX_SECONDARY);
    sub->adjustSize();
    sub->setGeometry(textX, 43, sub->width(), 20);

    m_addButton = new QPushButton(windowText("Add"), m_banner);
    m_addButton->setObjectName(QStringLiteral("ConnectionsLandingAddBtn"));
    m_addButton->setFont(interFont(14, QFont::Medium));
    m_addButton->setStyleSheet(QStringLiteral(
        "QPushButton#ConnectionsLandingAddBtn { background: transparent; color: " QX_WHITE
        "; border: 1px solid " QX_BORDER "; border-radius: 10px; padding-left: 16px; padding-right: 16px; }"
        "QPushButton#ConnectionsLandingAddBtn:hover { background: rgba(255,255,255,0.06); "
        "border-color: " QX_GREY_HOVER "; }"
        "QPushButton#ConnectionsLandingAddBtn:pressed { background: rgba(0,0,0,0.20); "
        "border-color: " QX_GREY_PRESSED "; }"));
    m_addButton->setIcon(plusIcon());
    m_addButton->setIconSize(QSize(16, 16));
    m_addButton->setCursor(Qt::PointingHandCursor);
    m_addButton->setFocusPolicy(Qt::NoFocus);
    m_addButton->setGeometry(kBannerWidth - 20 - 92, (kBannerHeight - 36) / 2, 92, 36);
    connect(m_addButton, &QPushButton::clicked, this, &TitlesAndLanding::gamesRequested);

    // Presses in the rounded corners fall through to what lies beneath.
    QPainterPath shape;
    shape.addRoundedRect(QRectF(whole), kBannerRadius, kBannerRadius);
    m_banner->setMask(QRegion(shape.toFillPolygon().toPolygon()));
    m_banner->hide();
    m_banner->raise();
}

void TitlesAndLanding::buildBody()
{
    const QRect bannerRect = m_banner->geometry();
    m_body = styledLayer(m_rootFrame, "ConnectionsLandingBody",
                         QStringLiteral("QWidget#ConnectionsLandingBody { background: " QX_PANEL
                                        "; border: 1px solid " QX_BORDER "; border-radius: 20px; }"),
                         QRect(kTitleX, bannerRect.bottom() + 1 + 16, kBannerWidth, 500));
    const int w = m_body->width();

    m_emptyCircle = new QFrame(m_body);
    m_emptyCircle->setObjectName(QStringLiteral("ConnectionsLandingEmptyCircle"));
    m_emptyCircle->setAttribute(Qt::WA_StyledBackground, true);
    m_emptyCircle->setStyleSheet(
        QStringLiteral("QFrame#ConnectionsLandingEmptyCircle { background: transparent; "
                       "border: 1px solid " QX_MUTED "; border-radius: 37px; }"));
    m_emptyCircle->setGeometry((w - 75) / 2, 130, 75, 75);
    PageWidgets::pictureLabel(m_emptyCircle, QStringLiteral("ConnectionsLandingEmptyIcon"),
                              QStringLiteral(":/icons/connections-empty-rocket.png"), QSize(30, 30))
        ->move(22, 22);

    const QFont emptyFont = interFont(16, QFont::DemiBold);
    auto centred = [&](const char *name, const QString &text, const char *colour, int y) {
        QLabel *label = textLabel(m_body, name, text, emptyFont, colour);
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(0, y, w, 24);
        return label;
    };
    centred("ConnectionsLandingEmptyTitle", windowText("No active connections"), QX_WHITE, 221);
    centred("ConnectionsLandingEmptySub", windowText("Optimize for better performance. Data will appear."),
            QX_MUTED, 251);
    m_guide = centred(
        "ConnectionsLandingEmptyGuide",
        QStringLiteral("Need guidance? <a href=\"tutorial\" style=\"color:" QX_WHITE ";\">Tutorial</a>"),
        QX_MUTED, 281);
    m_guide->setTextFormat(Qt::RichText);
    m_guide->setTextInteractionFlags(Qt::TextBrowserInteraction);
    m_guide->setOpenExternalLinks(false);
    connect(m_guide, &QLabel::linkActivated, this, &TitlesAndLanding::gamesRequested);

    m_body->hide();
    m_body->raise();
}

void TitlesAndLanding::placeDashboardTitle(bool persian)
{
    QLabel *label = m_dashboardTitle;
    if (!label)
        return;
    label->setText(persian ? QStringLiteral("داشبورد") : windowText("Dashboard"));
    label->setLayoutDirection(persian ? Qt::RightToLeft : Qt::LeftToRight);
    label->setAlignment((persian ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute | Qt::AlignVCenter);
    if (persian) {
        QFont font(m_persianFamily);
        font.setPixelSize(32);
        font.setWeight(QFont::DemiBold);
        label->setFont(font);
        label->setStyleSheet(
            QStringLiteral("QLabel#DashboardTitle {  font-family: \"%1\";  font-weight: 600;  "
                           "font-size: 32px;  color: " QX_WHITE ";}")
                .arg(m_persianFamily));
        label->setFixedHeight(40);
    } else {
        // The application style sheet's rule applies again.
        label->setStyleSheet(QString());
        label->setMaximumHeight(kUnboundedHeight);
        label->setMinimumHeight(0);
    }
    label->adjustSize();

    const QWidget *anchor = m_rootFrame ? m_rootFrame : label->parentWidget();
    const int referenceWidth = anchor ? anchor->width() : label->width();
    int x = kTitleX;
    if (persian) {
        x = referenceWidth - kTitleX - label->width();
        if (x < 1)
            x = 0;
    }
    label->move(x, kDashboardTitleY);
}

void TitlesAndLanding::snapshotBannerBackground()
{
    if (!m_blur || !m_banner->parentWidget())
        return;
    const QPixmap beneath = m_banner->parentWidget()->grab(m_banner->geometry());
    if (beneath.isNull())
        return;
    m_blur->setPixmap(beneath.scaled(m_banner->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

#include "ui/pages/home/HeroCard.h"

#include "i18n/Language.h"
#include "ui/pages/common/PageWidgets.h"
#include "ui/widgets/Palette.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>

HeroCard::HeroCard(QWidget *rootFrame, int y, const QString &persianFontFamily, UrlOpener openUrl,
                   const QUrl &site, QObject *parent)
    : QObject(parent), m_persianFamily(persianFontFamily), m_openUrl(std::move(openUrl)), m_site(site)
{
    m_card = new QWidget(rootFrame);
    m_card->setObjectName(QStringLiteral("ConnectionsSectionRight"));
    m_card->setAttribute(Qt::WA_StyledBackground, true);
    m_card->setStyleSheet(QStringLiteral(
        "QWidget#ConnectionsSectionRight {  background: qlineargradient(spread:pad, x1:0, y1:0, x2:1, y2:1,"
        "                               stop:0.1565 " QX_PANEL ", stop:1 " QX_HERO_BLUE
        ");  border-radius: 20px;  "
        "padding: 20px;  border: 1px solid " QX_BORDER ";}"));
    m_card->setFixedSize(kWidth, kHeight);
    m_card->move(780, y);

    m_logo = new QLabel(m_card);
    m_logo->setObjectName(QStringLiteral("ConnectionsLogo"));
    m_logo->setStyleSheet(QStringLiteral("background: transparent;"));
    const QImage mark(QStringLiteral(":/icons/connections-logo.png"));
    if (!mark.isNull()) {
        const QPixmap trimmed = QPixmap::fromImage(trimLogo(mark));
        m_logo->setPixmap(trimmed);
        m_logo->setFixedSize(trimmed.size());
    }
    m_logo->move(22, 22);

    m_headline = new QLabel(Language::windowText("Connection is also\nPerformance"), m_card);
    m_headline->setObjectName(QStringLiteral("ConnectionsHeroTitle"));
    m_headline->setFixedSize(283, 64);
    m_headline->move(40, 104);
    m_headline->setFont(PageWidgets::interFont(24, QFont::DemiBold));
    m_headline->setWordWrap(true);
}

void HeroCard::addPictureAndLink()
{
    if (m_picture)
        return;
    m_picture = new QLabel(m_card);
    m_picture->setObjectName(QStringLiteral("ConnectionsHero"));
    m_picture->setStyleSheet(QStringLiteral("background: transparent;"));
    m_picture->setFixedSize(304, kHeight);
    m_picture->move(336, 0);
    const QPixmap picture(QStringLiteral(":/icons/connections-hero.png"));
    if (!picture.isNull()) {
        m_picture->setPixmap(
            picture.scaled(m_picture->size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation));
    }

    m_linkWrap = new QWidget(m_card);
    m_linkWrap->setObjectName(QStringLiteral("ConnectionsVisitWrap"));
    m_linkWrap->setAttribute(Qt::WA_StyledBackground, true);
    m_linkWrap->setStyleSheet(QStringLiteral("background: transparent;"));
    auto *row = new QHBoxLayout(m_linkWrap);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    m_linkText = new QLabel(Language::objectText("Visit website"), m_linkWrap);
    m_linkText->setObjectName(QStringLiteral("ConnectionsVisitText"));
    m_linkText->setStyleSheet(QStringLiteral("color:" QX_WHITE "; background: transparent;"));
    auto *icon = PageWidgets::pictureLabel(m_linkWrap, QStringLiteral("ConnectionsVisitIcon"),
                                           QStringLiteral(":/icons/visit-website-icon.png"), QSize(24, 24));
    icon->setFixedSize(24, 24);
    row->addWidget(m_linkText, 0, Qt::AlignVCenter);
    row->addWidget(icon, 0, Qt::AlignVCenter);
    m_hit = new QPushButton(m_linkWrap);
    m_hit->setObjectName(QStringLiteral("ConnectionsVisitHit"));
    m_hit->setFlat(true);
    m_hit->setCursor(Qt::PointingHandCursor);
    m_hit->setFocusPolicy(Qt::NoFocus);
    m_hit->setStyleSheet(
        QStringLiteral("QPushButton#ConnectionsVisitHit{ background: transparent; border: none; }"));
    connect(m_hit, &QPushButton::clicked, this, &HeroCard::openWebsite);
    m_card->raise();
}

bool HeroCard::columnHasOpaquePixel(const QImage &image, int x)
{
    if (x < 0 || x >= image.width())
        return false;
    for (int y = 0; y < image.height(); ++y) {
        if (qAlpha(image.pixel(x, y)) > kAlphaThreshold)
            return true;
    }
    return false;
}

QImage HeroCard::trimLogo(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int first = -1;
    for (int x = 0; x < image.width(); ++x) {
        if (columnHasOpaquePixel(image, x)) {
            first = x;
            break;
        }
    }
    if (first < 0)
        return image;
    int last = image.width() - 1;
    int clear = 0;
    for (int x = first; x < image.width(); ++x) {
        if (columnHasOpaquePixel(image, x)) {
            clear = 0;
            continue;
        }
        if (++clear >= kGapColumns) {
            last = std::max(first, x - kGapColumns);
            break;
        }
    }
    return image.copy(first, 0, std::max(1, last - first + 1), image.height());
}

void HeroCard::retranslateConnectionsHero(const QString &languageCode)
{
    const bool persian = Language::isPersian(languageCode);
    const QString family = persian ? m_persianFamily : QStringLiteral("Inter");
    const int w = m_card->width();

    m_headline->setText(persian ? QStringLiteral("عملکرد اتصال خود را بهتر کنید.")
                                : Language::objectText("Connection is also\nPerformance"));
    m_headline->setLayoutDirection(persian ? Qt::RightToLeft : Qt::LeftToRight);
    // Right-to-left would turn a plain right alignment to the left.
    m_headline->setAlignment((persian ? Qt::AlignRight | Qt::AlignAbsolute : Qt::AlignLeft) |
                             Qt::AlignVCenter);
    m_headline->setContentsMargins(0, 0, 0, 0);
    m_headline->setIndent(0);
    m_headline->setMargin(0);
    m_headline->setFont(PageWidgets::familyFont(family, 24, QFont::DemiBold));
    m_headline->setStyleSheet(
        QStringLiteral("color:" QX_WHITE ";background: transparent;font-family: \"%1\";"
                       "font-weight: 600;font-size: 24px;line-height: 32px;padding: 0px;"
                       "margin: 0px;")
            .arg(family));
    // The English text breaks at its line feed; the Persian line is wider
    // than the headline in the bundled face and wraps instead of being cut.
    m_headline->setWordWrap(persian);

    if (m_linkText) {
        m_linkText->setText(persian ? QStringLiteral("بازدید از وبسایت")
                                    : Language::objectText("Visit website"));
        m_linkText->setFont(PageWidgets::familyFont(family, 12, QFont::Normal));
    }

    // The logo's size is fixed to the trimmed mark.
    m_logo->move(persian ? std::max(0, w - m_logo->width() - 22) : 22, 22);
    m_logo->raise();

    if (m_picture) {
        m_picture->move(persian ? 0 : w - m_picture->width(), 0);
        m_picture->raise();
    }
    // The link lies over the picture in both languages; it goes above it, or
    // the picture would hide it and take its clicks.
    if (m_linkWrap) {
        m_linkWrap->adjustSize();
        const int x = persian ? 22 : std::max(0, w - m_linkWrap->sizeHint().width() - 22);
        m_linkWrap->move(x, 22);
        m_linkWrap->raise();
        m_hit->setGeometry(0, 0, m_linkWrap->width(), m_linkWrap->height());
        m_hit->raise();
    }
    m_headline->move(persian ? std::max(0, w - 323) : 40, 104);
    m_headline->raise();
}

void HeroCard::place(bool persian)
{
    retranslateConnectionsHero(persian ? QStringLiteral("fa-IR") : QStringLiteral("en-US"));
}

void HeroCard::openWebsite()
{
    if (m_openUrl && m_site.isValid())
        m_openUrl(m_site);
}

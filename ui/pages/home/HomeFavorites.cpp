#include "ui/pages/home/HomeFavorites.h"

#include "i18n/Language.h"
#include "ui/pages/common/PageWidgets.h"
#include "ui/pages/games/GamesBoardState.h"
#include "ui/pages/games/ImageCache.h"
#include "ui/widgets/HoverPartner.h"
#include "ui/widgets/Palette.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

namespace {

QFont sizedFont(const QString &family, int px, int weight)
{
    QFont font(family);
    font.setPixelSize(px);
    font.setWeight(QFont::Weight(weight));
    return font;
}

} // namespace

HomeFavorites::HomeFavorites(const Hosts &hosts, GamesBoardState *state, ImageCache *images,
                             const QString &persianFontFamily, QObject *hoverFilter, QObject *parent)
    : QObject(parent), m_section(hosts.section), m_wrap(hosts.wrap), m_host(hosts.cardsHost),
      m_scroll(hosts.scroll), m_stripTitle(hosts.stripTitle), m_rocket(hosts.rocket), m_title(hosts.title),
      m_hint(hosts.hint), m_addGame(hosts.addGame), m_state(state), m_images(images),
      m_persianFamily(persianFontFamily), m_hoverFilter(hoverFilter)
{
    if (m_state)
        connect(m_state, &GamesBoardState::favoritesChanged, this, &HomeFavorites::scheduleRebuild);
    rebuildHomeFavorites();
}

QList<QWidget *> HomeFavorites::cards() const
{
    QList<QWidget *> out;
    if (!m_host)
        return out;
    for (QWidget *w : m_host->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (w->objectName() == QLatin1String("HomeFavCard"))
            out << w;
    }
    return out;
}

QPixmap HomeFavorites::removeIcon()
{
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(255, 255, 255, 230), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(QPointF(5, 5), QPointF(13, 13));
    painter.drawLine(QPointF(13, 5), QPointF(5, 13));
    return pixmap;
}

void HomeFavorites::scheduleRebuild()
{
    // The change may come from a card's own button: its card must outlive
    // the click, so the strip is rebuilt once control is back in the loop.
    if (m_rebuildPending)
        return;
    m_rebuildPending = true;
    QTimer::singleShot(0, this, [this] {
        m_rebuildPending = false;
        rebuildHomeFavorites();
    });
}

void HomeFavorites::rebuildHomeFavorites()
{
    if (!m_host)
        return;
    for (QWidget *card : cards())
        delete card;

    const bool hasFavourites = m_state && !m_state->favorites().isEmpty();
    if (m_wrap)
        m_wrap->setVisible(hasFavourites);
    for (QWidget *w : {static_cast<QWidget *>(m_rocket), static_cast<QWidget *>(m_title),
                       static_cast<QWidget *>(m_hint), static_cast<QWidget *>(m_addGame)}) {
        if (w)
            w->setVisible(!hasFavourites);
    }

    const int n = hasFavourites ? int(m_state->favorites().size()) : 0;
    const int h = std::max(0, ((n + 1) / 2) * kRowPitch - 20);
    // Two columns over the whole viewport: the second one ends at its right
    // edge, beside the scroll bar when the rows need one.
    const int width = viewportWidth(m_scroll, h);
    int i = 0;
    if (hasFavourites) {
        for (const HomeFavoriteItem &item : m_state->favorites()) {
            addCard(item, QPoint(i % 2 ? width - kCardWidth : 0, (i / 2) * kRowPitch));
            ++i;
        }
    }
    m_host->setMinimumSize(width, h);
    m_host->resize(width, h);
}

int HomeFavorites::viewportWidth(QScrollArea *scroll, int hostHeight)
{
    if (!scroll)
        return kHostWidth;
    scroll->ensurePolished();
    const int frame = 2 * scroll->frameWidth();
    int width = scroll->width() - frame;
    const bool needsBar =
        scroll->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn ||
        (scroll->verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded && hostHeight > scroll->height() - frame);
    if (needsBar) {
        QScrollBar *bar = scroll->verticalScrollBar();
        bar->ensurePolished();
        width -= bar->sizeHint().width();
    }
    return std::max(width, kCardWidth);
}

void HomeFavorites::addCard(const HomeFavoriteItem &item, const QPoint &place)
{
    auto *card = new QWidget(m_host);
    card->setObjectName(QStringLiteral("HomeFavCard"));
    card->setAttribute(Qt::WA_StyledBackground, true);
    card->setStyleSheet(QStringLiteral("background:" QX_RAISED ";border-radius:10px;"));
    card->setGeometry(QRect(place, QSize(kCardWidth, kCardHeight)));

    auto *icon = new QLabel(card);
    icon->setObjectName(QStringLiteral("HomeFavCardIcon"));
    icon->setGeometry(14, 14, 54, 54);
    icon->setStyleSheet(QStringLiteral("background: transparent;"));
    icon->setAlignment(Qt::AlignCenter);
    if (m_images) {
        if (!m_images->logoPlaceholder().isNull())
            icon->setPixmap(m_images->logoPlaceholder());
        m_images->loadFavoriteLogo(icon, item.logo);
    }

    auto *title = new QLabel(card);
    title->setObjectName(QStringLiteral("HomeFavCardTitle"));
    title->setGeometry(80, 22, 196, 20);
    const QFont titleFont = sizedFont(QStringLiteral("Inter"), 14, 600);
    title->setFont(titleFont);
    title->setStyleSheet(QStringLiteral("color:" QX_WHITE ";background: transparent;font-family: Inter;"
                                        "font-size: 14px;font-weight: 600;"));
    title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    title->setText(QFontMetrics(titleFont).elidedText(item.title, Qt::ElideRight, 196));

    auto *platform = new QLabel(GamesBoardState::platformLabel(item.platform), card);
    platform->setObjectName(QStringLiteral("HomeFavCardPlatform"));
    platform->setGeometry(80, 44, 196, 16);
    platform->setFont(sizedFont(QStringLiteral("Inter"), 12, 500));
    platform->setStyleSheet(QStringLiteral("color:" QX_MUTED ";background: transparent;font-family: Inter;"
                                           "font-size: 12px;font-weight: 500;"));
    platform->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    auto *hit = new QPushButton(card);
    hit->setObjectName(QStringLiteral("HomeFavCardHit"));
    hit->setGeometry(0, 0, kCardWidth, kCardHeight);
    hit->setCursor(Qt::PointingHandCursor);
    hit->setFlat(true);
    hit->setFocusPolicy(Qt::NoFocus);
    hit->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    hit->raise();

    auto *remove = new QToolButton(hit);
    remove->setObjectName(QStringLiteral("HomeFavCardRemove"));
    remove->setCursor(Qt::PointingHandCursor);
    remove->setAutoRaise(true);
    remove->setFocusPolicy(Qt::NoFocus);
    remove->setStyleSheet(
        QStringLiteral("QToolButton#HomeFavCardRemove{background: rgba(0,0,0,0.25);border: "
                       "none;border-radius: 9px;padding: 0px;}"
                       "QToolButton#HomeFavCardRemove:hover{background: rgba(0,0,0,0.38);}"
                       "QToolButton#HomeFavCardRemove:pressed{background: rgba(0,0,0,0.52);}"));
    remove->setGeometry(258, 14, 18, 18);
    remove->setIcon(QIcon(removeIcon()));
    remove->setIconSize(QSize(18, 18));
    remove->raise();
    remove->hide();

    const QString t = item.title;
    const QString logo = item.logo;
    const QString p = item.platform;
    connect(hit, &QPushButton::clicked, card, [this, t, logo, p] { openGame(t, logo, p); });
    if (m_hoverFilter) {
        HoverPartner::set(hit, HoverPartner::kHomeFavClose, remove);
        hit->installEventFilter(m_hoverFilter);
    }
    connect(remove, &QToolButton::clicked, card, [this, item] { removeHomeFavorite(item); });
    card->show();
}

void HomeFavorites::removeHomeFavorite(const HomeFavoriteItem &item)
{
    if (m_state)
        m_state->setFavorite(item.title, item.platform, item.logo, false);
}

void HomeFavorites::openGame(const QString &title, const QString &logo, const QString &platform)
{
    if (platform.trimmed().compare(QLatin1String("Console"), Qt::CaseInsensitive) == 0)
        emit gameOpened(title, logo, QStringLiteral("Console"));
    else
        emit gameOpened(title, logo, QString());
}

void HomeFavorites::place(bool persian)
{
    retranslateHomeEmptyState(persian ? QStringLiteral("fa-IR") : QStringLiteral("en-US"));
    retranslateStripTitle(persian);
}

void HomeFavorites::retranslateStripTitle(bool persian)
{
    if (!m_stripTitle)
        return;
    const QString family = persian ? m_persianFamily : QStringLiteral("Inter");
    m_stripTitle->setText(persian ? QStringLiteral("بازی\u200Cهای مورد علاقه")
                                  : Language::windowText("Favorite games"));
    m_stripTitle->setLayoutDirection(persian ? Qt::RightToLeft : Qt::LeftToRight);
    // Absolute: in a right-to-left label a plain right alignment is mirrored to the left.
    m_stripTitle->setAlignment((persian ? Qt::AlignRight | Qt::AlignAbsolute : Qt::AlignLeft) |
                               Qt::AlignVCenter);
    m_stripTitle->setFont(sizedFont(family, 16, 600));
    m_stripTitle->setStyleSheet(QStringLiteral("color:" QX_WHITE
                                               ";background: transparent;font-family: \"%1\";"
                                               "font-size: 16px;font-weight: 600;line-height: 24px;"
                                               "letter-spacing: 0px;")
                                    .arg(family));
}

void HomeFavorites::retranslateHomeEmptyState(const QString &languageCode)
{
    if (!m_section || !m_title || !m_hint || !m_addGame)
        return;
    const bool persian = Language::isPersian(languageCode);
    if (persian) {
        m_title->setText(QStringLiteral("آماده بهینه\u200Cسازی هستید؟"));
        m_hint->setText(QStringLiteral("برای اطمینان از بهترین مسیر اتصال، یک بازی اضافه کنید."));
        m_addGame->setText(QStringLiteral("افزودن بازی"));
    } else {
        m_title->setText(Language::windowText("Ready to optimize?"));
        m_hint->setText(Language::windowText("Add a game to ensure the best connection route."));
        m_addGame->setText(Language::windowText("Add a game"));
    }
    const Qt::LayoutDirection direction = persian ? Qt::RightToLeft : Qt::LeftToRight;
    m_title->setLayoutDirection(direction);
    m_hint->setLayoutDirection(direction);
    m_addGame->setLayoutDirection(direction);

    const QString family = persian ? m_persianFamily : QStringLiteral("Inter");
    m_title->setFont(sizedFont(family, 20, 600));
    m_hint->setFont(sizedFont(family, 14, 400));
    const QFont buttonFont = sizedFont(family, 14, 600);
    m_addGame->setFont(buttonFont);
    m_title->setStyleSheet(QStringLiteral("color:" QX_WHITE ";background: transparent;font-family: \"%1\";"
                                          "font-size: 20px;font-weight: 600;")
                               .arg(family));
    m_hint->setStyleSheet(QStringLiteral("color:" QX_SECONDARY ";background: transparent;font-family: \"%1\";"
                                         "font-size: 14px;font-weight: 400;line-height: 20px;")
                              .arg(family));
    m_addGame->setStyleSheet(
        QStringLiteral(
            "QPushButton#HomeAddGameBtn{background:" QX_ACCENT ";border:none;border-radius:18px;padding:0px;"
            "color:" QX_BACKGROUND ";font-family: \"%1\";font-style: normal;font-size:14px;font-weight:600;"
            "line-height:20px;letter-spacing:0px;}QPushButton#HomeAddGameBtn:hover{"
            "background:" QX_ADD_GAME_HOVER ";}"
            "QPushButton#HomeAddGameBtn:pressed{background:" QX_ADD_GAME_PRESSED ";}")
            .arg(family));

    const int w = m_section->width();
    m_title->setGeometry(24, 180, w - 48, 28);
    m_hint->setGeometry(24, 212, w - 48, 40);
    const int bw = std::max(126, QFontMetrics(buttonFont).horizontalAdvance(m_addGame->text()) + 40);
    m_addGame->setFixedSize(bw, 48);
    m_addGame->move((w - bw) / 2, 252);
}

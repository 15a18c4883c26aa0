#include "ui/pages/connection/PlatformBoostList.h"

#include "i18n/Language.h"
#include "services/GamePlatform.h"
#include "storage/DatabaseManager.h"
#include "ui/pages/common/PageLooks.h"
#include "ui/widgets/Palette.h"

#include <QDebug>
#include <QFontMetrics>
#include <QLabel>
#include <QLayoutItem>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The texts are the window's: the translation files hold them under
// "MainWindow".
using Language::windowText;

} // namespace

GameLookup GameLookup::database()
{
    GameLookup lookup;
    lookup.findGameIdByName = [](const QString &name) {
        DatabaseManager *db = DatabaseManager::instance();
        return db->isOpen() ? db->findGameIdByName(name) : QString();
    };
    lookup.getGameById = [](const QString &id) {
        DatabaseManager *db = DatabaseManager::instance();
        return db->isOpen() ? db->getGameById(id) : QVariantMap();
    };
    return lookup;
}

PlatformBoostList::PlatformBoostList(const Widgets &widgets, GameLookup games, QObject *parent)
    : QObject(parent), m_w(widgets), m_games(std::move(games))
{}

void PlatformBoostList::styleSwitch(QWidget *track, QWidget *knob, bool on)
{
    if (!track || !knob)
        return;
    track->setStyleSheet(QStringLiteral("background-color: %1; border-radius: 11px;")
                             .arg(on ? QStringLiteral(QX_ACCENT) : QStringLiteral(QX_BORDER)));
    knob->setStyleSheet(QStringLiteral("background-color: %1; border-radius: 8px;")
                            .arg(on ? QStringLiteral(QX_BACKGROUND) : QStringLiteral(QX_RAISED)));
    knob->move(on ? 21 : 3, 3);
    track->update();
}

int PlatformBoostList::thumbPosition(int minimum, int maximum, int value, int trackHeight, int thumbHeight)
{
    const qint64 range = qint64(maximum) - minimum;
    const int free = std::max(trackHeight - thumbHeight, 0);
    int position = 0;
    if (range >= 1)
        position = int(std::round(double(qint64(value) - minimum) / double(range) * free));
    return std::max(std::min(position, free), 0);
}

void PlatformBoostList::clearCards()
{
    while (QLayoutItem *item = m_w.layout->takeAt(0)) {
        if (QWidget *w = item->widget()) {
            // Gone for every lookup at once, though deleted only later.
            w->hide();
            w->setObjectName(QString());
            w->deleteLater();
        }
        delete item;
    }
}

QWidget *PlatformBoostList::makeCard(const QString &gameId, const QVariantMap &profile, const QPixmap &info)
{
    const QString profileKey = GamePlatform::platformBoostProfileKey(profile);
    auto *card = new QWidget(m_w.content);
    card->setObjectName(QStringLiteral("PlatformBoostCard_%1").arg(profileKey));
    card->setFixedSize(299, kCardHeight);
    card->setAttribute(Qt::WA_StyledBackground, true);
    card->setStyleSheet(QStringLiteral("background-color:" QX_RAISED "; border-radius:8px;"));
    card->setProperty("profileId", profileKey);

    QString text = profile.value(QStringLiteral("title")).toString().trimmed();
    if (text.isEmpty())
        text = profile.value(QStringLiteral("name")).toString().trimmed();
    if (text.isEmpty())
        text = windowText("Profile");
    auto *title = new QLabel(text, card);
    title->move(14, 16);
    title->setFont(PageLooks::interFont(14, 500));
    title->setStyleSheet(QStringLiteral("color:" QX_WHITE "; background:transparent;"));

    auto *mark = new QLabel(card);
    mark->setFixedSize(16, 16);
    mark->move(QFontMetrics(title->font()).horizontalAdvance(text) + 20, 19);
    mark->setStyleSheet(QStringLiteral("background:transparent;"));
    PageLooks::setScaledPixmap(mark, info, QSize(16, 16));

    auto *track = new QWidget(card);
    track->setGeometry(245, 16, 40, 22);
    track->setAttribute(Qt::WA_StyledBackground, true);
    auto *knob = new QWidget(track);
    knob->setFixedSize(16, 16);
    knob->setAttribute(Qt::WA_StyledBackground, true);

    const QString settingsKey = GamePlatform::platformBoostSettingsKey(gameId, profileKey);
    const bool steam = GamePlatform::isSteamBoostProfile(profile);
    styleSwitch(track, knob, QSettings().value(settingsKey, steam).toBool());

    auto *hit = new QPushButton(card);
    // Named after its card, as the window's hit buttons are.
    hit->setObjectName(card->objectName() + QLatin1String("Hit"));
    hit->setGeometry(0, 0, 299, kCardHeight);
    hit->setFlat(true);
    hit->setCursor(Qt::PointingHandCursor);
    hit->setFocusPolicy(Qt::NoFocus);
    hit->setStyleSheet(QStringLiteral("background:transparent; border:none;"));
    hit->raise();
    connect(hit, &QPushButton::clicked, card, [settingsKey, steam, track, knob] {
        QSettings settings;
        const bool on = !settings.value(settingsKey, steam).toBool();
        settings.setValue(settingsKey, on);
        settings.sync();
        styleSwitch(track, knob, on);
    });
    return card;
}

void PlatformBoostList::build(const QString &gameTitle)
{
    if (!m_w.scroll || !m_w.content || !m_w.layout)
        return;
    const QString title = gameTitle.trimmed();
    QString gameId;
    QVariantList profiles;
    if (!title.isEmpty() && m_games.findGameIdByName && m_games.getGameById) {
        gameId = m_games.findGameIdByName(title);
        // Anything but a list (a text, a number, null) lists nothing.
        const QVariant value =
            gameId.isEmpty() ? QVariant() : m_games.getGameById(gameId).value(QStringLiteral("profiles"));
        if (value.typeId() == QMetaType::QVariantList)
            profiles = value.toList();
    }

    clearCards();
    const int spacing = m_w.layout->spacing();
    const QPixmap info(QStringLiteral(":/icons/platform-info.png"));
    int count = 0;
    for (const QVariant &item : std::as_const(profiles)) {
        m_w.layout->addWidget(makeCard(gameId, item.toMap(), info), 0);
        ++count;
    }
    m_w.layout->addStretch(1);
    m_count = count;

    const int contentHeight = count > 0 ? count * kCardHeight + (count - 1) * spacing : 0;
    const int viewportHeight = 2 * spacing + 3 * kCardHeight;
    const bool hasScroll = viewportHeight < contentHeight;
    m_w.scroll->setProperty("boostHasItems", count > 0);
    m_w.scroll->setProperty("boostHasScroll", hasScroll);
    qDebug().noquote() << "[PlatformBoostScrollBar] build" << title << "count" << count << "content"
                       << contentHeight << "viewport" << viewportHeight << "hasScroll" << hasScroll << "area"
                       << m_w.scroll->geometry() << "visible" << m_w.scroll->isVisible();

    if (count > 0) {
        m_w.scroll->show();
        const QRect g = m_w.scroll->geometry();
        m_w.scroll->setGeometry(g.x(), g.y(), g.width(), count < 4 ? contentHeight : viewportHeight);
        m_w.content->setMinimumHeight(contentHeight);
        m_w.content->setMaximumHeight(contentHeight);
    } else {
        m_w.scroll->hide();
    }

    if (m_w.track) {
        qDebug().noquote() << "[PlatformBoostScrollBar] Widget exists." << m_w.track << "parent"
                           << m_w.track->parentWidget() << "area" << m_w.scroll->geometry()
                           << m_w.scroll->isVisible();
        updateScrollBar(hasScroll, count);
    }

    if (m_w.tapButton) {
        QRect g = m_w.tapButton->geometry();
        if (count > 0 && !m_w.scroll->isHidden()) {
            g.moveTop(m_w.scroll->y() + (count < 4 ? contentHeight : viewportHeight) + 20);
        } else {
            const int base = m_w.tapButton->property("tapBaseY").toInt();
            if (base > 0)
                g.moveTop(base);
        }
        m_w.tapButton->setGeometry(g);
        m_w.tapButton->setProperty("tapDynamicY", g.y());
    }
}

void PlatformBoostList::updateScrollBar(bool hasScroll, int count)
{
    QWidget *track = m_w.track;
    if (!track)
        return;
    if (!hasScroll || count <= 0) {
        qDebug() << "[PlatformBoostScrollBar] updateNow: hide (no scroll)";
        track->hide();
        return;
    }
    QWidget *reference = track->parentWidget();
    if (!reference && m_w.scroll)
        reference = m_w.scroll->parentWidget();
    const int x = std::max(0, (reference ? reference->width() : 0) - 55);
    const int y = m_w.scroll ? m_w.scroll->y() + std::max(0, (m_w.scroll->height() - kTrackHeight) / 2) : 0;
    qDebug() << "[PlatformBoostScrollBar] updateNow: show" << x << y;
    track->setGeometry(x, y, 5, kTrackHeight);
    track->show();
    track->raise();
    qDebug() << "[PlatformBoostScrollBar] updateNow: after show" << track->geometry() << track->isVisible();
    syncThumb();
    if (m_w.thumb && m_w.scroll) {
        const QScrollBar *bar = m_w.scroll->verticalScrollBar();
        qDebug() << "[PlatformBoostScrollBar] updateNow: thumb" << bar->maximum() - bar->minimum()
                 << bar->value() << bar->minimum() << bar->maximum() << m_w.thumb->geometry();
    }
}

void PlatformBoostList::syncThumb()
{
    if (!m_w.scroll || !m_w.track || !m_w.thumb)
        return;
    const QScrollBar *bar = m_w.scroll->verticalScrollBar();
    const int position =
        thumbPosition(bar->minimum(), bar->maximum(), bar->value(), m_w.track->height(), m_w.thumb->height());
    m_w.thumb->move(0, position);
}

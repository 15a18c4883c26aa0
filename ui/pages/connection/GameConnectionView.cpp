#include "ui/pages/connection/GameConnectionView.h"

#include "connection/NetworkFingerprint.h"
#include "connection/RelayChoice.h"
#include "i18n/Language.h"
#include "services/GamePlatform.h"
#include "services/ServiceConfig.h"
#include "storage/DatabaseManager.h"
#include "storage/SettingsManager.h"
#include "ui/pages/connection/PingOptimizerPage.h"
#include "ui/widgets/FittedText.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace {

// The texts are the window's: the translation files hold them under
// "MainWindow".
using Language::windowText;

} // namespace

GameConnectionView::Services GameConnectionView::Services::defaults()
{
    Services s;
    s.games = GameLookup::database();
    s.routeCache = [](const QString &gameId, const QString &region, const QString &fingerprint) {
        DatabaseManager *db = DatabaseManager::instance();
        return db->isOpen() ? db->getRouteCache(gameId, region, fingerprint) : QVariantMap();
    };
    s.networkFingerprint = [] { return ::networkFingerprint(); };
    s.nowUtc = [] { return QDateTime::currentDateTimeUtc(); };
    s.selectGame = [](const QString &title, const QString &logo) {
        SettingsManager::instance()->setGame(title, logo);
        SettingsManager::instance()->setShowGameDetails(true);
    };
    s.resolveLogoUrl = [](const QString &logo) { return ServiceConfig::instance().resolveUploadsUrl(logo); };
    s.coversFolder =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/covers");
    return s;
}

GameConnectionView::GameConnectionView(Services services, Intervals intervals, HeaderLabels labels,
                                       QObject *parent)
    : QObject(parent), m_services(std::move(services)), m_intervals(intervals), m_labels(labels)
{}

GameConnectionView::CacheUse GameConnectionView::cacheUse(const QVariantMap &row, const QDateTime &nowUtc)
{
    if (row.value(QStringLiteral("ping_json")).toString().isEmpty())
        return CacheUse::Sweep;
    QDateTime updated =
        QDateTime::fromString(row.value(QStringLiteral("updated_at")).toString(), Qt::ISODate);
    if (!updated.isValid())
        return CacheUse::Sweep;
    const qint64 age = updated.toUTC().secsTo(nowUtc.toUTC());
    if (age < 0 || age > kUsableSeconds)
        return CacheUse::Sweep;
    return age > kFreshSeconds ? CacheUse::Refresh : CacheUse::Fresh;
}

QString GameConnectionView::coverFileName(const QString &logo)
{
    return QString::fromLatin1(QCryptographicHash::hash(logo.toUtf8(), QCryptographicHash::Md5).toHex()) +
           QStringLiteral(".img");
}

void GameConnectionView::announceOpen()
{
    emit trackEvent(QStringLiteral("view_connections"));
    emit trackEvent(QStringLiteral("view_routing"));
    QTimer::singleShot(m_intervals.promoRefreshMs, this, &GameConnectionView::promotionRefreshDue);
}

void GameConnectionView::openGame(const QString &title, const QString &logo, const QString &category)
{
    announceOpen();
    const bool console = GamePlatform::isConsolePlatform(category);
    emit routingPcIconRequested(console);
    if (!console) {
        openGame(title, logo);
        return;
    }
    if (m_services.selectGame)
        m_services.selectGame(title, logo);
    updateConnectionGameHeader(title, logo);
    emit navigateToPage(2);
    emit snapshotOverlayRequested(true);
    qDebug().noquote() << "[ConsoleConn] Opening console mode for game:" << title;
    emit consoleModeOpened(title);
    if (m_services.hasConsoleNetwork && m_services.hasConsoleNetwork())
        QTimer::singleShot(m_intervals.consoleNetworkMs, this, &GameConnectionView::setupConsoleNetworkDue);
    QTimer::singleShot(m_intervals.tapToConnectMs, this, &GameConnectionView::tapToConnectDue);
}

void GameConnectionView::openGame(const QString &title, const QString &logo)
{
    announceOpen();
    emit snapshotOverlayRequested(false);

    QString gameId;
    if (m_services.games.findGameIdByName)
        gameId = m_services.games.findGameIdByName(title);
    QString category;
    if (!gameId.isEmpty() && m_services.games.getGameById) {
        const QVariantMap game = m_services.games.getGameById(gameId);
        category = game.value(QStringLiteral("category")).toString();
        if (category.isEmpty())
            category = game.value(QStringLiteral("platform")).toString();
    }
    if (GamePlatform::isConsolePlatform(category)) {
        emit routingPcIconRequested(true);
        if (m_services.selectGame)
            m_services.selectGame(title, logo);
        updateConnectionGameHeader(title, logo);
        emit navigateToPage(2);
        emit snapshotOverlayRequested(true);
        return;
    }
    emit routingPcIconRequested(false);
    if (m_services.selectGame)
        m_services.selectGame(title, logo);
    updateConnectionGameHeader(title, logo);

    const QString region = QString::fromLatin1(kRegion);
    const QString fingerprint = m_services.networkFingerprint ? m_services.networkFingerprint() : QString();
    const QString cacheId = gameId.isEmpty() ? title.trimmed() : gameId;
    const QVariantMap row =
        m_services.routeCache ? m_services.routeCache(cacheId, region, fingerprint) : QVariantMap();
    const QDateTime now = m_services.nowUtc ? m_services.nowUtc() : QDateTime::currentDateTimeUtc();
    const CacheUse use = cacheUse(row, now);
    if (use == CacheUse::Sweep) {
        showSweepPage(title, logo);
        return;
    }
    const QHash<QString, int> pings =
        RelayChoice::parsePingJson(row.value(QStringLiteral("ping_json")).toByteArray());
    emit navigateToPage(2);
    emit selectedRegionRequested(pings);
    if (use == CacheUse::Refresh)
        startBackgroundSweep(title);
}

void GameConnectionView::startBackgroundSweep(const QString &title)
{
    PingOptimizerPage *page = m_services.sweepPage ? m_services.sweepPage() : nullptr;
    if (!page || page->property("qxBgPingSweep").toBool())
        return;
    page->setProperty("qxBgPingSweep", true);
    if (m_services.windowRect)
        page->setGeometry(m_services.windowRect());
    page->hide();
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(page, &PingOptimizerPage::finished, this, [this, once, title] {
        disconnect(*once);
        emit backgroundSweepFinished(title, QString::fromLatin1(kRegion));
    });
    page->startAnalysis();
}

void GameConnectionView::showSweepPage(const QString &title, const QString &logo)
{
    PingOptimizerPage *page = m_services.sweepPage ? m_services.sweepPage() : nullptr;
    if (!page)
        return;
    if (m_services.windowRect)
        page->setGeometry(m_services.windowRect());
    page->raise();
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(page, &PingOptimizerPage::finished, this, [this, once, title, logo] {
        disconnect(*once);
        emit applyServerPingsRequested(title, logo, QString::fromLatin1(kRegion));
    });
    page->show();
}

void GameConnectionView::updateConnectionGameHeader(const QString &title, const QString &logo)
{
    emit boostSectionRequested(title);
    // Each title takes the width of its text, within the header; the
    // diagram's caption keeps its place under the game's node.
    if (QLabel *label = m_labels.title) {
        const int room = label->parentWidget() ? label->parentWidget()->width() - label->x() : label->width();
        FittedText::fit(label, title.isEmpty() ? windowText("-") : title, room);
    }
    if (m_labels.routingLabel)
        FittedText::elide(m_labels.routingLabel, title.isEmpty() ? windowText("-") : title.toLower());
    emit gameShown(title);
    if (logo.isEmpty())
        return;
    QList<QPointer<QLabel>> labels;
    for (const QPointer<QLabel> &label : {m_labels.icon, m_labels.routingIcon}) {
        if (label)
            labels.append(label);
    }
    if (labels.isEmpty())
        return;
    const QString folder = m_services.coversFolder;
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return;
    const QString path = folder + QLatin1Char('/') + coverFileName(logo);
    const QPixmap cached(path);
    if (QFile::exists(path) && !cached.isNull()) {
        setBannerCover(labels, cached);
        return;
    }
    // Only a web address is fetched; a local file or resource named by the
    // catalogue is never read this way.
    const QUrl url(m_services.resolveLogoUrl ? m_services.resolveLogoUrl(logo) : logo);
    const QString scheme = url.scheme().toLower();
    if (!m_services.network || !url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return;
    QNetworkReply *reply = m_services.network->get(QNetworkRequest(url));
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, path, labels] { onBannerCoverReply(reply, path, labels); });
}

void GameConnectionView::onBannerCoverReply(QNetworkReply *reply, const QString &filePath,
                                            const QList<QPointer<QLabel>> &labels)
{
    const QNetworkReply::NetworkError error = reply->error();
    const QByteArray data = reply->readAll();
    reply->deleteLater();
    if (error != QNetworkReply::NoError || data.isEmpty())
        return;
    QPixmap pixmap;
    if (!pixmap.loadFromData(data))
        return;
    // The old cover is replaced only by a complete, checked copy.
    QSaveFile file(filePath);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size())
        file.commit();
    else
        file.cancelWriting();
    setBannerCover(labels, pixmap);
}

void GameConnectionView::setBannerCover(const QList<QPointer<QLabel>> &labels, const QPixmap &pixmap)
{
    for (const QPointer<QLabel> &label : labels) {
        if (!label)
            continue;
        label->setFixedSize(60, 60);
        label->setStyleSheet(QStringLiteral("background: transparent; border-radius: 10px;"));
        const QPixmap scaled =
            pixmap.scaled(60, 60, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        QPixmap rounded(60, 60);
        rounded.fill(Qt::transparent);
        QPainter painter(&rounded);
        painter.setRenderHint(QPainter::Antialiasing, true);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(0, 0, 60, 60), 10, 10);
        painter.setClipPath(clip);
        painter.drawPixmap(0, 0, scaled);
        painter.end();
        label->setPixmap(rounded);
    }
}

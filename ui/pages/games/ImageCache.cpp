#include "ui/pages/games/ImageCache.h"

#include "services/GamesCatalogue.h"
#include "services/ServiceApi.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QSaveFile>

#include <algorithm>

const QSize ImageCache::kCoverSize(160, 239);
const QSize ImageCache::kLogoSize(54, 54);

static const QString kPlaceholder = QStringLiteral(":/icons/games-tile.png");

ImageCache::ImageCache(const ServiceConfig &config, const QString &dataFolder,
                       QNetworkAccessManager *coverManager, QNetworkAccessManager *logoManager,
                       int inactivityMs, QObject *parent)
    : QObject(parent), m_config(config), m_coversFolder(dataFolder + QStringLiteral("/covers")),
      m_coverManager(coverManager), m_logoManager(logoManager), m_inactivityMs(inactivityMs)
{
    QPixmapCache::setCacheLimit(kPixmapCacheKb);
    QDir().mkpath(m_coversFolder);
    const QImage raw(kPlaceholder);
    m_coverPlaceholder = roundedCoverPixmap(raw, kCoverSize, kCoverRadius);
    m_logoPlaceholder = roundedCoverPixmap(raw, kLogoSize, kLogoRadius);
}

QString ImageCache::resolveUploadsUrl(const QString &raw) const
{
    return m_config.resolveUploadsUrl(raw);
}

bool ImageCache::fetchable(const QString &url)
{
    return url.startsWith(QLatin1String("http://")) || url.startsWith(QLatin1String("https://"));
}

QString ImageCache::coverKey(const QString &url)
{
    return QStringLiteral("GamesCover:%1:%2x%3:r%4")
        .arg(url)
        .arg(kCoverSize.width())
        .arg(kCoverSize.height())
        .arg(kCoverRadius);
}

QString ImageCache::logoKey(const QString &url)
{
    return QStringLiteral("HomeFavLogo:%1:%2x%3:r%4")
        .arg(url)
        .arg(kLogoSize.width())
        .arg(kLogoSize.height())
        .arg(kLogoRadius);
}

static QPixmap clippedOnto(const QImage &image, const QSize &size, int radius, const QPoint &at)
{
    QPixmap out(size);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, size.width(), size.height()), radius, radius);
    painter.setClipPath(clip);
    painter.drawImage(at, image);
    painter.end();
    return out;
}

QPixmap ImageCache::roundedCoverPixmap(const QImage &source, const QSize &size, int radius)
{
    if (source.isNull() || size.isEmpty())
        return QPixmap();
    // Crop to the target's aspect first: scaling a 1 x 100000 strip to cover
    // the size would otherwise ask for an image 100000 times too tall.
    const qint64 sw = source.width();
    const qint64 sh = source.height();
    QRect crop(0, 0, int(sw), int(sh));
    if (sw * size.height() > sh * size.width()) {
        const int w = int(std::max<qint64>(1, sh * size.width() / size.height()));
        crop = QRect(int((sw - w) / 2), 0, w, int(sh));
    } else {
        const int h = int(std::max<qint64>(1, sw * size.height() / size.width()));
        crop = QRect(0, int((sh - h) / 2), int(sw), h);
    }
    const QImage scaled =
        source.copy(crop).scaled(size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    return clippedOnto(
        scaled, size, radius,
        QPoint(-((scaled.width() - size.width()) / 2), -((scaled.height() - size.height()) / 2)));
}

QPixmap ImageCache::roundedCoverPixmap(const QPixmap &source, const QSize &size, int radius)
{
    return roundedCoverPixmap(source.toImage(), size, radius);
}

QPixmap ImageCache::roundedFitPixmap(const QImage &source, const QSize &size, int radius)
{
    if (source.isNull() || size.isEmpty())
        return QPixmap();
    const QImage scaled = source.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull())
        return QPixmap();
    return clippedOnto(scaled, size, radius,
                       QPoint((size.width() - scaled.width()) / 2, (size.height() - scaled.height()) / 2));
}

QString ImageCache::coverCacheFileName(const QString &folder, const QString &url, const QSize &size,
                                       int radius)
{
    const QByteArray md5 = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Md5).toHex();
    return folder + QLatin1Char('/') + QString::fromLatin1(md5) +
           QStringLiteral("_%1x%2_r%3.img").arg(size.width()).arg(size.height()).arg(radius);
}

QString ImageCache::coverCacheFileName(const QString &url) const
{
    return coverCacheFileName(m_coversFolder, url, kCoverSize, kCoverRadius);
}

void ImageCache::pruneCoverCache(const QString &folder, qint64 limit)
{
    QDir dir(folder);
    if (!dir.exists())
        return;
    QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
    std::stable_sort(files.begin(), files.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return a.lastModified() < b.lastModified();
    });
    qint64 total = 0;
    for (const QFileInfo &info : std::as_const(files))
        total += info.size();
    for (const QFileInfo &info : std::as_const(files)) {
        if (total <= limit)
            break;
        if (QFile::remove(info.absoluteFilePath()))
            total -= info.size();
    }
}

QImage ImageCache::decodeImage(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QImage();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(int(kMaxImagePixels * 4 / (1024 * 1024)));
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > kMaxImagePixels)
        return QImage();
    return reader.read();
}

void ImageCache::loadGameCover(QLabel *label, const QString &raw)
{
    const QString url = resolveUploadsUrl(raw);
    if (url.isEmpty() || !fetchable(url))
        return;

    const QString key = coverKey(url);
    QPixmap cached;
    if (label && QPixmapCache::find(key, &cached) && !cached.isNull()) {
        label->setPixmap(cached);
        return;
    }

    const QString file = coverCacheFileName(url);
    if (QFileInfo::exists(file)) {
        if (!label)
            return;
        QFile in(file);
        const QImage image = in.open(QIODevice::ReadOnly) ? decodeImage(in.readAll()) : QImage();
        const QPixmap rounded = roundedCoverPixmap(image, kCoverSize, kCoverRadius);
        if (!rounded.isNull()) {
            QPixmapCache::insert(key, rounded);
            label->setPixmap(rounded);
            return;
        }
        QFile::remove(file);
    }

    if (label && !m_coverPlaceholder.isNull())
        label->setPixmap(m_coverPlaceholder);

    if (m_coverRequestsInFlight.contains(url)) {
        if (label)
            m_coverWaiters[url].append(QPointer<QLabel>(label));
        return;
    }
    if (!m_coverManager)
        return;
    m_coverRequestsInFlight.insert(url);
    m_coverWaiters[url] = label ? Waiters{QPointer<QLabel>(label)} : Waiters{};
    QNetworkReply *reply = m_coverManager->get(ServiceApi::imageRequest(QUrl(url)));
    ServiceApi::watchInactivity(reply, m_inactivityMs);
    ServiceApi::limitBody(reply, kMaxImageBytes);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, url, file] { onGameCoverReply(reply, url, file); });
}

void ImageCache::writeCoverFile(const QString &file, const QByteArray &data)
{
    // The old file is replaced only by a complete new one.
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size()) {
        out.cancelWriting();
        return;
    }
    out.commit();
}

void ImageCache::onGameCoverReply(QNetworkReply *reply, const QString &url, const QString &file)
{
    const bool failed = reply->error() != QNetworkReply::NoError;
    const QByteArray data = failed ? QByteArray() : reply->readAll();
    reply->deleteLater();

    const Waiters waiters = m_coverWaiters.value(url);
    const bool alive =
        std::any_of(waiters.begin(), waiters.end(), [](const QPointer<QLabel> &l) { return !l.isNull(); });

    if (!failed && !data.isEmpty()) {
        writeCoverFile(file, data);
        pruneCoverCache(m_coversFolder, m_coversLimit);
    }
    if (alive) {
        QPixmap image = m_coverPlaceholder;
        const QPixmap rounded = roundedCoverPixmap(decodeImage(data), kCoverSize, kCoverRadius);
        if (!rounded.isNull()) {
            image = rounded;
            QPixmapCache::insert(coverKey(url), rounded);
        }
        for (const QPointer<QLabel> &label : waiters) {
            if (label)
                label->setPixmap(image);
        }
    }
    m_coverWaiters.remove(url);
    m_coverRequestsInFlight.remove(url);
    emit coverSettled(url);
}

void ImageCache::prefetchGameCovers()
{
    if (!m_items)
        return;
    const int n = std::min<int>(int(m_items->size()), kPrefetchCount);
    for (int i = 0; i < n; ++i)
        loadGameCover(nullptr, m_items->at(i).cover);
}

void ImageCache::loadFavoriteLogo(QLabel *label, const QString &raw)
{
    if (!label)
        return;
    const QString url = resolveUploadsUrl(raw);
    if (url.isEmpty() || !fetchable(url)) {
        if (!m_logoPlaceholder.isNull())
            label->setPixmap(m_logoPlaceholder);
        return;
    }
    const QString key = logoKey(url);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached) && !cached.isNull()) {
        label->setPixmap(cached);
        return;
    }
    if (!m_logoPlaceholder.isNull())
        label->setPixmap(m_logoPlaceholder);
    if (m_logoRequestsInFlight.contains(url)) {
        m_logoWaiters[url].append(QPointer<QLabel>(label));
        return;
    }
    if (!m_logoManager)
        return;
    m_logoRequestsInFlight.insert(url);
    m_logoWaiters[url] = Waiters{QPointer<QLabel>(label)};
    QNetworkReply *reply = m_logoManager->get(ServiceApi::imageRequest(QUrl(url)));
    ServiceApi::watchInactivity(reply, m_inactivityMs);
    ServiceApi::limitBody(reply, kMaxImageBytes);
    connect(reply, &QNetworkReply::finished, this, [this, reply, url] { onFavoriteLogoReply(reply, url); });
}

void ImageCache::onFavoriteLogoReply(QNetworkReply *reply, const QString &url)
{
    const bool failed = reply->error() != QNetworkReply::NoError;
    const QByteArray data = failed ? QByteArray() : reply->readAll();
    reply->deleteLater();

    QPixmap image = m_logoPlaceholder;
    const QPixmap fitted = roundedFitPixmap(decodeImage(data), kLogoSize, kLogoRadius);
    if (!fitted.isNull()) {
        image = fitted;
        QPixmapCache::insert(logoKey(url), fitted);
    }
    for (const QPointer<QLabel> &label : m_logoWaiters.value(url)) {
        if (label)
            label->setPixmap(image);
    }
    m_logoWaiters.remove(url);
    m_logoRequestsInFlight.remove(url);
    emit logoSettled(url);
}

#pragma once
// Game covers for the grid's tiles and game logos for the home favourite
// cards. A cover is looked for in the process-wide pixmap cache, then in the
// "covers" folder, then downloaded once per URL however many labels wait for
// it; logos are kept in memory only. Labels are held through guarded
// pointers, so one deleted while its image is on the way is simply skipped.

#include "services/ServiceConfig.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QString>

#include <memory>

class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
struct GameApiItem;

class ImageCache : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPixmapCacheKb = 204800;
    static constexpr qint64 kCoversFolderLimit = 524288000; // 500 MiB
    static constexpr int kPrefetchCount = 35;
    static const QSize kCoverSize;
    static constexpr int kCoverRadius = 12;
    static const QSize kLogoSize;
    static constexpr int kLogoRadius = 10;
    // Images larger than this many pixels are not decoded.
    static constexpr qint64 kMaxImagePixels = 40LL * 1000 * 1000;
    // A cover or logo download longer than this is dropped unread and never
    // written to the covers folder: real ones are tens to hundreds of KiB.
    static constexpr qint64 kMaxImageBytes = 8LL * 1024 * 1024;

    // config resolves "/uploads/" paths; covers are kept in dataFolder +
    // "/covers". The two managers (not owned) carry the cover and the logo
    // downloads; a download that moves nothing for inactivityMs is given up.
    ImageCache(const ServiceConfig &config, const QString &dataFolder, QNetworkAccessManager *coverManager,
               QNetworkAccessManager *logoManager, int inactivityMs, QObject *parent = nullptr);

    QString resolveUploadsUrl(const QString &raw) const;
    // Cropped to the size's aspect, then scaled, with rounded corners. Null for a null source.
    static QPixmap roundedCoverPixmap(const QImage &source, const QSize &size, int radius);
    static QPixmap roundedCoverPixmap(const QPixmap &source, const QSize &size, int radius);
    // Fitted inside the size, centred, with transparent margins and rounded corners.
    static QPixmap roundedFitPixmap(const QImage &source, const QSize &size, int radius);
    // The folder's file for a cover of url at the grid's size.
    static QString coverCacheFileName(const QString &folder, const QString &url, const QSize &size,
                                      int radius);
    QString coverCacheFileName(const QString &url) const;
    // Deletes the oldest files until the folder's files sum to at most limit bytes.
    static void pruneCoverCache(const QString &folder, qint64 limit);
    // Decodes an image unless it is not one or would be too large.
    static QImage decodeImage(const QByteArray &bytes);

    QString coversFolder() const { return m_coversFolder; }
    QPixmap coverPlaceholder() const { return m_coverPlaceholder; }
    QPixmap logoPlaceholder() const { return m_logoPlaceholder; }
    void setCoversFolderLimit(qint64 bytes) { m_coversLimit = bytes; }

    // Shows the cover on label (null: only fill the disk cache).
    void loadGameCover(QLabel *label, const QString &raw);
    // Fetches ahead the covers of the first entries of the catalogue list.
    void setCatalogueItems(std::shared_ptr<const QList<GameApiItem>> items) { m_items = std::move(items); }
    void prefetchGameCovers();
    void loadFavoriteLogo(QLabel *label, const QString &raw);

    bool coverInFlight(const QString &url) const { return m_coverRequestsInFlight.contains(url); }
    int coversInFlight() const { return m_coverRequestsInFlight.size(); }
    int logosInFlight() const { return m_logoRequestsInFlight.size(); }

signals:
    // A download's reply was handled (tests and the benchmark wait on it).
    void coverSettled(const QString &url);
    void logoSettled(const QString &url);

private:
    using Waiters = QList<QPointer<QLabel>>;
    static bool fetchable(const QString &url);
    static QString coverKey(const QString &url);
    static QString logoKey(const QString &url);
    void onGameCoverReply(QNetworkReply *reply, const QString &url, const QString &file);
    void onFavoriteLogoReply(QNetworkReply *reply, const QString &url);
    void writeCoverFile(const QString &file, const QByteArray &data);

    ServiceConfig m_config;
    QString m_coversFolder;
    QPointer<QNetworkAccessManager> m_coverManager;
    QPointer<QNetworkAccessManager> m_logoManager;
    int m_inactivityMs;
    qint64 m_coversLimit = kCoversFolderLimit;
    QPixmap m_coverPlaceholder;
    QPixmap m_logoPlaceholder;
    std::shared_ptr<const QList<GameApiItem>> m_items;
    QSet<QString> m_coverRequestsInFlight;
    QHash<QString, Waiters> m_coverWaiters;
    QSet<QString> m_logoRequestsInFlight;
    QHash<QString, Waiters> m_logoWaiters;
};

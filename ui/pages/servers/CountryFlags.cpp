#include "ui/pages/servers/CountryFlags.h"

#include "services/NetworkAccess.h"
#include "storage/DatabaseManager.h"

#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

QSize sizeOr(const QLabel *label, const QSize &emptySize)
{
    const QSize size = label->size();
    return size.isEmpty() ? emptySize : size;
}

// A cached or downloaded picture, filling the label's square.
bool showBytes(QLabel *label, const QByteArray &bytes)
{
    QPixmap picture;
    if (bytes.isEmpty() || !picture.loadFromData(bytes))
        return false;
    label->setPixmap(picture.scaled(sizeOr(label, QSize(16, 16)), Qt::KeepAspectRatioByExpanding,
                                    Qt::SmoothTransformation));
    return true;
}

} // namespace

CountryFlags::CountryFlags(const ServiceConfig &config, DatabaseManager *db, QObject *parent)
    : QObject(parent), m_config(config), m_db(db)
{}

DatabaseManager *CountryFlags::db() const
{
    return m_db ? m_db : DatabaseManager::instance();
}

QNetworkAccessManager *CountryFlags::manager()
{
    // One manager for every download: a row per relay would otherwise leave
    // a manager per row behind.
    if (!m_manager)
        m_manager = NetworkAccess::createManager(this);
    return m_manager;
}

QString CountryFlags::resourcePath(const QString &countryCode)
{
    const QString lower = countryCode.trimmed().toLower();
    if (lower.isEmpty())
        return QString();
    for (const QString &path : {QStringLiteral(":/flag-svg/%1.svg").arg(lower),
                                QStringLiteral(":/flag-svg/resources/flag-svg/%1.svg").arg(lower)}) {
        if (QFile::exists(path))
            return path;
    }
    return QString();
}

bool CountryFlags::showResourceFlag(QLabel *label, const QString &countryCode, const QSize &emptySize)
{
    const QString path = resourcePath(countryCode);
    if (!label || path.isEmpty())
        return false;
    const QSize size = sizeOr(label, emptySize);
    const QPixmap icon = QIcon(path).pixmap(size, QIcon::Normal, QIcon::Off);
    if (!icon.isNull()) {
        label->clear();
        if (icon.size() == size) {
            label->setPixmap(icon);
            return true;
        }
        // The flags are 4:3; centred in the label's square they keep their
        // shape and the label keeps its size.
        QPixmap square(size);
        square.fill(Qt::transparent);
        QPainter painter(&square);
        painter.drawPixmap((size.width() - icon.width()) / 2, (size.height() - icon.height()) / 2, icon);
        painter.end();
        label->setPixmap(square);
        return true;
    }
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return false;
    QPixmap drawn(size);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    label->clear();
    label->setPixmap(drawn);
    return true;
}

void CountryFlags::loadCountryFlag(QLabel *label, const QString &countryCode, const QString &flagUrl)
{
    if (!label)
        return;
    const QString code = countryCode.trimmed().toUpper();
    if (code.isEmpty())
        return;
    if (showResourceFlag(label, code))
        return;
    if (DatabaseManager *database = db()) {
        if (showBytes(label, database->getFlagImage(code)))
            return;
    }
    QString address = m_config.resolveUploadsUrl(flagUrl);
    if (address.startsWith(QLatin1Char('/')))
        address = m_config.serviceUrl(address).toString();
    const QUrl url(address);
    // Only web addresses: a relay record naming a local file or a bundled
    // resource gets nothing read on its behalf.
    if (address.isEmpty() || !url.isValid() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return;
    ++m_downloads;
    QNetworkReply *reply = manager()->get(QNetworkRequest(url));
    const QPointer<QLabel> target(label);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, target, code] { onFlagImageReply(reply, target, code); });
}

void CountryFlags::onFlagImageReply(QNetworkReply *reply, const QPointer<QLabel> &label,
                                    const QString &countryCode)
{
    if (!reply)
        return;
    const bool failed = reply->error() != QNetworkReply::NoError;
    const QByteArray bytes = reply->readAll();
    reply->deleteLater();
    if (failed || bytes.isEmpty())
        return;
    // Stored even when it is no picture: the next lookup fails to load it and
    // fetches again, replacing it.
    if (DatabaseManager *database = db()) {
        database->saveFlagImage(countryCode, bytes);
        emit flagStored(countryCode);
    }
    if (label)
        showBytes(label, bytes);
}

#include "storage/SettingsManager.h"

#include "storage/DatabaseManager.h"
#include "storage/SettingsKeys.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSettings>

namespace {
const QString kMigrationFlag = QStringLiteral("migration/game_cards_to_db");
}

SettingsManager *SettingsManager::instance()
{
    static SettingsManager *const manager = [] {
        auto *m = new SettingsManager;
        m->migrateGameCardsToDb();
        return m;
    }();
    return manager;
}

SettingsManager::SettingsManager(QObject *parent) : QObject(parent), m_settings(new QSettings(this)) {}

SettingsManager::~SettingsManager() = default;

bool SettingsManager::connectionMode() const
{
    return m_settings->value(KEY_CONNECTION_MODE, true).toBool();
}

QString SettingsManager::gameLogo() const
{
    return m_settings->value(KEY_GAME_LOGO, QString()).toString();
}

QString SettingsManager::gameTitle() const
{
    return m_settings->value(KEY_GAME_TITLE, QString()).toString();
}

QString SettingsManager::serverIp() const
{
    return m_settings->value(KEY_SERVER_IP, QString()).toString();
}

int SettingsManager::serverPort() const
{
    return m_settings->value(KEY_SERVER_PORT, 0).toInt();
}

void SettingsManager::setConnectionMode(bool automatic)
{
    m_settings->setValue(KEY_CONNECTION_MODE, automatic);
    m_settings->sync();
}

void SettingsManager::setGame(const QString &title, const QString &logo)
{
    m_settings->setValue(KEY_GAME_TITLE, title);
    m_settings->setValue(KEY_GAME_LOGO, logo);
    m_settings->sync();
}

void SettingsManager::setServerPort(int port)
{
    if (port > 0)
        m_settings->setValue(KEY_SERVER_PORT, port);
    else
        m_settings->remove(KEY_SERVER_PORT);
    m_settings->sync();
}

void SettingsManager::setServer(const QString &key, const QString &ip, const QString &name,
                                const QString &countryCode)
{
    m_settings->setValue(KEY_SERVER_KEY, key);
    m_settings->setValue(KEY_SERVER_IP, ip);
    m_settings->setValue(KEY_SERVER_NAME, name);
    m_settings->setValue(KEY_SERVER_COUNTRY_CODE, countryCode);
    m_settings->sync();
}

void SettingsManager::setShowGameDetails(bool on)
{
    m_settings->setValue(KEY_UI_SHOW_GAME_DETAILS, on);
    m_settings->sync();
}

void SettingsManager::migrateGameCardsToDb()
{
    if (m_settings->value(kMigrationFlag, false).toBool())
        return;

    auto markDone = [this] {
        m_settings->setValue(kMigrationFlag, true);
        m_settings->sync();
    };

    const QString cards = m_settings->value(KEY_GAME_CARDS, QString()).toString();
    if (cards.isEmpty()) {
        markDone();
        return;
    }

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(cards.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) {
        qWarning() << "[Settings] the stored game cards are not a JSON list; nothing to move";
        markDone();
        return;
    }

    DatabaseManager *db = DatabaseManager::instance();
    bool allWritten = true;
    const QJsonArray array = doc.array();
    for (const QJsonValue &element : array) {
        if (!element.isObject())
            continue;
        const QJsonObject card = element.toObject();
        const QString title = card.value(QStringLiteral("title")).toString();
        if (title.isEmpty())
            continue;
        if (!db->saveUserConnection(title, card.value(QStringLiteral("logo")).toString(),
                                    card.value(QStringLiteral("executable")).toString(), QString(), QString(),
                                    QString(), 0, QString()))
            allWritten = false;
    }

    // Marking the move done after a failed write would lose those cards for
    // good; leave the flag unset so the next start tries again.
    if (!allWritten) {
        qWarning() << "[Settings] moving the game cards to the database failed; will retry on the next start";
        return;
    }
    markDone();
}

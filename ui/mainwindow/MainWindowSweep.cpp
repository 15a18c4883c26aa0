// The ping sweep's window side: the sweep page over the whole window, the two
// handlers that keep a finished sweep in the route cache (the hidden one and
// the shown one, which also shows its result), the automatic relay on the
// relay card, and the relays' country flags.
#include "ui/mainwindow/MainWindow.h"

#include "connection/NetworkFingerprint.h"
#include "connection/RelayChoice.h"
#include "connection/RouteCache.h"
#include "storage/DatabaseManager.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/connection/ConnectDisplay.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/PingOptimizerPage.h"
#include "ui/pages/servers/CountryFlags.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

namespace {

void storeSweep(const QString &title, const QString &region, const QString &pingsText)
{
    RouteCache::storeSweep(DatabaseManager::instance(), title, region, pingsText, networkFingerprint());
}

// The server picker's ping labels of the relays the sweep measured; labels of
// relays the file does not list keep their text.
void showSweepPings(QWidget *root, const QString &pingsText)
{
    const QJsonDocument doc = QJsonDocument::fromJson(pingsText.toUtf8());
    if (!root || !doc.isObject())
        return;
    const QJsonObject servers = doc.object().value(QStringLiteral("servers")).toObject();
    const QList<QLabel *> labels = root->findChildren<QLabel *>(QStringLiteral("SrvServerPing"));
    for (QLabel *label : labels) {
        const QVariant id = label->property("server_id");
        if (id.typeId() != QMetaType::QString || id.toString().isEmpty())
            continue;
        const QJsonValue entry = servers.value(id.toString());
        if (!entry.isObject())
            continue;
        const int ping = entry.toObject().value(QStringLiteral("ping")).toInt(-1);
        label->setText(ping < 0 ? QStringLiteral("--") : QStringLiteral("%1 ms").arg(ping));
    }
}

} // namespace

PingOptimizerPage *MainWindow::pingSweepPage()
{
    if (!m_pingSweepPage) {
        m_pingSweepPage = new PingOptimizerPage(this, m_services.pingSweep);
        m_pingSweepPage->setGeometry(rect());
        m_pingSweepPage->hide();
    }
    return m_pingSweepPage;
}

void MainWindow::applyServerPings(QWidget *window, const QString &title, const QString &logo,
                                  const QString &region)
{
    QWidget *root = window ? window : this;
    if (m_pingSweepPage)
        m_pingSweepPage->hide();
    updateConnectionGameHeader(title, logo);
    navigateToPage(WindowRules::NavNetwork);

    const QString text = RouteCache::readPingsText(RelayChoice::serverPingsPath());
    showSelectedRegion(root,
                       text.isEmpty() ? QHash<QString, int>() : RelayChoice::parsePingJson(text.toUtf8()));
    storeSweep(title, region, text);
    showSweepPings(root, text);
}

void MainWindow::onBackgroundPingSweepFinished(QWidget *window, const QString &title, const QString &region)
{
    Q_UNUSED(window);
    if (m_pingSweepPage) {
        // Another hidden sweep may start from now on.
        m_pingSweepPage->setProperty("qxBgPingSweep", false);
        m_pingSweepPage->hide();
    }
    // Nothing is shown: the page keeps what it showed from the older entry.
    storeSweep(title, region, RouteCache::readPingsText(RelayChoice::serverPingsPath()));
}

QVariantMap MainWindow::showSelectedRegion(QWidget *window, const QHash<QString, int> &pings)
{
    Q_UNUSED(window);
    // The page of the game being connected keeps the relay in use: neither
    // its card nor the stored selection takes another choice meanwhile.
    if (m_connectDisplay && m_connectDisplay->showsRunningConnection())
        return QVariantMap();
    const QString region = QString::fromLatin1(RelayChoice::kAutomaticRegion);
    const QList<QVariantMap> relays = RelayChoice::databaseSources().activeServersInRegion(region);
    const QVariantMap best = RelayChoice::selectAutomatic(relays, pings, RelayChoice::settingsStore());
    if (best.isEmpty())
        return best;

    const QString name = best.value(QStringLiteral("name")).toString();
    m_connectionPage->showRelayName(name.isEmpty() ? region : name);
    // Only the text: the label keeps the place of its last placement.
    m_connectionPage->setModeText(QCoreApplication::translate("MainWindow", "Auto"));
    // The bundled picture only; without one the flag shown before stays.
    CountryFlags::showResourceFlag(m_connectionPage->regionFlag(),
                                   best.value(QStringLiteral("country_code")).toString(), QSize(24, 24));
    return best;
}

void MainWindow::loadCountryFlag(QLabel *label, const QString &countryCode, const QString &flagUrl)
{
    if (m_services.flags)
        m_services.flags->loadCountryFlag(label, countryCode, flagUrl);
}

void MainWindow::onFlagImageReply(QNetworkReply *reply, const QPointer<QLabel> &label,
                                  const QString &countryCode)
{
    if (m_services.flags)
        m_services.flags->onFlagImageReply(reply, label, countryCode);
}

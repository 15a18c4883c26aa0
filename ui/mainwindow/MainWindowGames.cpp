// The window's games catalogue operations, forwarded to the catalogue service.

#include "services/GamesCache.h"
#include "services/GamesCatalogue.h"
#include "ui/mainwindow/MainWindow.h"

void MainWindow::requestGames(bool showLoading, bool renderNow)
{
    if (m_services.games)
        m_services.games->requestGames(showLoading, renderNow);
}

void MainWindow::onGamesReply(const ServiceApi::Reply &reply, bool showLoading, bool renderNow)
{
    if (m_services.games)
        m_services.games->onGamesReply(reply, showLoading, renderNow);
}

bool MainWindow::parseGamesJson(const QByteArray &body, QList<GameApiItem> *out)
{
    return ::parseGamesJson(body, out);
}

void MainWindow::saveGamesCache(const QString &path, const QByteArray &bytes)
{
    if (m_services.games)
        m_services.games->cache().saveGamesCache(path, bytes);
}

bool MainWindow::decryptGamesCache(const QByteArray &protectedBytes, QByteArray *plain, bool *legacy)
{
    return m_services.games && m_services.games->cache().decryptGamesCache(protectedBytes, plain, legacy);
}

bool MainWindow::loadGamesCache()
{
    return m_services.games && m_services.games->loadGamesCache();
}

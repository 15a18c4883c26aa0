#pragma once
// The choices that outlive a run: the selected game, the selected relay, the
// connection mode (automatic relay choice or the relay picked by hand) and
// the show-game-details flag, kept in the application settings file. On first
// use it moves the game cards of older versions into the cache database once.

#include <QObject>
#include <QString>

class QSettings;

class SettingsManager : public QObject
{
    Q_OBJECT

public:
    // Created on the first call (which also runs the card migration); never deleted.
    static SettingsManager *instance();
    ~SettingsManager() override;

    bool connectionMode() const; // true = automatic (the default)
    QString gameLogo() const;
    QString gameTitle() const;
    QString serverIp() const;
    int serverPort() const; // 0 when unset

    void setConnectionMode(bool automatic);
    void setGame(const QString &title, const QString &logo);
    void setServerPort(int port); // a port that is not positive removes the key
    void setServer(const QString &key, const QString &ip, const QString &name, const QString &countryCode);
    void setShowGameDetails(bool on);

protected:
    // Protected rather than public so tests can make their own manager over a
    // settings file of their choosing; the client uses instance().
    explicit SettingsManager(QObject *parent = nullptr);
    void migrateGameCardsToDb();

private:
    QSettings *m_settings;
};

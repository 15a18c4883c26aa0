#pragma once
// The home page's lower-left card: the figures of the latest play session
// (game logo and name, duration, lowest and average ping, jitter, loss), or,
// while no session was ever recorded, an empty state whose button opens the
// Games section. It follows the session manager's signals live and keeps its
// positions in both languages; only texts, fonts and directions change.

#include "connection/SessionData.h"
#include "services/ServiceConfig.h"
#include "ui/widgets/WindowArea.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QWidget;

class LastSessionCard : public QObject, public WindowArea
{
    Q_OBJECT
public:
    static constexpr int kWidth = 641;
    static constexpr int kHeight = 382;

    // The card "DashboardLowerLeft" at (120, y) of rootFrame. "/uploads/"
    // logos resolve against config; downloaded logos are kept in dataFolder +
    // "/session_logos"; a download that moves nothing for inactivityMs is
    // given up. manager (not owned) carries the downloads.
    LastSessionCard(QWidget *rootFrame, int y, const ServiceConfig &config, const QString &dataFolder,
                    QNetworkAccessManager *manager, int inactivityMs, const QString &persianFontFamily,
                    QObject *parent);

    QWidget *card() const { return m_card; }
    QWidget *emptyState() const { return m_empty; }
    QPushButton *addButton() const { return m_addButton; }
    QLabel *gameName() const { return m_gameName; }
    QLabel *gameLogo() const { return m_logo; }
    QLabel *durationValue() const { return m_durationValue; }
    // Lowest ping, average ping, average jitter, packet loss.
    QList<QLabel *> values() const { return m_values; }
    QList<QLabel *> captions() const { return m_captions; }
    QLabel *title() const { return m_title; }
    QString logoFolder() const { return m_logoFolder; }

    static QString formatDuration(qint64 seconds);
    // The cache file of a logo URL: the MD5 of the URL and the URL's suffix
    // (".png" when it has none), so two games' ".../logo.png" never meet.
    static QString logoCacheFileName(const QString &folder, const QUrl &url);

    void setLastSessionFilled(bool filled);
    void loadSessionGameLogo(const QString &path);
    void retranslateLastSessionCard(const QString &languageCode);
    void place(bool persian) override;

signals:
    // "Add connection": the user wants the Games section.
    void addConnectionClicked();
    // A logo download was handled (tests wait on it).
    void logoSettled(const QString &url);

public slots:
    void showLastSession(const SessionData &session);

private:
    QLabel *makeStatCaption(int x, const QString &text, const QString &name);
    QWidget *makeStatValueBox(int x, QLabel **outLabel);
    void onSessionLogoReply(QNetworkReply *reply, const QString &cacheFile, QPointer<QLabel> label);
    void showLogo(QLabel *label, const QPixmap &pixmap);

    ServiceConfig m_config;
    QString m_logoFolder;
    QPointer<QNetworkAccessManager> m_manager;
    int m_inactivityMs;
    QString m_persianFamily;

    QWidget *m_card = nullptr;
    QWidget *m_empty = nullptr;
    QLabel *m_emptyTitle = nullptr;
    QLabel *m_emptyDesc = nullptr;
    QPushButton *m_addButton = nullptr;
    QLabel *m_title = nullptr;
    QWidget *m_row = nullptr;
    QLabel *m_logo = nullptr;
    QLabel *m_gameName = nullptr;
    QLabel *m_durationLabel = nullptr;
    QLabel *m_durationValue = nullptr;
    QList<QLabel *> m_captions;
    QList<QWidget *> m_valueBoxes;
    QList<QLabel *> m_values;
    QList<QWidget *> m_stats;
};

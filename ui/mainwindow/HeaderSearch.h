#pragma once
#include <QFrame>
#include <QJsonArray>
#include <QJsonObject>
#include <QListWidget>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QSet>

#include "services/ServiceApi.h"
#include "ui/widgets/WindowArea.h"

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidgetItem;
class QPushButton;
class QSpacerItem;
class QTimer;
class QWidget;
class ServiceClient;
class ServiceConfig;

// The header's game search: a rounded bar whose drop-down lists up to six
// games matching the typed text, with their logos; choosing one opens it.
// The search keeps its own copy of the catalogue, fetched at the first search.
class HeaderSearch : public QObject, public WindowArea
{
    Q_OBJECT
public:
    static constexpr int kMaxRows = 6;
    static constexpr int kTitleRole = Qt::UserRole;
    static constexpr int kLogoRole = Qt::UserRole + 1;

    // header: the band the bar sits in; window: the drop-down's owner (it is a
    // tool window of its own). Logos are kept in cacheFolder.
    HeaderSearch(QWidget *header, QWidget *window, ServiceClient *client, const QString &cacheFolder,
                 int debounceMs, QObject *parent);
    ~HeaderSearch() override;

    QWidget *bar() const { return m_bar; }
    QLineEdit *edit() const { return m_edit; }
    QLabel *glass() const { return m_glass; }
    QPushButton *arrowButton() const { return m_arrow; }
    QPushButton *clearButton() const { return m_clear; }
    QFrame *popup() const { return m_popup; }
    QListWidget *results() const { return m_results; }
    bool gamesLoaded() const { return m_loaded; }
    bool persianSpacerInLayout() const { return m_spacerInLayout; }

    // A game's logo address: "logo", else "coverImage", else "icon"; a
    // "/uploads/" path gains the service's origin.
    static QString gameLogoUrl(const QJsonObject &game, const ServiceConfig &config);
    // Where a logo is kept: "hdr_search_logo_" + MD5 in memory, MD5 + its
    // suffix (".png" when it has none) on disk.
    static QString logoCacheKey(const QString &url);
    static QString logoFileName(const QString &url);

    void place(bool persian) override;

    void onTextChanged(const QString &text);
    void runSearch();
    void onGamesReply(const ServiceApi::Reply &reply);
    void fillResults(const QString &query);
    void onLogoReply(const ServiceApi::Reply &reply, const QString &url);
    void openResult(QListWidgetItem *item);
    void openCurrentResult();
    void clearText();
    void focusEdit();
    void closePopup();
    void setBarStyle(bool open);

signals:
    void gameOpened(const QString &title, const QString &logo);

private:
    QPixmap defaultIcon() const;
    void requestLogo(const QString &url);

    ServiceClient *m_client;
    QString m_cacheFolder;
    QPointer<QWidget> m_bar;
    QHBoxLayout *m_barLayout = nullptr;
    QLabel *m_glass = nullptr;
    QLineEdit *m_edit = nullptr;
    QPushButton *m_arrow = nullptr;
    QPushButton *m_clear = nullptr;
    QPointer<QFrame> m_popup;
    QPointer<QListWidget> m_results;
    QTimer *m_debounce = nullptr;
    QSpacerItem *m_spacer = nullptr;
    bool m_spacerInLayout = false;
    QPixmap m_arrowPixmap;
    QPixmap m_arrowMirrored;

    QJsonArray m_games;
    bool m_loaded = false;
    bool m_gamesPending = false;
    QSet<QString> m_logosPending;
};

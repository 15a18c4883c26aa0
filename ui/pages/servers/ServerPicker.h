#pragma once
// The server picker on the server region page: its two views (Automatic: the
// user chooses a region and the client finds the relay; Manual: the user
// browses the regions, opens a region's relays ordered by ping, or searches
// every active relay), and the pick of one relay, which becomes the selected
// relay in manual mode. The page's widgets are built by ServerRegionPage; the
// picker holds the state they share (the view, the regions that active relays
// use) and every behaviour on them. The relays, pings and the selected-relay
// store come in through Sources, so tests hand in their own.

#include <QHash>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QWidget;

namespace RelayChoice {
class SelectedRelayStore;
}

class ServerPicker : public QObject
{
    Q_OBJECT
public:
    // Layout of the picker's panel (design pixels).
    static constexpr int kPanelWidth = 965;
    static constexpr int kPanelHeight = 610;
    static constexpr int kBottomMargin = 20;
    static constexpr int kListTopManual = 274;
    static constexpr int kListTopAutomatic = 234;
    static constexpr int kRowX = 10;
    static constexpr int kRowWidth = 945;
    static constexpr int kRowHeight = 44;
    static constexpr int kRowPitch = 54;
    static constexpr int kEmptyPageHeight = 82;
    static constexpr int kDefaultRelayPort = 50000;
    // Relay rows filled per turn of the event loop: the first batch covers
    // the rows the list shows, and a long list never holds the GUI thread.
    static constexpr int kRowsPerSlice = 24;

    // The page's widgets the picker works on (built by ServerRegionPage).
    struct Widgets
    {
        QPointer<QWidget> autoCard, manualCard;
        QPointer<QLabel> autoTitle, manualTitle;
        QPointer<QWidget> autoRadio, manualRadio;
        QPointer<QLabel> autoCheck, manualCheck;
        QPointer<QPushButton> autoClick, manualClick;
        QPointer<QLineEdit> searchEdit;
        QPointer<QLabel> recommendedLabel;
        QPointer<QScrollArea> scroll;
        QPointer<QWidget> content;
        QPointer<QWidget> serversPage;
        // The 12 region rows in list order, their chevrons and their English
        // names (also in each row's "srvRegionName" property).
        QList<QPointer<QPushButton>> regionRows;
        QList<QPointer<QLabel>> chevrons;
        QStringList regionNames;
        QPointer<QLabel> autoTag;
    };

    // Where relays, pings and the pick go.
    struct Sources
    {
        // The distinct regions of the active relays.
        std::function<QStringList()> regions;
        std::function<QList<QVariantMap>()> activeServers;
        std::function<QList<QVariantMap>(const QString &region)> serversInRegion;
        // Relay id -> ping in ms (the ping sweep's results).
        std::function<QHash<QString, int>()> pings;
        RelayChoice::SelectedRelayStore *store = nullptr;
        // Fills a label with a relay's country flag.
        std::function<void(QLabel *label, const QString &countryCode, const QString &flagUrl)> loadFlag;

        // The cache database, the ping results file, the settings and the
        // bundled flags.
        static Sources defaults();
    };

    // What a relay row hands to the pick.
    struct PickedRow
    {
        QVariantMap record;
        QString id, ipAddress, name, countryCode, region, flag, title;
    };

    // Connects the page's controls and starts in the Manual view with the
    // regions of the relays already cached.
    ServerPicker(const Widgets &widgets, Sources sources, QObject *parent);

    bool isManual() const { return m_manual; }
    const QSet<QString> &regionSet() const { return m_regions; }

    // The region row's English name (its text in English).
    static QString regionName(const QPushButton *row);
    // The text a relay is searched by: name, city, region and country.
    static QString searchText(const QVariantMap &relay);
    // The relays whose search text holds the term (already trimmed and
    // lower-cased), in their order.
    static QList<QVariantMap> matchingRelays(const QList<QVariantMap> &relays, const QString &term);
    // What the selected-relay card shows for a pick: the name, else the
    // region, else the page's title.
    static QString cardText(const PickedRow &row);
    // The style sheet of the servers page, which styles its rows.
    static QString serversPageLook();

public slots:
    // Switches between the Manual (true) and Automatic (false) views: the
    // cards' looks, the list, the search placeholder; the search is cleared.
    void applyServerModeStyle(bool manual);
    // Lays the region rows out for the view and the region set.
    void showRegionHeader(bool manual);
    // Refills the region set from the active relays and lays the rows out.
    void reloadServerPicker();
    void onRegionButtonClicked(QPushButton *row);
    // A region's relays (Manual view only).
    void showRegionServers(const QString &region);
    // Runs on every change of the search text.
    void searchServers();
    // Rebuilds the servers page with the relays ordered by ping.
    void showServerSearchResults(const QList<QVariantMap> &servers, const QString &title);
    // Back from the servers page to the region list, scrolled to the top.
    void scrollServerList();
    // The servers page's back row: clears the search, then back to the regions.
    void leaveServerSearch();
    void onServerRowClicked(const PickedRow &row);
    // A sweep's pings (relay id -> ms, -1 unknown) on the rows of the relays
    // it measured; the other rows keep their text.
    void showSweepPings(const QHash<QString, int> &pings);

signals:
    // A relay was picked and stored; the card shows cardText, "Manual" and
    // the relay's flag, and the page closes.
    void relayPicked(const QString &cardText, const QString &countryCode, const QString &flagUrl);

private:
    int listTop() const;
    int listHeight() const;
    void placeList(int top);
    // Shows the region rows that pass the view, the region set and the term;
    // returns how many are visible.
    int layoutRegionRows(bool manual, const QString &term, bool tagFollowsRow);
    void setContentHeight(int height);
    void scrollToTop();
    void repaintList();
    // One relay row of the servers page and its three labels.
    struct RelayRow
    {
        QPushButton *row = nullptr;
        QLabel *flag = nullptr;
        QLabel *name = nullptr;
        QLabel *ping = nullptr;
    };
    QPushButton *backRow(QWidget *page);
    RelayRow createRelayRow(QWidget *page);
    void fillRelayRow(const RelayRow &row, int index, const QVariantMap &relay, int ping);
    void parkRelayRow(const RelayRow &row);
    void unparkRelayRow(const RelayRow &row);
    // Fills the next rows of the list being shown; later ones follow on
    // later turns of the event loop unless a newer list took over.
    void fillRows(quint64 run, QWidget *page);

    Widgets m_w;
    Sources m_sources;
    bool m_manual = true;
    QSet<QString> m_regions;
    // The servers page's rows, top to bottom, and what a click on each picks.
    QList<RelayRow> m_relayRows;
    QList<PickedRow> m_picks;
    // Rows the list needed before and may need again, hidden.
    QList<RelayRow> m_spareRows;
    // The relays (with their pings) of the list being shown, the next one to
    // fill, and the run they belong to.
    QList<QPair<QVariantMap, int>> m_fill;
    qsizetype m_fillNext = 0;
    quint64 m_fillRun = 0;
    QPointer<QPushButton> m_backRow;
    QPointer<QLabel> m_emptyLabel;
    QHash<QString, QPixmap> m_flagCache;
};

#pragma once
// What a finished ping sweep leaves behind. Its results file is kept in the
// route cache under the game, the region and the network; a sweep the user
// watched also has its pings shown and picks the automatic relay among the
// "Europe" relays, stored as the selected relay. The sweep page runs the
// sweep; this takes its results.

#include "connection/RelayChoice.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

class SweepResults : public QObject
{
    Q_OBJECT
public:
    struct Sources
    {
        // The results file's whole text; empty when it cannot be read.
        std::function<QString()> readPingsText;
        // The active relays of a region.
        std::function<QList<QVariantMap>(const QString &region)> regionRelays;
        // Null: the choice is made but kept nowhere.
        RelayChoice::SelectedRelayStore *relayStore = nullptr;
        // Keeps a results text for a game (by its title) and region on the
        // current network.
        std::function<void(const QString &title, const QString &region, const QString &pingsText)> keep;
    };

    // The sweep's results file, the cache database, the settings and the
    // current network's fingerprint.
    static Sources defaultSources();

    explicit SweepResults(Sources sources, QObject *parent = nullptr);

    // The automatic choice among the "Europe" relays for `pings`, stored as
    // the selected relay (automatic mode) and sent as automaticRelayChosen.
    // `relayInUse`: the relay of a running connection stays, and nothing is
    // chosen. Returns the chosen relay, empty when none was.
    QVariantMap chooseAutomatic(const QHash<QString, int> &pings, bool relayInUse);
    // A sweep the user watched ended: the relay is chosen from its pings
    // (as chooseAutomatic), the results are kept, and the pings sent.
    void takeShownSweep(const QString &title, const QString &region, bool relayInUse);
    // A sweep run out of sight ended: its results are only kept.
    void takeHiddenSweep(const QString &title, const QString &region);

signals:
    void automaticRelayChosen(const QVariantMap &relay);
    // Relay id -> ping in ms (-1 unknown) of the sweep just taken.
    void pingsMeasured(const QHash<QString, int> &pings);

private:
    Sources m_sources;
};

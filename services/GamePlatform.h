#pragma once
// Small rules about a game's platform and its boost profiles that the games
// grid, the connection page and the connect flow must agree on. Kept in one
// place so a page and the tunnel never disagree about what a switch means.

#include <QString>
#include <QVariantMap>

namespace GamePlatform {

// True for a category or platform text that names a console ("PlayStation 5",
// "Xbox", "PS 4" ...). Blank text is not a console.
bool isConsolePlatform(const QString &text);

// The stable key of a boost profile: its own id when the service sends one,
// otherwise a digest of its title and domains so a stored switch survives a
// catalogue refresh.
QString platformBoostProfileKey(const QVariantMap &profile);

// A Steam profile is on until the user turns it off.
bool isSteamBoostProfile(const QVariantMap &profile);

// The application settings key of a profile's on/off switch.
QString platformBoostSettingsKey(const QString &gameId, const QString &profileKey);

} // namespace GamePlatform

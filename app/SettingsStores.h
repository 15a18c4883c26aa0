#pragma once
// Where settings live: the application settings become an INI file in the data
// folder, and the account store (native QSettings, holds the sign-in token)
// keeps an INI copy there too.

#include <QString>

// Switches the default settings format to INI files in dataFolder, refreshes
// the INI copy of the account store and, the first time the copy is made,
// clears the stored sign-in in both stores. Does nothing for an empty path.
void setupSettingsStorage(const QString &dataFolder);

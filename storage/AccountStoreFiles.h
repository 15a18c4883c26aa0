#pragma once
// The account store holds the sign-in token. On Linux both of its files (the
// native store and its INI copy in the data folder) are plain files, so they
// are kept readable by their owner only.

#include <QString>
#include <QStringList>

class QSettings;

namespace AccountStoreFiles {

inline constexpr const char *Organisation = "Quorlix";
inline constexpr const char *Application = "QuorlixApp";

// The files of the native account store and of its INI copy, as the current
// QSettings paths resolve them.
QStringList paths();

// Makes an existing file owner-only (0600). A missing file is left missing.
// Returns false when the file exists and its permissions could not be set.
bool restrictFile(const QString &path);

// Creates the file empty and owner-only when it does not exist yet, so that
// the first write through QSettings (which keeps an existing file's
// permissions) never leaves the token world-readable, not even briefly.
bool precreateOwnerOnly(const QString &path);

} // namespace AccountStoreFiles

// Call after every write (and sync) of the account store: makes the native
// store and its INI copy owner-only (0600). Safe to call at any time.
void restrictAccountStoreFiles();

// Syncs the given store and then restricts its file and the account store
// files. Convenient for the account code: write, then call this.
void syncAccountStore(QSettings &store);

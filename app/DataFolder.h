#pragma once
// The local data folder and the one-way move of data that older installs left
// under other organisation and application folder names.

#include <QFileInfo>
#include <QString>

// The folders the legacy move works on. current() takes them from Qt's
// standard locations; tests build one over a temporary tree.
struct DataFolderLocations
{
    QString dataFolder;         // D: the local data folder
    QString roamingFolder;      // R: the roaming data folder (equals D on Linux)
    QString organisationFolder; // O: the generic data folder + "/" + organisation name
    QString applicationName;    // L = O + "/" + applicationName

    static DataFolderLocations current();
};

// Moves data of older installs into the local data folder. Runs once per start,
// before anything reads stored data.
void migrateLegacyData();
void migrateLegacyData(const DataFolderLocations &where);

// Moves every file of source into target (same relative paths), keeping the
// newer copy of the replaceable files and never overwriting the others. Removes
// source when nothing is left in it.
void migrateFolder(const QString &target, const QString &source);

// Whether a legacy file may replace the file of the same relative path.
bool shouldReplaceFile(const QFileInfo &source, const QFileInfo &destination);

// Moves source to destination. A replaced destination is kept once as
// destination + ".bak". True when there was nothing to do or the file moved.
bool moveFileWithBackup(const QString &source, const QString &destination, bool replace);

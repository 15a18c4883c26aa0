#pragma once
#include <QObject>
#include <QString>

#include <functional>

// Where the settings page keeps its options: text values under "settings/..."
// keys. The page takes a null store as "no database": controls then show
// their defaults and store nothing.
class SettingsStore : public QObject
{
public:
    using QObject::QObject;

    // The stored text, or the default, which is then stored as well.
    virtual QString readOrInit(const QString &key, const QString &defaultValue) = 0;
    virtual bool write(const QString &key, const QString &value) = 0;
    // "1", "true", "yes" / "0", "false", "no" in any case and with blanks
    // around them; anything else reads as the default and is stored as "1"/"0".
    virtual bool readBool(const QString &key, bool defaultValue) = 0;
    virtual bool writeBool(const QString &key, bool on) = 0;
    // Runs `work` with the store's writes gathered into one commit where the
    // store has such a thing (the page's first build stores every default).
    virtual void inOneBatch(const std::function<void()> &work) { work(); }
};

// The cache database's metadata table.
class MetadataSettingsStore : public SettingsStore
{
public:
    using SettingsStore::SettingsStore;

    QString readOrInit(const QString &key, const QString &defaultValue) override;
    bool write(const QString &key, const QString &value) override;
    bool readBool(const QString &key, bool defaultValue) override;
    bool writeBool(const QString &key, bool on) override;
    void inOneBatch(const std::function<void()> &work) override;
};

#include "ui/pages/settings/SettingsStore.h"

#include "storage/DatabaseManager.h"

QString MetadataSettingsStore::readOrInit(const QString &key, const QString &defaultValue)
{
    return DatabaseManager::instance()->getMetadataOrInit(key, defaultValue);
}

bool MetadataSettingsStore::write(const QString &key, const QString &value)
{
    return DatabaseManager::instance()->setMetadata(key, value);
}

bool MetadataSettingsStore::readBool(const QString &key, bool defaultValue)
{
    return DatabaseManager::instance()->getMetadataBool(key, defaultValue);
}

bool MetadataSettingsStore::writeBool(const QString &key, bool on)
{
    return DatabaseManager::instance()->setMetadataBool(key, on);
}

void MetadataSettingsStore::inOneBatch(const std::function<void()> &work)
{
    DatabaseManager::instance()->inOneTransaction(work);
}

#include "engine/qt/ConsoleNetworkManager.h"

ConsoleNetworkManager::ConsoleNetworkManager(QObject *parent) : QObject(parent) {}

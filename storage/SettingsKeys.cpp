#include "storage/SettingsKeys.h"

const QString KEY_GAME_TITLE = QStringLiteral("game/title");
const QString KEY_GAME_LOGO = QStringLiteral("game/logo");
const QString KEY_SERVER_KEY = QStringLiteral("server/key");
const QString KEY_SERVER_IP = QStringLiteral("server/ip");
const QString KEY_SERVER_NAME = QStringLiteral("server/name");
const QString KEY_SERVER_COUNTRY_CODE = QStringLiteral("server/country_code");
const QString KEY_SERVER_PORT = QStringLiteral("server/port");
const QString KEY_CONNECTION_MODE = QStringLiteral("connection/mode");
const QString KEY_UI_SHOW_GAME_DETAILS = QStringLiteral("ui/showGameDetails");
const QString KEY_GAME_CARDS = QStringLiteral("game/cards");

#pragma once
// Keys of the application settings file (the default QSettings after the
// settings-store set-up). Process-wide constants, ready before main runs.

#include <QString>

extern const QString KEY_GAME_TITLE;           // "game/title"
extern const QString KEY_GAME_LOGO;            // "game/logo"
extern const QString KEY_SERVER_KEY;           // "server/key"
extern const QString KEY_SERVER_IP;            // "server/ip"
extern const QString KEY_SERVER_NAME;          // "server/name"
extern const QString KEY_SERVER_COUNTRY_CODE;  // "server/country_code"
extern const QString KEY_SERVER_PORT;          // "server/port"
extern const QString KEY_CONNECTION_MODE;      // "connection/mode"
extern const QString KEY_UI_SHOW_GAME_DETAILS; // "ui/showGameDetails"
extern const QString KEY_GAME_CARDS;           // "game/cards"

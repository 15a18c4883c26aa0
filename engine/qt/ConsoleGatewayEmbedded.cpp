#include "engine/qt/ConsoleGatewayEmbedded.h"

ConsoleGatewayEmbedded::ConsoleGatewayEmbedded(QObject *parent) : QObject(parent) {}

#pragma once
// Compact JSON text for the list columns of the games table, and back.
// The catalogue stores thousands of small lists (tags, ports, domains,
// profiles); going through QJsonDocument for each costs more than the SQLite
// work itself. These take a direct path for the plain shapes those lists have
// (ASCII text, integers, booleans, nested lists and maps) and hand anything
// else to QJsonDocument, so the result is always what QJsonDocument gives.

#include <QByteArray>
#include <QVariant>

namespace JsonText {

// Compact JSON of a list or map value: the bytes
// QJsonDocument(QJsonValue::fromVariant(value)).toJson(Compact) gives.
// Empty for a value that is neither a list nor a map.
QByteArray write(const QVariant &value);

// QJsonDocument::fromJson(text).toVariant(); an invalid QVariant for empty or
// malformed text.
QVariant read(const QByteArray &text);

} // namespace JsonText

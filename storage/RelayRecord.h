#pragma once
// One relay of the servers table, as the relay list delivers it and the
// picker and the connect flow read it back.

#include "storage/RecordColumn.h"

#include <QString>
#include <QVariantMap>

#include <array>

struct RelayRecord
{
    QString id;
    QString name;
    QString hostname;
    QString ipAddress;
    int port = 0;
    QString region;
    QString country;
    QString countryCode;
    QString city;
    QString flag;
    QString provider;
    QString status;
    int capacityMbps = 0;
    int activeConnections = 0;
    int maxConnections = 0;
    QString createdAt;
    QString updatedAt;

    using Column = RecordColumn<RelayRecord>;
    static constexpr int kColumnCount = 17;
    // The servers table's columns in table order, but for last_synced, which
    // the write stamps and no read returns.
    static const std::array<Column, kColumnCount> kColumns;

    // The map form keyed by column name: texts as QString (a missing key as
    // empty text), the four counts as int (0 when missing or not a number).
    static RelayRecord fromMap(const QVariantMap &relay);
    QVariantMap toMap() const;
};
Q_DECLARE_TYPEINFO(RelayRecord, Q_RELOCATABLE_TYPE);

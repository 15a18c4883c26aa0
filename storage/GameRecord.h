#pragma once
// One row of the games table. The five list columns keep their JSON text as
// stored and are parsed only by the caller that needs one (parseList): the
// catalogue read hands out thousands of rows, and most callers look at a
// name or an id.

#include "storage/RecordColumn.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <array>

struct GameRecord
{
    QString id;
    QString name;
    QString description;
    QString category;
    QByteArray tagsJson;
    QString executable;
    QString coverImage;
    QString logo;
    QString logoCachedPath; // read only; the batch write leaves it alone
    QByteArray tcpPortsJson;
    QByteArray udpPortsJson;
    QByteArray domainsJson;
    QByteArray profilesJson;
    int isFreeEffective = 0;
    int freeDaysLeft = -1;
    QString freeSource;
    QString status;
    QString createdAt;
    QString updatedAt;
    QString lastSynced; // stamped by the batch write

    using Column = RecordColumn<GameRecord>;
    static constexpr int kColumnCount = 20;
    // The games table's columns in table order.
    static const std::array<Column, kColumnCount> kColumns;

    // A list column's JSON text as a list or map; an invalid QVariant when
    // nothing is stored or the text does not parse.
    static QVariant parseList(const QByteArray &json);

    // A catalogue entry as the games API delivers it (toVariantMap of its
    // JSON object): the column's own key, "coverImage" for cover_image, the
    // fallbacks "is_free" and "freeDaysLeft", each list as compact JSON.
    static GameRecord fromCatalogueMap(const QVariantMap &game);
};
// Texts, byte arrays and ints only: a list of thousands grows by moving bytes.
Q_DECLARE_TYPEINFO(GameRecord, Q_RELOCATABLE_TYPE);

#pragma once
// One column of a record table: its name, what it holds and the member of the
// row type that holds it. Each row type lists its columns once, in table
// order; the statements it is written and read with, and its map form at the
// edge, all walk that list.

#include <QByteArray>
#include <QString>

template <typename Record> struct RecordColumn
{
    enum class Kind {
        Text, // QString; a null text is stored as NULL
        Int,  // int
        Json, // the compact JSON text of a list or map, kept as stored
    };

    const char *name;
    Kind kind;
    QString Record::*text;
    int Record::*number;
    QByteArray Record::*json;
    // False for a column that the batch write leaves alone or stamps itself.
    bool written;

    static constexpr RecordColumn textColumn(const char *name, QString Record::*member, bool written = true)
    {
        return {name, Kind::Text, member, nullptr, nullptr, written};
    }
    static constexpr RecordColumn intColumn(const char *name, int Record::*member)
    {
        return {name, Kind::Int, nullptr, member, nullptr, true};
    }
    static constexpr RecordColumn jsonColumn(const char *name, QByteArray Record::*member)
    {
        return {name, Kind::Json, nullptr, nullptr, member, true};
    }
};

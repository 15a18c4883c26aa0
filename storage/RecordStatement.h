#pragma once
// Statements written from a record's column table, and the binds and reads
// that walk the same table: a column's name, position and kind are said once.

#include "storage/RecordColumn.h"
#include "storage/SqliteStatement.h"

#include <QByteArray>

#include <array>
#include <cstddef>

namespace RecordStatement {

// "a, b, c": every column, or only those the batch write binds.
template <typename Record, std::size_t N>
QByteArray columnNames(const std::array<RecordColumn<Record>, N> &columns, bool writtenOnly)
{
    QByteArray names;
    for (const RecordColumn<Record> &c : columns) {
        if (writtenOnly && !c.written)
            continue;
        if (!names.isEmpty())
            names += ", ";
        names += c.name;
    }
    return names;
}

// INSERT OR REPLACE of the written columns and then stampColumn, which the
// caller binds after them.
template <typename Record, std::size_t N>
QByteArray insertOrReplace(const char *table, const std::array<RecordColumn<Record>, N> &columns,
                           const char *stampColumn)
{
    const QByteArray names = columnNames(columns, true) + ", " + stampColumn;
    QByteArray marks = "?";
    for (int i = 1; i < names.count(',') + 1; ++i)
        marks += ", ?";
    return "INSERT OR REPLACE INTO " + QByteArray(table) + " (" + names + ") VALUES (" + marks + ")";
}

// Binds the written columns of record from position 0 on; returns the
// position after them. The statement reads the texts and bytes in place when
// it runs: record must outlive that.
template <typename Record, std::size_t N>
int bindWritten(SqliteStatement &q, const std::array<RecordColumn<Record>, N> &columns, const Record &record)
{
    int i = 0;
    for (const RecordColumn<Record> &c : columns) {
        if (!c.written)
            continue;
        switch (c.kind) {
        case RecordColumn<Record>::Kind::Text:
            q.bindText(i, record.*c.text);
            break;
        case RecordColumn<Record>::Kind::Int:
            q.bindInt(i, record.*c.number);
            break;
        case RecordColumn<Record>::Kind::Json:
            q.bindBytes(i, record.*c.json);
            break;
        }
        ++i;
    }
    return i;
}

// Fills record from the current row of a statement that selected every
// column in table order: texts as QSqlQuery's toString() gives them, integers
// as toInt() gives them (0 for anything that is no number), JSON as its
// stored bytes.
template <typename Record, std::size_t N>
void read(const SqliteStatement &q, const std::array<RecordColumn<Record>, N> &columns, Record &record)
{
    int i = 0;
    for (const RecordColumn<Record> &c : columns) {
        switch (c.kind) {
        case RecordColumn<Record>::Kind::Text:
            q.readText(i, &(record.*c.text));
            break;
        case RecordColumn<Record>::Kind::Int:
            record.*c.number = q.value(i).toInt();
            break;
        case RecordColumn<Record>::Kind::Json:
            q.readBytes(i, &(record.*c.json));
            break;
        }
        ++i;
    }
}

} // namespace RecordStatement

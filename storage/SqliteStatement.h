#pragma once
// A statement run straight through SQLite on the connection that Qt's driver
// opened. QSqlQuery builds a ":N" name for every positional bind and converts
// and caches every value of every row; on the catalogue read and the two batch
// writes that costs more than SQLite itself. Values here are bound and read
// exactly as Qt's SQLite driver binds and reads them (null text as NULL, text
// as UTF-16, byte arrays as blobs; NULL read back as a null QString, integers
// as qlonglong), so what is stored and what comes back does not change.
//
// Only storage/ uses it, and only where a profile showed the need.

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include <string>

struct sqlite3;
struct sqlite3_stmt;

class SqliteStatement
{
public:
    // Prepares sql on db's connection; isValid() says whether that worked
    // (errorText() says why not).
    SqliteStatement(const QSqlDatabase &db, const char *sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool isValid() const { return m_stmt != nullptr; }

    // Positional binds, counted from 0 as QSqlQuery::bindValue counts them.
    // The text and bytes are not copied: they must stay alive and unchanged
    // until exec() has run.
    void bindText(int index, const QString &text);      // a null QString binds NULL
    void bindBytes(int index, const QByteArray &bytes); // a null QByteArray binds NULL
    void bindInt(int index, int value);

    // Runs a statement that returns no rows and makes it ready for the next
    // binds. False with errorText() set when SQLite refused it.
    bool exec();

    // Steps to the next row of a query: false at the end and on an error
    // (failed() then tells them apart).
    bool next();
    bool failed() const { return m_failed; }

    int columnCount() const;
    QString columnName(int column) const;
    // A column of the current row as QSqlQuery::value gives it.
    QVariant value(int column) const;
    // A column of the current row as QSqlQuery::value(column).toString()
    // gives it (a null QString for NULL).
    QString text(int column) const;
    // The same, written over *to: an unshared text of enough capacity keeps
    // its buffer.
    void readText(int column, QString *to) const;
    // The stored bytes written over *to, as bytes() gives them.
    void readBytes(int column, QByteArray *to) const;
    // The stored bytes of a text or blob column (a null array for NULL and,
    // as the driver gives it, for an empty blob).
    QByteArray bytes(int column) const;
    // The same bytes without a copy: valid only until the next step.
    QByteArray bytesInPlace(int column) const;

    // The text QSqlError::text() gives for the same failure.
    QString errorText() const { return m_error; }

private:
    void fail(const char *what);

    // ASCII copies of bound texts, one per parameter, reused from row to row.
    static constexpr int kAsciiSlots = 24;
    std::string m_ascii[kAsciiSlots];

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
    bool m_failed = false;
    QString m_error;
};

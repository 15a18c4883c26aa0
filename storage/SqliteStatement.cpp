#include "storage/SqliteStatement.h"

#include <QSqlDriver>

#include <sqlite3.h>
#include <string.h>

namespace {

sqlite3 *handleOf(const QSqlDatabase &db)
{
    if (!db.isOpen() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

bool isAscii(const char *text, size_t size)
{
    uint64_t any = 0;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        memcpy(&word, text + i, 8);
        any |= word;
    }
    for (; i < size; ++i)
        any |= uint8_t(text[i]);
    return (any & 0x8080808080808080ull) == 0;
}

} // namespace

SqliteStatement::SqliteStatement(const QSqlDatabase &db, const char *sql) : m_db(handleOf(db))
{
    if (!m_db) {
        m_error = QStringLiteral("Driver not loaded");
        return;
    }
    if (sqlite3_prepare_v2(m_db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        fail("Unable to execute statement");
    }
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_stmt);
}

void SqliteStatement::fail(const char *what)
{
    // QSqlError::text(): the database's message, a blank, the driver's words.
    m_failed = true;
    m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
    if (!m_error.isEmpty() && !m_error.endsWith(QLatin1Char('\n')))
        m_error += QLatin1Char(' ');
    m_error += QLatin1String(what);
}

void SqliteStatement::bindText(int index, const QString &text)
{
    if (text.isNull()) {
        sqlite3_bind_null(m_stmt, index + 1);
        return;
    }
    // ASCII text is handed over as the UTF-8 it is: SQLite would otherwise
    // convert the UTF-16 a byte at a time. Anything else goes as UTF-16, as
    // the driver sends it, so SQLite's own conversion decides the stored
    // bytes (a lone surrogate, for one, is kept).
    if (index >= 0 && index < kAsciiSlots) {
        std::string &ascii = m_ascii[index];
        const qsizetype n = text.size();
        ascii.resize(size_t(n));
        const char16_t *u = reinterpret_cast<const char16_t *>(text.unicode());
        char16_t any = 0;
        for (qsizetype i = 0; i < n; ++i) {
            any |= u[i];
            ascii[size_t(i)] = char(u[i]);
        }
        if (any < 0x80) {
            sqlite3_bind_text(m_stmt, index + 1, ascii.data(), int(n), SQLITE_STATIC);
            return;
        }
    }
    sqlite3_bind_text16(m_stmt, index + 1, text.unicode(), int(text.size() * sizeof(QChar)), SQLITE_STATIC);
}

void SqliteStatement::bindBytes(int index, const QByteArray &bytes)
{
    if (bytes.isNull())
        sqlite3_bind_null(m_stmt, index + 1);
    else
        sqlite3_bind_blob(m_stmt, index + 1, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
}

void SqliteStatement::bindInt(int index, int value)
{
    sqlite3_bind_int(m_stmt, index + 1, value);
}

bool SqliteStatement::exec()
{
    if (!m_stmt)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_DONE || rc == SQLITE_ROW) {
        sqlite3_reset(m_stmt);
        return true;
    }
    // The message belongs to the failed step; read it before the reset.
    fail("Unable to fetch row");
    sqlite3_reset(m_stmt);
    return false;
}

bool SqliteStatement::next()
{
    if (!m_stmt || m_failed)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        fail("Unable to fetch row");
    return false;
}

int SqliteStatement::columnCount() const
{
    return m_stmt ? sqlite3_column_count(m_stmt) : 0;
}

QString SqliteStatement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QVariant SqliteStatement::value(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, column));
    case SQLITE_BLOB:
        return QVariant(bytes(column));
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    default: {
        // The driver asks SQLite for UTF-16, which SQLite converts a byte at a
        // time. Qt converts ASCII far faster and identically; anything else
        // takes the driver's way, since the two decoders treat invalid
        // sequences and noncharacters differently.
        const char *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        const int size = sqlite3_column_bytes(m_stmt, column);
        if (isAscii(utf8, size_t(size)))
            return QVariant(QString::fromLatin1(utf8, size));
        const void *text = sqlite3_column_text16(m_stmt, column);
        const int size16 = sqlite3_column_bytes16(m_stmt, column);
        return QVariant(QString(static_cast<const QChar *>(text), size16 / int(sizeof(QChar))));
    }
    }
}

QString SqliteStatement::text(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_NULL:
        return QString();
    case SQLITE_TEXT: {
        const char *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        const int size = sqlite3_column_bytes(m_stmt, column);
        if (isAscii(utf8, size_t(size)))
            return QString::fromLatin1(utf8, size);
        return value(column).toString();
    }
    default:
        return value(column).toString();
    }
}

void SqliteStatement::readText(int column, QString *to) const
{
    if (sqlite3_column_type(m_stmt, column) == SQLITE_TEXT && !to->isNull()) {
        const char *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        const int size = sqlite3_column_bytes(m_stmt, column);
        if (isAscii(utf8, size_t(size))) {
            to->resize(size);
            char16_t *out = reinterpret_cast<char16_t *>(to->data());
            for (int i = 0; i < size; ++i)
                out[i] = char16_t(uchar(utf8[i]));
            return;
        }
    }
    *to = text(column);
}

void SqliteStatement::readBytes(int column, QByteArray *to) const
{
    const void *data = sqlite3_column_blob(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    if (!data || to->isNull()) {
        *to = QByteArray(static_cast<const char *>(data), size);
        return;
    }
    to->resize(size);
    memcpy(to->data(), data, size_t(size));
}

QByteArray SqliteStatement::bytes(int column) const
{
    // As the driver builds it: an empty blob comes back as a null array too.
    const void *data = sqlite3_column_blob(m_stmt, column);
    return QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(m_stmt, column));
}

QByteArray SqliteStatement::bytesInPlace(int column) const
{
    const void *data = sqlite3_column_blob(m_stmt, column);
    return QByteArray::fromRawData(static_cast<const char *>(data), sqlite3_column_bytes(m_stmt, column));
}

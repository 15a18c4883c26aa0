#include "storage/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

namespace JsonText {

namespace {

// --- writing --------------------------------------------------------------

// Returns false when the value needs QJsonDocument's own rules (non-ASCII or
// control characters, floating point, unusual types).
bool writeString(const QString &s, QByteArray &out)
{
    // Written straight into room for the worst case (every character
    // escaped): appending a character at a time cost more than SQLite's
    // own work on the catalogue write.
    const qsizetype start = out.size();
    out.resize(start + 2 * s.size() + 2);
    char *o = out.data() + start;
    *o++ = '"';
    const char16_t *u = reinterpret_cast<const char16_t *>(s.unicode());
    for (qsizetype i = 0, n = s.size(); i < n; ++i) {
        const char16_t c = u[i];
        if (c < 0x20 || c >= 0x7f)
            return false;
        if (c == '"' || c == '\\')
            *o++ = '\\';
        *o++ = char(c);
    }
    *o++ = '"';
    out.truncate(o - out.constData());
    return true;
}

void writeInteger(qlonglong n, QByteArray &out)
{
    char digits[24];
    char *end = digits + sizeof digits;
    char *p = end;
    // Counted on the magnitude as unsigned: the caller keeps n within 2^53.
    unsigned long long m =
        n < 0 ? 0ull - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
    do {
        *--p = char('0' + m % 10);
        m /= 10;
    } while (m);
    if (n < 0)
        *--p = '-';
    out.append(p, end - p);
}

bool writeValue(const QVariant &v, QByteArray &out, int depth);

// A JSON array of the items, each written by writeItem (false stops it).
template <typename List, typename WriteItem>
bool writeArray(const List &items, QByteArray &out, WriteItem writeItem)
{
    out.append('[');
    bool first = true;
    for (const auto &item : items) {
        if (!first)
            out.append(',');
        first = false;
        if (!writeItem(item))
            return false;
    }
    out.append(']');
    return true;
}

bool writeList(const QVariantList &list, QByteArray &out, int depth)
{
    return writeArray(list, out,
                      [&out, depth](const QVariant &item) { return writeValue(item, out, depth + 1); });
}

bool writeMap(const QVariantMap &map, QByteArray &out, int depth)
{
    out.append('{');
    bool first = true;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        if (!first)
            out.append(',');
        first = false;
        if (!writeString(it.key(), out))
            return false;
        out.append(':');
        if (!writeValue(it.value(), out, depth + 1))
            return false;
    }
    out.append('}');
    return true;
}

bool writeValue(const QVariant &v, QByteArray &out, int depth)
{
    if (depth > 64)
        return false;
    switch (v.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        out.append("null");
        return true;
    case QMetaType::QString:
        return writeString(v.toString(), out);
    case QMetaType::Bool:
        out.append(v.toBool() ? "true" : "false");
        return true;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt: {
        const qlonglong n = v.toLongLong();
        // Beyond 2^53 QJsonValue's own number rules apply.
        if (n > (qlonglong(1) << 53) || n < -(qlonglong(1) << 53))
            return false;
        writeInteger(n, out);
        return true;
    }
    case QMetaType::QVariantList:
        return writeList(v.toList(), out, depth);
    case QMetaType::QStringList:
        return writeArray(v.toStringList(), out, [&out](const QString &s) { return writeString(s, out); });
    case QMetaType::QVariantMap:
        return writeMap(v.toMap(), out, depth);
    default:
        return false;
    }
}

QByteArray writeWithQt(const QVariant &value)
{
    const QJsonValue json = QJsonValue::fromVariant(value);
    if (json.isArray())
        return QJsonDocument(json.toArray()).toJson(QJsonDocument::Compact);
    if (json.isObject())
        return QJsonDocument(json.toObject()).toJson(QJsonDocument::Compact);
    return QByteArray();
}

// --- reading --------------------------------------------------------------

class Reader
{
public:
    explicit Reader(const QByteArray &text) : m_p(text.constData()), m_end(text.constData() + text.size()) {}

    // False when the text needs QJsonDocument's own handling (including
    // every malformed text, so its error rules hold).
    bool document(QVariant &out)
    {
        skipSpace();
        if (m_p == m_end || (*m_p != '[' && *m_p != '{'))
            return false;
        if (!value(out, 0))
            return false;
        skipSpace();
        return m_p == m_end;
    }

private:
    void skipSpace()
    {
        while (m_p != m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            ++m_p;
    }

    bool literal(const char *word)
    {
        const char *p = m_p;
        for (; *word; ++word, ++p) {
            if (p == m_end || *p != *word)
                return false;
        }
        m_p = p;
        return true;
    }

    bool string(QString &out)
    {
        if (m_p == m_end || *m_p != '"')
            return false;
        ++m_p;
        const char *start = m_p;
        bool escaped = false;
        while (m_p != m_end && *m_p != '"') {
            const unsigned char c = static_cast<unsigned char>(*m_p);
            if (c < 0x20 || c >= 0x80)
                return false;
            if (c == '\\') {
                ++m_p;
                if (m_p == m_end || (*m_p != '"' && *m_p != '\\' && *m_p != '/'))
                    return false;
                escaped = true;
            }
            ++m_p;
        }
        if (m_p == m_end)
            return false;
        if (!escaped) {
            out = QString::fromLatin1(start, m_p - start);
        } else {
            QByteArray plain;
            plain.reserve(m_p - start);
            for (const char *q = start; q != m_p; ++q) {
                if (*q == '\\')
                    ++q;
                plain.append(*q);
            }
            out = QString::fromLatin1(plain);
        }
        ++m_p;
        return true;
    }

    // Just past a '[' or '{': steps over the closing bracket when it follows
    // at once (an empty list or map).
    bool emptyContainer(char close)
    {
        skipSpace();
        if (m_p != m_end && *m_p == close) {
            ++m_p;
            return true;
        }
        return false;
    }

    // After an item of a list or map: a comma (closed stays false) or the
    // closing bracket (closed set); false for anything else.
    bool afterItem(char close, bool &closed)
    {
        skipSpace();
        if (m_p == m_end)
            return false;
        if (*m_p == ',') {
            ++m_p;
            return true;
        }
        if (*m_p != close)
            return false;
        ++m_p;
        closed = true;
        return true;
    }

    bool number(QVariant &out)
    {
        const char *start = m_p;
        if (m_p != m_end && *m_p == '-')
            ++m_p;
        const char *digits = m_p;
        while (m_p != m_end && *m_p >= '0' && *m_p <= '9')
            ++m_p;
        const auto count = m_p - digits;
        // Plain integers only, without a leading zero and well inside the
        // exact range; fractions and exponents follow QJsonDocument's rules.
        if (count == 0 || count > 15 || (count > 1 && *digits == '0'))
            return false;
        if (m_p != m_end && (*m_p == '.' || *m_p == 'e' || *m_p == 'E'))
            return false;
        bool ok = false;
        const qlonglong n = QByteArray::fromRawData(start, m_p - start).toLongLong(&ok);
        if (!ok || (n == 0 && *start == '-'))
            return false;
        out = QVariant(n);
        return true;
    }

    bool value(QVariant &out, int depth)
    {
        if (depth > 64)
            return false;
        skipSpace();
        if (m_p == m_end)
            return false;
        switch (*m_p) {
        case '[': {
            ++m_p;
            QVariantList list;
            bool closed = emptyContainer(']');
            while (!closed) {
                QVariant item;
                if (!value(item, depth + 1))
                    return false;
                list.append(item);
                if (!afterItem(']', closed))
                    return false;
            }
            out = list;
            return true;
        }
        case '{': {
            ++m_p;
            QVariantMap map;
            bool closed = emptyContainer('}');
            while (!closed) {
                skipSpace();
                QString key;
                if (!string(key) || map.contains(key))
                    return false;
                skipSpace();
                if (m_p == m_end || *m_p != ':')
                    return false;
                ++m_p;
                QVariant item;
                if (!value(item, depth + 1))
                    return false;
                map.insert(key, item);
                if (!afterItem('}', closed))
                    return false;
            }
            out = map;
            return true;
        }
        case '"': {
            QString s;
            if (!string(s))
                return false;
            out = s;
            return true;
        }
        case 't':
            if (!literal("true"))
                return false;
            out = true;
            return true;
        case 'f':
            if (!literal("false"))
                return false;
            out = false;
            return true;
        case 'n':
            if (!literal("null"))
                return false;
            out = QVariant::fromValue(nullptr);
            return true;
        default:
            return number(out);
        }
    }

    const char *m_p;
    const char *m_end;
};

} // namespace

QByteArray write(const QVariant &value)
{
    const int type = value.typeId();
    if (type != QMetaType::QVariantList && type != QMetaType::QStringList && type != QMetaType::QVariantMap)
        return writeWithQt(value);
    QByteArray out;
    out.reserve(64);
    if (writeValue(value, out, 0))
        return out;
    return writeWithQt(value);
}

QVariant read(const QByteArray &text)
{
    if (text.isEmpty())
        return QVariant();
    QVariant out;
    Reader reader(text);
    if (reader.document(out))
        return out;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        return QVariant();
    return doc.toVariant();
}

} // namespace JsonText

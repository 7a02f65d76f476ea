#include "store/ZvSqliteDetail.h"

#include "store/ZvError.h"

#include <QCoreApplication>

namespace zv::detail {

QString tr(const char* text)
{
    return QCoreApplication::translate("TADOQuery", text);
}

std::vector<TADOConnection*>& openConnections()
{
    static std::vector<TADOConnection*> list;
    return list;
}

void raiseStore(sqlite3* db)
{
    throw EZvError(QString::fromUtf8(db ? sqlite3_errmsg(db) : "database is not open"));
}

void bindValue(sqlite3_stmt* s, int index, const QVariant& v)
{
    if (!v.isValid() || v.isNull()) {
        sqlite3_bind_null(s, index);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        sqlite3_bind_int64(s, index, v.toLongLong());
        break;
    case QMetaType::Double:
        sqlite3_bind_double(s, index, v.toDouble());
        break;
    case QMetaType::QByteArray: {
        // A blob read from a row goes back as a blob.
        const QByteArray bytes = v.toByteArray();
        sqlite3_bind_blob(s, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    default: {
        const QByteArray utf8 = v.toString().toUtf8();
        sqlite3_bind_text(s, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    }
}

QVariant columnValue(sqlite3_stmt* s, int c)
{
    switch (sqlite3_column_type(s, c)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(s, c)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(s, c));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, c)),
                                          sqlite3_column_bytes(s, c)));
    case SQLITE_BLOB:
        return QVariant(
            QByteArray(reinterpret_cast<const char*>(sqlite3_column_blob(s, c)), sqlite3_column_bytes(s, c)));
    default:
        return QVariant();
    }
}

// The declared types of the tables the install makes (BOOLEAN, INTEGER, DATETIME, TEXT); an
// expression has none.
FieldType typeFromDecl(const char* decl)
{
    if (!decl) return FieldType::Other;
    const QByteArray d = QByteArray(decl).toUpper();
    if (d.startsWith("BOOL")) return FieldType::Boolean;
    if (d.startsWith("INT")) return FieldType::Integer;
    if (d.startsWith("DATE")) return FieldType::DateTime;
    if (d.startsWith("TEXT")) return FieldType::Text;
    return FieldType::Other;
}

void execSimple(sqlite3* db, const char* sql)
{
    // sqlite3_exec leaves its error's text on the connection.
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) raiseStore(db);
}

} // namespace zv::detail

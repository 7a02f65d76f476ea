#include "store/ZvDbCreate.h"

#include "store/ZvDb.h"
#include "store/ZvDbTransaction.h"
#include "store/ZvError.h"

#include <QFile>
#include <sqlite3.h>

namespace zv {

void CreateDatabaseFile(const QString& path, const QString& schemaSql, const QString& password)
{
    if (QFile::exists(path)) throw EZvError(QStringLiteral("%1 already exists").arg(path));
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        throw EZvError(msg);
    }
    const QByteArray sql = schemaSql.toUtf8() +
                           "\nCREATE TABLE zv_meta (name TEXT PRIMARY KEY, value TEXT);\n"
                           "INSERT INTO zv_meta VALUES ('password', '" +
                           TADOConnection::passwordDigest(password).toLatin1() + "');\n";
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &err);
    const QString msg = QString::fromUtf8(err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        QFile::remove(path);
        throw EZvError(msg);
    }
}

QStringList SchemaStatements(const QString& schemaSql)
{
    QStringList out;
    QString current;
    bool inString = false;
    for (qsizetype i = 0; i < schemaSql.size(); ++i) {
        const QChar ch = schemaSql[i];
        if (!inString && ch == QLatin1Char('-') && i + 1 < schemaSql.size() &&
            schemaSql[i + 1] == QLatin1Char('-')) {
            while (i < schemaSql.size() && schemaSql[i] != QLatin1Char('\n'))
                ++i;
            current += QLatin1Char('\n');
            continue;
        }
        if (ch == QLatin1Char('\'')) inString = !inString;
        if (!inString && ch == QLatin1Char(';')) {
            if (!current.trimmed().isEmpty()) out << current.trimmed();
            current.clear();
            continue;
        }
        current += ch;
    }
    if (!current.trimmed().isEmpty()) out << current.trimmed();
    return out;
}

void ApplySchemaAdditions(TADOConnection& connection, const QString& schemaSql)
{
    TZvTransaction transaction(connection, TZvTransaction::Mode::Write);
    for (const QString& statement : SchemaStatements(schemaSql)) {
        const QString words = statement.simplified();
        if (!words.startsWith(QLatin1String("CREATE TABLE IF NOT EXISTS "), Qt::CaseInsensitive) &&
            !words.startsWith(QLatin1String("CREATE INDEX IF NOT EXISTS "), Qt::CaseInsensitive))
            continue;
        char* err = nullptr;
        if (sqlite3_exec(connection.handle(), statement.toUtf8().constData(), nullptr, nullptr, &err) !=
            SQLITE_OK) {
            const QString msg = QString::fromUtf8(err ? err : "");
            sqlite3_free(err);
            throw EZvError(msg);
        }
    }
    transaction.commit();
}

} // namespace zv

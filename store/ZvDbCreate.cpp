#include "store/ZvDbCreate.h"

#include "store/ZvDb.h"
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

} // namespace zv

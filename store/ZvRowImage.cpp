#include "store/ZvRowImage.h"

#include "store/ZvDbConnection.h"
#include "store/ZvError.h"
#include "store/ZvSqlText.h"
#include "store/ZvSqliteDetail.h"

#include <algorithm>

namespace zv {

using namespace detail;

namespace {

QString columnList(const QStringList& columns)
{
    return columns.join(QLatin1Char(','));
}

// "rowid" and the columns, as a select lists them.
QString selectList(const QStringList& columns)
{
    return columns.isEmpty() ? QStringLiteral("rowid") : QStringLiteral("rowid,") + columnList(columns);
}

void stepToEnd(sqlite3* db, sqlite3_stmt* s)
{
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) raiseStore(db);
}

std::vector<TZvRowImage> readImages(TADOConnection& c, const QString& sql, std::optional<qint64> rowid,
                                    int columnCount)
{
    sqlite3* db = c.handle();
    // Quoted ids become bound values: the statement is compiled once for any ids.
    QStringList literals;
    CachedStmt stmt;
    stmt.s = c.cachedStatement(ParameterizeSql(sql, &literals));
    for (int i = 0; i < literals.size(); ++i)
        bindValue(stmt.s, i + 1, QVariant(literals[i]));
    if (rowid) sqlite3_bind_int64(stmt.s, int(literals.size()) + 1, *rowid);
    std::vector<TZvRowImage> images;
    int rc;
    while ((rc = sqlite3_step(stmt.s)) == SQLITE_ROW) {
        TZvRowImage image;
        image.rowid = sqlite3_column_int64(stmt.s, 0);
        image.values.reserve(size_t(columnCount));
        for (int i = 0; i < columnCount; ++i)
            image.values.push_back(columnValue(stmt.s, i + 1));
        images.push_back(std::move(image));
    }
    if (rc != SQLITE_DONE) raiseStore(db);
    return images;
}

} // namespace

bool SameStoredValue(const QVariant& a, const QVariant& b)
{
    const bool nullA = !a.isValid() || a.isNull();
    const bool nullB = !b.isValid() || b.isNull();
    if (nullA || nullB) return nullA == nullB;
    return a.typeId() == b.typeId() && a == b;
}

void SortByRowid(std::vector<TZvRowImage>& images)
{
    const auto less = [](const TZvRowImage& a, const TZvRowImage& b) { return a.rowid < b.rowid; };
    const auto same = [](const TZvRowImage& a, const TZvRowImage& b) { return a.rowid == b.rowid; };
    std::sort(images.begin(), images.end(), less);
    images.erase(std::unique(images.begin(), images.end(), same), images.end());
}

std::vector<TZvRowImage> SelectRowImages(TADOConnection& connection, const QString& table,
                                         const QStringList& columns, const QString& where)
{
    return readImages(
        connection,
        QStringLiteral("select %1 from %2 where %3 order by rowid").arg(selectList(columns), table, where),
        std::nullopt, int(columns.size()));
}

std::optional<TZvRowImage> RowImageAt(TADOConnection& connection, const QString& table,
                                      const QStringList& columns, qint64 rowid)
{
    std::vector<TZvRowImage> images = readImages(
        connection, QStringLiteral("select %1 from %2 where rowid=?").arg(selectList(columns), table), rowid,
        int(columns.size()));
    if (images.empty()) return std::nullopt;
    return std::move(images.front());
}

qint64 InsertRowImage(TADOConnection& connection, const QString& table, const QStringList& columns,
                      const TZvRowImage& image)
{
    connection.secureLocks("a row put back");
    sqlite3* db = connection.handle();
    // The row's own rowid keeps its place: the lists are read in rowid order.
    const bool taken = RowImageAt(connection, table, {}, image.rowid).has_value();
    const QString names = taken ? columnList(columns) : QStringLiteral("rowid,") + columnList(columns);
    const int first = taken ? 1 : 2;
    CachedStmt stmt;
    stmt.s = connection.cachedStatement(
        QStringLiteral("insert into %1 (%2) values (%3)")
            .arg(table, names,
                 QStringList(columns.size() + (taken ? 0 : 1), QStringLiteral("?")).join(QLatin1Char(','))));
    if (!taken) sqlite3_bind_int64(stmt.s, 1, image.rowid);
    for (size_t i = 0; i < image.values.size(); ++i)
        bindValue(stmt.s, int(i) + first, image.values[i]);
    stepToEnd(db, stmt.s);
    return taken ? sqlite3_last_insert_rowid(db) : image.rowid;
}

bool UpdateRowImage(TADOConnection& connection, const QString& table, const QStringList& columns,
                    const TZvRowImage& image, const std::vector<int>& which)
{
    if (which.empty()) return RowImageAt(connection, table, {}, image.rowid).has_value();
    connection.secureLocks("a row put back");
    sqlite3* db = connection.handle();
    QStringList sets;
    for (int i : which)
        sets << columns.at(i) + QStringLiteral("=?");
    CachedStmt stmt;
    stmt.s = connection.cachedStatement(
        QStringLiteral("update %1 set %2 where rowid=?").arg(table, sets.join(QLatin1Char(','))));
    int index = 1;
    for (int i : which)
        bindValue(stmt.s, index++, image.values.at(size_t(i)));
    sqlite3_bind_int64(stmt.s, index, image.rowid);
    stepToEnd(db, stmt.s);
    return sqlite3_changes(db) > 0;
}

void DeleteRowAt(TADOConnection& connection, const QString& table, qint64 rowid)
{
    connection.secureLocks("a row taken back");
    sqlite3* db = connection.handle();
    CachedStmt stmt;
    stmt.s = connection.cachedStatement(QStringLiteral("delete from %1 where rowid=?").arg(table));
    sqlite3_bind_int64(stmt.s, 1, rowid);
    stepToEnd(db, stmt.s);
}

} // namespace zv

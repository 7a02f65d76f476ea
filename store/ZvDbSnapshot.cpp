#include "store/ZvDbSnapshot.h"

#include "store/ZvDbConnection.h"
#include "store/ZvDbTransaction.h"
#include "store/ZvError.h"
#include "store/ZvRowImage.h"
#include "store/ZvScopeExit.h"
#include "store/ZvSqliteDetail.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace zv {

using namespace detail;

namespace {

QStringList& keptTables()
{
    static QStringList tables;
    return tables;
}

QString errorOf(sqlite3* db, int rc)
{
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

sqlite3* openFile(const QString& path, int flags)
{
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = errorOf(db, rc);
        sqlite3_close(db);
        throw EZvError(tr("Cannot open '%1': %2").arg(QDir::toNativeSeparators(path), message));
    }
    return db;
}

// Copies every page of `from` into `to`, as one write on `to`.
void copyPages(sqlite3* to, sqlite3* from)
{
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup) raiseStore(to);
    const int rc = sqlite3_backup_step(backup, -1);
    const int finished = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE || finished != SQLITE_OK) raiseStore(to);
}

QString storedPassword(sqlite3* db)
{
    Stmt probe;
    if (sqlite3_prepare_v2(db, "select value from zv_meta where name='password'", -1, &probe.s, nullptr) !=
            SQLITE_OK ||
        sqlite3_step(probe.s) != SQLITE_ROW)
        return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(probe.s, 0)));
}

QStringList columnsOf(sqlite3* db, const QString& table)
{
    Stmt s;
    if (sqlite3_prepare_v2(db, QStringLiteral("select * from %1 limit 0").arg(table).toUtf8().constData(), -1,
                           &s.s, nullptr) != SQLITE_OK)
        return {};
    QStringList columns;
    for (int i = 0; i < sqlite3_column_count(s.s); ++i)
        columns << QString::fromUtf8(sqlite3_column_name(s.s, i));
    return columns;
}

// What a kept table holds now, and the statements that make it and its indexes.
struct TKeptTable
{
    QString name;
    QStringList columns;
    QStringList schema;
    std::vector<TZvRowImage> rows;
};

std::vector<TKeptTable> readKeptTables(TADOConnection& connection)
{
    std::vector<TKeptTable> kept;
    sqlite3* db = connection.handle();
    for (const QString& table : keptTables()) {
        TKeptTable t;
        t.name = table;
        t.columns = columnsOf(db, table);
        if (t.columns.isEmpty()) continue; // no such table here
        Stmt s;
        if (sqlite3_prepare_v2(db,
                               "select sql from sqlite_master where tbl_name=? and sql is not null order by "
                               "type='index'",
                               -1, &s.s, nullptr) != SQLITE_OK)
            raiseStore(db);
        const QByteArray name = table.toUtf8();
        sqlite3_bind_text(s.s, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(s.s) == SQLITE_ROW)
            t.schema << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s.s, 0)));
        t.rows = SelectRowImages(connection, table, t.columns, QStringLiteral("1"));
        kept.push_back(std::move(t));
    }
    return kept;
}

void writeKeptTables(TADOConnection& connection, const std::vector<TKeptTable>& kept)
{
    if (kept.empty()) return;
    sqlite3* db = connection.handle();
    TZvTransaction write(connection, TZvTransaction::Mode::Write);
    for (const TKeptTable& t : kept) {
        if (columnsOf(db, t.name).isEmpty())
            for (const QString& sql : t.schema)
                execSimple(db, sql.toUtf8().constData());
        execSimple(db, QStringLiteral("delete from %1").arg(t.name).toUtf8().constData());
        for (const TZvRowImage& row : t.rows)
            InsertRowImage(connection, t.name, t.columns, row);
    }
    write.commit();
}

const QRegularExpression& copyName()
{
    static const QRegularExpression name(QStringLiteral("^(\\d{6})-([a-z]+)\\.zvb$"));
    return name;
}

} // namespace

void KeepAcrossCopies(const QString& table)
{
    if (!keptTables().contains(table)) keptTables() << table;
}

void WriteDatabaseCopy(TADOConnection& connection, const QString& path)
{
    RefuseDatabaseFile(path);
    sqlite3* source = connection.handle();
    QFile::remove(path);
    sqlite3* copy = openFile(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    try {
        copyPages(copy, source);
        // The pages say "WAL" as the live file does: a plain file opens read-only alone.
        execSimple(copy, "PRAGMA journal_mode=DELETE");
    } catch (...) {
        sqlite3_close(copy);
        QFile::remove(path);
        throw;
    }
    if (sqlite3_close(copy) != SQLITE_OK) {
        QFile::remove(path);
        throw EZvError(tr("Cannot close '%1'").arg(QDir::toNativeSeparators(path)));
    }
}

void PutBackDatabaseCopy(TADOConnection& connection, const QString& path)
{
    sqlite3* copy = openFile(path, SQLITE_OPEN_READONLY);
    const auto close = ScopeExit([copy] { sqlite3_close(copy); });
    if (storedPassword(copy) != TADOConnection::passwordDigest(connection.password()))
        throw EZvError(tr("'%1' is not a copy of this database").arg(QDir::toNativeSeparators(path)));
    const std::vector<TKeptTable> kept = readKeptTables(connection);
    connection.secureLocks("a copy put back");
    sqlite3* live = connection.handle();
    if (connection.transaction() || !sqlite3_get_autocommit(live))
        throw EZvError(tr("Internal error: a transaction is already open on the database connection"));
    copyPages(live, copy);
    connection.noteDataReplaced();
    writeKeptTables(connection, kept);
}

TZvSnapshots::TZvSnapshots(const QString& programFolder)
    : m_folder(programFolder + QStringLiteral("Snapshots/"))
{}

QStringList TZvSnapshots::files() const
{
    QStringList names;
    for (const QString& name : QDir(m_folder).entryList({QStringLiteral("*.zvb")}, QDir::Files, QDir::Name))
        if (copyName().match(name).hasMatch()) names << name;
    return names;
}

QString TZvSnapshots::take(TADOConnection& connection, const QString& command)
{
    if (!QDir().mkpath(m_folder))
        throw EZvError(tr("Cannot make the folder '%1'").arg(QDir::toNativeSeparators(m_folder)));
    const QStringList existing = files();
    const int number = existing.isEmpty() ? 1 : copyName().match(existing.last()).captured(1).toInt() + 1;
    const QString path =
        m_folder + QStringLiteral("%1-%2.zvb").arg(number, 6, 10, QLatin1Char('0')).arg(command.toLower());
    // Written under another name first: a copy cut short never passes for a whole one.
    const QString part = path + QStringLiteral(".part");
    WriteDatabaseCopy(connection, part);
    QFile::remove(path);
    if (!QFile::rename(part, path)) {
        QFile::remove(part);
        throw EZvError(tr("Cannot write '%1'").arg(QDir::toNativeSeparators(path)));
    }
    // The oldest go; one that cannot be removed now is tried again with the next copy.
    const QStringList all = files();
    for (qsizetype i = 0; i + kKept < all.size(); ++i)
        QFile::remove(m_folder + all.at(i));
    return path;
}

std::optional<TZvSnapshots::Entry> TZvSnapshots::latest() const
{
    const QStringList all = files();
    if (all.isEmpty()) return std::nullopt;
    const QString path = m_folder + all.last();
    return Entry{path, copyName().match(all.last()).captured(2), QFileInfo(path).lastModified()};
}

} // namespace zv

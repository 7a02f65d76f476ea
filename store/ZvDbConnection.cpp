#include "store/ZvDbConnection.h"

#include "store/ZvDbTransaction.h"
#include "store/ZvDurability.h"
#include "store/ZvError.h"
#include "store/ZvSqliteDetail.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <string>

namespace zv {

using namespace detail;

TADOConnection::TADOConnection() = default;

TADOConnection::~TADOConnection()
{
    Close();
}

QString TADOConnection::BuildConnectionString(const QString& programFolder)
{
    return QStringLiteral(
               "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=mavrude;Data Source=") +
           programFolder + QStringLiteral("zvData.zvb") + QStringLiteral(";Persist Security Info=False");
}

QString TADOConnection::passwordDigest(const QString& password)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(("zorvik-jotboard:" + password).toUtf8(), QCryptographicHash::Sha256)
            .toHex());
}

void TADOConnection::setConnectionString(const QString& text)
{
    m_connectionString = text;
}

static QString connectionPart(const QString& text, const QString& key)
{
    // A piece without "=" belongs to the value before it: a program folder may hold ";".
    QStringList parts;
    for (const QString& piece : text.split(QLatin1Char(';'))) {
        if (!parts.isEmpty() && !piece.contains(QLatin1Char('=')))
            parts.back() += QLatin1Char(';') + piece;
        else
            parts << piece;
    }
    for (const QString& part : parts) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq > 0 && QStringView(part).left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return part.mid(eq + 1);
    }
    return {};
}

QString TADOConnection::dataSource() const
{
    return connectionPart(m_connectionString, QStringLiteral("Data Source"));
}

QString TADOConnection::password() const
{
    return connectionPart(m_connectionString, QStringLiteral("Jet OLEDB:Database Password"));
}

static void checkOurDatabase(sqlite3* db, const QString& path, const QString& password);

void TADOConnection::Open()
{
    Close();
    const QString path = dataSource();
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        throw EZvError(tr("Could not find file '%1'").arg(QDir::toNativeSeparators(path)));

    sqlite3* db = nullptr;
    // Never SQLITE_OPEN_CREATE: the program does not make its database.
    // One thread uses the connection: no mutex around every call.
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        throw EZvError(tr("Cannot open database '%1': %2").arg(QDir::toNativeSeparators(path), msg));
    }
    sqlite3_busy_timeout(db, 3000);
    try {
        checkOurDatabase(db, path, password());
        // Only once the probe is finished: the journal mode cannot change inside a read.
        execSimple(db, "PRAGMA journal_mode=WAL");
        execSimple(db, "PRAGMA synchronous=FULL");
        // Tens of thousands of items are read at every load: keep the pages in memory.
        execSimple(db, "PRAGMA cache_size=-32768");
        // No memory map: it made the whole file resident in the process (100 MB at 250,000
        // tasks and memos), and a read error on a mapped page ends the program with SIGBUS
        // where a read through the cache is an error the program reports.
        execSimple(db, "PRAGMA mmap_size=0");
        // A read in WAL mode takes the lock on the file that the connection keeps while open.
        execSimple(db, "select count(*) from zv_meta");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    m_db = db;
    sqlite3_update_hook(db, &TADOConnection::rowChanged, this);
    sqlite3_set_authorizer(db, &TADOConnection::deleteRowByRow, nullptr);
    m_path = path;
    m_lockedFiles = LockedFilesOf(path);
    if (!HoldsLocks(m_lockedFiles)) m_lockedFiles = {};
    openConnections().push_back(this);
}

// A file that is not a database fails only at its first read: read at once. The probe
// statement is finished before this returns.
static void checkOurDatabase(sqlite3* db, const QString& path, const QString& password)
{
    const auto notOurs = [&] {
        return EZvError(tr("Unrecognized database format '%1'").arg(QDir::toNativeSeparators(path)));
    };
    Stmt probe;
    const char* sql = "select value from zv_meta where name='password'";
    const int prc = sqlite3_prepare_v2(db, sql, -1, &probe.s, nullptr);
    if (prc == SQLITE_BUSY || prc == SQLITE_LOCKED) raiseStore(db);
    if (prc != SQLITE_OK) {
        // Random bytes, a damaged header, an empty file, or a database of some other
        // program (no such table): none of them is ours, whatever the password.
        throw notOurs();
    }
    const int step = sqlite3_step(probe.s);
    if (step == SQLITE_BUSY || step == SQLITE_LOCKED) raiseStore(db);
    if (step != SQLITE_ROW && step != SQLITE_DONE) throw notOurs();
    const QString stored =
        step == SQLITE_ROW ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(probe.s, 0)))
                           : QString();
    if (stored.isEmpty() || stored != TADOConnection::passwordDigest(password))
        throw EZvError(tr("Not a valid password"));
}

sqlite3_stmt* TADOConnection::cachedStatement(const QString& sql)
{
    auto it = m_statements.find(sql);
    if (it != m_statements.end()) return it->second;
    sqlite3* db = handle();
    const QByteArray utf8 = sql.toUtf8();
    const char* tail = nullptr;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(db, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &s, &tail) !=
        SQLITE_OK)
        raiseStore(db);
    if (!s) throw EZvError(tr("Empty SQL statement"));
    // A successful prepare always sets the tail, at worst to the end of the text.
    const QByteArray rest = QByteArray(tail).trimmed();
    if (!rest.isEmpty() && rest != ";") {
        sqlite3_finalize(s);
        throw EZvError(tr("Only one SQL statement may be run at a time"));
    }
    if (m_statements.size() >= 64) {
        for (auto& entry : m_statements)
            sqlite3_finalize(entry.second);
        m_statements.clear();
    }
    m_statements.emplace(sql, s);
    return s;
}

void TADOConnection::Close()
{
    if (!m_db) return;
    if (m_transaction) m_transaction->rollback();
    auto& list = openConnections();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    for (auto& entry : m_statements)
        sqlite3_finalize(entry.second);
    m_statements.clear();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

sqlite3* TADOConnection::handle() const
{
    if (!m_db) throw EZvError(tr("Operation is not allowed when the database connection is closed"));
    return m_db;
}

void TADOConnection::secureLocks(const char* where)
{
    if (!m_db || !m_lockedFiles.known() || m_transaction || !sqlite3_get_autocommit(m_db)) return;
    if (HoldsLocks(m_lockedFiles)) return;
    if (DurabilityChecks())
        qFatal("Lock check failed at %s: the process no longer holds its locks on the database, so a "
               "change may go into a journal that another process deletes",
               where);
    // Every committed frame into the database file, through this connection's own descriptors,
    // whether or not the journal file still has a name; then the locks again by reopening.
    int frames = -1;
    int copied = -1;
    const int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &frames, &copied);
    if (rc != SQLITE_OK || frames != copied)
        throw EZvError(tr("The database file '%1' was unlocked by another program, and its journal could "
                          "not be saved: %2")
                           .arg(QDir::toNativeSeparators(m_path), QString::fromUtf8(sqlite3_errmsg(m_db))));
    Close();
    Open();
}

void CheckDatabaseLocks(const char* where)
{
    // A copy: reopening a connection takes it out of the list and puts it back.
    const std::vector<TADOConnection*> connections = openConnections();
    for (TADOConnection* c : connections)
        c->secureLocks(where);
}

bool IsDatabaseFile(const QString& fileName)
{
    if (fileName.isEmpty()) return false;
    const QFileInfo target(fileName);
    const QString folder = target.absoluteDir().canonicalPath();
    for (const TADOConnection* c : openConnections()) {
        const QString db = c->dataSource();
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
            const QFileInfo file(db + QLatin1String(suffix));
            if (target.exists()
                    ? SameFile(fileName, file.filePath())
                    : (folder == file.absoluteDir().canonicalPath() && target.fileName() == file.fileName()))
                return true;
        }
    }
    return false;
}

void RefuseDatabaseFile(const QString& fileName)
{
    if (IsDatabaseFile(fileName))
        throw EZvError(tr("'%1' is the program's own database; it can be neither read nor written as a "
                          "file here")
                           .arg(QDir::toNativeSeparators(fileName)));
}

void TADOConnection::checkpoint()
{
    if (m_db) sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
}

bool TADOConnection::autocommit() const
{
    return !m_db || sqlite3_get_autocommit(m_db) != 0;
}

int TADOConnection::deleteRowByRow(void*, int action, const char* table, const char*, const char*,
                                   const char*)
{
    // A delete of every row of a table skips the row hook (SQLite's truncate); SQLITE_IGNORE
    // makes it delete row by row, so that it counts. Never for SQLite's own tables, nor for
    // the delete a DROP asks for right after naming its table: either would silently stop
    // the drop. The name lives only from one call to the next, within one prepare.
    thread_local std::string dropped;
    const bool dropsIt = action == SQLITE_DELETE && table && dropped == table;
    dropped.clear();
    if ((action == SQLITE_DROP_TABLE || action == SQLITE_DROP_TEMP_TABLE || action == SQLITE_DROP_VIEW ||
         action == SQLITE_DROP_TEMP_VIEW) &&
        table)
        dropped = table;
    return action == SQLITE_DELETE && table && !dropsIt && std::strncmp(table, "sqlite_", 7) != 0
               ? SQLITE_IGNORE
               : SQLITE_OK;
}

void TADOConnection::rowChanged(void* connection, int, const char*, const char* table, sqlite3_int64)
{
    // The program's own bookkeeping (zv_meta, the sync's state) is no change of the data.
    if (table && std::strncmp(table, "zv", 2) != 0) ++static_cast<TADOConnection*>(connection)->m_dataChanges;
}

} // namespace zv

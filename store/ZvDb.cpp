#include "ZvDb.h"

#include "ZvError.h"
#include "pU_Funcs.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <sqlite3.h>

namespace zv {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("TADOQuery", text);
}

// The open connections, for the durability checks.
std::vector<TADOConnection*>& openConnections()
{
    static std::vector<TADOConnection*> list;
    return list;
}

[[noreturn]] void raiseStore(sqlite3* db)
{
    throw EZvError(QString::fromUtf8(db ? sqlite3_errmsg(db) : "database is not open"));
}

// A statement, finalised whatever happens.
struct Stmt
{
    sqlite3_stmt* s = nullptr;
    ~Stmt() { sqlite3_finalize(s); }
};

// The SQL text with each string literal ('...', inner quotes doubled) taken out as a
// bound value. The program's statements differ only in the ids they quote, so the
// statement with "?" in their place is compiled once and used again.
QString parameterize(const QString& sql, QStringList* literals)
{
    const qsizetype first = sql.indexOf(QLatin1Char('\''));
    if (first < 0) return sql;
    QString out;
    out.reserve(sql.size());
    qsizetype from = 0;
    qsizetype i = first;
    const qsizetype n = sql.size();
    while (i >= 0) {
        out.append(QStringView(sql).mid(from, i - from));
        QString value;
        qsizetype j = i + 1;
        for (;;) {
            const qsizetype q = sql.indexOf(QLatin1Char('\''), j);
            if (q < 0) // a broken literal is left to the parser, which reports it
                return sql;
            value.append(QStringView(sql).mid(j, q - j));
            if (q + 1 < n && sql.at(q + 1) == QLatin1Char('\'')) {
                value.append(QLatin1Char('\''));
                j = q + 2;
                continue;
            }
            j = q + 1;
            break;
        }
        literals->append(value);
        out.append(QLatin1Char('?'));
        from = j;
        i = sql.indexOf(QLatin1Char('\''), j);
    }
    out.append(QStringView(sql).mid(from));
    return out;
}

// A statement from the connection's cache: reset (its read ended) when it goes out of use.
struct CachedStmt
{
    sqlite3_stmt* s = nullptr;
    ~CachedStmt()
    {
        if (s) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        }
    }
};

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

FieldType typeFromDecl(const char* decl)
{
    if (!decl) return FieldType::Other;
    const QByteArray d = QByteArray(decl).toUpper();
    if (d.startsWith("BOOL")) return FieldType::Boolean;
    if (d.startsWith("INT")) return FieldType::Integer;
    if (d.startsWith("DATE") || d.startsWith("TIME")) return FieldType::DateTime;
    if (d.startsWith("TEXT") || d.contains("CHAR") || d.startsWith("MEMO")) return FieldType::Text;
    return FieldType::Other;
}

void execSimple(sqlite3* db, const char* sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
        throw EZvError(msg);
    }
}

} // namespace

// ---- TADOConnection -----------------------------------------------------------------

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
        if (eq > 0 && part.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) return part.mid(eq + 1);
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
        execSimple(db, "PRAGMA mmap_size=268435456");
        // A read in WAL mode takes the lock on the file that the connection keeps while open.
        execSimple(db, "select count(*) from zv_meta");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    m_db = db;
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
    if (tail && QByteArray(tail).trimmed().size() > 0 && QByteArray(tail).trimmed() != ";") {
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

// ---- transactions -------------------------------------------------------------------

namespace {
bool g_checks = [] {
#ifndef NDEBUG
    return true;
#else
    return qEnvironmentVariableIntValue("ZVJ_CHECKS") != 0;
#endif
}();
} // namespace

void SetDurabilityChecks(bool on)
{
    g_checks = on;
}

bool DurabilityChecks()
{
    return g_checks;
}

void CheckDurable(const char* where)
{
    if (!g_checks) return;
    for (const TADOConnection* c : openConnections())
        if (!c->autocommit())
            qFatal("Durability check failed at %s: the database connection is inside a transaction, so what "
                   "the user sees may not be stored",
                   where);
    CheckDatabaseLocks(where);
}

void WatchDurabilityAtIdle()
{
    static bool watching = false;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (watching || !dispatcher) return;
    watching = true;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock,
                     [] { CheckDurable("the event loop"); });
}

TZvTransaction::TZvTransaction(TADOConnection& connection, Mode mode) : m_connection(connection), m_mode(mode)
{
    if (mode == Mode::Write) connection.secureLocks("a write batch");
    sqlite3* db = connection.handle();
    if (connection.m_transaction || !sqlite3_get_autocommit(db))
        throw EZvError(tr("Internal error: a transaction is already open on the database connection"));
    // A write batch takes the write lock at once, so it cannot fail halfway for a lock.
    execSimple(db, mode == Mode::Write ? "BEGIN IMMEDIATE" : "BEGIN");
    connection.m_transaction = this;
    m_open = true;
}

TZvTransaction::~TZvTransaction()
{
    rollback();
}

void TZvTransaction::close() noexcept
{
    m_open = false;
    if (m_connection.m_transaction == this) m_connection.m_transaction = nullptr;
}

void TZvTransaction::commit()
{
    if (!m_open) return;
    sqlite3* db = m_connection.m_db;
    char* err = nullptr;
    const int rc = db ? sqlite3_exec(db, "COMMIT", nullptr, nullptr, &err) : SQLITE_MISUSE;
    if (rc == SQLITE_OK) {
        close();
        return;
    }
    const QString msg = QString::fromUtf8(err ? err : (db ? sqlite3_errmsg(db) : "database is not open"));
    sqlite3_free(err);
    // A failed COMMIT may leave the transaction open (busy, statements still running):
    // end it, so that nothing written later hides in a transaction nobody commits.
    rollback();
    throw EZvError(msg);
}

void TZvTransaction::rollback() noexcept
{
    if (!m_open) return;
    sqlite3* db = m_connection.m_db;
    if (db && !sqlite3_get_autocommit(db)) {
        // Statements still stepping would keep the transaction alive: reset them first.
        for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s))
            if (sqlite3_stmt_busy(s)) sqlite3_reset(s);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    close();
}

void TZvWriteBatch::begin()
{
    if (!m_transaction) {
        m_transaction = std::make_unique<TZvTransaction>(m_connection, TZvTransaction::Mode::Write);
        m_rows = 0;
    }
}

void TZvWriteBatch::posted()
{
    if (++m_rows >= m_size) commit();
}

void TZvWriteBatch::commit()
{
    if (!m_transaction) return;
    std::unique_ptr<TZvTransaction> t = std::move(m_transaction);
    t->commit();
}

// ---- TADOQuery ----------------------------------------------------------------------

TADOQuery::TADOQuery(TADOConnection* connection) : m_connection(connection) {}

TADOQuery::~TADOQuery() = default;

void TADOQuery::Close()
{
    m_active = false;
    m_state = State::Browse;
    m_table.clear();
    m_hasRowid = false;
    // The column list stays: the next result of the same shape uses it again.
    m_rows.clear();
    m_rowids.clear();
    m_cursor = 0;
    m_pending.clear();
    m_pendingSet.clear();
}

void TADOQuery::SQLClear()
{
    m_sql.clear();
}

void TADOQuery::SQLAdd(const QString& line)
{
    m_sql << line;
}

QString TADOQuery::sqlText() const
{
    return m_sql.join(QLatin1Char(' '));
}

// The table of a "select * from <table> ..." statement, or empty.
static QString starSelectTable(const QString& sql, qsizetype* tableStart)
{
    qsizetype i = 0;
    const qsizetype n = sql.size();
    auto skipBlanks = [&] {
        while (i < n && sql.at(i).isSpace())
            ++i;
    };
    auto word = [&](QLatin1StringView w) {
        if (sql.mid(i, w.size()).compare(w, Qt::CaseInsensitive) != 0) return false;
        i += w.size();
        return true;
    };
    skipBlanks();
    if (!word(QLatin1StringView("select")) || i >= n || !sql.at(i).isSpace()) return {};
    skipBlanks();
    if (i >= n || sql.at(i) != QLatin1Char('*')) return {};
    ++i;
    skipBlanks();
    if (!word(QLatin1StringView("from")) || i >= n || !sql.at(i).isSpace()) return {};
    skipBlanks();
    const qsizetype start = i;
    while (i < n && (sql.at(i).isLetterOrNumber() || sql.at(i) == QLatin1Char('_')))
        ++i;
    if (i == start || sql.at(start).isDigit()) return {};
    *tableStart = start;
    return sql.mid(start, i - start);
}

void TADOQuery::Open()
{
    // The column list of the last result is kept when the next one has the same columns:
    // loading a tree opens the same shape of statement thousands of times.
    Close();
    sqlite3* db = m_connection->handle();
    QString sql = sqlText();
    // "select * from <table>" results can be edited: read each row's rowid with it.
    qsizetype tableStart = 0;
    const QString table = starSelectTable(sql, &tableStart);
    if (!table.isEmpty()) {
        m_table = table;
        m_hasRowid = true;
        sql = QStringLiteral("select rowid, * from ") + sql.mid(tableStart);
    }
    QStringList literals;
    CachedStmt stmt;
    stmt.s = m_connection->cachedStatement(parameterize(sql, &literals));
    for (int i = 0; i < literals.size(); ++i)
        bindValue(stmt.s, i + 1, QVariant(literals[i]));
    const int count = sqlite3_column_count(stmt.s);
    const int first = m_hasRowid ? 1 : 0;
    bool same = int(m_rawNames.size()) == count - first;
    for (int c = first; same && c < count; ++c)
        same = m_rawNames[size_t(c - first)] == sqlite3_column_name(stmt.s, c);
    if (!same) {
        static std::atomic<quint64> layouts{0};
        m_layoutId = ++layouts;
        m_columns.clear();
        m_columnByName.clear();
        m_rawNames.clear();
        for (int c = first; c < count; ++c) {
            Column col;
            m_rawNames.emplace_back(sqlite3_column_name(stmt.s, c));
            col.name = QString::fromUtf8(m_rawNames.back());
            col.type = typeFromDecl(sqlite3_column_decltype(stmt.s, c));
            m_columnByName.insert(col.name, int(m_columns.size()));
            m_columnByName.insert(col.name.toLower(), int(m_columns.size()));
            m_columns.push_back(col);
        }
    }
    for (;;) {
        const int rc = sqlite3_step(stmt.s);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) raiseStore(db);
        std::vector<QVariant> row;
        row.reserve(m_columns.size());
        for (int c = first; c < count; ++c)
            row.push_back(columnValue(stmt.s, c));
        m_rows.push_back(std::move(row));
        if (m_hasRowid) m_rowids.push_back(sqlite3_column_int64(stmt.s, 0));
        if (m_maxRecords > 0 && qsizetype(m_rows.size()) >= m_maxRecords) break;
    }
    m_active = true;
    m_cursor = 0;
}

void TADOQuery::ExecSQL()
{
    Close();
    m_connection->secureLocks("a statement");
    sqlite3* db = m_connection->handle();
    QStringList literals;
    CachedStmt stmt;
    stmt.s = m_connection->cachedStatement(parameterize(sqlText(), &literals));
    for (int i = 0; i < literals.size(); ++i)
        bindValue(stmt.s, i + 1, QVariant(literals[i]));
    int rc;
    while ((rc = sqlite3_step(stmt.s)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) raiseStore(db);
}

void TADOQuery::requireActive() const
{
    if (!m_active) throw EZvError(tr("Operation is not allowed when the object is closed"));
}

// Moving away from a changed row stores the change first, on the row it was made on;
// otherwise the pending values would be posted to whatever row the cursor reached.
void TADOQuery::checkBrowseMode()
{
    if (m_state != State::Browse) Post();
}

void TADOQuery::First()
{
    requireActive();
    checkBrowseMode();
    m_cursor = 0;
}

void TADOQuery::Next()
{
    requireActive();
    checkBrowseMode();
    if (m_cursor < qsizetype(m_rows.size())) ++m_cursor;
}

bool TADOQuery::Eof() const
{
    return !m_active || m_cursor >= qsizetype(m_rows.size());
}

int TADOQuery::columnIndex(const QString& name) const
{
    // Names as written in the table are found at once; any other case through lower case.
    auto it = m_columnByName.constFind(name);
    if (it == m_columnByName.constEnd()) it = m_columnByName.constFind(name.toLower());
    if (it == m_columnByName.constEnd()) throw EZvError(tr("Field '%1' not found").arg(name));
    return it.value();
}

TField TADOQuery::FieldByName(const QString& name)
{
    requireActive();
    return TField(this, columnIndex(name));
}

int TADOQuery::FindField(QLatin1StringView name) const
{
    for (size_t c = 0; c < m_columns.size(); ++c)
        if (m_columns[c].name == name) return int(c);
    for (size_t c = 0; c < m_columns.size(); ++c)
        if (m_columns[c].name.compare(name, Qt::CaseInsensitive) == 0) return int(c);
    return -1;
}

TField TADOQuery::FieldAt(int column)
{
    requireActive();
    if (column < 0 || size_t(column) >= m_columns.size())
        throw EZvError(tr("Field index %1 out of range").arg(column));
    return TField(this, column);
}

QVariant TADOQuery::value(int column) const
{
    if (m_state != State::Browse && m_pendingSet[size_t(column)]) return m_pending[size_t(column)];
    if (m_state == State::Insert) return QVariant();
    if (m_cursor >= qsizetype(m_rows.size()))
        throw EZvError(tr("Either BOF or EOF is True, or the current record has been deleted"));
    return m_rows[size_t(m_cursor)][size_t(column)];
}

void TADOQuery::setValue(int column, const QVariant& value)
{
    if (m_state == State::Browse) throw EZvError(tr("Dataset not in edit or insert mode"));
    m_pending[size_t(column)] = value;
    m_pendingSet[size_t(column)] = true;
}

void TADOQuery::Append()
{
    requireActive();
    if (m_table.isEmpty()) throw EZvError(tr("Cannot modify a read-only dataset"));
    checkBrowseMode();
    m_state = State::Insert;
    m_pending.assign(m_columns.size(), QVariant());
    m_pendingSet.assign(m_columns.size(), false);
}

void TADOQuery::Edit()
{
    requireActive();
    if (m_table.isEmpty()) throw EZvError(tr("Cannot modify a read-only dataset"));
    if (m_state != State::Browse) return; // already changing a row: keep the values set so far
    if (Eof()) throw EZvError(tr("Either BOF or EOF is True, or the current record has been deleted"));
    m_state = State::Edit;
    m_pending.assign(m_columns.size(), QVariant());
    m_pendingSet.assign(m_columns.size(), false);
}

void TADOQuery::Cancel()
{
    m_state = State::Browse;
    m_pending.clear();
    m_pendingSet.clear();
}

void TADOQuery::Post()
{
    requireActive();
    if (m_state == State::Browse) return;
    m_connection->secureLocks("a posted row");
    sqlite3* db = m_connection->handle();
    QStringList names;
    std::vector<QVariant> values;
    for (size_t c = 0; c < m_columns.size(); ++c)
        if (m_pendingSet[c]) {
            names << m_columns[c].name;
            values.push_back(m_pending[c]);
        }
    CachedStmt stmt;
    if (m_state == State::Insert) {
        QString sql;
        if (names.isEmpty())
            sql = QStringLiteral("insert into %1 default values").arg(m_table);
        else
            sql = QStringLiteral("insert into %1 (%2) values (%3)")
                      .arg(m_table, names.join(QLatin1Char(',')),
                           QStringList(names.size(), QStringLiteral("?")).join(QLatin1Char(',')));
        stmt.s = m_connection->cachedStatement(sql);
    } else {
        if (names.isEmpty()) {
            Cancel();
            return;
        }
        QStringList sets;
        for (const QString& n : names)
            sets << n + QStringLiteral("=?");
        stmt.s = m_connection->cachedStatement(
            QStringLiteral("update %1 set %2 where rowid=?").arg(m_table, sets.join(QLatin1Char(','))));
        sqlite3_bind_int64(stmt.s, int(values.size()) + 1, m_rowids[size_t(m_cursor)]);
    }
    for (size_t i = 0; i < values.size(); ++i)
        bindValue(stmt.s, int(i) + 1, values[i]);
    if (sqlite3_step(stmt.s) != SQLITE_DONE) raiseStore(db);
    // The opened row was deleted meanwhile: a change stored nowhere is no success.
    if (m_state == State::Edit && sqlite3_changes(db) == 0)
        throw EZvError(tr("Row cannot be located for updating. Some values may have been changed since it "
                          "was last read"));

    // Keep the result in step with what was stored.
    if (m_state == State::Insert) {
        std::vector<QVariant> row(m_columns.size());
        for (size_t c = 0; c < m_columns.size(); ++c)
            if (m_pendingSet[c]) row[c] = m_pending[c];
        m_rows.push_back(std::move(row));
        m_rowids.push_back(sqlite3_last_insert_rowid(db));
        m_cursor = qsizetype(m_rows.size()) - 1;
    } else {
        for (size_t c = 0; c < m_columns.size(); ++c)
            if (m_pendingSet[c]) m_rows[size_t(m_cursor)][c] = m_pending[c];
    }
    Cancel();
}

// ---- TField -------------------------------------------------------------------------

FieldType TField::type() const
{
    return m_query->m_columns[size_t(m_column)].type;
}

QString TField::name() const
{
    return m_query->m_columns[size_t(m_column)].name;
}

bool TField::IsNull() const
{
    const QVariant v = m_query->value(m_column);
    return !v.isValid() || v.isNull();
}

QString TField::AsString() const
{
    const QVariant v = m_query->value(m_column);
    if (!v.isValid() || v.isNull()) return QString();
    switch (type()) {
    case FieldType::Boolean:
        return AsBoolean() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Integer:
        return QString::number(qint32(v.toLongLong()));
    case FieldType::DateTime:
        return DateTimeText(v.toDouble());
    default:
        return v.toString();
    }
}

static bool parseBooleanText(const QString& text, bool* value)
{
    const QString t = text.toLower();
    if (t.isEmpty()) return false;
    if (QStringLiteral("true").startsWith(t)) {
        *value = true;
        return true;
    }
    if (QStringLiteral("false").startsWith(t)) {
        *value = false;
        return true;
    }
    return false;
}

// An optional sign and decimal digits, nothing else: no blanks, no trailing line feed.
static bool parseDecimal(const QString& text, int* value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
    if (i == n) return false;
    for (qsizetype j = i; j < n; ++j)
        if (text[j] < QLatin1Char('0') || text[j] > QLatin1Char('9')) return false;
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < INT_MIN || v > INT_MAX) return false;
    *value = int(v);
    return true;
}

bool TField::AsBoolean() const
{
    const QVariant v = m_query->value(m_column);
    if (!v.isValid() || v.isNull()) return false;
    if (v.typeId() == QMetaType::QString) {
        bool b = false;
        return parseBooleanText(v.toString(), &b) && b;
    }
    return v.toLongLong() != 0;
}

int TField::AsInteger() const
{
    const QVariant v = m_query->value(m_column);
    if (!v.isValid() || v.isNull()) return 0;
    if (v.typeId() == QMetaType::QString) {
        int i = 0;
        if (!parseDecimal(v.toString(), &i))
            throw EZvError(tr("'%1' is not a valid integer value for field '%2'").arg(v.toString(), name()));
        return i;
    }
    if (v.typeId() == QMetaType::Double) return int(v.toDouble());
    return qint32(v.toLongLong());
}

TDateTime TField::AsDateTime() const
{
    const QVariant v = m_query->value(m_column);
    if (!v.isValid() || v.isNull()) return 0.0;
    return v.toDouble();
}

void TField::setAsString(const QString& value)
{
    switch (type()) {
    case FieldType::Boolean: {
        if (value.isEmpty()) {
            clear();
            return;
        }
        bool b = false;
        if (!parseBooleanText(value, &b))
            throw EZvError(tr("'%1' is not a valid boolean value for field '%2'").arg(value, name()));
        m_query->setValue(m_column, QVariant(qlonglong(b ? 1 : 0)));
        return;
    }
    case FieldType::Integer: {
        if (value.isEmpty()) {
            clear();
            return;
        }
        int i = 0;
        if (!parseDecimal(value, &i))
            throw EZvError(tr("'%1' is not a valid integer value for field '%2'").arg(value, name()));
        m_query->setValue(m_column, QVariant(qlonglong(i)));
        return;
    }
    case FieldType::DateTime:
        if (value.isEmpty())
            clear();
        else
            setAsDateTime(ParseIsoDateTime(value));
        return;
    default:
        m_query->setValue(m_column, QVariant(value));
    }
}

void TField::setAsBoolean(bool value)
{
    if (type() == FieldType::Text)
        m_query->setValue(m_column, QVariant(value ? QStringLiteral("True") : QStringLiteral("False")));
    else
        m_query->setValue(m_column, QVariant(qlonglong(value ? 1 : 0)));
}

void TField::setAsInteger(int value)
{
    if (type() == FieldType::Text)
        m_query->setValue(m_column, QVariant(QString::number(value)));
    else
        m_query->setValue(m_column, QVariant(qlonglong(value)));
}

void TField::setAsDateTime(TDateTime value)
{
    m_query->setValue(m_column, QVariant(double(value)));
}

void TField::clear()
{
    m_query->setValue(m_column, QVariant());
}

} // namespace zv

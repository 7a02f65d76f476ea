#pragma once

#include "ZvDateTime.h"
#include "ZvDbLocks.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace zv {

class TZvTransaction;

// The one database connection. The connection string keeps the form the program has
// always used; its data source and password are read out of it.
class TADOConnection
{
public:
    TADOConnection();
    ~TADOConnection();
    TADOConnection(const TADOConnection&) = delete;
    TADOConnection& operator=(const TADOConnection&) = delete;

    void setConnectionString(const QString& text);
    QString connectionString() const { return m_connectionString; }
    QString dataSource() const;
    QString password() const;

    // Opens the existing file; never creates one. A missing file, a file that is not a
    // database and a wrong password raise EZvError with a clear message.
    void Open();
    void Close();
    bool connected() const { return m_db != nullptr; }
    sqlite3* handle() const; // raises when not connected

    // Writes the journal back into the database file (at Exit).
    void checkpoint();

    // Makes sure the process still holds SQLite's locks on the database (see ZvDbLocks.h)
    // before anything is written. Losing them is a fault: with durability checks on it ends
    // the program at once, naming `where`; otherwise the journal is written back into the
    // file through this connection and the connection opened again, which takes the locks
    // anew; a journal that cannot be written back raises the database's message, so that
    // nothing is written into a journal that may have lost its name.
    void secureLocks(const char* where);

    // The transaction object open on this connection, or none (see TZvTransaction).
    TZvTransaction* transaction() const { return m_transaction; }
    // True when no transaction is open in SQLite itself: every statement so far is stored.
    bool autocommit() const;

    static QString BuildConnectionString(const QString& programFolder);

    // The compiled statement for this SQL text, kept for the life of the connection.
    sqlite3_stmt* cachedStatement(const QString& sql);
    static QString passwordDigest(const QString& password);

private:
    QString m_connectionString;
    friend class TZvTransaction;
    sqlite3* m_db = nullptr;
    QString m_path;
    // The files locked at Open; none where the file system gives no locks to check (then
    // there are none to lose).
    TZvLockedFiles m_lockedFiles;
    TZvTransaction* m_transaction = nullptr;
    std::unordered_map<QString, sqlite3_stmt*> m_statements;
};

// A transaction on the one connection. Reads (a tree load) and write batches (restore,
// import) use it; everything else is stored one statement at a time. commit() is explicit
// and raises the database's own message when it fails; the destructor only rolls back what
// was not committed and never throws, so no failed write can pass for a stored one.
// One at a time: opening a second one while one is open is a programming error.
class TZvTransaction
{
public:
    enum class Mode
    {
        Read,
        Write
    };
    TZvTransaction(TADOConnection& connection, Mode mode);
    ~TZvTransaction();
    TZvTransaction(const TZvTransaction&) = delete;
    TZvTransaction& operator=(const TZvTransaction&) = delete;

    // Stores what was done inside; afterwards the connection is in autocommit again, also
    // when the commit failed (what it held is then rolled back, and the error raised).
    void commit();
    void rollback() noexcept;
    bool isOpen() const { return m_open; }
    Mode mode() const { return m_mode; }

private:
    void close() noexcept;
    TADOConnection& m_connection;
    Mode m_mode;
    bool m_open = false;
};

// Rows posted by bulk work, committed in batches. A batch is opened by the first row after
// a commit, and committed after `size` rows, before anything that lets events through (a
// question, a message box, the progress dialog's event processing), and explicitly at the
// end of the work and on its error paths. Never committed by a destructor.
class TZvWriteBatch
{
public:
    explicit TZvWriteBatch(TADOConnection& connection, int size = 256)
        : m_connection(connection), m_size(size)
    {}
    void begin(); // before a row is posted
    void posted();
    void commit(); // raises when the commit fails
    bool isOpen() const { return m_transaction != nullptr; }
    int size() const { return m_size; }

private:
    TADOConnection& m_connection;
    int m_size;
    int m_rows = 0;
    std::unique_ptr<TZvTransaction> m_transaction;
};

// secureLocks on every open connection: after a modal dialog, whose nested event loop may
// have run anything, and at the durability check points.
void CheckDatabaseLocks(const char* where);

// Whether the file is an open database or its "-wal", "-shm" or "-journal" file, by device
// and inode (stat opens nothing) or, for a name not yet made, by folder and name.
bool IsDatabaseFile(const QString& fileName);
// Raises EZvError naming the file when IsDatabaseFile: no file command may read or write
// the live database behind SQLite's back.
void RefuseDatabaseFile(const QString& fileName);

// Durability checks: every change shown to the user is committed before control returns
// to the event loop. With checks on (debug builds, tests, ZVJ_CHECKS=1), a connection
// found inside a transaction at such a point ends the program with the place named, so
// that a leak fails at once instead of losing data silently.
void SetDurabilityChecks(bool on);
bool DurabilityChecks();
// Called at entry points and idle points; `where` names the place in the failure text.
void CheckDurable(const char* where);
// Runs CheckDurable whenever the running event loop is about to wait for events.
void WatchDurabilityAtIdle();

enum class FieldType
{
    Text,
    Boolean,
    Integer,
    DateTime,
    Other
};

class TADOQuery;

// A column of the current row, read or written as text, boolean, integer or date-time.
class TField
{
public:
    QString AsString() const;
    bool AsBoolean() const;
    int AsInteger() const;
    TDateTime AsDateTime() const;
    bool IsNull() const;
    FieldType type() const;
    QString name() const;

    void setAsString(const QString& value); // converts for boolean and integer fields
    void setAsBoolean(bool value);
    void setAsInteger(int value);
    void setAsDateTime(TDateTime value);
    void clear(); // stores null

private:
    friend class TADOQuery;
    TField(TADOQuery* query, int column) : m_query(query), m_column(column) {}
    TADOQuery* m_query;
    int m_column;
};

// One statement at a time on the shared connection. A row-returning statement is read
// whole when opened and its SQLite statement finished at once, so no read stays open
// across a return to the event loop.
class TADOQuery
{
public:
    explicit TADOQuery(TADOConnection* connection);
    ~TADOQuery();

    void Close();
    void SQLClear();
    void SQLAdd(const QString& line);
    QString sqlText() const;

    void Open();    // a statement that returns rows
    void ExecSQL(); // a statement that returns none
    bool active() const { return m_active; }

    void First();
    void Next();
    bool Eof() const;
    int RecordCount() const { return int(m_rows.size()); }
    // At most this many rows are read by Open (0: all), as ADO's MaxRecords.
    void setMaxRecords(int count) { m_maxRecords = count; }

    TField FieldByName(const QString& name);
    // For readers of many rows: a column's position (-1: none of that name) is found once
    // and the field taken by position, for as long as layoutId() stays the same.
    int FindField(QLatin1StringView name) const;
    TField FieldAt(int column);
    // Changes whenever the column list does; never 0, and never the same for two lists.
    quint64 layoutId() const { return m_layoutId; }

    void Append(); // start a new row on the open result
    void Edit();   // start changing the current row
    void Post();   // store the new or changed row
    void Cancel();

private:
    friend class TField;
    struct Column
    {
        QString name;
        FieldType type = FieldType::Other;
    };
    enum class State
    {
        Browse,
        Insert,
        Edit
    };

    int columnIndex(const QString& name) const;
    QVariant value(int column) const;
    void setValue(int column, const QVariant& value);
    void loadTableColumns();
    void requireActive() const;
    void checkBrowseMode();

    TADOConnection* m_connection;
    QStringList m_sql;
    bool m_active = false;
    State m_state = State::Browse;
    QString m_table; // the table of a "select * from <table>" result
    bool m_hasRowid = false;
    std::vector<Column> m_columns;
    QHash<QString, int> m_columnByName; // names as written and in lower case
    std::vector<QByteArray> m_rawNames;
    quint64 m_layoutId = 0;
    std::vector<std::vector<QVariant>> m_rows;
    std::vector<qint64> m_rowids;
    qsizetype m_cursor = 0;
    int m_maxRecords = 0;
    std::vector<QVariant> m_pending;
    std::vector<bool> m_pendingSet;
};

} // namespace zv

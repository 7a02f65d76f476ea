#pragma once

#include "store/ZvDbLocks.h"

#include <QHash> // std::hash<QString>
#include <QString>
#include <unordered_map>

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
    // Rows of the data (not of the program's own bookkeeping) inserted, changed or deleted
    // through this connection: a change, whatever made it, shows as a new count.
    qint64 dataChanges() const { return m_dataChanges; }
    // The whole database was replaced at once (a copy put back), which no row hook sees.
    void noteDataReplaced() { ++m_dataChanges; }

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
    qint64 m_dataChanges = 0;
    static void rowChanged(void* connection, int op, const char* database, const char* table,
                           long long rowid);
    static int deleteRowByRow(void*, int action, const char* table, const char*, const char*, const char*);
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

} // namespace zv

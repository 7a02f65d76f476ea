#pragma once

// The sync's own state in the database (the zvsync_* tables of the schema): per item what
// was last synced, per table its collection and sync token, and the log of the last syncs.
// Item text (the iCalendar) only ever enters as a field value.

#include "store/ZvDateTime.h"

#include <QString>
#include <vector>

namespace zv {

class TADOConnection;

// One item as last synced. `id` is empty for a server item that is no task or memo (kept so
// that it is not fetched again while it stays as it is).
struct TZvSyncItem
{
    qint64 rowid = 0; // 0: not stored yet
    QString id;
    QString uid;
    QString href; // the resource's path on the server, decoded
    QString etag;
    QString parent; // the server's parent UID; empty for none
    QString fields; // the local row's values when last synced (JSON)
};

struct TZvSyncLogEntry
{
    TDateTime time = 0;
    int up = 0;
    int down = 0;
    int conflicts = 0;
    QString message; // the error that ended it, or empty
};

class TZvSyncState
{
public:
    explicit TZvSyncState(TADOConnection& connection);

    // The tables, made when an older database lacks them.
    void ensureTables();

    // Every item of one table (without its iCalendar text, which is read when needed).
    std::vector<TZvSyncItem> items(const QString& kind);
    QByteArray icalOf(qint64 rowid);
    // Stores the item (a new row when rowid is 0, which it then gets), with its text when
    // `ical` is given.
    void save(const QString& kind, TZvSyncItem& item, const QByteArray* ical);
    void remove(qint64 rowid);
    void removeAll(const QString& kind);

    // The collection a table synced with, and its token.
    QString collection(const QString& kind);
    QString token(const QString& kind);
    void setCollection(const QString& kind, const QString& url, const QString& token);

    void log(const TZvSyncLogEntry& entry);
    // The latest first, at most `count`.
    std::vector<TZvSyncLogEntry> lastLog(int count);
    // How many entries the log keeps.
    static constexpr int kLogEntries = 100;

private:
    TADOConnection& m_connection;
};

} // namespace zv

#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace zv {

class TADOConnection;

// Copies of the whole database, made and put back through SQLite's online backup API: the
// live file is read and written only through the open connection, which keeps its locks.
// Each raises EZvError with the reason when it fails.

// Writes a copy of the connection's database into `path`, replacing a file of that name.
void WriteDatabaseCopy(TADOConnection& connection, const QString& path);
// Puts a copy made by WriteDatabaseCopy back into the connection's database. A file that
// is not a copy of a database with this connection's password is refused before anything
// changes. Tables named to KeepAcrossCopies keep the rows they have now.
void PutBackDatabaseCopy(TADOConnection& connection, const QString& path);
// A table whose rows are not taken back with a copy (the sync state: what a server holds is
// not undone by putting back an old copy).
void KeepAcrossCopies(const QString& table);

// The copies kept in the program folder's "Snapshots" folder before each restore and import,
// the newest five.
class TZvSnapshots
{
public:
    static constexpr int kKept = 5;

    explicit TZvSnapshots(const QString& programFolder);
    QString folder() const { return m_folder; }

    // A copy made before `command` ("restore", "import"...); the oldest beyond five are
    // removed. Raises with the reason when the copy cannot be written.
    QString take(TADOConnection& connection, const QString& command);

    struct Entry
    {
        QString path;
        QString command;
        QDateTime made;
    };
    std::optional<Entry> latest() const;

private:
    QStringList files() const; // oldest first
    QString m_folder;          // ends with "/"
};

} // namespace zv

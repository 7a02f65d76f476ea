#pragma once

#include <QString>
#include <string>
#include <vector>

namespace zv {

// SQLite guards the database and its shared-memory index ("-shm") with fcntl record locks.
// As POSIX locks they belong to the process, and closing *any* descriptor of the file drops
// all of them: a file dialog that peeks into the file to find its type is enough. The next
// process that opens and closes the database then believes it was the last user, moves the
// journal into the file and deletes it, and every later commit of ours goes into a journal
// that no longer has a name.
//
// So SQLite takes open-file-description locks here: they belong to SQLite's own descriptors,
// and a close of any other descriptor leaves them alone. They conflict with the POSIX locks
// of other processes exactly as POSIX locks do, so other SQLite programs see no difference.

// Makes SQLite's Unix file layer take open-file-description locks (falling back to POSIX
// locks where the file system refuses them); `false` puts back POSIX locks (the benchmark
// compares the two). Done before main, so before any connection opens: switching while a
// connection is open would leave its locks to the other kind's release.
void UseDescriptorLocks(bool on = true);

// The database file and its "-shm" index as a connection opened them: device and inode,
// which stay with the open files when a name changes.
struct TZvLockedFiles
{
    std::string db;
    std::string shm;
    // The descriptors that held them at the last look, for each pair of files its own: the
    // next look reads only those, and a process with several databases open does not send
    // every look through all of its descriptors.
    mutable std::vector<int> seen;
    bool known() const { return !db.empty() && !shm.empty(); }
};
TZvLockedFiles LockedFilesOf(const QString& databasePath);

// Whether this process holds a lock on both files (a connection in WAL mode always does,
// while it is open). Reads /proc/self/fdinfo: opens no descriptor of either file.
bool HoldsLocks(const TZvLockedFiles& files);
inline bool HoldsDatabaseLocks(const QString& databasePath)
{
    return HoldsLocks(LockedFilesOf(databasePath));
}

// Whether two paths name one file (the same device and inode; stat opens nothing).
bool SameFile(const QString& a, const QString& b);

// Tests: releases every lock this process holds on the database and its index, as a stray
// close of a POSIX-locked file would.
void DropDatabaseLocksForTest(const QString& databasePath);

} // namespace zv

#include "store/ZvDbLocks.h"

#include <QFile>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace zv {

namespace {

// SQLite calls this in place of fcntl for every descriptor of its Unix layer. Only the
// three record-lock commands change; an OFD lock needs l_pid zero.
int descriptorFcntl(int fd, int cmd, ...)
{
    va_list args;
    va_start(args, cmd);
    if (cmd == F_SETLK || cmd == F_SETLKW || cmd == F_GETLK) {
        auto* lock = va_arg(args, struct flock*);
        va_end(args);
        const int ofd = cmd == F_SETLK ? F_OFD_SETLK : cmd == F_SETLKW ? F_OFD_SETLKW : F_OFD_GETLK;
        struct flock copy = *lock;
        copy.l_pid = 0;
        const int rc = ::fcntl(fd, ofd, &copy);
        if (rc == 0 || errno != EINVAL) {
            if (cmd == F_GETLK) *lock = copy;
            return rc;
        }
        // A file system without open-file-description locks: the classic ones.
        return ::fcntl(fd, cmd, lock);
    }
    // SQLite's other commands (F_GETFD, F_SETFD) take an int or nothing.
    const long arg = va_arg(args, long);
    va_end(args);
    return ::fcntl(fd, cmd, arg);
}

struct FileId
{
    bool ok = false;
    std::string text; // "MAJ:MIN:INODE", as /proc/locks and fdinfo write it
};

FileId fileId(const QString& path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    return {true, buffer};
}

// The "lock:" lines of one descriptor's fdinfo that name `id` (and are held, not waited for).
bool fdinfoLocks(int fd, const std::string& dbId, const std::string& shmId, bool* db, bool* shm)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fdinfo/%d", fd);
    FILE* f = std::fopen(path, "re");
    if (!f) return false;
    char line[512];
    bool any = false;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "lock:", 5) != 0 || std::strstr(line, "->")) continue;
        // "lock:\t1: POSIX  ADVISORY  READ 1234 fe:00:5678 128 128"
        const auto names = [&](const std::string& id) {
            const char* at = std::strstr(line, id.c_str());
            return at && at[-1] == ' ' && at[id.size()] == ' ';
        };
        if (names(dbId)) *db = any = true;
        if (names(shmId)) *shm = any = true;
    }
    std::fclose(f);
    return any;
}

std::vector<int> openDescriptors()
{
    std::vector<int> fds;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return fds;
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        const int fd = std::atoi(entry->d_name);
        if (fd != own) fds.push_back(fd);
    }
    ::closedir(dir);
    return fds;
}

// The descriptors of a file, found by the inode their link names; stat follows the link
// without opening the file.
std::vector<int> descriptorsOf(const FileId& id)
{
    std::vector<int> out;
    for (int fd : openDescriptors()) {
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        struct stat st = {};
        if (::stat(link, &st) != 0) continue;
        char text[64];
        std::snprintf(text, sizeof text, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                      static_cast<unsigned long>(st.st_ino));
        if (id.text == text) out.push_back(fd);
    }
    return out;
}

} // namespace

void UseDescriptorLocks(bool on)
{
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    if (!vfs || vfs->iVersion < 3 || !vfs->xSetSystemCall) return;
    // A null pointer puts back SQLite's own fcntl.
    vfs->xSetSystemCall(vfs, "fcntl", on ? reinterpret_cast<sqlite3_syscall_ptr>(&descriptorFcntl) : nullptr);
}

// Before main: a connection opened by anything in the process (tests open their own) uses
// the same kind of lock as the program's.
static const bool g_descriptorLocks = (UseDescriptorLocks(), true);

bool SameFile(const QString& a, const QString& b)
{
    const FileId one = fileId(a);
    return one.ok && one.text == fileId(b).text;
}

TZvLockedFiles LockedFilesOf(const QString& databasePath)
{
    const FileId db = fileId(databasePath);
    const FileId shm = fileId(databasePath + QStringLiteral("-shm"));
    if (!db.ok || !shm.ok) return {};
    return {db.text, shm.text};
}

bool HoldsLocks(const TZvLockedFiles& files)
{
    if (!files.known()) return false;
    // The descriptors that held them last time answer at once; a miss looks at all of them.
    static std::vector<int> lastSeen;
    bool hasDb = false, hasShm = false;
    for (int fd : lastSeen)
        fdinfoLocks(fd, files.db, files.shm, &hasDb, &hasShm);
    if (hasDb && hasShm) return true;
    hasDb = hasShm = false;
    lastSeen.clear();
    for (int fd : openDescriptors())
        if (fdinfoLocks(fd, files.db, files.shm, &hasDb, &hasShm)) lastSeen.push_back(fd);
    return hasDb && hasShm;
}

void DropDatabaseLocksForTest(const QString& databasePath)
{
    for (const QString& path : {databasePath, databasePath + QStringLiteral("-shm")}) {
        const FileId id = fileId(path);
        if (!id.ok) continue;
        for (int fd : descriptorsOf(id)) {
            struct flock all = {};
            all.l_type = F_UNLCK;
            all.l_whence = SEEK_SET;
            ::fcntl(fd, F_OFD_SETLK, &all);
            ::fcntl(fd, F_SETLK, &all);
        }
    }
}

} // namespace zv

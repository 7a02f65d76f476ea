#pragma once

#include "store/ZvDb.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <functional>
#include <memory>

class QWidget;

namespace zvtest {

// Every seam back to its start (no queued answer, history, handler, fixed time or zone),
// and strict: a message box or a file dialog that nobody answers (no queued answer, no
// handler) fails the running test with its text, and gets the answer of a closed box or a
// cancelled dialog. A seam's own reset (MessageSeam::reset) puts back the program's
// fallback instead: OK or Yes.
void ResetSeams();

// A wait of a test in ms, scaled for the instrumented builds (ZVJ_TIMEOUT_SCALE), whose
// programs start and run several times slower, more so on a loaded machine.
inline int Scaled(int ms)
{
    bool ok = false;
    const double scale = qEnvironmentVariable("ZVJ_TIMEOUT_SCALE").toDouble(&ok);
    return ok && scale > 1 ? int(ms * scale) : ms;
}

// A program folder of its own for one test: a fresh database made from the schema and the
// Temp folder, as the install makes them; ZVJ_HOME pointing at it, every seam reset
// (ResetSeams).
class TempProgramFolder
{
public:
    explicit TempProgramFolder(bool withDatabase = true);
    ~TempProgramFolder();

    QString path() const;    // ends with '/'
    QString dbPath() const;  // path() + "zvData.zvb"
    QString iniPath() const; // path() + "zvConf.ini"

    // The connection string the program builds for this folder, and an open connection.
    QString connectionString() const;
    zv::TADOConnection& connection();

    // Plain SQL on a second, independent connection, to check what was stored.
    QVariant scalar(const QString& sql) const;
    int count(const QString& sql) const { return scalar(sql).toInt(); }
    void exec(const QString& sql) const;
    QList<QVariantList> rows(const QString& sql) const;
    // The whole database as text, read through a second connection: each table's schema and
    // its rows in rowid order, every value with its own storage class (SQL's quote()). The
    // same text means the same bytes of every row, its rowid included. `only`: that table.
    QString dump(const QString& only = {}) const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<zv::TADOConnection> m_connection;
};

// A file's bytes (empty when unreadable), and writing them whole.
QByteArray fileBytes(const QString& path);
void writeBytes(const QString& path, const QByteArray& bytes);

// While it lives, no file this process writes may grow past `bytes` (SIGXFSZ ignored, so a
// write past it fails as on a full disk).
class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(qint64 bytes);
    ~TFileSizeLimit();
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    qint64 m_old;
};

// Makes a new database file from the project's schema.
void MakeDatabase(const QString& path);

// Runs `action` on the next modal dialog that appears (polls for up to timeoutMs).
void OnNextModal(std::function<void(QWidget*)> action, int timeoutMs = 5000);

// The message of the store error `work` raises, or "<no error>".
QString raiseText(const std::function<void()>& work);

// Appends one row through the query layer: column, text, column, text...
void appendRow(zv::TADOQuery& q, const QString& table, const QStringList& values);

} // namespace zvtest

#include "store/ZvDbTransaction.h"

#include "store/ZvDbConnection.h"
#include "store/ZvError.h"
#include "store/ZvSqliteDetail.h"

namespace zv {

using namespace detail;

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

// An open transaction always has its connection's handle: closing the connection rolls the
// transaction back first.
void TZvTransaction::commit()
{
    if (!m_open) return;
    sqlite3* db = m_connection.m_db;
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
        close();
        return;
    }
    // sqlite3_exec leaves its error's text on the connection.
    const QString msg = QString::fromUtf8(sqlite3_errmsg(db));
    // A failed COMMIT may leave the transaction open (busy, statements still running):
    // end it, so that nothing written later hides in a transaction nobody commits.
    rollback();
    throw EZvError(msg);
}

void TZvTransaction::rollback() noexcept
{
    if (!m_open) return;
    sqlite3* db = m_connection.m_db;
    if (!sqlite3_get_autocommit(db)) {
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

} // namespace zv

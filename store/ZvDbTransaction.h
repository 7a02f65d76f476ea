#pragma once

#include <memory>

namespace zv {

class TADOConnection;

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

} // namespace zv

#include "store/ZvDbQuery.h"

#include "store/ZvDbConnection.h"
#include "store/ZvError.h"
#include "store/ZvScopeExit.h"
#include "store/ZvSqlText.h"
#include "store/ZvSqliteDetail.h"

#include <atomic>

namespace zv {

using namespace detail;

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

void TADOQuery::Open()
{
    read(nullptr);
}

void TADOQuery::OpenEach(const std::function<void()>& row)
{
    const auto done = ScopeExit([this] { Close(); });
    read(&row);
}

void TADOQuery::read(const std::function<void()>* each)
{
    // The column list of the last result is kept when the next one has the same columns:
    // loading a tree opens the same shape of statement thousands of times.
    Close();
    sqlite3* db = m_connection->handle();
    QString sql = sqlText();
    // "select * from <table>" results can be edited: read each row's rowid with it.
    qsizetype tableStart = 0;
    const QString table = StarSelectTable(sql, &tableStart);
    if (!table.isEmpty()) {
        m_table = table;
        m_hasRowid = true;
        sql = QStringLiteral("select rowid, * from ") + sql.mid(tableStart);
    }
    QStringList literals;
    CachedStmt stmt;
    stmt.s = m_connection->cachedStatement(ParameterizeSql(sql, &literals));
    for (int i = 0; i < literals.size(); ++i)
        bindValue(stmt.s, i + 1, QVariant(literals[i]));
    // The columns are read after the first step: a statement cached before its table changed
    // (a column added, the table made anew) is prepared again there, and until then still
    // names the old columns and types.
    int rc = sqlite3_step(stmt.s);
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
    for (;; rc = sqlite3_step(stmt.s)) {
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) raiseStore(db);
        std::vector<QVariant> row;
        row.reserve(m_columns.size());
        for (int c = first; c < count; ++c)
            row.push_back(columnValue(stmt.s, c));
        m_rows.push_back(std::move(row));
        if (m_hasRowid) m_rowids.push_back(sqlite3_column_int64(stmt.s, 0));
        if (each) {
            // One row at a time: a whole table's rows never sit in memory together.
            m_active = true;
            m_cursor = 0;
            (*each)();
            m_rows.clear();
            m_rowids.clear();
            continue;
        }
        if (m_maxRecords > 0 && qsizetype(m_rows.size()) >= m_maxRecords) break;
    }
    m_active = !each;
    m_cursor = 0;
}

void TADOQuery::ExecSQL()
{
    Close();
    m_connection->secureLocks("a statement");
    sqlite3* db = m_connection->handle();
    QStringList literals;
    CachedStmt stmt;
    stmt.s = m_connection->cachedStatement(ParameterizeSql(sqlText(), &literals));
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

qint64 TADOQuery::RowId() const
{
    return m_hasRowid && !Eof() ? m_rowids[size_t(m_cursor)] : 0;
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

} // namespace zv

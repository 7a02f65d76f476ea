#pragma once

#include "store/ZvDbField.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

namespace zv {

class TADOConnection;

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

    void Open(); // a statement that returns rows
    // A statement that returns rows, read one row at a time: each is the current row while
    // `row` runs, and none is kept (the query is closed afterwards). For reading a whole
    // table; `row` may run no statement of its own on the connection.
    void OpenEach(const std::function<void()>& row);
    void ExecSQL(); // a statement that returns none
    bool active() const { return m_active; }

    void First();
    void Next();
    bool Eof() const;
    int RecordCount() const { return int(m_rows.size()); }
    // The current row's rowid, in a "select * from <table>" result; 0 for any other.
    qint64 RowId() const;
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

    void read(const std::function<void()>* each);
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

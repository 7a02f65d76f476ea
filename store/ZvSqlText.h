#pragma once

// The small rewriting the query layer does on SQL text before SQLite sees it. Pure text in,
// text out: tested and fuzzed on its own.

#include <QString>
#include <QStringList>

namespace zv {

// The SQL text with each string literal ('...', inner quotes doubled) taken out as a bound
// value, appended to `literals` in order, and "?" in its place. The program's statements
// differ only in the ids they quote, so the statement with "?" in their place is compiled
// once and used again. A broken literal (no closing quote) leaves the text as it is, for
// SQLite's parser to report.
QString ParameterizeSql(const QString& sql, QStringList* literals);

// The table of a "select * from <table> ..." statement (any case, any blanks), with the
// position where its name starts; empty for any other statement.
QString StarSelectTable(const QString& sql, qsizetype* tableStart);

} // namespace zv

#pragma once

// What the store's classes share about the SQLite C API. For store/ only.

#include "store/ZvDbField.h"

#include <QString>
#include <QVariant>
#include <sqlite3.h>
#include <vector>

namespace zv {

class TADOConnection;

namespace detail {

QString tr(const char* text);

// The open connections, for the durability and lock checks.
std::vector<TADOConnection*>& openConnections();

[[noreturn]] void raiseStore(sqlite3* db);

// A statement, finalised whatever happens.
struct Stmt
{
    sqlite3_stmt* s = nullptr;
    ~Stmt() { sqlite3_finalize(s); }
};

// A statement from the connection's cache: reset (its read ended) when it goes out of use.
struct CachedStmt
{
    sqlite3_stmt* s = nullptr;
    ~CachedStmt()
    {
        if (s) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        }
    }
};

void bindValue(sqlite3_stmt* s, int index, const QVariant& v);
QVariant columnValue(sqlite3_stmt* s, int c);
FieldType typeFromDecl(const char* decl);
// Runs SQL that returns no rows; raises the database's message.
void execSimple(sqlite3* db, const char* sql);

} // namespace detail
} // namespace zv

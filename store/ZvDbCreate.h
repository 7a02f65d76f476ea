#pragma once

#include <QString>
#include <QStringList>

namespace zv {

class TADOConnection;

// Makes a new, empty database file from the schema text, sealed with the password of
// the connection string. Used by the build (installing a fresh zvData.zvb) and by tests;
// the program itself never creates its database.
void CreateDatabaseFile(const QString& path, const QString& schemaSql, const QString& password);

// The statements of a schema text, comments left out, each without its ";".
QStringList SchemaStatements(const QString& schemaSql);

// Brings an older database up to date: the schema's statements that make a table or index
// only "IF NOT EXISTS" (the tables of the program's own later additions) run in one
// transaction; every other statement and every row stay as they are.
void ApplySchemaAdditions(TADOConnection& connection, const QString& schemaSql);

// The schema the program was built with (resources/schema.sql).
QString SchemaText();

} // namespace zv

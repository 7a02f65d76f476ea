#pragma once

#include <QString>

namespace zv {

// Makes a new, empty database file from the schema text, sealed with the password of
// the connection string. Used by the build (installing a fresh zvData.zvb) and by tests;
// the program itself never creates its database.
void CreateDatabaseFile(const QString& path, const QString& schemaSql, const QString& password);

} // namespace zv

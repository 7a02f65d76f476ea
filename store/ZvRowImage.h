#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <vector>

namespace zv {

class TADOConnection;

// A row exactly as SQLite holds it: its rowid and each column's value with its own storage
// class (null, integer, real, text, blob), in the caller's column order. Written back, it
// gives the same bytes, where the fields' conversions would turn a null into 0.
struct TZvRowImage
{
    qint64 rowid = 0;
    std::vector<QVariant> values;
};

// The same storage class and the same value (an integer 1 is not the real 1.0).
bool SameStoredValue(const QVariant& a, const QVariant& b);
// In rowid order, each row once.
void SortByRowid(std::vector<TZvRowImage>& images);

// The rows of `table` that `where` selects (SQL text; ids quoted by the caller), each with
// its rowid, in rowid order.
std::vector<TZvRowImage> SelectRowImages(TADOConnection& connection, const QString& table,
                                         const QStringList& columns, const QString& where);
std::optional<TZvRowImage> RowImageAt(TADOConnection& connection, const QString& table,
                                      const QStringList& columns, qint64 rowid);
// Stores the whole image under its own rowid, or under a new one when another row holds that
// rowid now; returns the rowid used.
qint64 InsertRowImage(TADOConnection& connection, const QString& table, const QStringList& columns,
                      const TZvRowImage& image);
// Writes the image's values of the columns at `which` into the row of its rowid; false when
// there is no such row.
bool UpdateRowImage(TADOConnection& connection, const QString& table, const QStringList& columns,
                    const TZvRowImage& image, const std::vector<int>& which);
void DeleteRowAt(TADOConnection& connection, const QString& table, qint64 rowid);

} // namespace zv

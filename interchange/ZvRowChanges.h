#pragma once

#include "interchange/ZvRecordKind.h"
#include "store/ZvError.h"
#include "store/ZvRowImage.h"

#include <QStringList>
#include <optional>
#include <vector>

namespace zv {

class TADOConnection;

// An item table as row images see it: every column of its record kind, in the kind's order,
// and where the id, the parent id and the expanded state stand among them.
struct TZvItemTable
{
    QString table;
    QStringList columns;
    int idColumn = -1;
    int pidColumn = -1;
    int expandColumn = -1; // how the tree is shown, not data: never a reason to refuse

    QString IdOf(const TZvRowImage& image) const { return image.values.at(size_t(idColumn)).toString(); }
    QString PidOf(const TZvRowImage& image) const { return image.values.at(size_t(pidColumn)).toString(); }
};

template <class R> const TZvItemTable& ItemTableOf()
{
    static const TZvItemTable t = [] {
        using Kind = TZvRecordKind<R>;
        TZvItemTable made;
        made.table = QString::fromLatin1(Kind::table);
        const auto& fields = Kind::fields();
        for (size_t i = 0; i < fields.size(); ++i) {
            made.columns << QString::fromLatin1(fields[i].column);
            if (fields[i].member == TZvMember<R>(Kind::id)) made.idColumn = int(i);
            if (fields[i].member == TZvMember<R>(&R::pid)) made.pidColumn = int(i);
            if (fields[i].member == TZvMember<R>(&R::expandFlag)) made.expandColumn = int(i);
        }
        return made;
    }();
    return t;
}

// One row a change touched: as it was before and as it is after (none: there was or is no
// such row), and, where it is both, the columns that differ.
struct TZvRowChange
{
    std::optional<TZvRowImage> before;
    std::optional<TZvRowImage> after;
    std::vector<int> columns;
};

// The rows of items that were changed elsewhere since a change was recorded: it cannot be
// put back without undoing what was done there.
class EZvChangedSince : public EZvError
{
public:
    using EZvError::EZvError;
};

// The rows of the items `ids` and, with `subItems`, the rows under them.
std::vector<TZvRowImage> ReadItemImages(TADOConnection& connection, const TZvItemTable& table,
                                        const QStringList& ids, bool subItems);
// The rows that differ between the two readings, paired by rowid, in rowid order.
std::vector<TZvRowChange> RowChanges(const TZvItemTable& table, const std::vector<TZvRowImage>& before,
                                     const std::vector<TZvRowImage>& after);
// The id of the item a change is about.
QString ChangedId(const TZvItemTable& table, const TZvRowChange& change);

// Puts every row back as it was before (`toBefore`) or again as it was after, in one
// transaction: all or nothing. A row put back gets its own rowid again when it is free, so
// the lists read it in its old place. Raises EZvChangedSince, having written nothing, when a
// row is no longer as the other side has it. An item whose parent item is gone (or is no
// longer a top-level item) goes to the top level, and its image says so from then on.
void ApplyRowChanges(TADOConnection& connection, const TZvItemTable& table,
                     std::vector<TZvRowChange>& changes, bool toBefore);

} // namespace zv

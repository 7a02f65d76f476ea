#pragma once

// What the sync decides for one item, without the network or the database: its values as
// last synced (JSON), which groups changed, and the merge of both sides field by field.

#include "interchange/ZvRecordKind.h"

#include <QString>
#include <optional>

namespace zv {

// The values of a record the sync keeps (every value but its id and the expand flag), as
// JSON by column, and back into a record (false when the text is no such object).
template <class R> QString SyncFieldsJson(const R& r);
template <class R> bool SyncFieldsFromJson(const QString& json, R& r);

template <class R> bool SameGroup(const R& a, const R& b, const TZvSyncGroup<R>& group);
template <class R> void TakeGroup(R& into, const R& from, const TZvSyncGroup<R>& group);
// The parts (TZvICalPart) of the groups in which `a` and `b` differ.
template <class R> quint32 ChangedParts(const R& a, const R& b);

template <class R> struct TZvMergeInput
{
    R local;                   // the row now
    std::optional<R> base;     // the row's values as last synced; nothing: never synced together
    R server;                  // the server's item now, in local terms (ids, the parent as shown here)
    quint32 serverChanged = 0; // the parts the server changed since the last sync (with a base)
    // Without a base: the local values as the server would hold them (written and read back),
    // so that what iCalendar cannot tell apart (a due time of day, fractions of a second) is
    // no difference.
    std::optional<R> localAsServer;
};

template <class R> struct TZvMergeResult
{
    R merged;                  // the row to keep
    R base;                    // the new values as last synced: what the server has, in local terms
    bool conflict = false;     // both sides changed a group, differently
    std::optional<R> textCopy; // both changed the text: the local one, to keep as an item of its own
};

// Field by field against the last synced values: a group changed on one side takes that
// side's values; changed on both (differently), the later change by the server's
// LAST-MODIFIED against the local edit time, except the text: the server's text is taken
// and the local one comes back as textCopy. Without a base every group that differs (after
// localAsServer) counts as changed on both sides. Where `merged` differs from `base`, the server has yet to
// get it.
template <class R> TZvMergeResult<R> MergeItem(const TZvMergeInput<R>& in);

} // namespace zv

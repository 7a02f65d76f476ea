#include "interchange/ZvRowChanges.h"

#include "store/ZvDb.h"
#include "store/pU_Funcs.h"

#include <QCoreApplication>
#include <algorithm>
#include <map>

namespace zv {

namespace {

QString trc(const char* text)
{
    return QCoreApplication::translate("TZvRowChanges", text);
}

QString quotedList(const QStringList& ids)
{
    QStringList quoted;
    for (const QString& id : ids)
        quoted << QuoteId(id);
    return quoted.join(QLatin1Char(','));
}

// Whether a row is as an image has it: in `columns`, or in all of them; never by how the
// tree was shown.
bool sameAs(const TZvItemTable& t, const TZvRowImage& row, const TZvRowImage& image,
            const std::vector<int>* columns)
{
    const auto same = [&](int c) {
        return c == t.expandColumn || SameStoredValue(row.values.at(size_t(c)), image.values.at(size_t(c)));
    };
    if (columns) return std::all_of(columns->begin(), columns->end(), same);
    for (int c = 0; c < int(image.values.size()); ++c)
        if (!same(c)) return false;
    return true;
}

EZvChangedSince changedSince()
{
    return EZvChangedSince(
        trc("The items have been changed elsewhere since; this step can be neither undone nor redone"));
}

} // namespace

std::vector<TZvRowImage> ReadItemImages(TADOConnection& connection, const TZvItemTable& table,
                                        const QStringList& ids, bool subItems)
{
    std::vector<TZvRowImage> images;
    // A few hundred ids a statement; each statement's shape is compiled once.
    constexpr qsizetype chunk = 200;
    for (qsizetype from = 0; from < ids.size(); from += chunk) {
        const QString list = quotedList(ids.mid(from, chunk));
        QString where = QStringLiteral("%1 in (%2)").arg(table.columns.at(table.idColumn), list);
        if (subItems) where += QStringLiteral(" or %1 in (%2)").arg(table.columns.at(table.pidColumn), list);
        for (TZvRowImage& image : SelectRowImages(connection, table.table, table.columns, where))
            images.push_back(std::move(image));
    }
    // Ids of one chunk may name rows another chunk named as sub-items.
    SortByRowid(images);
    return images;
}

std::vector<TZvRowChange> RowChanges(const TZvItemTable&, const std::vector<TZvRowImage>& before,
                                     const std::vector<TZvRowImage>& after)
{
    std::map<qint64, TZvRowChange> byRowid;
    for (const TZvRowImage& b : before)
        byRowid[b.rowid].before = b;
    for (const TZvRowImage& a : after)
        byRowid[a.rowid].after = a;
    std::vector<TZvRowChange> changes;
    for (auto& [rowid, change] : byRowid) {
        if (change.before && change.after) {
            for (int c = 0; c < int(change.before->values.size()); ++c)
                if (!SameStoredValue(change.before->values[size_t(c)], change.after->values[size_t(c)]))
                    change.columns.push_back(c);
            if (change.columns.empty()) continue;
        }
        changes.push_back(std::move(change));
    }
    return changes;
}

QString ChangedId(const TZvItemTable& table, const TZvRowChange& change)
{
    return table.IdOf(change.after ? *change.after : *change.before);
}

void ApplyRowChanges(TADOConnection& connection, const TZvItemTable& t, std::vector<TZvRowChange>& changes,
                     bool toBefore)
{
    TZvTransaction write(connection, TZvTransaction::Mode::Write);
    const auto sides = [toBefore](TZvRowChange& c) {
        return toBefore ? std::pair(&c.after, &c.before) : std::pair(&c.before, &c.after);
    };
    // Every row first as the other side has it; nothing is written before all are checked.
    for (TZvRowChange& change : changes) {
        auto [from, to] = sides(change);
        if (*from) {
            const std::optional<TZvRowImage> now = RowImageAt(connection, t.table, t.columns, (*from)->rowid);
            if (!now || !sameAs(t, *now, **from, *to ? &change.columns : nullptr)) throw changedSince();
        } else if (!SelectRowImages(connection, t.table, {},
                                    QStringLiteral("%1=").arg(t.columns.at(t.idColumn)) +
                                        QuoteId(t.IdOf(**to)))
                        .empty()) {
            throw changedSince();
        }
    }
    for (TZvRowChange& change : changes) {
        auto [from, to] = sides(change);
        if (!*to) {
            DeleteRowAt(connection, t.table, (*from)->rowid);
        } else if (!*from) {
            // Another row may hold the old rowid now: the row comes back under a new one,
            // which both images keep from now on.
            const qint64 rowid = InsertRowImage(connection, t.table, t.columns, **to);
            (*to)->rowid = rowid;
        } else {
            UpdateRowImage(connection, t.table, t.columns, **to, change.columns);
        }
    }
    // Two levels: an item put under a parent goes there when that is a top-level item still,
    // else to the top level.
    for (TZvRowChange& change : changes) {
        auto [from, to] = sides(change);
        const bool placed = !*from || std::find(change.columns.begin(), change.columns.end(), t.pidColumn) !=
                                          change.columns.end();
        if (!*to || !placed) continue;
        QVariant& pid = (*to)->values.at(size_t(t.pidColumn));
        if (pid.toString() == kRootId) continue;
        // By the id alone: with the parent's marker in the condition too, SQLite would take
        // the index of parents and walk every top-level item.
        const std::vector<TZvRowImage> parents =
            SelectRowImages(connection, t.table, {t.columns.at(t.pidColumn)},
                            QStringLiteral("%1=").arg(t.columns.at(t.idColumn)) + QuoteId(pid.toString()));
        const bool parentThere = std::any_of(parents.begin(), parents.end(), [](const TZvRowImage& p) {
            return p.values.front().toString() == kRootId;
        });
        if (parentThere) continue;
        pid = QVariant(kRootId);
        UpdateRowImage(connection, t.table, t.columns, **to, {t.pidColumn});
    }
    write.commit();
}

} // namespace zv

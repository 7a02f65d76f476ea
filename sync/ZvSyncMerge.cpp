#include "sync/ZvSyncMerge.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace zv {

namespace {

template <class R> bool sameMember(const R& a, const R& b, const TZvMember<R>& member)
{
    return std::visit([&](auto m) { return a.*m == b.*m; }, member);
}

} // namespace

template <class R> QString SyncFieldsJson(const R& r)
{
    QJsonObject o;
    for (const TZvField<R>& f : TZvRecordKind<R>::fields()) {
        if (!f.attribute || f.member == TZvMember<R>(TZvRecordKind<R>::id)) continue;
        std::visit(
            [&](auto m) {
                using V = std::remove_cv_t<std::remove_reference_t<decltype(r.*m)>>;
                if constexpr (std::is_same_v<V, QString>)
                    o.insert(QLatin1String(f.column), r.*m);
                else
                    o.insert(QLatin1String(f.column), QJsonValue(r.*m));
            },
            f.member);
    }
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

template <class R> bool SyncFieldsFromJson(const QString& json, R& r)
{
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8());
    if (!doc.isObject()) return false;
    const QJsonObject o = doc.object();
    for (const TZvField<R>& f : TZvRecordKind<R>::fields()) {
        if (!f.attribute || f.member == TZvMember<R>(TZvRecordKind<R>::id)) continue;
        const QJsonValue v = o.value(QLatin1String(f.column));
        std::visit(
            [&](auto m) {
                using V = std::remove_cv_t<std::remove_reference_t<decltype(r.*m)>>;
                if constexpr (std::is_same_v<V, QString>)
                    r.*m = v.toString();
                else if constexpr (std::is_same_v<V, bool>)
                    r.*m = v.toBool();
                else if constexpr (std::is_same_v<V, int>)
                    r.*m = v.toInt();
                else
                    r.*m = v.toDouble();
            },
            f.member);
    }
    return true;
}

template <class R> bool SameGroup(const R& a, const R& b, const TZvSyncGroup<R>& group)
{
    for (const TZvMember<R>& m : group.members)
        if (!sameMember(a, b, m)) return false;
    return true;
}

template <class R> void TakeGroup(R& into, const R& from, const TZvSyncGroup<R>& group)
{
    for (const TZvMember<R>& member : group.members)
        std::visit([&](auto m) { into.*m = from.*m; }, member);
}

template <class R> quint32 ChangedParts(const R& a, const R& b)
{
    quint32 parts = 0;
    for (const TZvSyncGroup<R>& g : TZvRecordKind<R>::syncGroups())
        if (!SameGroup(a, b, g)) parts |= g.part;
    return parts;
}

template <class R> TZvMergeResult<R> MergeItem(const TZvMergeInput<R>& in)
{
    TZvMergeResult<R> out{in.local, in.base ? *in.base : in.local, false, std::nullopt};
    const R& comparable = in.localAsServer ? *in.localAsServer : in.local;
    bool serverText = false;
    for (const TZvSyncGroup<R>& g : TZvRecordKind<R>::syncGroups()) {
        const bool serverChanged =
            in.base ? (in.serverChanged & g.part) != 0 : !SameGroup(comparable, in.server, g);
        if (!serverChanged) continue;
        const bool localChanged = in.base ? !SameGroup(in.local, *in.base, g) : true;
        TakeGroup(out.base, in.server, g);
        if (!localChanged || SameGroup(in.local, in.server, g)) {
            TakeGroup(out.merged, in.server, g);
            serverText = serverText || g.part == ICalPartText;
            continue;
        }
        out.conflict = true;
        if (g.part == ICalPartText) {
            out.textCopy = in.local;
            TakeGroup(out.merged, in.server, g);
            serverText = true;
        } else if (in.server.editTime > in.local.editTime) {
            TakeGroup(out.merged, in.server, g);
        }
        // Otherwise the local values stay; they differ from the new base, so they go up.
    }
    if (serverText) out.merged.editTime = in.server.editTime;
    return out;
}

#define ZV_SYNCMERGE_FOR(R)                                                                                  \
    template QString SyncFieldsJson<R>(const R&);                                                            \
    template bool SyncFieldsFromJson<R>(const QString&, R&);                                                 \
    template bool SameGroup<R>(const R&, const R&, const TZvSyncGroup<R>&);                                  \
    template void TakeGroup<R>(R&, const R&, const TZvSyncGroup<R>&);                                        \
    template quint32 ChangedParts<R>(const R&, const R&);                                                    \
    template TZvMergeResult<R> MergeItem<R>(const TZvMergeInput<R>&);
ZV_SYNCMERGE_FOR(TTaskInfo)
ZV_SYNCMERGE_FOR(TMemoInfo)
#undef ZV_SYNCMERGE_FOR

} // namespace zv

#include "sync/ZvSyncState.h"

#include "store/ZvDb.h"
#include "store/ZvDbCreate.h"
#include "store/ZvDbSnapshot.h"
#include "store/pU_Funcs.h"

namespace zv {

namespace {

const QString kItems = QStringLiteral("zvsync_items");
const QString kCollections = QStringLiteral("zvsync_collections");
const QString kLog = QStringLiteral("zvsync_log");

QString rowidText(qint64 rowid)
{
    return QString::number(rowid);
}

} // namespace

TZvSyncState::TZvSyncState(TADOConnection& connection) : m_connection(connection)
{
    // Putting back a copy of the database takes the items back, never what the server holds:
    // the items the copy lacks then count as local deletions at the next sync.
    for (const QString& table : {kItems, kCollections, kLog})
        KeepAcrossCopies(table);
}

void TZvSyncState::ensureTables()
{
    TADOQuery q(&m_connection);
    OpenQuery(q, QStringLiteral("select count(*) as n from sqlite_master where type='table' and name in "
                                "('zvsync_items','zvsync_collections','zvsync_log')"));
    q.First();
    const int found = q.FieldByName(QStringLiteral("n")).AsInteger();
    q.Close();
    if (found < 3) ApplySchemaAdditions(m_connection, SchemaText());
}

std::vector<TZvSyncItem> TZvSyncState::items(const QString& kind)
{
    TADOQuery q(&m_connection);
    OpenQuery(q,
              QStringLiteral("select rowid as rid, id, uid, href, etag, parent, fields from %1 where kind=")
                      .arg(kItems) +
                  QuoteId(kind));
    std::vector<TZvSyncItem> out;
    out.reserve(size_t(q.RecordCount()));
    const int rid = q.FindField(QLatin1StringView("rid")), id = q.FindField(QLatin1StringView("id")),
              uid = q.FindField(QLatin1StringView("uid")), href = q.FindField(QLatin1StringView("href")),
              etag = q.FindField(QLatin1StringView("etag")),
              parent = q.FindField(QLatin1StringView("parent")),
              fields = q.FindField(QLatin1StringView("fields"));
    for (q.First(); !q.Eof(); q.Next()) {
        TZvSyncItem item;
        item.rowid = q.FieldAt(rid).AsString().toLongLong();
        item.id = q.FieldAt(id).AsString();
        item.uid = q.FieldAt(uid).AsString();
        item.href = q.FieldAt(href).AsString();
        item.etag = q.FieldAt(etag).AsString();
        item.parent = q.FieldAt(parent).AsString();
        item.fields = q.FieldAt(fields).AsString();
        out.push_back(std::move(item));
    }
    q.Close();
    return out;
}

QByteArray TZvSyncState::icalOf(qint64 rowid)
{
    TADOQuery q(&m_connection);
    OpenQuery(q, QStringLiteral("select ical from %1 where rowid=%2").arg(kItems, rowidText(rowid)));
    q.First();
    const QByteArray text =
        q.Eof() ? QByteArray() : q.FieldByName(QStringLiteral("ical")).AsString().toUtf8();
    q.Close();
    return text;
}

void TZvSyncState::save(const QString& kind, TZvSyncItem& item, const QByteArray* ical)
{
    TADOQuery q(&m_connection);
    const bool fresh = item.rowid == 0;
    if (fresh) {
        OpenQuery(q, QStringLiteral("select * from %1 where 1=0").arg(kItems));
        q.Append();
        q.FieldByName(QStringLiteral("kind")).setAsString(kind);
    } else {
        OpenQuery(q, QStringLiteral("select * from %1 where rowid=%2").arg(kItems, rowidText(item.rowid)));
        q.First();
        q.Edit();
    }
    q.FieldByName(QStringLiteral("id")).setAsString(item.id);
    q.FieldByName(QStringLiteral("uid")).setAsString(item.uid);
    q.FieldByName(QStringLiteral("href")).setAsString(item.href);
    q.FieldByName(QStringLiteral("etag")).setAsString(item.etag);
    q.FieldByName(QStringLiteral("parent")).setAsString(item.parent);
    q.FieldByName(QStringLiteral("fields")).setAsString(item.fields);
    if (ical) q.FieldByName(QStringLiteral("ical")).setAsString(QString::fromUtf8(*ical));
    q.Post();
    q.Close();
    if (fresh) {
        OpenQuery(q, QStringLiteral("select last_insert_rowid() as rid"));
        q.First();
        item.rowid = q.FieldByName(QStringLiteral("rid")).AsString().toLongLong();
        q.Close();
    }
}

void TZvSyncState::remove(qint64 rowid)
{
    TADOQuery q(&m_connection);
    ExecQuery(q, QStringLiteral("delete from %1 where rowid=%2").arg(kItems, rowidText(rowid)));
}

void TZvSyncState::removeAll(const QString& kind)
{
    TADOQuery q(&m_connection);
    ExecQuery(q, QStringLiteral("delete from %1 where kind=").arg(kItems) + QuoteId(kind));
}

QString TZvSyncState::collection(const QString& kind)
{
    TADOQuery q(&m_connection);
    OpenQuery(q, QStringLiteral("select url from %1 where kind=").arg(kCollections) + QuoteId(kind));
    q.First();
    const QString url = q.Eof() ? QString() : q.FieldByName(QStringLiteral("url")).AsString();
    q.Close();
    return url;
}

QString TZvSyncState::token(const QString& kind)
{
    TADOQuery q(&m_connection);
    OpenQuery(q, QStringLiteral("select token from %1 where kind=").arg(kCollections) + QuoteId(kind));
    q.First();
    const QString token = q.Eof() ? QString() : q.FieldByName(QStringLiteral("token")).AsString();
    q.Close();
    return token;
}

void TZvSyncState::setCollection(const QString& kind, const QString& url, const QString& token)
{
    TADOQuery q(&m_connection);
    OpenQuery(q, QStringLiteral("select * from %1 where kind=").arg(kCollections) + QuoteId(kind));
    q.First();
    if (q.Eof()) {
        q.Append();
        q.FieldByName(QStringLiteral("kind")).setAsString(kind);
    } else {
        q.Edit();
    }
    q.FieldByName(QStringLiteral("url")).setAsString(url);
    q.FieldByName(QStringLiteral("token")).setAsString(token);
    q.Post();
    q.Close();
}

void TZvSyncState::log(const TZvSyncLogEntry& entry)
{
    TADOQuery q(&m_connection);
    OpenQuery(q, QStringLiteral("select * from %1 where 1=0").arg(kLog));
    q.Append();
    q.FieldByName(QStringLiteral("time")).setAsDateTime(entry.time);
    q.FieldByName(QStringLiteral("up")).setAsInteger(entry.up);
    q.FieldByName(QStringLiteral("down")).setAsInteger(entry.down);
    q.FieldByName(QStringLiteral("conflicts")).setAsInteger(entry.conflicts);
    q.FieldByName(QStringLiteral("message")).setAsString(entry.message);
    q.Post();
    ExecQuery(q, QStringLiteral("delete from %1 where rowid not in (select rowid from %1 order by rowid desc "
                                "limit %2)")
                     .arg(kLog)
                     .arg(kLogEntries));
}

std::vector<TZvSyncLogEntry> TZvSyncState::lastLog(int count)
{
    TADOQuery q(&m_connection);
    OpenQuery(q, QStringLiteral("select * from %1 order by rowid desc limit %2").arg(kLog).arg(count));
    std::vector<TZvSyncLogEntry> out;
    for (q.First(); !q.Eof(); q.Next())
        out.push_back({q.FieldByName(QStringLiteral("time")).AsDateTime(),
                       q.FieldByName(QStringLiteral("up")).AsInteger(),
                       q.FieldByName(QStringLiteral("down")).AsInteger(),
                       q.FieldByName(QStringLiteral("conflicts")).AsInteger(),
                       q.FieldByName(QStringLiteral("message")).AsString()});
    q.Close();
    return out;
}

} // namespace zv

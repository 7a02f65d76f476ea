#pragma once

// The XML of WebDAV and CalDAV (RFC 4918, 4791, 6578, 6764): the request bodies the sync
// sends and the multistatus answers it reads. The reader takes whatever a server sends:
// names by namespace and local name (any prefix), no document type (no entities), bounded
// depth and counts; anything else is refused with a clear error.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace zv {

// The properties of one resource that answered 200 OK; what it lacks stays empty.
struct TZvDavProps
{
    QString etag;
    QString displayName;
    bool collection = false;
    bool calendar = false;
    // supported-calendar-component-set: nothing when the server did not say (then it takes
    // every kind of component).
    std::optional<QStringList> components;
    QString principal;           // current-user-principal's href
    QString calendarHome;        // calendar-home-set's first href
    QString syncToken;           // the collection's DAV:sync-token property
    bool syncCollection = false; // sync-collection among its supported reports
    QByteArray calendarData;     // calendar-data, as UTF-8
    bool hasCalendarData = false;
    bool oversized = false; // calendar-data over TZvDavLimits::kItemBytes: left out
};

// One response of a multistatus: its href as sent, the status of the response itself (a
// removed member of a sync report: 404) or 0, and the properties found.
struct TZvDavResponse
{
    QString href;
    int status = 0;
    TZvDavProps props;
};

struct TZvMultistatus
{
    std::vector<TZvDavResponse> responses;
    QString syncToken; // the report's new token (sync-collection)
};

// What the reader takes at most: a calendar item's data, responses per answer, nesting.
struct TZvDavLimits
{
    static constexpr qsizetype kItemBytes = qsizetype(1) << 20;     // larger: refused
    static constexpr qsizetype kAnswerBytes = qsizetype(256) << 20; // larger: refused
    static constexpr int kResponses = 2000000;
    static constexpr int kDepth = 32;
    static constexpr qsizetype kTextBytes = 64 * 1024; // an href, etag, name or token
};

// The multistatus `body`. Raises EZvError saying what is wrong: larger than kAnswerBytes,
// not XML, not a multistatus, a document type or an entity, too deep, too many responses,
// an href or other short value over kTextBytes. An item's data over kItemBytes is left out
// and the item marked oversized.
TZvMultistatus ParseMultistatus(const QByteArray& body);

// The status code of a "HTTP/1.1 404 Not Found" line; 0 when it is none.
int StatusOfLine(const QString& line);

// ---- Request bodies ---------------------------------------------------------------------

// PROPFIND for the discovery of principal, calendar home and collections.
QByteArray PropfindDiscoveryBody();
// PROPFIND for the members' ETags (depth 1).
QByteArray PropfindEtagsBody();
// A sync-collection report from `token` (empty: the first one), asking for ETags.
QByteArray SyncCollectionBody(const QString& token);
// A calendar-multiget of the hrefs (paths as the server gave them), asking for ETag and data.
QByteArray MultigetBody(const QStringList& hrefs);
// MKCALENDAR of one component kind ("VTODO", "VJOURNAL") with its display name.
QByteArray MkcalendarBody(const QString& displayName, const QString& component);

} // namespace zv

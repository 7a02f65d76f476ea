#pragma once

// A CalDAV client (RFC 4791, 6578, 6764) over QNetworkAccessManager: every request is
// asynchronous and answers through a callback on the event loop. Every request passes the
// network seam first. What a server sends is bounded; HTTPS certificates are verified (or
// pinned by their SHA-256 fingerprint); plain HTTP goes only to this machine unless the
// user allowed it.

#include "sync/ZvDavXml.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;
class QAuthenticator;

namespace zv {

// The end of one request.
struct TZvHttpAnswer
{
    int status = 0; // 0: no answer came (error says why)
    QByteArray body;
    QString etag;     // the ETag header
    QString location; // the Location header
    QString error;    // a failure of the request, or a refusal of ours
    // The SHA-256 fingerprint of a certificate nobody vouches for, when that ended it.
    QString untrustedCertificate;
    bool ok() const { return status >= 200 && status < 300; }
};

// Where to reach the server and as whom.
struct TZvDavAccount
{
    QUrl url; // as the user typed it
    QString user;
    QString password;
    QString pin;                 // SHA-256 fingerprint of a certificate the user accepted
    bool allowPlainHttp = false; // plain HTTP to another machine, after the user's yes
};

// A calendar collection of the user's calendar home.
struct TZvDavCollection
{
    QUrl url;
    QString displayName;
    std::optional<QStringList> components; // nothing: it takes every kind
    bool takes(const QString& component) const { return !components || components->contains(component); }
};

struct TZvDavDiscovery
{
    QString error; // empty when the discovery succeeded
    QUrl principal;
    QUrl home;
    std::vector<TZvDavCollection> collections;
};

// The members of a collection that changed since a sync token, or all of them.
struct TZvDavListing
{
    QString error;
    bool complete = false; // all members listed (then `removed` is empty: compare yourself)
    QString syncToken;     // to be kept once the changes are applied (empty: none offered)
    std::vector<std::pair<QUrl, QString>> members; // url, etag
    std::vector<QUrl> removed;
};

// An item fetched with its ETag.
struct TZvDavItem
{
    QUrl url;
    QString etag;
    QByteArray data;
    QString error;     // this item could not be taken (too large)
    bool gone = false; // the server no longer has it
};

class TZvDavClient : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const TZvHttpAnswer&)>;

    explicit TZvDavClient(const TZvDavAccount& account, QObject* parent = nullptr);
    ~TZvDavClient() override;

    const TZvDavAccount& account() const { return m_account; }

    // One request; `limit` bounds the answer's body (beyond it the request is ended and
    // fails). Redirects of a PROPFIND, GET and REPORT are followed (at most 5, never from
    // HTTPS to HTTP).
    void send(const QByteArray& verb, const QUrl& url, const QByteArray& body,
              const QList<std::pair<QByteArray, QByteArray>>& headers, qsizetype limit, Done done);
    // Requests sent and not answered yet.
    int pending() const { return m_pending; }
    // The SHA-256 fingerprint of the last certificate refused for want of trust.
    QString untrustedCertificate() const { return m_untrusted; }
    // Ends every pending request; their callbacks are not called.
    void abortAll();

    // ---- CalDAV -----------------------------------------------------------------------
    // Principal, calendar home and its calendar collections (RFC 6764: the address as
    // typed, then /.well-known/caldav).
    void discover(std::function<void(const TZvDavDiscovery&)> done);
    // MKCALENDAR of a collection for one kind of component, with its display name.
    void makeCalendar(const QUrl& url, const QString& displayName, const QString& component,
                      std::function<void(const QString& error)> done);
    // The properties of one resource (depth 0), with the answer's status; error when it
    // does not answer 207.
    void properties(const QUrl& url,
                    std::function<void(int status, const QString& error, const TZvDavProps&)> done);
    // The changes since `token` by sync-collection, or (token refused, report missing)
    // every member with its ETag by PROPFIND. An empty token lists every member.
    void listChanges(const QUrl& collection, const QString& token,
                     std::function<void(const TZvDavListing&)> done);
    // The items' data by calendar-multiget (one request; callers batch).
    void multiget(const QUrl& collection, const std::vector<QUrl>& items,
                  std::function<void(const QString& error, std::vector<TZvDavItem>)> done);
    // PUT of one item: a create (If-None-Match: *) when `etag` is empty, else an update
    // (If-Match).
    void put(const QUrl& url, const QByteArray& data, const QString& etag, Done done);
    // DELETE with If-Match.
    void remove(const QUrl& url, const QString& etag, Done done);
    // GET of one item (at most 1 MB).
    void get(const QUrl& url, Done done);

    // A path or URL of a server's answer as a URL of its own, resolved against the request.
    static QUrl resolve(const QUrl& base, const QString& href);
    // A URL as the key it is kept by: its path, decoded, so that two spellings meet.
    static QString keyOf(const QUrl& url);
    // The text of a failed answer for the user: "PROPFIND http://…: 500 Internal Server Error".
    static QString failureText(const QByteArray& verb, const QUrl& url, const TZvHttpAnswer& answer);

private:
    struct TRequest;
    void start(std::shared_ptr<TRequest> request);
    void finished(QNetworkReply* reply, std::shared_ptr<TRequest> request);
    void authenticate(QNetworkReply* reply, QAuthenticator* authenticator);
    void propfindChain(const std::vector<QUrl>& urls,
                       std::function<void(const QUrl&, const TZvDavProps&)> found,
                       std::function<void(const QString&)> failed);
    void listByEtags(const QUrl& collection, std::function<void(const TZvDavListing&)> done);

    TZvDavAccount m_account;
    QNetworkAccessManager* m_network;
    int m_pending = 0;
    quint64 m_generation = 0; // abortAll makes every older answer stale
    QString m_untrusted;
};

} // namespace zv

#include "sync/ZvDavClient.h"

#include "store/ZvError.h"
#include "store/ZvSeams.h"
#include "sync/ZvSyncText.h"

#include <QAuthenticator>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <memory>

namespace zv {

namespace {

constexpr int kRedirectLimit = 5;
// A server that sends nothing for this long has stopped answering. Generous: a server that
// commits every write to a repository (Xandikos) takes a minute for one on a busy machine.
constexpr int kTransferTimeoutMs = 180000;

const QByteArray kXml = "application/xml; charset=utf-8";
const QByteArray kCalendar = "text/calendar; charset=utf-8";

bool isLoopback(const QUrl& url)
{
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool followsRedirects(const QByteArray& verb)
{
    return verb == "PROPFIND" || verb == "GET" || verb == "REPORT";
}

QString fingerprintOf(const QSslCertificate& certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QString displayUrl(const QUrl& url)
{
    return url.toDisplayString(QUrl::RemoveUserInfo);
}

} // namespace

struct TZvDavClient::TRequest
{
    QByteArray verb;
    QUrl url;
    QByteArray body;
    QList<std::pair<QByteArray, QByteArray>> headers;
    qsizetype limit = 0;
    Done done;
    int redirects = 0;
    bool authTried = false;
    QString refusal; // why we ended it ourselves
    QString untrustedCertificate;
    quint64 generation = 0;
};

TZvDavClient::TZvDavClient(const TZvDavAccount& account, QObject* parent)
    : QObject(parent), m_account(account), m_network(new QNetworkAccessManager(this))
{
    connect(m_network, &QNetworkAccessManager::authenticationRequired, this, &TZvDavClient::authenticate);
}

TZvDavClient::~TZvDavClient()
{
    abortAll();
}

void TZvDavClient::abortAll()
{
    ++m_generation;
    for (QNetworkReply* reply : m_network->findChildren<QNetworkReply*>()) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    m_pending = 0;
}

void TZvDavClient::send(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                        const QList<std::pair<QByteArray, QByteArray>>& headers, qsizetype limit, Done done)
{
    auto request = std::make_shared<TRequest>();
    request->verb = verb;
    request->url = url;
    request->body = body;
    request->headers = headers;
    request->limit = limit;
    request->done = std::move(done);
    request->generation = m_generation;
    ++m_pending;
    start(request);
}

void TZvDavClient::start(std::shared_ptr<TRequest> request)
{
    const auto answerLater = [this, request](TZvHttpAnswer answer) {
        QTimer::singleShot(0, this, [this, request, answer] {
            if (request->generation != m_generation) return;
            --m_pending;
            request->done(answer);
        });
    };
    const QUrl& url = request->url;
    if (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")) {
        TZvHttpAnswer a;
        a.error = SyncText("The server address must start with https:// (or http://)");
        return answerLater(a);
    }
    if (url.scheme() == QLatin1String("http") && !isLoopback(url) && !m_account.allowPlainHttp) {
        TZvHttpAnswer a;
        a.error = SyncText("Plain HTTP to another machine sends the password unprotected: use https://");
        return answerLater(a);
    }

    const NetworkIntercept intercept = NetworkSeam().call({request->verb, url, request->body});
    if (intercept.kind != NetworkIntercept::Kind::Pass) {
        TZvHttpAnswer a;
        if (intercept.kind == NetworkIntercept::Kind::Fail) {
            a.error = intercept.error;
        } else {
            a.status = intercept.status;
            a.body = intercept.body;
            for (const auto& [name, value] : intercept.headers) {
                if (name.compare("ETag", Qt::CaseInsensitive) == 0) a.etag = QString::fromUtf8(value);
                if (name.compare("Location", Qt::CaseInsensitive) == 0) a.location = QString::fromUtf8(value);
            }
        }
        return answerLater(a);
    }

    QNetworkRequest r(url);
    r.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    r.setTransferTimeout(kTransferTimeoutMs);
    r.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Zorvik Jotboard"));
    for (const auto& [name, value] : request->headers)
        r.setRawHeader(name, value);
    QNetworkReply* reply = m_network->sendCustomRequest(r, request->verb, request->body);
    reply->setProperty("zvAuthTried", false);

    const auto tooLarge = [reply, request](qint64 received, qint64 total) {
        if (received > request->limit || total > request->limit) {
            if (request->refusal.isEmpty())
                request->refusal = request->limit >= TZvDavLimits::kAnswerBytes
                                       ? SyncText("The server's answer is larger than 256 MB")
                                       : SyncText("The server's item is larger than 1 MB");
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::downloadProgress, this, tooLarge);
    connect(reply, &QNetworkReply::sslErrors, this, [this, reply, request](const QList<QSslError>& errors) {
        const QString fingerprint = fingerprintOf(reply->sslConfiguration().peerCertificate());
        if (!m_account.pin.isEmpty() && fingerprint.compare(m_account.pin, Qt::CaseInsensitive) == 0) {
            reply->ignoreSslErrors(errors);
            return;
        }
        request->untrustedCertificate = fingerprint;
        QStringList why;
        for (const QSslError& e : errors)
            why << e.errorString();
        request->refusal =
            SyncText("The server's certificate is not trusted (%1); its SHA-256 fingerprint is %2")
                .arg(why.join(QStringLiteral("; ")), fingerprint);
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, request] { finished(reply, request); });
}

void TZvDavClient::authenticate(QNetworkReply* reply, QAuthenticator* authenticator)
{
    // Once per request: a second question means the server refused the name or password,
    // and the 401 ends the request.
    if (m_account.user.isEmpty() || reply->property("zvAuthTried").toBool()) return;
    reply->setProperty("zvAuthTried", true);
    authenticator->setUser(m_account.user);
    authenticator->setPassword(m_account.password);
}

void TZvDavClient::finished(QNetworkReply* reply, std::shared_ptr<TRequest> request)
{
    reply->deleteLater();
    if (request->generation != m_generation) return;
    TZvHttpAnswer a;
    a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    a.untrustedCertificate = request->untrustedCertificate;
    if (!a.untrustedCertificate.isEmpty()) m_untrusted = a.untrustedCertificate;
    if (!request->refusal.isEmpty()) {
        a.status = 0;
        a.error = request->refusal;
    } else if (a.status == 0) {
        a.error = SyncText("No connection to the server (%1)").arg(reply->errorString());
    } else {
        a.body = reply->readAll();
        if (a.body.size() > request->limit) {
            a.status = 0;
            a.body.clear();
            a.error = SyncText("The server's answer is too large");
        }
        a.etag = QString::fromUtf8(reply->rawHeader("ETag"));
        a.location = QString::fromUtf8(reply->rawHeader("Location"));
    }

    const bool redirect =
        a.status == 301 || a.status == 302 || a.status == 303 || a.status == 307 || a.status == 308;
    if (redirect && !a.location.isEmpty() && followsRedirects(request->verb)) {
        const QUrl next = request->url.resolved(QUrl(a.location));
        if (request->redirects >= kRedirectLimit) {
            a.status = 0;
            a.error = SyncText("The server redirects too often (%1)").arg(displayUrl(request->url));
        } else if (request->url.scheme() == QLatin1String("https") &&
                   next.scheme() != QLatin1String("https")) {
            a.status = 0;
            a.error = SyncText("The server redirects from HTTPS to an unprotected address (%1)")
                          .arg(displayUrl(next));
        } else if (next.isValid()) {
            ++request->redirects;
            request->url = next;
            request->refusal.clear();
            start(request);
            return;
        }
    }
    --m_pending;
    request->done(a);
}

QUrl TZvDavClient::resolve(const QUrl& base, const QString& href)
{
    return base.resolved(QUrl(href, QUrl::TolerantMode));
}

QString TZvDavClient::keyOf(const QUrl& url)
{
    return url.path(QUrl::FullyDecoded);
}

QString TZvDavClient::failureText(const QByteArray& verb, const QUrl& url, const TZvHttpAnswer& answer)
{
    if (answer.status == 0) return answer.error;
    if (answer.status == 401) return SyncText("The server refused the user name or password (401)");
    if (answer.status == 403) return SyncText("The server refused access to %1 (403)").arg(displayUrl(url));
    return SyncText("The server answered %1 to %2 %3")
        .arg(answer.status)
        .arg(QString::fromLatin1(verb), displayUrl(url));
}

// ---- Discovery ----------------------------------------------------------------------------

void TZvDavClient::properties(const QUrl& url,
                              std::function<void(int status, const QString&, const TZvDavProps&)> done)
{
    send("PROPFIND", url, PropfindDiscoveryBody(), {{"Depth", "0"}, {"Content-Type", kXml}},
         TZvDavLimits::kAnswerBytes, [url, done](const TZvHttpAnswer& a) {
             if (a.status != 207) return done(a.status, failureText("PROPFIND", url, a), {});
             try {
                 const TZvMultistatus m = ParseMultistatus(a.body);
                 // The resource itself; a server may answer with more than asked, and one
                 // (Xandikos) names a missing one by a mangled href in a 207.
                 const TZvDavResponse* found = m.responses.empty() ? nullptr : &m.responses.front();
                 for (const TZvDavResponse& r : m.responses)
                     if (keyOf(resolve(url, r.href)) == keyOf(url)) found = &r;
                 if (!found)
                     return done(a.status, SyncText("The server said nothing about %1").arg(displayUrl(url)),
                                 {});
                 if (found->status == 404) {
                     TZvHttpAnswer missing;
                     missing.status = 404;
                     return done(404, failureText("PROPFIND", url, missing), {});
                 }
                 done(a.status, QString(), found->props);
             } catch (const EZvError& e) {
                 done(a.status, e.message(), {});
             }
         });
}

void TZvDavClient::propfindChain(const std::vector<QUrl>& urls,
                                 std::function<void(const QUrl&, const TZvDavProps&)> found,
                                 std::function<void(const QString&)> failed)
{
    if (urls.empty()) return failed(SyncText("The server offers no calendars at this address"));
    const QUrl url = urls.front();
    const std::vector<QUrl> rest(urls.begin() + 1, urls.end());
    properties(
        url, [this, url, rest, found, failed](int status, const QString& error, const TZvDavProps& props) {
            // A refused password ends the search; any other failure tries the next address.
            if (status == 401) return failed(error);
            if (error.isEmpty() && (!props.principal.isEmpty() || !props.calendarHome.isEmpty()))
                return found(url, props);
            if (rest.empty())
                return failed(error.isEmpty() ? SyncText("The server offers no calendars at this address")
                                              : error);
            propfindChain(rest, found, failed);
        });
}

void TZvDavClient::discover(std::function<void(const TZvDavDiscovery&)> done)
{
    const QUrl typed = m_account.url;
    QUrl wellKnown = typed;
    wellKnown.setPath(QStringLiteral("/.well-known/caldav"));
    wellKnown.setQuery(QString());
    std::vector<QUrl> urls{typed};
    if (wellKnown != typed) urls.push_back(wellKnown);

    const auto fail = [done](const QString& error) {
        TZvDavDiscovery d;
        d.error = error;
        done(d);
    };
    const auto listHome = [this, done, fail](const QUrl& principal, const QUrl& home) {
        send("PROPFIND", home, PropfindDiscoveryBody(), {{"Depth", "1"}, {"Content-Type", kXml}},
             TZvDavLimits::kAnswerBytes, [home, principal, done, fail](const TZvHttpAnswer& a) {
                 if (a.status != 207) return fail(failureText("PROPFIND", home, a));
                 TZvDavDiscovery d;
                 d.principal = principal;
                 d.home = home;
                 try {
                     for (const TZvDavResponse& r : ParseMultistatus(a.body).responses) {
                         if (!r.props.calendar) continue;
                         const QUrl url = resolve(home, r.href);
                         if (keyOf(url) == keyOf(home)) continue;
                         d.collections.push_back({url, r.props.displayName, r.props.components});
                     }
                 } catch (const EZvError& e) {
                     return fail(e.message());
                 }
                 done(d);
             });
    };
    propfindChain(
        urls,
        [this, listHome, fail](const QUrl& at, const TZvDavProps& props) {
            if (!props.calendarHome.isEmpty()) {
                const QUrl principal = props.principal.isEmpty() ? at : resolve(at, props.principal);
                return listHome(principal, resolve(at, props.calendarHome));
            }
            const QUrl principal = resolve(at, props.principal);
            properties(principal,
                       [principal, listHome, fail](int, const QString& error, const TZvDavProps& p) {
                           if (!error.isEmpty()) return fail(error);
                           if (p.calendarHome.isEmpty())
                               return fail(SyncText("The server names no calendar home for this user"));
                           listHome(principal, resolve(principal, p.calendarHome));
                       });
        },
        fail);
}

void TZvDavClient::makeCalendar(const QUrl& url, const QString& displayName, const QString& component,
                                std::function<void(const QString&)> done)
{
    send("MKCALENDAR", url, MkcalendarBody(displayName, component), {{"Content-Type", kXml}},
         TZvDavLimits::kItemBytes, [url, done](const TZvHttpAnswer& a) {
             done(a.status == 201 || a.status == 200 ? QString() : failureText("MKCALENDAR", url, a));
         });
}

// ---- Changes ------------------------------------------------------------------------------

void TZvDavClient::listChanges(const QUrl& collection, const QString& token,
                               std::function<void(const TZvDavListing&)> done)
{
    send("REPORT", collection, SyncCollectionBody(token), {{"Depth", "0"}, {"Content-Type", kXml}},
         TZvDavLimits::kAnswerBytes, [this, collection, token, done](const TZvHttpAnswer& a) {
             if (a.status == 401) {
                 TZvDavListing l;
                 l.error = failureText("REPORT", collection, a);
                 return done(l);
             }
             if (a.status == 207) {
                 try {
                     const TZvMultistatus m = ParseMultistatus(a.body);
                     TZvDavListing l;
                     l.complete = token.isEmpty();
                     l.syncToken = m.syncToken;
                     for (const TZvDavResponse& r : m.responses) {
                         const QUrl url = resolve(collection, r.href);
                         if (keyOf(url) == keyOf(collection)) continue;
                         if (r.status == 404)
                             l.removed.push_back(url);
                         else if (!r.props.etag.isEmpty() && !r.props.collection)
                             l.members.emplace_back(url, r.props.etag);
                     }
                     if (!l.syncToken.isEmpty()) return done(l);
                 } catch (const EZvError&) {
                     // Read as a report the server does not offer: the listing follows.
                 }
             }
             if (a.status == 0) {
                 TZvDavListing l;
                 l.error = a.error;
                 return done(l);
             }
             // A token refused (expired, or from before a restore): every member, with a new
             // token. A server without the report: every member by PROPFIND.
             if (!token.isEmpty()) return listChanges(collection, QString(), done);
             listByEtags(collection, done);
         });
}

void TZvDavClient::listByEtags(const QUrl& collection, std::function<void(const TZvDavListing&)> done)
{
    send("PROPFIND", collection, PropfindEtagsBody(), {{"Depth", "1"}, {"Content-Type", kXml}},
         TZvDavLimits::kAnswerBytes, [collection, done](const TZvHttpAnswer& a) {
             TZvDavListing l;
             if (a.status != 207) {
                 l.error = failureText("PROPFIND", collection, a);
                 return done(l);
             }
             try {
                 for (const TZvDavResponse& r : ParseMultistatus(a.body).responses) {
                     const QUrl url = resolve(collection, r.href);
                     if (keyOf(url) == keyOf(collection) || r.props.collection || r.props.etag.isEmpty())
                         continue;
                     l.members.emplace_back(url, r.props.etag);
                 }
             } catch (const EZvError& e) {
                 l.error = e.message();
                 return done(l);
             }
             l.complete = true;
             done(l);
         });
}

void TZvDavClient::multiget(const QUrl& collection, const std::vector<QUrl>& items,
                            std::function<void(const QString&, std::vector<TZvDavItem>)> done)
{
    QStringList hrefs;
    for (const QUrl& url : items)
        hrefs << url.path(QUrl::FullyEncoded);
    send("REPORT", collection, MultigetBody(hrefs), {{"Depth", "1"}, {"Content-Type", kXml}},
         TZvDavLimits::kAnswerBytes, [collection, items, done](const TZvHttpAnswer& a) {
             if (a.status != 207) return done(failureText("REPORT", collection, a), {});
             std::vector<TZvDavItem> out;
             try {
                 const TZvMultistatus m = ParseMultistatus(a.body);
                 QHash<QString, const TZvDavResponse*> byKey;
                 for (const TZvDavResponse& r : m.responses)
                     byKey.insert(keyOf(resolve(collection, r.href)), &r);
                 for (const QUrl& url : items) {
                     TZvDavItem item;
                     item.url = url;
                     const TZvDavResponse* r = byKey.value(keyOf(url));
                     if (!r || r->status == 404 || (!r->props.hasCalendarData && !r->props.oversized)) {
                         item.gone = true;
                     } else if (r->props.oversized) {
                         item.error = SyncText("The server's item %1 is larger than 1 MB: left out")
                                          .arg(displayUrl(url));
                     } else {
                         item.etag = r->props.etag;
                         item.data = r->props.calendarData;
                     }
                     out.push_back(std::move(item));
                 }
             } catch (const EZvError& e) {
                 return done(e.message(), {});
             }
             done(QString(), std::move(out));
         });
}

// ---- Items --------------------------------------------------------------------------------

void TZvDavClient::put(const QUrl& url, const QByteArray& data, const QString& etag, Done done)
{
    QList<std::pair<QByteArray, QByteArray>> headers{{"Content-Type", kCalendar}};
    if (etag.isEmpty())
        headers.append(std::pair<QByteArray, QByteArray>("If-None-Match", "*"));
    else
        headers.append(std::pair<QByteArray, QByteArray>("If-Match", etag.toUtf8()));
    send("PUT", url, data, headers, TZvDavLimits::kItemBytes, std::move(done));
}

void TZvDavClient::remove(const QUrl& url, const QString& etag, Done done)
{
    QList<std::pair<QByteArray, QByteArray>> headers;
    if (!etag.isEmpty()) headers.append(std::pair<QByteArray, QByteArray>("If-Match", etag.toUtf8()));
    send("DELETE", url, QByteArray(), headers, TZvDavLimits::kItemBytes, std::move(done));
}

void TZvDavClient::get(const QUrl& url, Done done)
{
    send("GET", url, QByteArray(), {}, TZvDavLimits::kItemBytes, std::move(done));
}

} // namespace zv

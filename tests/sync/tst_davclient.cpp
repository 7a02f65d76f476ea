// The CalDAV client against real servers: discovery, collections, the conditional writes
// and their refusals, changes by sync token and without, multiget, the bounds; and what it
// refuses before anything goes out.
#include "ZvSyncTestKit.h"
#include "ZvTestSupport.h"
#include "store/ZvSeams.h"
#include "sync/ZvDavClient.h"

#include <QTest>
#include <QUuid>

using namespace zv;
using zvtest::await;

namespace {

QByteArray todo(const QString& uid, const QString& summary, int extraBytes = 0)
{
    return QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VTODO\r\n"
                          "UID:%1\r\nDTSTAMP:20240101T000000Z\r\nSUMMARY:%2\r\n")
               .arg(uid, summary)
               .toUtf8() +
           (extraBytes ? "DESCRIPTION:" + QByteArray(extraBytes, 'd') + "\r\n" : QByteArray()) +
           "END:VTODO\r\nEND:VCALENDAR\r\n";
}

TZvDavAccount accountOf(const zvtest::TDavServer& s)
{
    return {s.url(), s.user(), s.password(), QString(), false};
}

// A collection of its own for each test, so that rows never see each other's items.
QUrl freshCollection(const zvtest::TDavServer& s)
{
    return s.home().resolved(QUrl(QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('/')));
}

TZvHttpAnswer call(TZvDavClient& c, const std::function<void(TZvDavClient&, TZvDavClient::Done)>& f)
{
    return *await<TZvHttpAnswer>([&](auto done) { f(c, done); });
}

QStringList keys(const std::vector<std::pair<QUrl, QString>>& members)
{
    QStringList out;
    for (const auto& m : members)
        out << m.first.fileName();
    out.sort();
    return out;
}

} // namespace

class TstDavClient : public QObject
{
    Q_OBJECT
private slots:
    void init() { zvtest::ResetSeams(); }

    void discoversHomeAndMakesCollections_data()
    {
        zvtest::addServerColumn();
        zvtest::forEachServer([](int kind, const QString& name) { QTest::newRow(qPrintable(name)) << kind; });
    }
    void discoversHomeAndMakesCollections()
    {
        ZV_SERVER_OF_ROW(server);
        TZvDavClient client(accountOf(*server));
        const QUrl tasks = freshCollection(*server), memos = freshCollection(*server);
        for (const auto& [url, name, kind] :
             {std::tuple{tasks, QStringLiteral("Zorvik Jotboard tasks"), "VTODO"},
              std::tuple{memos, QStringLiteral("Zorvik Jotboard memos"), "VJOURNAL"}}) {
            const auto error = await<QString>(
                [&](auto done) { client.makeCalendar(url, name, QString::fromLatin1(kind), done); });
            QVERIFY2(error && error->isEmpty(), qPrintable(error.value_or("no answer")));
        }
        const auto d = await<TZvDavDiscovery>([&](auto done) { client.discover(done); });
        QVERIFY(d);
        QVERIFY2(d->error.isEmpty(), qPrintable(d->error));
        QCOMPARE(TZvDavClient::keyOf(d->home), TZvDavClient::keyOf(server->home()));
        QStringList found;
        for (const TZvDavCollection& c : d->collections)
            if (c.url == tasks || c.url == memos)
                found << QStringLiteral("%1 %2 %3")
                             .arg(c.displayName)
                             .arg(c.takes("VTODO"))
                             .arg(c.takes("VJOURNAL"));
        found.sort();
        // Both take what they were made for (a server may take more).
        QCOMPARE(found.size(), 2);
        QVERIFY2(found[0].startsWith("Zorvik Jotboard memos") && found[0].endsWith(" 1"),
                 qPrintable(found[0]));
        QVERIFY2(found[1].startsWith("Zorvik Jotboard tasks 1"), qPrintable(found[1]));
        // A second MKCALENDAR of the same address is refused.
        const auto again = await<QString>([&](auto done) { client.makeCalendar(tasks, "x", "VTODO", done); });
        QVERIFY(again && !again->isEmpty());
    }

    void refusedPasswordEndsDiscovery()
    {
        ZV_SERVER(server, zvtest::TDavServer::Kind::Radicale);
        TZvDavAccount account = accountOf(*server);
        account.password = QStringLiteral("wrong");
        TZvDavClient client(account);
        const auto d = await<TZvDavDiscovery>([&](auto done) { client.discover(done); });
        QVERIFY(d);
        QVERIFY2(d->error.contains(QLatin1String("(401)")), qPrintable(d->error));
        QVERIFY(!d->error.contains(QLatin1String("wrong")));
    }

    // One item through its life: create, a create of the same address, updates with the
    // right and a stale ETag, changes by token, a token the server does not know, multiget
    // with a missing member, deletes with a stale and the right ETag.
    void conditionalWritesAndChanges_data()
    {
        zvtest::addServerColumn();
        zvtest::forEachServer([](int kind, const QString& name) { QTest::newRow(qPrintable(name)) << kind; });
    }
    void conditionalWritesAndChanges()
    {
        ZV_SERVER_OF_ROW(server);
        TZvDavClient c(accountOf(*server));
        const QUrl col = freshCollection(*server);
        QVERIFY(await<QString>([&](auto done) { c.makeCalendar(col, "t", "VTODO", done); })->isEmpty());
        const QUrl a = col.resolved(QUrl("a.ics")), b = col.resolved(QUrl("b%20c.ics"));

        const auto first = await<TZvDavListing>([&](auto done) { c.listChanges(col, QString(), done); });
        QVERIFY2(first->error.isEmpty(), qPrintable(first->error));
        QVERIFY(first->complete && first->members.empty());

        TZvHttpAnswer created =
            call(c, [&](auto& cl, auto done) { cl.put(a, todo("a", "one"), QString(), done); });
        QCOMPARE(created.status, 201);
        QVERIFY(!created.etag.isEmpty());
        QCOMPARE(call(c, [&](auto& cl, auto done) { cl.put(a, todo("a", "two"), QString(), done); }).status,
                 412);
        QCOMPARE(call(c, [&](auto& cl, auto done) { cl.put(a, todo("a", "two"), "\"stale\"", done); }).status,
                 412);
        const TZvHttpAnswer updated =
            call(c, [&](auto& cl, auto done) { cl.put(a, todo("a", "two"), created.etag, done); });
        QVERIFY2(updated.ok(), qPrintable(QString::number(updated.status)));
        QVERIFY(call(c, [&](auto& cl, auto done) { cl.put(b, todo("b", "three"), QString(), done); }).ok());

        const auto all = await<TZvDavListing>([&](auto done) { c.listChanges(col, QString(), done); });
        QCOMPARE(keys(all->members), QStringList({"a.ics", "b c.ics"}));
        const QString token = all->syncToken;
        QVERIFY(!token.isEmpty());

        QVERIFY(call(c, [&](auto& cl, auto done) { cl.put(b, todo("b", "four"), QString(), done); }).status ==
                412);
        const TZvHttpAnswer got = call(c, [&](auto& cl, auto done) { cl.get(b, done); });
        QVERIFY(got.ok() && got.body.contains("three"));
        QVERIFY(call(c, [&](auto& cl, auto done) { cl.put(b, todo("b", "four"), got.etag, done); }).ok());

        const auto delta = await<TZvDavListing>([&](auto done) { c.listChanges(col, token, done); });
        QVERIFY(!delta->complete);
        QCOMPARE(keys(delta->members), QStringList({"b c.ics"}));

        // A token the server never gave: every member again, with a new token.
        const auto refused = await<TZvDavListing>(
            [&](auto done) { c.listChanges(col, server->url().toString() + "sync/unknown", done); });
        QVERIFY2(refused->error.isEmpty(), qPrintable(refused->error));
        QVERIFY(refused->complete);
        QCOMPARE(keys(refused->members), QStringList({"a.ics", "b c.ics"}));

        const auto items = await<std::pair<QString, std::vector<TZvDavItem>>>([&](auto done) {
            c.multiget(col, {a, col.resolved(QUrl("gone.ics")), b},
                       [done](const QString& e, std::vector<TZvDavItem> i) {
                           done({e, std::move(i)});
                       });
        });
        QVERIFY2(items->first.isEmpty(), qPrintable(items->first));
        QCOMPARE(items->second.size(), size_t(3));
        QVERIFY(items->second[0].data.contains("SUMMARY:two") && items->second[0].error.isEmpty());
        QVERIFY(items->second[1].gone);
        QVERIFY(items->second[2].data.contains("SUMMARY:four") && !items->second[2].etag.isEmpty());

        QCOMPARE(call(c, [&](auto& cl, auto done) { cl.remove(a, "\"stale\"", done); }).status, 412);
        QVERIFY(call(c, [&](auto& cl, auto done) { cl.remove(a, items->second[0].etag, done); }).ok());
        const auto afterDelete =
            await<TZvDavListing>([&](auto done) { c.listChanges(col, refused->syncToken, done); });
        QCOMPARE(afterDelete->removed.size(), size_t(1));
        QCOMPARE(afterDelete->removed.front().fileName(), QStringLiteral("a.ics"));
    }

    void itemOverOneMegabyteIsRefused_data()
    {
        zvtest::addServerColumn();
        zvtest::forEachServer([](int kind, const QString& name) { QTest::newRow(qPrintable(name)) << kind; });
    }
    void itemOverOneMegabyteIsRefused()
    {
        ZV_SERVER_OF_ROW(server);
        TZvDavClient c(accountOf(*server));
        const QUrl col = freshCollection(*server);
        QVERIFY(await<QString>([&](auto done) { c.makeCalendar(col, "t", "VTODO", done); })->isEmpty());
        const QUrl big = col.resolved(QUrl("big.ics"));
        QVERIFY(server->request("PUT", big, todo("big", "big", 1100 * 1024)).status / 100 == 2);
        const TZvHttpAnswer got = call(c, [&](auto& cl, auto done) { cl.get(big, done); });
        QCOMPARE(got.status, 0);
        QVERIFY2(got.error.contains(QLatin1String("1 MB")), qPrintable(got.error));
        const auto items = await<std::pair<QString, std::vector<TZvDavItem>>>([&](auto done) {
            c.multiget(col, {big}, [done](const QString& e, std::vector<TZvDavItem> i) {
                done({e, std::move(i)});
            });
        });
        QVERIFY(items->first.isEmpty());
        QVERIFY2(items->second.at(0).error.contains(QLatin1String("1 MB")),
                 qPrintable(items->second.at(0).error));
    }

    // A self-signed certificate: refused with its fingerprint until pinned; a pin of another
    // certificate does not open it.
    void selfSignedCertificateIsPinned_data()
    {
        QTest::addColumn<int>("pin"); // 0 none, 1 its own, 2 another
        QTest::addColumn<bool>("answers");
        QTest::newRow("not pinned") << 0 << false;
        QTest::newRow("pinned") << 1 << true;
        QTest::newRow("another certificate pinned") << 2 << false;
    }
    void selfSignedCertificateIsPinned()
    {
        QFETCH(int, pin);
        QFETCH(bool, answers);
        if (!zvtest::TDavServer::installed(zvtest::TDavServer::Kind::Radicale))
            QSKIP("radicale is not installed");
        static zvtest::TDavServer tls(zvtest::TDavServer::Kind::Radicale, true);
        QString why;
        QVERIFY2(tls.running() || tls.start(&why), qPrintable(why));
        TZvDavAccount account = accountOf(tls);
        const QString own = tls.fingerprint();
        QVERIFY(!own.isEmpty());
        account.pin = pin == 1   ? own
                      : pin == 2 ? QString(own).replace(0, 2, own.startsWith("AA") ? "BB" : "AA")
                                 : QString();
        TZvDavClient client(account);
        const auto d = await<TZvDavDiscovery>([&](auto done) { client.discover(done); });
        QCOMPARE(d->error.isEmpty(), answers);
        if (!answers) {
            QCOMPARE(client.untrustedCertificate(), own);
            QVERIFY2(d->error.contains(own), qPrintable(d->error));
        }
    }

    // Refused before anything goes out, or answered by the seam instead of the network.
    void refusalsAndTheSeam_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("plainAllowed");
        QTest::addColumn<int>("intercept"); // NetworkIntercept::Kind
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain HTTP to another machine")
            << "http://192.0.2.7/dav/" << false << int(NetworkIntercept::Kind::Pass) << "Plain HTTP";
        QTest::newRow("another scheme")
            << "ftp://127.0.0.1/" << false << int(NetworkIntercept::Kind::Pass) << "must start with https://";
        QTest::newRow("plain HTTP allowed, the seam fails it")
            << "http://192.0.2.7/dav/" << true << int(NetworkIntercept::Kind::Fail) << "cable cut";
        QTest::newRow("the seam answers")
            << "https://192.0.2.7/dav/" << false << int(NetworkIntercept::Kind::Answer) << "503";
        QTest::newRow("loopback by name")
            << "http://localhost:1/" << false << int(NetworkIntercept::Kind::Answer) << "503";
    }
    void refusalsAndTheSeam()
    {
        QFETCH(QString, url);
        QFETCH(bool, plainAllowed);
        QFETCH(int, intercept);
        QFETCH(QString, expected);
        NetworkIntercept answer;
        answer.kind = NetworkIntercept::Kind(intercept);
        answer.status = 503;
        answer.error = QStringLiteral("cable cut");
        NetworkSeam().setHandler([answer](const NetworkRequest&) { return answer; });
        TZvDavClient c({QUrl(url), "u", "p", QString(), plainAllowed});
        const TZvHttpAnswer a = call(c, [&](auto& cl, auto done) { cl.get(QUrl(url), done); });
        const QString text = TZvDavClient::failureText("GET", QUrl(url), a);
        QVERIFY2(text.contains(expected), qPrintable(text));
        // Nothing reaches the seam that was refused before it.
        QCOMPARE(NetworkSeam().history().size(), intercept == int(NetworkIntercept::Kind::Pass) ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TstDavClient)
#include "tst_davclient.moc"

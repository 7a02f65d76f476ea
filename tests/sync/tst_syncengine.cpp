// Two machines (two program folders) syncing through one real server: what one makes the
// other gets, with its parent; concurrent edits; deletes against edits; another writer in
// between; the server gone halfway; a collection emptied; a repeating task made elsewhere;
// and nothing sent or fetched when nothing changed.
#include "ZvSyncTestKit.h"
#include "ZvTestSupport.h"
#include "interchange/ZvICalendar.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"
#include "sync/ZvSyncEngine.h"

#include <QProcess>
#include <QTest>
#include <QUuid>

using namespace zv;

namespace {

// One machine: a program folder with its database, syncing with the test's collections.
class TMachine
{
public:
    TMachine() = default;

    zvtest::TempProgramFolder folder;

    TZvSyncResult sync(const zvtest::TDavServer& server, const QUrl& tasks, const QUrl& memos,
                       const std::function<void(TZvSyncEngine&)>& setup = {})
    {
        TZvSyncSettings settings{{server.url(), server.user(), server.password(), QString(), false},
                                 tasks,
                                 memos,
                                 QStringLiteral("1.0")};
        TZvSyncEngine engine(folder.connection(), settings);
        if (setup) setup(engine);
        const std::optional<TZvSyncResult> result = zvtest::await<TZvSyncResult>([&](auto done) {
            QObject::connect(&engine, &TZvSyncEngine::finished, [done](const TZvSyncResult& r) { done(r); });
            engine.start();
        });
        if (!result) qFatal("a sync that never ends");
        return *result;
    }

    void exec(const QString& sql) { folder.exec(sql); }
    // Every task as "text<parent's text" (top level: "text"), sorted; a done task ends in " [x]".
    QStringList tasks() const
    {
        QStringList out;
        for (const QVariantList& r :
             folder.rows("select t.content, p.content, t.checkFlag from tasks t left join "
                         "tasks p on p.tid = t.pid"))
            out << r[0].toString() + (r[1].isNull() ? QString() : QLatin1Char('<') + r[1].toString()) +
                       (r[2].toInt() ? QStringLiteral(" [x]") : QString());
        out.sort();
        return out;
    }
    QStringList memos() const
    {
        QStringList out;
        for (const QVariantList& r :
             folder.rows("select m.content, p.content from memos m left join memos p on p.mid = m.pid"))
            out << r[0].toString() + (r[1].isNull() ? QString() : QLatin1Char('<') + r[1].toString());
        out.sort();
        return out;
    }
};

QString addTask(TMachine& m, const QString& text, const QString& pid = QStringLiteral("root"))
{
    const QString id = NewGuidText();
    m.exec(
        QStringLiteral("insert into tasks (tid, pid, content, checkFlag, dueFlag, alarmFlag, textColor, "
                       "backgroundColor, createTime, editTime, checkTime, alarmTime, dueTime) values ('%1', "
                       "'%2', '%3', 0, 0, 0, 0, 0, 45000.5, 45000.5, 0, 0, 0)")
            .arg(id, pid, text));
    return id;
}

QString addMemo(TMachine& m, const QString& text, const QString& pid = QStringLiteral("root"))
{
    const QString id = NewGuidText();
    m.exec(QStringLiteral(
               "insert into memos (mid, pid, content, assignTime, createTime, editTime) values ('%1', "
               "'%2', '%3', 45000.25, 45000.5, 45000.5)")
               .arg(id, pid, text));
    return id;
}

// A fresh pair of collections on the server, so that tests never meet.
std::pair<QUrl, QUrl> collections(const zvtest::TDavServer& server)
{
    const QString tag = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
    return {server.home().resolved(QUrl(tag + QStringLiteral("-tasks/"))),
            server.home().resolved(QUrl(tag + QStringLiteral("-memos/")))};
}

QString counts(const TZvSyncResult& r)
{
    return QStringLiteral("%1 up %2 down %3 conflicts").arg(r.up).arg(r.down).arg(r.conflicts);
}

#define SYNCED(result)                                                                                       \
    do {                                                                                                     \
        const TZvSyncResult r_ = (result);                                                                   \
        QVERIFY2(r_.succeeded(), qPrintable(r_.line()));                                                     \
    } while (false)

// What the server holds at an item's address.
QByteArray serverText(const zvtest::TDavServer& server, const QUrl& collection, const QString& id)
{
    return server.request("GET", collection.resolved(QUrl(id.mid(1, id.size() - 2) + QStringLiteral(".ics"))))
        .body;
}

} // namespace

class TstSyncEngine : public QObject
{
    Q_OBJECT
private slots:
    void init() { zvtest::ResetSeams(); }

    // Made on A, on B after both synced: parents, the memos too; a second round sends and
    // fetches nothing, on either side.
    void madeHereAppearsThere_data()
    {
        zvtest::addServerColumn();
        zvtest::forEachServer([](int kind, const QString& name) { QTest::newRow(qPrintable(name)) << kind; });
    }
    void madeHereAppearsThere()
    {
        ZV_SERVER_OF_ROW(server);
        const auto [tasks, memos] = collections(*server);
        TMachine a, b;
        const QString parent = addTask(a, "parent");
        addTask(a, "child", parent);
        addTask(a, "alone");
        addMemo(a, "memo child", addMemo(a, "memo"));
        const TZvSyncResult up = a.sync(*server, tasks, memos);
        SYNCED(up);
        QCOMPARE(counts(up), QStringLiteral("5 up 0 down 0 conflicts"));
        const TZvSyncResult down = b.sync(*server, tasks, memos);
        SYNCED(down);
        QCOMPARE(counts(down), QStringLiteral("0 up 5 down 0 conflicts"));
        QCOMPARE(b.tasks(), QStringList({"alone", "child<parent", "parent"}));
        QCOMPARE(b.memos(), QStringList({"memo", "memo child<memo"}));
        // The same ids on both machines: the UID is the id.
        QCOMPARE(b.folder.scalar("select pid from tasks where content='child'").toString(), parent);
        for (TMachine* m : {&a, &b}) {
            const TZvSyncResult again = m->sync(*server, tasks, memos);
            SYNCED(again);
            QCOMPARE(counts(again), QStringLiteral("0 up 0 down 0 conflicts"));
        }
    }

    // Both machines change the same item between two syncs.
    void concurrentEdits_data()
    {
        zvtest::addServerColumn();
        QTest::addColumn<QString>("onA");
        QTest::addColumn<QString>("onB");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("conflicts");
        zvtest::forEachServer([](int kind, const QString& name) {
            QTest::newRow(qPrintable(name + ": text here, done there"))
                << kind << "update tasks set content='new text'"
                << "update tasks set checkFlag=1, checkTime=45001" << QStringList{"new text [x]"} << 0;
            QTest::newRow(qPrintable(name + ": the same text both sides: both kept"))
                << kind << "update tasks set content='text of A', editTime=45002"
                << "update tasks set content='text of B', editTime=45003"
                << QStringList{"text of A", "text of B"} << 1;
            QTest::newRow(qPrintable(name + ": deleted here, edited there: the edit wins"))
                << kind << "delete from tasks"
                << "update tasks set content='edited'" << QStringList{"edited"} << 1;
            QTest::newRow(qPrintable(name + ": edited here, deleted there: the edit wins"))
                << kind << "update tasks set content='edited'"
                << "delete from tasks" << QStringList{"edited"} << 1;
        });
    }
    void concurrentEdits()
    {
        ZV_SERVER_OF_ROW(server);
        QFETCH(QString, onA);
        QFETCH(QString, onB);
        QFETCH(QStringList, expected);
        QFETCH(int, conflicts);
        const auto [tasks, memos] = collections(*server);
        TMachine a, b;
        addTask(a, "item");
        SYNCED(a.sync(*server, tasks, memos));
        SYNCED(b.sync(*server, tasks, memos));
        a.exec(onA);
        b.exec(onB);
        SYNCED(a.sync(*server, tasks, memos));
        const TZvSyncResult merged = b.sync(*server, tasks, memos);
        SYNCED(merged);
        QCOMPARE(merged.conflicts, conflicts);
        SYNCED(a.sync(*server, tasks, memos));
        QCOMPARE(b.tasks(), expected);
        QCOMPARE(a.tasks(), expected);
        const TZvSyncResult quiet = b.sync(*server, tasks, memos);
        QCOMPARE(counts(quiet), QStringLiteral("0 up 0 down 0 conflicts"));
    }

    // Another client writes the item between this sync's look and its write: the write is
    // refused (412), the other's change is fetched and merged, and both stay.
    void anotherWriterInBetween()
    {
        ZV_SERVER(server, zvtest::TDavServer::Kind::Radicale);
        const auto [tasks, memos] = collections(*server);
        TMachine a;
        const QString id = addTask(a, "item");
        SYNCED(a.sync(*server, tasks, memos));
        a.exec("update tasks set content='text from A'");
        const QUrl url = tasks.resolved(QUrl(id.mid(1, 36) + QStringLiteral(".ics")));
        bool written = false;
        NetworkSeam().setHandler([&](const NetworkRequest& r) {
            if (r.verb == "PUT" && r.url == url && !written) {
                written = true;
                const zvtest::TDavServer::Answer now = server->request("GET", url);
                QByteArray text = now.body;
                text.replace("STATUS:NEEDS-ACTION", "STATUS:COMPLETED");
                server->request("PUT", url, text, {{"If-Match", now.etag}});
            }
            return NetworkIntercept{};
        });
        const TZvSyncResult r = a.sync(*server, tasks, memos);
        SYNCED(r);
        QVERIFY(written);
        QVERIFY(r.conflicts >= 1);
        QCOMPARE(a.tasks(), QStringList({"text from A [x]"}));
        const QByteArray onServer = serverText(*server, tasks, id);
        QVERIFY2(onServer.contains("SUMMARY:text from A") && onServer.contains("STATUS:COMPLETED"),
                 onServer.constData());
    }

    // The server goes away in the middle of the uploads, and one create's answer is lost:
    // the sync fails and says why; the next one, with the server back, neither loses nor
    // doubles an item.
    void serverGoneHalfway()
    {
        ZV_SERVER(server, zvtest::TDavServer::Kind::Radicale);
        const auto [tasks, memos] = collections(*server);
        TMachine a, b;
        for (int i = 0; i < 30; ++i)
            addTask(a, QStringLiteral("task %1").arg(i, 2, 10, QLatin1Char('0')));
        // Values iCalendar keeps less exactly: a due time of day, a completion's fraction.
        a.exec("update tasks set dueFlag=1, dueTime=45300.6, checkFlag=1, checkTime=45300.123456");
        int puts = 0;
        NetworkSeam().setHandler([&](const NetworkRequest& r) {
            if (r.verb != "PUT") return NetworkIntercept{};
            ++puts;
            NetworkIntercept lost;
            lost.kind = NetworkIntercept::Kind::Fail;
            lost.error = QStringLiteral("connection reset");
            if (puts == 3) {
                // Stored on the server, the answer never arrives.
                server->request("PUT", r.url, r.body, {{"If-None-Match", "*"}});
                return lost;
            }
            if (puts == 12) server->stop();
            return NetworkIntercept{};
        });
        const TZvSyncResult broken = a.sync(*server, tasks, memos);
        QVERIFY(!broken.succeeded());
        QVERIFY2(!broken.error.isEmpty(), qPrintable(broken.line()));
        NetworkSeam().reset();
        QString why;
        QVERIFY2(server->start(&why), qPrintable(why));
        const TZvSyncResult resumed = a.sync(*server, tasks, memos);
        SYNCED(resumed);
        // The items stored before the break are found again as they are: no conflict.
        QCOMPARE(resumed.conflicts, 0);
        SYNCED(b.sync(*server, tasks, memos));
        QCOMPARE(b.tasks().size(), 30);
        const QStringList got = b.tasks();
        QCOMPARE(QSet<QString>(got.begin(), got.end()).size(), 30);
        QCOMPARE(counts(a.sync(*server, tasks, memos)), QStringLiteral("0 up 0 down 0 conflicts"));
        QCOMPARE(a.tasks(), b.tasks());
        QCOMPARE(a.folder.count("select count(*) from zvsync_items"), 30);
    }

    // The collection emptied behind the program's back, or the tree here emptied: the sync
    // asks before deleting, and the answer decides.
    void massDeletionAsks_data()
    {
        QTest::addColumn<bool>("serverEmptied");
        QTest::addColumn<int>("answer"); // TZvMassDeletion
        QTest::addColumn<int>("left");   // items here afterwards
        QTest::newRow("server emptied, asked") << true << int(TZvMassDeletion::Ask) << 25;
        QTest::newRow("server emptied, deleted here") << true << int(TZvMassDeletion::Delete) << 0;
        QTest::newRow("server emptied, uploaded again") << true << int(TZvMassDeletion::RestoreInstead) << 25;
        QTest::newRow("emptied here, asked") << false << int(TZvMassDeletion::Ask) << 0;
        QTest::newRow("emptied here, fetched again") << false << int(TZvMassDeletion::RestoreInstead) << 25;
    }
    void massDeletionAsks()
    {
        QFETCH(bool, serverEmptied);
        QFETCH(int, answer);
        QFETCH(int, left);
        ZV_SERVER(server, zvtest::TDavServer::Kind::Radicale);
        const auto [tasks, memos] = collections(*server);
        TMachine a;
        for (int i = 0; i < 25; ++i)
            addTask(a, QStringLiteral("task %1").arg(i));
        SYNCED(a.sync(*server, tasks, memos));
        if (serverEmptied) {
            const QList<QVariantList> rows = a.folder.rows("select href from zvsync_items");
            for (const QVariantList& r : rows)
                QCOMPARE(
                    server->request("DELETE", QUrl(server->url()).resolved(QUrl(r[0].toString()))).status /
                        100,
                    2);
        } else {
            a.exec("delete from tasks");
        }
        const TZvSyncResult r = a.sync(*server, tasks, memos, [&](TZvSyncEngine& e) {
            e.setMassDeletion(QStringLiteral("tasks"), TZvMassDeletion(answer));
        });
        if (answer == int(TZvMassDeletion::Ask)) {
            QVERIFY(r.question);
            QCOMPARE(r.question->here, serverEmptied);
            QCOMPARE(r.question->count, 25);
            QCOMPARE(r.up + r.down, 0);
        } else {
            SYNCED(r);
        }
        QCOMPARE(a.folder.count("select count(*) from tasks"), left);
        if (answer == int(TZvMassDeletion::RestoreInstead)) {
            // Whole again on both sides: a second machine gets them all.
            TMachine b;
            SYNCED(b.sync(*server, tasks, memos));
            QCOMPARE(b.tasks().size(), 25);
        }
    }

    // A repeating task with properties this program does not know, written by another
    // client (python3-caldav where installed); completed here, it moves to its next date
    // instead of ending the series, and what the other client wrote stays. A sub-item's
    // sub-item shows under the top.
    void repeatingTaskFromAnotherClient()
    {
        ZV_SERVER(server, zvtest::TDavServer::Kind::Radicale);
        const auto [tasks, memos] = collections(*server);
        const auto put = [&](const char* name, const QByteArray& body) {
            return server
                ->request("PUT", tasks.resolved(QUrl(name)),
                          "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//other//EN\r\n" + body +
                              "END:VCALENDAR\r\n")
                .status;
        };
        TMachine a;
        SYNCED(a.sync(*server, tasks, memos)); // makes the collections
        const QByteArray water =
            "BEGIN:VTODO\r\nUID:water-plants@other\r\nDTSTAMP:20240101T000000Z\r\n"
            "SUMMARY:Water the plants\r\nDTSTART;VALUE=DATE:20240110\r\nDUE;VALUE=DATE:20240110\r\n"
            "RRULE:FREQ=WEEKLY;COUNT=5\r\nCATEGORIES:home\r\nX-OTHER-APP:kept\r\nEND:VTODO\r\n";
        if (QProcess::execute(QStringLiteral("/usr/bin/python3"), {"-c", "import caldav"}) == 0) {
            const char* script = "import sys, caldav\n"
                                 "url, user, password, collection, text = sys.argv[1:6]\n"
                                 "client = caldav.DAVClient(url, username=user, password=password)\n"
                                 "caldav.Calendar(client=client, url=collection).save_todo(text)\n";
            QCOMPARE(QProcess::execute(
                         QStringLiteral("/usr/bin/python3"),
                         {"-c", script, server->url().toString(), server->user(), server->password(),
                          tasks.toString(),
                          QString::fromUtf8("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//other//EN\r\n" +
                                            water + "END:VCALENDAR\r\n")}),
                     0);
        } else {
            QCOMPARE(put("water.ics", water) / 100, 2);
        }
        QCOMPARE(put("p.ics", "BEGIN:VTODO\r\nUID:p@other\r\nSUMMARY:top\r\nEND:VTODO\r\n") / 100, 2);
        QCOMPARE(
            put("c.ics", "BEGIN:VTODO\r\nUID:c@other\r\nSUMMARY:sub\r\nRELATED-TO:p@other\r\nEND:VTODO\r\n") /
                100,
            2);
        QCOMPARE(put("g.ics",
                     "BEGIN:VTODO\r\nUID:g@other\r\nSUMMARY:subsub\r\nRELATED-TO:c@other\r\nEND:VTODO\r\n") /
                     100,
                 2);
        SYNCED(a.sync(*server, tasks, memos));
        QCOMPARE(a.tasks(), QStringList({"Water the plants", "sub<top", "subsub<top", "top"}));
        // Another id than the UID, which is no id of this program's form.
        QVERIFY(a.folder.scalar("select tid from tasks where content='top'").toString().startsWith('{'));

        a.exec("update tasks set checkFlag=1, checkTime=45300 where content='Water the plants'");
        const TZvSyncResult done = a.sync(*server, tasks, memos);
        SYNCED(done);
        QCOMPARE(done.advanced, 1);
        QCOMPARE(done.up, 1); // flattening the grandchild here is no change to send
        const QUrl waterUrl = server->url().resolved(
            QUrl(a.folder.scalar("select href from zvsync_items where uid='water-plants@other'").toString()));
        const QByteArray text = server->request("GET", waterUrl).body;
        for (const char* expected : {"DUE;VALUE=DATE:20240117", "DTSTART;VALUE=DATE:20240117", "COUNT=4",
                                     "STATUS:NEEDS-ACTION", "CATEGORIES:home", "X-OTHER-APP:kept"})
            QVERIFY2(text.contains(expected), qPrintable(QString::fromLatin1(expected) + "\n" + text));
        QVERIFY(!text.contains("COMPLETED:"));
        QCOMPARE(a.folder.scalar("select checkFlag from tasks where content='Water the plants'").toInt(), 0);
        QCOMPARE(QFromDateTime(
                     a.folder.scalar("select dueTime from tasks where content='Water the plants'").toDouble())
                     .date(),
                 QDate(2024, 1, 17));
        QVERIFY(server->request("GET", tasks.resolved(QUrl("g.ics"))).body.contains("RELATED-TO:c@other"));
        QCOMPARE(counts(a.sync(*server, tasks, memos)), QStringLiteral("0 up 0 down 0 conflicts"));
    }

    // A reminder dismissed here is acknowledged on the server, so the other machine does not
    // ring again.
    void dismissedReminderIsAcknowledged()
    {
        ZV_SERVER(server, zvtest::TDavServer::Kind::Xandikos);
        const auto [tasks, memos] = collections(*server);
        TMachine a, b;
        const QString id = addTask(a, "call back");
        a.exec("update tasks set alarmFlag=1, alarmTime=45001.5");
        SYNCED(a.sync(*server, tasks, memos));
        SYNCED(b.sync(*server, tasks, memos));
        QCOMPARE(b.folder.scalar("select alarmFlag from tasks").toInt(), 1);
        a.exec("update tasks set alarmFlag=0");
        SYNCED(a.sync(*server, tasks, memos));
        QVERIFY(serverText(*server, tasks, id).contains("ACKNOWLEDGED:"));
        SYNCED(b.sync(*server, tasks, memos));
        QCOMPARE(b.folder.scalar("select alarmFlag from tasks").toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(TstSyncEngine)
#include "tst_syncengine.moc"

// The sync's state in the database: an older database gets its tables without a row
// touched; items, their texts and the tokens come back as stored; the log keeps its last
// entries; the schema's statements are found whatever its comments hold.
#include "ZvTestSupport.h"
#include "store/ZvDbCreate.h"
#include "sync/ZvSyncState.h"

#include <QTest>

using namespace zv;

namespace {

// The schema as it was before the sync's tables.
QString olderSchema()
{
    QStringList kept;
    for (const QString& s : SchemaStatements(SchemaText()))
        if (!s.contains(QLatin1String("zvsync_"))) kept << s;
    return kept.join(QStringLiteral(";\n")) + QLatin1Char(';');
}

} // namespace

class TstSyncState : public QObject
{
    Q_OBJECT
private slots:
    void schemaStatements_data()
    {
        QTest::addColumn<QString>("schema");
        QTest::addColumn<QStringList>("statements");
        QTest::newRow("comments and blank statements")
            << "-- a; comment\nCREATE TABLE a (x);;\n  -- another\nCREATE INDEX i ON a (x); -- end;"
            << QStringList{"CREATE TABLE a (x)", "CREATE INDEX i ON a (x)"};
        QTest::newRow("semicolons and dashes in a string")
            << "INSERT INTO a VALUES ('x;--y''z');\nSELECT 1"
            << QStringList{"INSERT INTO a VALUES ('x;--y''z')", "SELECT 1"};
    }
    void schemaStatements()
    {
        QFETCH(QString, schema);
        QFETCH(QStringList, statements);
        QCOMPARE(SchemaStatements(schema), statements);
    }

    // A database made before the sync existed opens, gets the tables and keeps its rows;
    // asked again, nothing changes.
    void olderDatabaseGetsTheTables()
    {
        zvtest::TempProgramFolder folder(false);
        TADOConnection probe;
        probe.setConnectionString(folder.connectionString());
        CreateDatabaseFile(folder.dbPath(), olderSchema(), probe.password());
        folder.exec("insert into tasks (tid, pid, content) values ('{T}', 'root', 'kept')");
        QCOMPARE(folder.count("select count(*) from sqlite_master where name like 'zvsync%'"), 0);
        TZvSyncState state(folder.connection());
        state.ensureTables();
        state.ensureTables();
        QCOMPARE(
            folder.count("select count(*) from sqlite_master where type='table' and name like 'zvsync%'"), 3);
        QCOMPARE(folder.scalar("select content from tasks where tid='{T}'").toString(),
                 QStringLiteral("kept"));
        QVERIFY(folder.connection().autocommit());
    }

    void itemsAndTokensComeBack()
    {
        zvtest::TempProgramFolder folder;
        TZvSyncState state(folder.connection());
        state.ensureTables();
        const QByteArray text = "BEGIN:VTODO\r\nSUMMARY:it's \"quoted\"; DROP TABLE tasks\r\nEND:VTODO\r\n";
        TZvSyncItem item{0, "{A}", "a'uid", "/c/a b.ics", "\"e1\"", "{P}", "{\"content\":\"x\"}"};
        state.save("tasks", item, &text);
        QVERIFY(item.rowid > 0);
        TZvSyncItem other{0, "", "", "/c/event.ics", "\"e2\"", "", ""};
        state.save("tasks", other, nullptr);
        TZvSyncItem memo{0, "{M}", "{M}", "/m/m.ics", "\"e3\"", "", ""};
        state.save("memos", memo, nullptr);

        item.etag = "\"e4\"";
        state.save("tasks", item, nullptr); // the text stays when none is given
        const std::vector<TZvSyncItem> tasks = state.items("tasks");
        QCOMPARE(tasks.size(), size_t(2));
        QCOMPARE(tasks[0].uid, QStringLiteral("a'uid"));
        QCOMPARE(tasks[0].href, QStringLiteral("/c/a b.ics"));
        QCOMPARE(tasks[0].etag, QStringLiteral("\"e4\""));
        QCOMPARE(tasks[0].parent, QStringLiteral("{P}"));
        QCOMPARE(state.icalOf(item.rowid), text);
        QVERIFY(tasks[1].id.isEmpty());
        QCOMPARE(state.items("memos").size(), size_t(1));
        QCOMPARE(folder.count("select count(*) from tasks"), 0);

        state.setCollection("tasks", "http://h/c", "tok1");
        state.setCollection("tasks", "http://h/c", "tok2");
        QCOMPARE(state.token("tasks"), QStringLiteral("tok2"));
        QCOMPARE(state.collection("tasks"), QStringLiteral("http://h/c"));
        QCOMPARE(state.token("memos"), QString());

        state.remove(item.rowid);
        state.removeAll("memos");
        QCOMPARE(state.items("tasks").size(), size_t(1));
        QCOMPARE(state.items("memos").size(), size_t(0));
    }

    void logKeepsTheLastEntries()
    {
        zvtest::TempProgramFolder folder;
        TZvSyncState state(folder.connection());
        state.ensureTables();
        for (int i = 0; i < TZvSyncState::kLogEntries + 5; ++i)
            state.log({1000.0 + i, i, 2 * i, 0, i % 2 ? QStringLiteral("failed") : QString()});
        QCOMPARE(folder.count("select count(*) from zvsync_log"), TZvSyncState::kLogEntries);
        const std::vector<TZvSyncLogEntry> last = state.lastLog(3);
        QCOMPARE(last.size(), size_t(3));
        QCOMPARE(last[0].up, TZvSyncState::kLogEntries + 4);
        QCOMPARE(last[0].message, QString());
        QCOMPARE(last[1].message, QStringLiteral("failed"));
    }
};

QTEST_GUILESS_MAIN(TstSyncState)
#include "tst_syncstate.moc"

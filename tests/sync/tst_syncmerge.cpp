// What the sync decides for one item, without a server: the merge field by field, the
// values kept as last synced, and the parts of a foreign item it writes back; a repeating
// task moved to its next date.
#include "ZvTestSupport.h"
#include "interchange/ZvICalendar.h"
#include "sync/ZvSyncMerge.h"

#include <QTest>

using namespace zv;

namespace {

// A task in short: "text", done or not, its parent, its edit time.
TTaskInfo task(const QString& text, bool done = false, const QString& pid = QStringLiteral("root"),
               TDateTime edited = 45000)
{
    TTaskInfo t;
    t.tid = QStringLiteral("{T}");
    t.pid = pid;
    t.content = text;
    t.checkFlag = done;
    t.checkTime = done ? 45000.5 : 0;
    t.editTime = edited;
    t.createTime = 44000;
    return t;
}

QString shortly(const TTaskInfo& t)
{
    return QStringLiteral("%1%2%3").arg(t.content, t.checkFlag ? QStringLiteral(" [x]") : QString(),
                                        t.pid == QLatin1String("root") ? QString()
                                                                       : QLatin1Char('<') + t.pid);
}

QByteArray foreignTodo()
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//other//EN\r\nBEGIN:VTODO\r\nUID:u1@other\r\n"
           "CREATED:20200101T000000Z\r\nSUMMARY:old\r\nDUE;TZID=Europe/Berlin:20240105T153000\r\n"
           "RELATED-TO;RELTYPE=PARENT:grand@other\r\nX-OTHER:1\r\nBEGIN:VALARM\r\nACTION:AUDIO\r\n"
           "TRIGGER:-PT5M\r\nEND:VALARM\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";
}

} // namespace

Q_DECLARE_METATYPE(zv::TTaskInfo)
Q_DECLARE_METATYPE(std::optional<zv::TTaskInfo>)

class TstSyncMerge : public QObject
{
    Q_OBJECT
private slots:
    void merge_data()
    {
        QTest::addColumn<TTaskInfo>("local");
        QTest::addColumn<std::optional<TTaskInfo>>("base");
        QTest::addColumn<TTaskInfo>("server");
        QTest::addColumn<uint>("serverChanged");
        QTest::addColumn<QString>("merged");
        QTest::addColumn<QString>("newBase");
        QTest::addColumn<bool>("conflict");
        QTest::addColumn<QString>("copy"); // the local text kept beside, or empty

        const TTaskInfo base = task("a");
        QTest::newRow("text here") << task("b") << std::optional(base) << task("a") << 0u << "b"
                                   << "a" << false << "";
        QTest::newRow("text there") << task("a") << std::optional(base) << task("c") << uint(ICalPartText)
                                    << "c"
                                    << "c" << false << "";
        QTest::newRow("text on both sides: both kept")
            << task("b") << std::optional(base) << task("c") << uint(ICalPartText) << "c"
            << "c" << true << "b";
        QTest::newRow("the same text on both sides")
            << task("b") << std::optional(base) << task("b") << uint(ICalPartText) << "b"
            << "b" << false << "";
        QTest::newRow("completion both, the server later") << task("a", true, "root", 45000)
                                                           << std::optional(task("a", false)) <<
            [] {
                TTaskInfo t = task("a", true, "root", 45001);
                t.checkTime = 45000.9;
                return t;
            }() << uint(ICalPartCompletion) << "a [x]"
                                                           << "a [x]" << true << "";
        QTest::newRow("text here, done there: both")
            << task("b") << std::optional(base) << task("a", true) << uint(ICalPartCompletion) << "b [x]"
            << "a [x]" << false << "";
        QTest::newRow("moved there") << task("a") << std::optional(base) << task("a", false, "{P}")
                                     << uint(ICalPartParent) << "a<{P}"
                                     << "a<{P}" << false << "";
        QTest::newRow("moved here, moved back there: here wins, later")
            << task("a", false, "{L}", 45005) << std::optional(task("a", false, "{P}"))
            << task("a", false, "root", 45001) << uint(ICalPartParent) << "a<{L}"
            << "a" << true << "";
        QTest::newRow("never synced together, the same")
            << task("a") << std::optional<TTaskInfo>() << task("a") << 0u << "a"
            << "a" << false << "";
        QTest::newRow("never synced together, texts differ")
            << task("b") << std::optional<TTaskInfo>() << task("c") << 0u << "c"
            << "c" << true << "b";
    }
    void merge()
    {
        QFETCH(TTaskInfo, local);
        QFETCH(std::optional<TTaskInfo>, base);
        QFETCH(TTaskInfo, server);
        QFETCH(uint, serverChanged);
        QFETCH(QString, merged);
        QFETCH(QString, newBase);
        QFETCH(bool, conflict);
        QFETCH(QString, copy);
        const TZvMergeResult<TTaskInfo> out =
            MergeItem<TTaskInfo>({local, base, server, serverChanged, std::nullopt});
        QCOMPARE(shortly(out.merged), merged);
        QCOMPARE(shortly(out.base), newBase);
        QCOMPARE(out.conflict, conflict);
        QCOMPARE(out.textCopy ? out.textCopy->content : QString(), copy);
        // What differs from the new base goes up; the server's text brings its edit time.
        if (out.merged.content == server.content && out.merged.content != local.content)
            QCOMPARE(out.merged.editTime, server.editTime);
    }

    // Met without a base (a create whose answer was lost, the same data restored on two
    // machines): what iCalendar cannot tell apart is no difference, and nothing goes up.
    void withoutBaseOnlyRealDifferencesCount()
    {
        TTaskInfo local = task("a", true);
        local.dueFlag = true;
        local.dueTime = 45300.6; // a time of day: the server keeps the day
        TTaskInfo server = local;
        server.dueTime = 45300;
        server.checkTime = 45000.5 + 0.3 / 86400; // whole seconds there
        TTaskInfo asServer = server;
        const TZvMergeResult<TTaskInfo> out =
            MergeItem<TTaskInfo>({local, std::nullopt, server, 0, asServer});
        QVERIFY(!out.conflict);
        QCOMPARE(ChangedParts(out.merged, local), 0u);
        QCOMPARE(ChangedParts(out.base, out.merged), 0u); // nothing to send
    }

    void fieldsThroughJson()
    {
        TTaskInfo t = task("line 1\r\nline \"2\"", true, "{P}", 45123.456789012345);
        t.alarmFlag = true;
        t.alarmTime = 45124.1;
        t.textColor = -16777201;
        t.expandFlag = true;
        TTaskInfo back;
        QVERIFY(SyncFieldsFromJson(SyncFieldsJson(t), back));
        QCOMPARE(ChangedParts(back, t), 0u);
        QCOMPARE(back.editTime, t.editTime);
        QCOMPARE(back.createTime, t.createTime);
        QVERIFY(back.tid.isEmpty()); // the id is not a synced value
        QVERIFY(!back.expandFlag);   // nor how the tree shows it
        QVERIFY(!SyncFieldsFromJson(QStringLiteral("[1]"), back));
    }

    // Written back in some parts only, another program's item keeps the rest as it was:
    // its due time with its zone, its parent, its own alarm, UID and CREATED.
    void writesBackOnlyTheChangedParts_data()
    {
        QTest::addColumn<uint>("parts");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("gone");
        QTest::newRow("text") << uint(ICalPartText)
                              << QStringList{"SUMMARY:new",
                                             "DUE;TZID=Europe/Berlin:20240105T153000",
                                             "RELATED-TO;RELTYPE=PARENT:grand@other",
                                             "UID:u1@other",
                                             "CREATED:20200101T000000Z",
                                             "ACTION:AUDIO",
                                             "X-OTHER:1"}
                              << QStringList{"SUMMARY:old", "STATUS:"};
        QTest::newRow("completion") << uint(ICalPartCompletion)
                                    << QStringList{"SUMMARY:old", "STATUS:COMPLETED", "PERCENT-COMPLETE:100",
                                                   "DUE;TZID=Europe/Berlin:20240105T153000"}
                                    << QStringList{"SUMMARY:new"};
        QTest::newRow("parent") << uint(ICalPartParent)
                                << QStringList{"RELATED-TO;RELTYPE=PARENT:{P}", "SUMMARY:old"}
                                << QStringList{"grand@other"};
        QTest::newRow("due") << uint(ICalPartDue) << QStringList{"DUE;VALUE=DATE:", "SUMMARY:old"}
                             << QStringList{"TZID=Europe/Berlin"};
    }
    void writesBackOnlyTheChangedParts()
    {
        QFETCH(uint, parts);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, gone);
        TZvICalContext context(QTimeZone::utc(), 1717243200);
        TZvICalComponent root(icalparser_parse_string(foreignTodo().constData()));
        icalcomponent* c = ICalItemOf<TTaskInfo>(root.get());
        QVERIFY(c);
        TTaskInfo r = task("new", true, "{P}");
        r.tid = QStringLiteral("{OTHER-ID}");
        r.dueFlag = true;
        r.dueTime = 45300;
        UpdateICalComponent(c, r, context, parts);
        QString text = QString::fromUtf8(ICalText(root.get()));
        text.remove(QStringLiteral("\r\n ")); // unfolded
        for (const QString& k : kept)
            QVERIFY2(text.contains(k), qPrintable(k + "\n" + text));
        for (const QString& g : gone)
            QVERIFY2(!text.contains(g), qPrintable(g + "\n" + text));
        QVERIFY(text.contains(QLatin1String("LAST-MODIFIED:")));
    }

    // The next occurrence of a done repeating task, on its own clock.
    void repeatingTaskMovesOn_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("weekly by day, counted down")
            << QByteArray(
                   "DTSTART;VALUE=DATE:20240110\r\nDUE;VALUE=DATE:20240111\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\n")
            << true << QStringList{"DTSTART;VALUE=DATE:20240117", "DUE;VALUE=DATE:20240118", "COUNT=2"};
        QTest::newRow("due only, an excluded date skipped")
            << QByteArray("DUE:20240301T090000Z\r\nRRULE:FREQ=DAILY\r\nEXDATE:20240302T090000Z\r\n") << true
            << QStringList{"DUE:20240303T090000Z"};
        QTest::newRow("a fixed alarm moves along, acknowledged no more")
            << QByteArray(
                   "DTSTART:20240301T090000Z\r\nRRULE:FREQ=MONTHLY\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                   "DESCRIPTION:x\r\nTRIGGER;VALUE=DATE-TIME:20240301T083000Z\r\n"
                   "ACKNOWLEDGED:20240301T083100Z\r\nEND:VALARM\r\n")
            << true << QStringList{"DTSTART:20240401T090000Z", "TRIGGER;VALUE=DATE-TIME:20240401T083000Z"};
        QTest::newRow("the last of its count")
            << QByteArray("DTSTART:20240301T090000Z\r\nRRULE:FREQ=DAILY;COUNT=1\r\n") << false
            << QStringList{"STATUS:COMPLETED"};
        QTest::newRow("past its end")
            << QByteArray("DUE;VALUE=DATE:20240301\r\nRRULE:FREQ=DAILY;UNTIL=20240301\r\n") << false
            << QStringList{"STATUS:COMPLETED"};
        QTest::newRow("no rule") << QByteArray("DUE;VALUE=DATE:20240301\r\n") << false
                                 << QStringList{"STATUS:COMPLETED"};
    }
    void repeatingTaskMovesOn()
    {
        QFETCH(QByteArray, lines);
        QFETCH(bool, moved);
        QFETCH(QStringList, expected);
        const QByteArray text = "BEGIN:VTODO\r\nUID:r\r\nSUMMARY:again\r\nSTATUS:COMPLETED\r\n"
                                "COMPLETED:20240101T000000Z\r\n" +
                                lines + "END:VTODO\r\n";
        TZvICalComponent c(icalparser_parse_string(text.constData()));
        QCOMPARE(AdvanceRepeatingTask(c.get()), moved);
        const QString out = QString::fromUtf8(ICalText(c.get()));
        for (const QString& e : expected)
            QVERIFY2(out.contains(e), qPrintable(e + "\n" + out));
        if (moved) {
            QVERIFY(out.contains(QLatin1String("STATUS:NEEDS-ACTION")));
            QVERIFY(!out.contains(QLatin1String("COMPLETED:")));
            QVERIFY(!out.contains(QLatin1String("ACKNOWLEDGED")));
        }
    }
};

QTEST_GUILESS_MAIN(TstSyncMerge)
#include "tst_syncmerge.moc"

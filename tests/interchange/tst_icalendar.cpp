// The iCalendar mapping of tasks and memos, its times, and the file reader: round trips,
// files in other programs' shapes, the two-level rule on the way in, hostile files.
#include "ZvTestSupport.h"
#include "interchange/ZvICalFile.h"
#include "interchange/ZvICalendar.h"

#include <QBuffer>
#include <QFile>
#include <QTest>

using namespace zv;

Q_DECLARE_METATYPE(zv::TTaskInfo)
Q_DECLARE_METATYPE(zv::TMemoInfo)

namespace {

TDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return EncodeDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

QString timeText(TDateTime t)
{
    return t == 0 ? QStringLiteral("0") : QFromDateTime(t).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// Seconds since 1970 of a UTC time written as text.
qint64 utc(const char* text)
{
    QDateTime t = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    t.setTimeZone(QTimeZone::utc());
    return t.toSecsSinceEpoch();
}

const QTimeZone kBerlin("Europe/Berlin");
const qint64 kNow = utc("2024-06-01T12:00:00");

QString lossText(quint32 losses)
{
    static const char* const names[kICalLossKinds] = {"repeat", "categories", "priority",
                                                      "attach", "start",      "reminders",
                                                      "other",  "unreadable", "oversized"};
    QStringList out;
    for (int k = 0; k < kICalLossKinds; ++k)
        if (losses & (1u << k)) out << QString::fromLatin1(names[k]);
    return out.join(QLatin1Char(','));
}

QString fields(const TTaskInfo& r)
{
    QString content = r.content;
    content.replace(QLatin1String("\r\n"), QLatin1String("/"));
    return QStringLiteral("%1<%2 '%3' done:%4 %5 due:%6 %7 alarm:%8 %9 colors:%10/%11 created:%12 edited:%13")
        .arg(r.tid, r.pid, content)
        .arg(r.checkFlag)
        .arg(timeText(r.checkTime))
        .arg(r.dueFlag)
        .arg(r.dueFlag ? QFromDateTime(r.dueTime).date().toString(Qt::ISODate) : QString())
        .arg(r.alarmFlag)
        .arg(timeText(r.alarmTime))
        .arg(r.textColor)
        .arg(r.backgroundColor)
        .arg(timeText(r.createTime), timeText(r.editTime));
}

QString fields(const TMemoInfo& r)
{
    QString content = r.content;
    content.replace(QLatin1String("\r\n"), QLatin1String("/"));
    return QStringLiteral("%1<%2 '%3' assigned:%4 created:%5 edited:%6")
        .arg(r.mid, r.pid, content, timeText(r.assignTime), timeText(r.createTime), timeText(r.editTime));
}

// Through the text: written, folded and escaped by the library, parsed back and read.
template <class R>
TZvICalRead<R> throughText(const R& r, const TZvICalContext& context, const QByteArray& old = {})
{
    const QByteArray text = ICalComponentText(r, context, old);
    TZvICalComponent c(icalparser_parse_string(text.constData()));
    if (icalcomponent_isa(c.get()) == ICAL_VCALENDAR_COMPONENT) {
        icalcomponent* inner = icalcomponent_get_first_component(c.get(), ICalKindOf<R>());
        return ReadICalComponent<R>(inner, context);
    }
    return ReadICalComponent<R>(c.get(), context);
}

TTaskInfo task(const QString& content)
{
    TTaskInfo r;
    r.tid = QStringLiteral("{0A0B0C0D-0000-0000-0000-000000000001}");
    r.pid = QStringLiteral("root");
    r.content = content;
    r.createTime = at(2024, 5, 1, 8, 30, 15);
    r.editTime = at(2024, 5, 2, 9, 0, 0);
    return r;
}

// Every line the reader gives, one per item: "T0^-1 <fields> [losses]".
QStringList readAll(QIODevice& device, const QTimeZone& zone = kBerlin, QString* skipped = nullptr)
{
    TZvICalContext context(zone, kNow);
    TZvICalFileReader reader(device, context);
    QStringList lines;
    if (!reader.scan()) return {QStringLiteral("stopped")};
    TZvICalFileReader::Item item;
    while (reader.next(item)) {
        std::visit(
            [&](const auto& read) {
                lines << QStringLiteral("%1%2^%3 %4 [%5]")
                             .arg(item.memo() ? QLatin1Char('M') : QLatin1Char('T'))
                             .arg(item.index)
                             .arg(item.parent)
                             .arg(fields(read.record), lossText(read.losses));
            },
            item.read);
    }
    if (skipped) {
        QStringList counts;
        for (qint64 n : reader.skipped())
            counts << QString::number(n);
        *skipped = counts.join(QLatin1Char(','));
    }
    return lines;
}

QStringList readText(const QByteArray& text, QString* skipped = nullptr)
{
    QByteArray bytes = text;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return readAll(buffer, kBerlin, skipped);
}

QByteArray calendar(const QByteArray& items)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + items + "END:VCALENDAR\r\n";
}

QByteArray todo(const QByteArray& uid, const QByteArray& more = {})
{
    return "BEGIN:VTODO\r\nUID:" + uid + "\r\nSUMMARY:" + uid + "\r\n" + more + "END:VTODO\r\n";
}

// The parent column of every item: "0:-1 1:0 ...".
QString families(const QByteArray& items)
{
    QByteArray bytes = calendar(items);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TZvICalContext context(kBerlin, kNow);
    TZvICalFileReader reader(buffer, context);
    reader.scan();
    QStringList out;
    TZvICalFileReader::Item item;
    while (reader.next(item))
        out << QStringLiteral("%1:%2").arg(item.index).arg(item.parent);
    return out.join(QLatin1Char(' '));
}

} // namespace

class TstICalendar : public QObject
{
    Q_OBJECT

    template <class R> void roundTrip()
    {
        QFETCH(R, record);
        TZvICalContext context(kBerlin, kNow);
        const TZvICalRead<R> back = throughText(record, context);
        QCOMPARE(fields(back.record), fields(record));
        QCOMPARE(lossText(back.losses), QString());
    }

private slots:
    void init() { zvtest::ResetSeams(); }

    // Wall clock to instant with the rules of the date: the repeated hour takes the
    // earlier instant, a time in the gap moves forward by the gap.
    void zoneRules_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<double>("local");
        QTest::addColumn<QString>("instant");
        QTest::newRow("Berlin summer") << "Europe/Berlin" << at(2024, 7, 1, 12) << "2024-07-01T10:00:00Z";
        QTest::newRow("Berlin winter") << "Europe/Berlin" << at(2024, 1, 1, 12) << "2024-01-01T11:00:00Z";
        QTest::newRow("Berlin repeated hour")
            << "Europe/Berlin" << at(2024, 10, 27, 2, 30) << "2024-10-27T00:30:00Z";
        QTest::newRow("Berlin gap") << "Europe/Berlin" << at(2024, 3, 31, 2, 30) << "2024-03-31T01:30:00Z";
        QTest::newRow("Berlin 1980, no summer time yet")
            << "Europe/Berlin" << at(1979, 7, 1, 12) << "1979-07-01T11:00:00Z";
        QTest::newRow("New York gap")
            << "America/New_York" << at(2024, 3, 10, 2, 30) << "2024-03-10T07:30:00Z";
        QTest::newRow("New York repeated")
            << "America/New_York" << at(2024, 11, 3, 1, 30) << "2024-11-03T05:30:00Z";
        QTest::newRow("half-hour gap")
            << "Australia/Lord_Howe" << at(2024, 10, 6, 2, 15) << "2024-10-05T15:45:00Z";
        QTest::newRow("far future") << "Europe/Berlin" << at(9999, 7, 1, 12) << "9999-07-01T10:00:00Z";
        QTest::newRow("UTC") << "UTC" << at(2024, 3, 31, 2, 30) << "2024-03-31T02:30:00Z";
        QTest::newRow("Berlin before 1800: its first offset")
            << "Europe/Berlin" << at(1750, 7, 1, 12) << "1750-07-01T11:06:32Z";
    }
    void zoneRules()
    {
        QFETCH(QString, zone);
        QFETCH(double, local);
        QFETCH(QString, instant);
        const TZvZoneRules rules{QTimeZone(zone.toLatin1())};
        const qint64 u = rules.instantOf(*WallSecondsOf(local));
        QCOMPARE(QDateTime::fromSecsSinceEpoch(u, QTimeZone::utc())
                     .toString(QStringLiteral("yyyy-MM-ddThh:mm:ss'Z'")),
                 instant);
        // And back: the instant shows a wall time that gives the same instant again.
        QCOMPARE(rules.instantOf(rules.wallTimeOf(u)), u);
    }

    void storeTimesOutOfRange_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("expressible");
        QTest::newRow("zero") << 0.0 << true;
        QTest::newRow("0001-01-01") << at(1, 1, 1) << true;
        QTest::newRow("9999-12-31 23:59:59") << at(9999, 12, 31, 23, 59, 59) << true;
        QTest::newRow("before year 1") << -693594.5 << false;
        QTest::newRow("after 9999") << 2958466.5 << false;
        QTest::newRow("infinite") << qInf() << false;
        QTest::newRow("NaN") << qQNaN() << false;
    }
    void storeTimesOutOfRange()
    {
        QFETCH(double, value);
        QFETCH(bool, expressible);
        const std::optional<qint64> wall = WallSecondsOf(value);
        QCOMPARE(wall.has_value(), expressible);
        if (wall) QCOMPARE(timeText(*DateTimeOfWallSeconds(*wall)), timeText(value));
    }

    // Every field through the text and back (Berlin, across its changes of offset).
    void taskRoundTrip_data()
    {
        QTest::addColumn<TTaskInfo>("record");
        TTaskInfo r = task(QStringLiteral("Buy milk"));
        QTest::newRow("plain") << r;
        r.content = QStringLiteral("first\r\nsecond\r\n\r\nfourth after an empty line");
        QTest::newRow("lines") << r;
        r.content = QString();
        QTest::newRow("empty") << r;
        r.content = QStringLiteral("\r\nonly a description");
        QTest::newRow("empty first line") << r;
        r.content = QStringLiteral("a;b,c\\d:e \"q\" \u00e4\u20ac\U0001F600 ") + QString(200, QChar(0x20AC));
        QTest::newRow("escapes, long and wide") << r;
        r = task(QStringLiteral("done"));
        r.checkFlag = true;
        r.checkTime = at(2024, 10, 27, 2, 30, 5); // the first of the two 02:30
        QTest::newRow("complete, in the repeated hour") << r;
        r.checkTime = 0;
        QTest::newRow("complete at the zero time") << r;
        r = task(QStringLiteral("due"));
        r.dueFlag = true;
        r.dueTime = at(2024, 3, 31);
        QTest::newRow("due on the day of the change") << r;
        r.dueTime = at(1, 1, 1);
        QTest::newRow("due in year 1") << r;
        r = task(QStringLiteral("alarm"));
        r.alarmFlag = true;
        r.alarmTime = at(2024, 11, 1, 7, 45);
        QTest::newRow("alarm armed") << r;
        r.alarmFlag = false;
        QTest::newRow("alarm disarmed, time kept") << r;
        r.alarmTime = 0;
        r.alarmFlag = true;
        QTest::newRow("alarm armed at the zero time") << r;
        r = task(QStringLiteral("colours"));
        r.textColor = int(0xFF000011);
        r.backgroundColor = 0x00FFEEDD;
        QTest::newRow("colours, a system colour") << r;
        r = task(QStringLiteral("child"));
        r.pid = QStringLiteral("{PARENT-ID}");
        r.tid = QStringLiteral("not a GUID; with, marks");
        r.createTime = at(1899, 12, 30);
        r.editTime = at(9999, 12, 31, 23, 59, 59);
        QTest::newRow("sub-item, odd ids and times") << r;
    }
    void taskRoundTrip() { roundTrip<TTaskInfo>(); }

    void memoRoundTrip_data()
    {
        QTest::addColumn<TMemoInfo>("record");
        TMemoInfo r;
        r.mid = QStringLiteral("{0A0B0C0D-0000-0000-0000-000000000002}");
        r.pid = QStringLiteral("root");
        r.content = QStringLiteral("Minutes\r\n1. budget\r\n2. plans");
        r.createTime = at(2024, 3, 31, 3, 0, 1);
        r.editTime = at(2024, 10, 27, 1, 59, 59);
        r.assignTime = r.createTime;
        QTest::newRow("with assign time") << r;
        r.assignTime = 0;
        r.pid = QStringLiteral("{P}");
        QTest::newRow("pasted: no assign time, a sub-memo") << r;
    }
    void memoRoundTrip() { roundTrip<TMemoInfo>(); }

    // What iCalendar text cannot carry is not written, and not read either, so that an item
    // reads back as it was written: control characters, a CR on its own, blanks at either end
    // of the summary or the description.
    void textIcalendarCannotCarry_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("back");
        QTest::newRow("control characters") << "a\bb\x11"
                                               "c\x7f"
                                               "d\te"
                                            << "abcd\te";
        QTest::newRow("a CR on its own") << "one\rtwo"
                                         << "one\r\ntwo";
        QTest::newRow("blanks around the lines") << "  first \r\n  second\r\n  third  "
                                                 << "first\r\nsecond\r\n  third";
        QTest::newRow("blanks only on the first line") << "   \r\nrest"
                                                       << "\r\nrest";
    }
    void textIcalendarCannotCarry()
    {
        QFETCH(QString, content);
        QFETCH(QString, back);
        TZvICalContext context(kBerlin, kNow);
        TTaskInfo r = task(content);
        QCOMPARE(throughText(r, context).record.content, back);
        r.content = back;
        QCOMPARE(throughText(r, context).record.content, back);
    }

    // The hour the clocks go forward does not exist: a time in it comes back moved on.
    void timeInTheGapMovesForward()
    {
        TTaskInfo r = task(QStringLiteral("gap"));
        r.createTime = at(2024, 3, 31, 2, 30);
        TZvICalContext context(kBerlin, kNow);
        QCOMPARE(timeText(throughText(r, context).record.createTime), QStringLiteral("2024-03-31 03:30:00"));
    }

    // The writer changes what the record owns and keeps everything else of a component
    // another program wrote, also inside a calendar with its time zone.
    void updateKeepsWhatItDoesNotOwn()
    {
        const QByteArray old = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//other//EN\r\n"
                               "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nBEGIN:STANDARD\r\n"
                               "DTSTART:19701025T030000\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\n"
                               "END:STANDARD\r\nEND:VTIMEZONE\r\n"
                               "BEGIN:VTODO\r\nUID:old-uid\r\nSUMMARY;LANGUAGE=de:Alt\r\n"
                               "DESCRIPTION:old text\r\nDTSTART;TZID=Europe/Berlin:20240101T090000\r\n"
                               "DUE:20240105T100000Z\r\nRRULE:FREQ=DAILY\r\nCATEGORIES:A,B\r\n"
                               "X-OTHER-APP:keep me\r\nLOCATION:Office\r\n"
                               "RELATED-TO;RELTYPE=SIBLING:sister\r\nRELATED-TO:old-parent\r\n"
                               "STATUS:IN-PROCESS\r\nPERCENT-COMPLETE:30\r\n"
                               "BEGIN:VALARM\r\nACTION:AUDIO\r\nTRIGGER:-PT5M\r\nEND:VALARM\r\n"
                               "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:x\r\nTRIGGER:-PT1H\r\n"
                               "X-ALARM-OWN:kept\r\nEND:VALARM\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";
        TTaskInfo r = task(QStringLiteral("New"));
        r.tid = QStringLiteral("new-uid");
        r.pid = QStringLiteral("new-parent");
        r.alarmFlag = true;
        r.alarmTime = at(2024, 6, 2, 8);
        r.textColor = 255;
        TZvICalContext context(kBerlin, kNow);
        const QByteArray text = ICalComponentText(r, context, old);
        for (const char* kept :
             {"BEGIN:VTIMEZONE", "SUMMARY;LANGUAGE=de:New", "DTSTART;TZID=Europe/Berlin:20240101T090000",
              "RRULE:FREQ=DAILY", "CATEGORIES:A", "CATEGORIES:B", "X-OTHER-APP:keep me", "LOCATION:Office",
              "RELATED-TO;RELTYPE=SIBLING:sister", "RELATED-TO:new-parent", "STATUS:IN-PROCESS",
              "PERCENT-COMPLETE:30", "ACTION:AUDIO", "X-ALARM-OWN:kept", "X-ZORVIK-TEXTCOLOR:255",
              "TRIGGER;VALUE=DATE-TIME:20240602T060000Z"})
            QVERIFY2(text.contains(kept), kept);
        for (const char* gone : {"old text", "DUE", "old-uid", "old-parent", "TRIGGER:-PT1H"})
            QVERIFY2(!text.contains(gone), gone);
        const TZvICalRead<TTaskInfo> back = throughText(r, context, old);
        QCOMPARE(fields(back.record), fields(r));
        QCOMPARE(lossText(back.losses), QStringLiteral("repeat,categories,start,reminders,other"));

        // Made a top-level item and complete: every parent link goes, the status follows.
        r.pid = QStringLiteral("root");
        r.checkFlag = true;
        r.checkTime = at(2024, 6, 3, 12);
        const QByteArray again = ICalComponentText(r, context, text);
        QVERIFY(again.contains("RELATED-TO;RELTYPE=SIBLING:sister"));
        QVERIFY(!again.contains("new-parent"));
        QVERIFY(again.contains("STATUS:COMPLETED") && again.contains("PERCENT-COMPLETE:100"));
        QCOMPARE(fields(throughText(r, context, text).record), fields(r));
    }

    // The item an update writes into: the series itself before any of its occurrences, the
    // first occurrence when there is no series; text with no item of the kind (another kind,
    // no calendar at all) gives a new item and nothing of that text.
    void updateFindsItsItem_data()
    {
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<QByteArray>("kept"); // ";"-separated
        QTest::addColumn<QByteArray>("gone");
        const QByteArray occurrence = "RECURRENCE-ID:20240101T000000Z\r\n";
        QTest::newRow("the series after an occurrence")
            << calendar(todo("occurrence", occurrence) + todo("series")) << QByteArray("SUMMARY:occurrence")
            << QByteArray("SUMMARY:series");
        QTest::newRow("occurrences only") << calendar(todo("first", occurrence) + todo("second", occurrence))
                                          << QByteArray("SUMMARY:second") << QByteArray("SUMMARY:first");
        QTest::newRow("a bare item") << todo("bare") << QByteArray("BEGIN:VTODO")
                                     << QByteArray("SUMMARY:bare");
        QTest::newRow("another kind, bare")
            << QByteArray("BEGIN:VJOURNAL\r\nUID:j\r\nSUMMARY:journal\r\nEND:VJOURNAL\r\n")
            << QByteArray("BEGIN:VTODO") << QByteArray("journal;VJOURNAL");
        QTest::newRow("a calendar without the kind")
            << calendar("BEGIN:VJOURNAL\r\nUID:j\r\nSUMMARY:journal\r\nEND:VJOURNAL\r\n")
            << QByteArray("BEGIN:VTODO") << QByteArray("journal;VCALENDAR");
        QTest::newRow("no iCalendar at all")
            << QByteArray("just words\r\n") << QByteArray("BEGIN:VTODO") << QByteArray("words");
    }
    void updateFindsItsItem()
    {
        QFETCH(QByteArray, existing);
        QFETCH(QByteArray, kept);
        QFETCH(QByteArray, gone);
        const TTaskInfo r = task(QStringLiteral("New"));
        const QByteArray text = ICalComponentText(r, TZvICalContext(kBerlin, kNow), existing);
        QVERIFY2(text.contains("SUMMARY:New"), text.constData());
        for (const QByteArray& k : kept.split(';'))
            QVERIFY2(text.contains(k), k.constData());
        for (const QByteArray& g : gone.split(';'))
            QVERIFY2(!text.contains(g), g.constData());
    }

    // Files in the shapes other programs write (hand-written in tests/data/icalendar).
    void readsOtherPrograms_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("skipped"); // events, free/busy, other, occurrences, damaged, oversized
        QTest::newRow("RFC 5545 examples")
            << "rfc5545-examples.ics"
            << QStringList{"T0^-1 20070313T123432Z-456553@example.com<root 'Submit Quebec Income Tax Return "
                           "for 2006' "
                           "done:0 0 due:1 2007-05-01 alarm:0 0 colors:0/0 created:2007-03-13 13:34:32 "
                           "edited:2007-03-13 13:34:32 [categories]",
                           "T1^-1 20070514T103211Z-123404@example.com<root 'Submit Revised Internet-Draft' "
                           "done:0 0 "
                           "due:1 2007-07-09 alarm:0 0 colors:0/0 created:2007-05-14 12:32:11 "
                           "edited:2007-05-14 12:32:11 [priority,start]",
                           "T2^-1 uid4@example.com<root 'Submit Income Taxes' done:0 0 due:1 1998-04-15 "
                           "alarm:0 0 colors:0/0 created:1998-01-30 14:45:00 edited:1998-01-30 14:45:00 "
                           "[reminders,other]",
                           "M3^-1 19970901T130000Z-123405@example.com<root 'Staff meeting minutes/1. Staff "
                           "meeting: "
                           "Participants include Joe, Lisa, and Bob. Aurora project plans were reviewed. "
                           "There is "
                           "currently no budget reserves for this project. Lisa will escalate to management. "
                           "Next "
                           "meeting on Tuesday./2. Telephone Conference: ABC Corp. sales representative "
                           "called to "
                           "discuss new printer. Promised to get us a demo by Friday./3. Henry Miller "
                           "(Handsoff "
                           "Insurance): Car was totaled by tree. Is looking into a loaner car. 555-2323 "
                           "(tel).' "
                           "assigned:1997-03-17 00:00:00 created:1997-09-01 15:00:00 edited:1997-09-01 "
                           "15:00:00 []"}
            << "1,1,0,0,0,0";
        QTest::newRow("desktop suite, zones after the items")
            << "desktop-suite.ics"
            << QStringList{"T0^-1 20240312T081500Z-1234-1000-1-12@host.example<root 'Renew the "
                           "passport/Photos "
                           "first/then the form' done:1 2024-03-20 11:10:10 due:1 2024-04-02 alarm:0 0 "
                           "colors:0/0 created:2024-03-12 09:15:00 edited:2024-03-20 11:10:10 []",
                           "M1^-1 20240301T120000Z-1234-1000-1-13@host.example<root 'Ideas for the "
                           "garden/Tomatoes by the wall' assigned:2024-03-01 00:00:00 created:2024-03-01 "
                           "13:00:00 edited:2024-03-01 13:00:00 []"}
            << "0,0,0,0,0,0";
        QTest::newRow("mail client, relative reminder, sub-tasks")
            << "mail-client.ics"
            << QStringList{"T0^-1 task-1<root 'Plan the trip' done:0 0 due:1 2024-11-04 alarm:1 "
                           "2024-11-04 14:45:00 colors:0/0 created:2024-10-01 14:00:00 edited:2024-10-02 "
                           "14:00:00 [start]",
                           "T1^0 task-2<task-1 'Book the hotel' done:1 2024-10-02 09:30:00 due:0  "
                           "alarm:0 0 colors:0/0 created:2024-10-01 14:05:00 edited:2024-10-01 14:05:00 []",
                           "T2^0 task-3<task-2 'Ask about late check-in' done:0 0 due:0  alarm:0 0 "
                           "colors:0/0 created:2024-10-01 14:10:00 edited:2024-10-01 14:10:00 [other]"}
            << "0,0,0,0,0,0";
        QTest::newRow("phone, LF line ends")
            << "phone-tasks.ics"
            << QStringList{"T0^-1 5b1d6c0e-0000-4000-8000-000000000001<root 'Water the plants' done:1 "
                           "2024-05-09 21:15:00 due:0  alarm:0 0 colors:0/0 created:2024-05-01 10:00:00 "
                           "edited:2024-05-09 21:15:00 [repeat,categories,priority]",
                           "T1^0 5b1d6c0e-0000-4000-8000-000000000002<5b1d6c0e-0000-4000-8000-000000000001 "
                           "'Balcony' done:0 0 due:1 2024-05-13 alarm:0 0 colors:0/0 "
                           "created:2024-05-01 10:01:00 edited:2024-05-01 10:01:00 []",
                           "T2^-1 5b1d6c0e-0000-4000-8000-000000000003<root '/No summary here, only a "
                           "description' done:0 0 due:0  alarm:0 0 colors:0/0 created:2024-05-10 "
                           "08:00:00 edited:2024-05-10 08:00:00 []"}
            << "0,0,0,0,0,0";
        QTest::newRow("reminders app, acknowledged alarms")
            << "reminders-app.ics"
            << QStringList{"T0^-1 8F0D5E2A-1A2B-4C3D-9E8F-0123456789AB<root 'Call the dentist' done:0 0 "
                           "due:0  alarm:0 2024-06-14 09:00:00 colors:0/0 created:2024-06-10 09:00:00 "
                           "edited:2024-06-15 10:15:00 []",
                           "T1^-1 8F0D5E2A-1A2B-4C3D-9E8F-0123456789AC<root 'Pick up the parcel' done:0 0 "
                           "due:0  alarm:1 2024-06-20 18:00:00 colors:0/0 created:2024-06-10 09:05:00 "
                           "edited:2024-06-10 09:05:00 [reminders]"}
            << "0,0,0,0,0,0";
        QTest::newRow("office suite, Windows zone, an occurrence")
            << "office-suite.ics"
            << QStringList{"T0^-1 040000008200E00074C5B7101A82E00800000000<root 'Quarterly report/Quarterly "
                           "figures//Send to finance' done:0 0 due:1 2024-01-10 alarm:0 0 colors:0/0 "
                           "created:2024-01-05 09:30:00 edited:2024-01-05 09:30:00 [repeat]"}
            << "0,0,0,1,0,0";
    }
    void readsOtherPrograms()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, items);
        QFETCH(QString, skipped);
        QFile f(qEnvironmentVariable("ZVJ_SOURCE_DIR") + QStringLiteral("/tests/data/icalendar/") + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QString counts;
        const QStringList lines = readAll(f, kBerlin, &counts);
        QCOMPARE(lines, items);
        QCOMPARE(counts, skipped);
    }

    // Zones the file defines, after its items too; a definition that would make the library
    // expand without end is refused, and the time reads as the local wall clock.
    void fileTimeZones_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("due");
        QTest::addColumn<QByteArray>("tzid"); // the due time's; empty: Custom Zone
        const QByteArray custom = "BEGIN:VTIMEZONE\r\nTZID:Custom Zone\r\nBEGIN:STANDARD\r\n"
                                  "DTSTART:19700101T000000\r\nTZOFFSETFROM:+0530\r\nTZOFFSETTO:+0530\r\n%1"
                                  "END:STANDARD\r\nEND:VTIMEZONE\r\n";
        QTest::newRow("defined after the item")
            << QByteArray(custom).replace("%1", "") << "2023-12-31" << QByteArray();
        QTest::newRow("an endless rule")
            << QByteArray(custom).replace("%1", "RRULE:FREQ=SECONDLY\r\n") << "2024-01-01" << QByteArray();
        QTest::newRow("parts before 1583")
            << QByteArray(custom).replace("%1", "").replace("19700101", "15000101") << "2024-01-01"
            << QByteArray();
        QTest::newRow("not defined") << QByteArray() << "2024-01-01" << QByteArray();
        const QByteArray yearly = "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n";
        QTest::newRow("a yearly rule as zones use it")
            << QByteArray(custom).replace("%1", yearly) << "2023-12-31" << QByteArray();
        QTest::newRow("a part without a start")
            << QByteArray(custom).replace("%1", "").replace("DTSTART:19700101T000000\r\n", "") << "2024-01-01"
            << QByteArray();
        QTest::newRow("a monthly rule")
            << QByteArray(custom).replace("%1", "RRULE:FREQ=MONTHLY;BYMONTHDAY=1\r\n") << "2024-01-01"
            << QByteArray();
        QTest::newRow("a yearly rule by the hour")
            << QByteArray(custom).replace("%1", "RRULE:FREQ=YEARLY;BYHOUR=1,2\r\n") << "2024-01-01"
            << QByteArray();
        QTest::newRow("a yearly rule on two days a month")
            << QByteArray(custom).replace("%1", "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU,1SU\r\n")
            << "2024-01-01" << QByteArray();
        QTest::newRow("nine rules") << QByteArray(custom).replace("%1", yearly.repeated(9)) << "2024-01-01"
                                    << QByteArray();
        for (const char* by : {"BYSECOND=1", "BYMINUTE=1", "BYYEARDAY=1", "BYWEEKNO=1", "BYSETPOS=1",
                               "BYMONTH=3,4", "BYMONTHDAY=1,2,3,4,5,6,7,8"})
            QTest::addRow("a yearly rule with %s", by)
                << QByteArray(custom).replace("%1", "RRULE:FREQ=YEARLY;" + QByteArray(by) + "\r\n")
                << "2024-01-01" << QByteArray();
        QTest::newRow("a zone definition with its ends crossed")
            << QByteArray(custom).replace("%1", "").replace("END:STANDARD\r\nEND:VTIMEZONE",
                                                            "END:VTIMEZONE\r\nEND:STANDARD")
            << "2024-01-01" << QByteArray();
        QTest::newRow("a zone without its name")
            << QByteArray(custom).replace("%1", "").replace("TZID:Custom Zone\r\n", "") << "2024-01-01"
            << QByteArray();
        QTest::newRow("a zone defined twice: the first counts")
            << QByteArray(custom).replace("%1", "") +
                   QByteArray(custom).replace("%1", "").replace("+0530", "-1000")
            << "2023-12-31" << QByteArray();
        QTest::newRow("over 2000 dates")
            << QByteArray(custom).replace("%1", QByteArray("RDATE:19710101T000000\r\n").repeated(2001))
            << "2024-01-01" << QByteArray();
        QTest::newRow("over 200 parts")
            << QByteArray(custom).replace("%1", QByteArray("END:STANDARD\r\nBEGIN:STANDARD\r\n"
                                                           "DTSTART:19700101T000000\r\nTZOFFSETFROM:+0530\r\n"
                                                           "TZOFFSETTO:+0530\r\n")
                                                    .repeated(200))
            << "2024-01-01" << QByteArray();
        // Not defined in the file: the system's zone of that name, when the name is plausible.
        QTest::newRow("a system zone behind a prefix")
            << QByteArray() << "2023-12-31" << QByteArray("/mozilla.org/20050126_1/Asia/Kolkata");
        QTest::newRow("a Windows zone name")
            << QByteArray() << "2023-12-31" << QByteArray("India Standard Time");
        QTest::newRow("a path out of the zone folder")
            << QByteArray() << "2024-01-01" << QByteArray("../../../../proc/self/environ");
        QTest::newRow("an unknown zone") << QByteArray() << "2024-01-01" << QByteArray("Nowhere/Land");
        QTest::newRow("a path behind a known zone's name")
            << QByteArray() << "2024-01-01" << QByteArray("Asia/../../etc/localtime");
        QTest::newRow("a name longer than any zone's")
            << QByteArray() << "2024-01-01" << QByteArray("Asia/" + QByteArray(60, 'K'));
        QTest::newRow("a character no zone name has")
            << QByteArray() << "2024-01-01" << QByteArray("Asia/Kolkata*");
    }
    void fileTimeZones()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, due);
        QFETCH(QByteArray, tzid);
        if (tzid.isEmpty()) tzid = "Custom Zone";
        const QStringList lines =
            readText(calendar(todo("z", "DUE;TZID=" + tzid + ":20240101T020000\r\n") + zone));
        QVERIFY2(lines.value(0).contains(QStringLiteral("due:1 ") + due), qPrintable(lines.value(0)));
    }

    // An update changes only what the task owns, in each state it can be in before and after.
    void updateOwnedParts_data()
    {
        QTest::addColumn<QByteArray>("old"); // empty: no earlier text
        QTest::addColumn<bool>("done");
        QTest::addColumn<int>("reminder"); // 0: none, 1: armed, 2: disarmed with its time
        QTest::addColumn<QString>("content");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("gone");
        const auto inCalendar = [](const QByteArray& lines) {
            return calendar("BEGIN:VTODO\r\nUID:old\r\nSUMMARY:old\r\n" + lines + "END:VTODO\r\n");
        };
        const QByteArray alarm =
            "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:x\r\nTRIGGER:-PT1H\r\n%1END:VALARM\r\n";
        QTest::newRow("undone: the completion goes")
            << inCalendar("STATUS:COMPLETED\r\nCOMPLETED:20240101T000000Z\r\nPERCENT-COMPLETE:100\r\n")
            << false << 0 << "New" << QStringList{"STATUS:NEEDS-ACTION"}
            << QStringList{"COMPLETED", "PERCENT-COMPLETE"};
        QTest::newRow("undone: cancelled stays cancelled")
            << inCalendar("STATUS:CANCELLED\r\nPERCENT-COMPLETE:40\r\n") << false << 0 << "New"
            << QStringList{"STATUS:CANCELLED", "PERCENT-COMPLETE:40"} << QStringList{"NEEDS-ACTION"};
        QTest::newRow("undone, without a status")
            << inCalendar({}) << false << 0 << "New" << QStringList{"STATUS:NEEDS-ACTION"} << QStringList{};
        QTest::newRow("a dismissed reminder: no alarm")
            << inCalendar(QByteArray(alarm).replace("%1", "")) << false << 0 << "New" << QStringList{}
            << QStringList{"VALARM", "TRIGGER"};
        QTest::newRow("disarmed: acknowledged at its time")
            << inCalendar(QByteArray(alarm).replace("%1", "")) << false << 2 << "New"
            << QStringList{"ACKNOWLEDGED:20240602T060000Z"} << QStringList{"-PT1H"};
        QTest::newRow("disarmed: a later acknowledgement stays")
            << inCalendar(QByteArray(alarm).replace("%1", "ACKNOWLEDGED:20240701T000000Z\r\n")) << false << 2
            << "New" << QStringList{"ACKNOWLEDGED:20240701T000000Z"} << QStringList{"ACKNOWLEDGED:20240602"};
        QTest::newRow("armed again: no acknowledgement")
            << inCalendar(QByteArray(alarm).replace("%1", "ACKNOWLEDGED:20240701T000000Z\r\n")) << false << 1
            << "New" << QStringList{"TRIGGER;VALUE=DATE-TIME:20240602T060000Z"}
            << QStringList{"ACKNOWLEDGED"};
        QTest::newRow("a reminder of a task without text")
            << QByteArray() << false << 1 << "" << QStringList{"DESCRIPTION:Reminder"} << QStringList{};
        QTest::newRow("no due time: the duration goes too")
            << inCalendar("DTSTART:20240101T090000Z\r\nDURATION:PT1H\r\nDUE:20240105T100000Z\r\n") << false
            << 0 << "New" << QStringList{"DTSTART"} << QStringList{"DURATION", "DUE"};
        QTest::newRow("a colour taken away")
            << inCalendar("X-ZORVIK-TEXTCOLOR:5\r\nX-ZORVIK-TEXTCOLOR:6\r\n") << false << 0 << "New"
            << QStringList{} << QStringList{"TEXTCOLOR"};
        QTest::newRow("a bare task, not in a calendar")
            << QByteArray("BEGIN:VTODO\r\nUID:old\r\nX-OTHER-APP:keep\r\nEND:VTODO\r\n") << true << 0 << "New"
            << QStringList{"X-OTHER-APP:keep", "STATUS:COMPLETED"} << QStringList{"VCALENDAR"};
        QTest::newRow("earlier text of another kind: written anew")
            << QByteArray("BEGIN:VJOURNAL\r\nUID:old\r\nX-OTHER-APP:gone\r\nEND:VJOURNAL\r\n") << false << 0
            << "New" << QStringList{"BEGIN:VTODO"} << QStringList{"X-OTHER-APP", "VJOURNAL"};
        QTest::newRow("a calendar without a task: written anew")
            << calendar("BEGIN:VJOURNAL\r\nUID:old\r\nEND:VJOURNAL\r\n") << false << 0 << "New"
            << QStringList{"BEGIN:VTODO"} << QStringList{"VJOURNAL", "VCALENDAR"};
        QTest::newRow("earlier text that does not parse")
            << QByteArray("garbage") << false << 0 << "New" << QStringList{"BEGIN:VTODO"}
            << QStringList{"garbage"};
    }
    void updateOwnedParts()
    {
        QFETCH(QByteArray, old);
        QFETCH(bool, done);
        QFETCH(int, reminder);
        QFETCH(QString, content);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, gone);
        TTaskInfo r = task(content);
        r.tid = QStringLiteral("new-uid");
        r.checkFlag = done;
        r.checkTime = done ? at(2024, 6, 3, 12) : 0;
        r.alarmFlag = reminder == 1;
        r.alarmTime = reminder ? at(2024, 6, 2, 8) : 0;
        TZvICalContext context(kBerlin, kNow);
        const QByteArray text = ICalComponentText(r, context, old);
        for (const QString& k : kept)
            QVERIFY2(text.contains(k.toUtf8()), qPrintable(k + QLatin1Char('\n') + QString::fromUtf8(text)));
        for (const QString& g : gone)
            QVERIFY2(!text.contains(g.toUtf8()), qPrintable(g + QLatin1Char('\n') + QString::fromUtf8(text)));
        QCOMPARE(fields(throughText(r, context, old).record), fields(r));
    }

    // The two-level rule on the way in.
    void twoLevels_data()
    {
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<QString>("parents");
        QTest::newRow("grandchild to its top-level item")
            << todo("a") + todo("b", "RELATED-TO:a\r\n") + todo("c", "RELATED-TO;RELTYPE=PARENT:b\r\n")
            << "0:-1 1:0 2:0";
        QTest::newRow("children before their parent")
            << todo("c", "RELATED-TO:b\r\n") + todo("b", "RELATED-TO:a\r\n") + todo("a") << "0:2 1:2 2:-1";
        QTest::newRow("parent not in the file") << todo("a", "RELATED-TO:nowhere\r\n") << "0:-1";
        QTest::newRow("cycle broken at the first item met twice")
            << todo("a", "RELATED-TO:c\r\n") + todo("b", "RELATED-TO:a\r\n") + todo("c", "RELATED-TO:b\r\n")
            << "0:-1 1:0 2:0";
        QTest::newRow("a walk into a cycle")
            << todo("x", "RELATED-TO:a\r\n") + todo("a", "RELATED-TO:b\r\n") + todo("b", "RELATED-TO:a\r\n")
            << "0:1 1:-1 2:1";
        QTest::newRow("its own parent") << todo("a", "RELATED-TO:a\r\n") << "0:-1";
        QTest::newRow("first parent link counts, other relations do not")
            << todo("p") + todo("q") +
                   todo("c",
                        "RELATED-TO;RELTYPE=CHILD:q\r\nRELATED-TO;RELTYPE=\"PARENT\":p\r\nRELATED-TO:q\r\n")
            << "0:-1 1:-1 2:0";
        QTest::newRow("a memo is no parent of a task")
            << "BEGIN:VJOURNAL\r\nUID:j\r\nEND:VJOURNAL\r\n" + todo("t", "RELATED-TO:j\r\n") << "0:-1 1:-1";
        QTest::newRow("a repeated UID: the first one is the parent")
            << todo("a") + todo("a") + todo("b", "RELATED-TO:a\r\n") << "0:-1 1:-1 2:0";
        QTest::newRow("escaped UID") << todo("a\\,b") + todo("c", "RELATED-TO:a\\,b\r\n") << "0:-1 1:0";
        QTest::newRow("escaped new line in either case")
            << todo("a\\nb") + todo("c", "RELATED-TO:a\\Nb\r\n") << "0:-1 1:0";
        QTest::newRow("a lone backslash at the end of a UID")
            << todo("a\\") + todo("c", "RELATED-TO:a\\\r\n") << "0:-1 1:0";
        QTest::newRow("blanks around a parent link")
            << todo("a") + todo("b", "RELATED-TO: a\t\r\n") << "0:-1 1:0";
        QTest::newRow("an empty parent link does not hide the next one")
            << todo("a") + todo("b", "RELATED-TO:\r\nRELATED-TO:a\r\n") << "0:-1 1:0";
        QTest::newRow("a parameter without a value")
            << todo("a") + todo("b", "RELATED-TO;X-A:a\r\n") << "0:-1 1:0";
        QTest::newRow("a parent link without its colon does not hide the next one")
            << todo("a") + todo("b", "RELATED-TO\r\nRELATED-TO:a\r\n") << "0:-1 1:0";
        QTest::newRow("a parameter without a name")
            << todo("a") + todo("b", "RELATED-TO;=CHILD;X-A=1:a\r\n") << "0:-1 1:0";
        QTest::newRow("a second UID does not rename an item")
            << todo("a", "UID:z\r\n") + todo("b", "RELATED-TO:z\r\n") << "0:-1 1:-1";
        QTest::newRow("links inside an alarm are not the item's")
            << todo("a", "BEGIN:VALARM\r\nUID:z\r\nEND:VALARM\r\n") + todo("b", "RELATED-TO:z\r\n") +
                   todo("c", "BEGIN:VALARM\r\nRELATED-TO:a\r\nEND:VALARM\r\n")
            << "0:-1 1:-1 2:-1";
    }
    void twoLevels()
    {
        QFETCH(QByteArray, items);
        QFETCH(QString, parents);
        QCOMPARE(families(items), parents);
    }

    // What no reader may take, and what it skips with a count.
    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");   // empty: read
        QTest::addColumn<QString>("skipped"); // events, free/busy, other, occurrences, damaged, oversized
        QTest::addColumn<QString>("first");   // the first item's line starts with this
        const QString notICal = QStringLiteral("The file is not an iCalendar file.");
        QTest::newRow("empty") << QByteArray() << notICal << ""
                               << "";
        QTest::newRow("text") << QByteArray("Dear diary,\nBEGIN:VCALENDAR\n") << notICal << ""
                              << "";
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0", 11) << notICal << ""
                                << "";
        QTest::newRow("byte-order mark, lone CR line ends")
            << QByteArray("\xEF\xBB\xBF"
                          "BEGIN:VCALENDAR\rBEGIN:VTODO\rUID:u\rSUMMARY:s\rEND:VTODO\rEND:VCALENDAR\r")
            << ""
            << "0,0,0,0,0,0"
            << "T0^-1 u<root 's'";
        QTest::newRow("folded anywhere, tab continuation, NUL bytes")
            << calendar(
                   QByteArray("BEG\r\n IN:VTODO\r\nUID:u\r\nSUMMARY:a\0b\r\n\tc\r\nEND:VTO\r\n DO\r\n", 53))
            << ""
            << "0,0,0,0,0,0"
            << "T0^-1 u<root 'abc'";
        QTest::newRow("nested too deep")
            << calendar(
                   todo("deep",
                        "BEGIN:VALARM\r\nBEGIN:X-A\r\nBEGIN:X-B\r\nEND:X-B\r\nEND:X-A\r\nEND:VALARM\r\n") +
                   todo("fine"))
            << ""
            << "0,0,0,0,1,0"
            << "T0^-1 fine";
        QTest::newRow("ends crossed")
            << calendar("BEGIN:VTODO\r\nUID:x\r\nBEGIN:VALARM\r\nEND:VTODO\r\nEND:VALARM\r\n" + todo("fine"))
            << ""
            << "0,0,0,0,1,0"
            << "T0^-1 fine";
        QTest::newRow("cut short inside an item")
            << QByteArray("BEGIN:VCALENDAR\r\n") + todo("whole") + "BEGIN:VTODO\r\nUID:cut\r\nSUMM"
            << ""
            << "0,0,0,0,1,0"
            << "T0^-1 whole";
        QTest::newRow("a calendar ends inside an item")
            << QByteArray("BEGIN:VCALENDAR\r\nBEGIN:VJOURNAL\r\nUID:j\r\nEND:VCALENDAR\r\n") +
                   calendar(todo("next"))
            << ""
            << "0,0,0,0,1,0"
            << "T0^-1 next";
        QTest::newRow("dates outside 0001-9999")
            << calendar(todo(
                   "d",
                   "DUE;VALUE=DATE:00000101\r\nCREATED:99991231T233000Z\r\nDTSTAMP:20240101T000000Z\r\n"))
            << ""
            << "0,0,0,0,0,0"
            << "T0^-1 d<root 'd' done:0 0 due:0  alarm:0 0 colors:0/0 created:2024-01-01 01:00:00";
        QTest::newRow("a first line over the limit")
            << QByteArray(TZvICalLimits::kLineBytes + 1, 'B') + "\r\n" + calendar(todo("u")) << notICal << ""
            << "";
        QTest::newRow("BEGIN without a value") << QByteArray("BEGIN\r\n") + todo("u") << notICal << ""
                                               << "";
        QTest::newRow("an item without its calendar") << todo("u") << notICal << ""
                                                      << "";
        QTest::newRow("only blank lines") << QByteArray("\r\n\n\r \r\n") << notICal << ""
                                          << "";
        QTest::newRow("blank lines and blanks around names")
            << QByteArray("\r\n\r\nBEGIN: vcalendar\t\r\n\r\nBEGIN:VTODO \r\nUID:u\r\n\r\nSUMMARY:s\r\n"
                          "END: VTODO\r\nEND:VCALENDAR\r\n")
            << ""
            << "0,0,0,0,0,0"
            << "T0^-1 u<root 's'";
        QTest::newRow("a long line between items is left out")
            << calendar("X-LONG:" + QByteArray(TZvICalLimits::kLineBytes, 'x') + "\r\n" + todo("a")) << ""
            << "0,0,0,0,0,0"
            << "T0^-1 a<root 'a'";
        QTest::newRow("a changed occurrence")
            << calendar(todo("r", "RECURRENCE-ID:20240101T000000Z\r\n") + todo("a")) << ""
            << "0,0,0,1,0,0"
            << "T0^-1 a";
        QTest::newRow("an end of nothing open")
            << calendar("END:VTODO\r\n" + todo("x", "END:VALARM\r\n") + todo("a")) << ""
            << "0,0,0,0,1,0"
            << "T0^-1 a";
        QTest::newRow("items after the calendar's end")
            << calendar(todo("a")) + todo("b") + "END:VCALENDAR\r\n"
            << ""
            << "0,0,0,0,0,0"
            << "T0^-1 a";
        QTest::newRow("other entries and free/busy")
            << calendar("BEGIN:VFREEBUSY\r\nEND:VFREEBUSY\r\nBEGIN:X-THING\r\nEND:X-THING\r\n" + todo("a"))
            << ""
            << "0,1,1,0,0,0"
            << "T0^-1 a";
        QTest::newRow("a BEGIN line with a parameter: an item without values")
            << calendar("BEGIN;X-A=1:VTODO\r\nUID:p\r\nSUMMARY:s\r\nEND:VTODO\r\n") << ""
            << "0,0,0,0,0,0"
            << "T0^-1 p<root '' done:0";
        QTest::newRow("values that do not parse")
            << calendar(todo("v",
                             "DUE:tomorrow\r\nX-ZORVIK-TEXTCOLOR:red\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                             "TRIGGER:-PT5M\r\nEND:VALARM\r\n"))
            << ""
            << "0,0,0,0,0,0"
            << "T0^-1 v<root 'v' done:0 0 due:0  alarm:0 0 colors:0/0";
    }
    void badFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QFETCH(QString, skipped);
        QFETCH(QString, first);
        QString counts;
        QStringList lines;
        try {
            lines = readText(bytes, &counts);
            QVERIFY2(error.isEmpty(), qPrintable(lines.join('\n')));
        } catch (const EZvError& e) {
            QCOMPARE(e.message(), error);
            return;
        }
        QCOMPARE(counts, skipped);
        QVERIFY2(!lines.isEmpty() && lines.first().startsWith(first), qPrintable(lines.join('\n')));
        if (QTest::currentDataTag() == QLatin1String("dates outside 0001-9999") ||
            QTest::currentDataTag() == QLatin1String("values that do not parse") ||
            QTest::currentDataTag() == QLatin1String("a BEGIN line with a parameter: an item without values"))
            QVERIFY2(lines.first().endsWith(QLatin1String("[unreadable]")), qPrintable(lines.first()));
    }

    // What an item read from another program's file cannot keep is counted, and what it
    // keeps whole is not: a loss counted wrongly either hides lost data or alarms for none.
    void lossesOnTheWayIn_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("losses");
        const QByteArray alarm =
            "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT5M\r\nDESCRIPTION:x\r\nEND:VALARM\r\n";
        const QByteArray due = "DUE:20240102T100000Z\r\n";
        QTest::newRow("two descriptions")
            << QByteArray("VTODO") << QByteArray("DESCRIPTION:a\r\nDESCRIPTION:b\r\n") << "other";
        QTest::newRow("a cancelled task")
            << QByteArray("VTODO") << QByteArray("STATUS:CANCELLED\r\n") << "other";
        QTest::newRow("a task still to do")
            << QByteArray("VTODO") << QByteArray("STATUS:NEEDS-ACTION\r\n") << "";
        QTest::newRow("half done") << QByteArray("VTODO") << QByteArray("PERCENT-COMPLETE:50\r\n") << "other";
        QTest::newRow("not started") << QByteArray("VTODO") << QByteArray("PERCENT-COMPLETE:0\r\n") << "";
        QTest::newRow("no priority") << QByteArray("VTODO") << QByteArray("PRIORITY:0\r\n") << "";
        QTest::newRow("a priority") << QByteArray("VTODO") << QByteArray("PRIORITY:1\r\n") << "priority";
        QTest::newRow("a place") << QByteArray("VTODO") << QByteArray("LOCATION:home\r\n") << "other";
        QTest::newRow("another program's own line")
            << QByteArray("VTODO") << QByteArray("X-OTHER-APP:1\r\n") << "";
        QTest::newRow("an exception date")
            << QByteArray("VTODO") << QByteArray("EXDATE:20240105T100000Z\r\n") << "repeat";
        QTest::newRow("an attachment")
            << QByteArray("VTODO") << QByteArray("ATTACH:https://x.example/a\r\n") << "attach";
        QTest::newRow("one reminder") << QByteArray("VTODO") << due + alarm << "";
        QTest::newRow("two reminders") << QByteArray("VTODO") << due + alarm + alarm << "reminders";
        QTest::newRow("a sound reminder only")
            << QByteArray("VTODO") << due + "BEGIN:VALARM\r\nACTION:AUDIO\r\nTRIGGER:-PT5M\r\nEND:VALARM\r\n"
            << "reminders";
        QTest::newRow("a part of its own")
            << QByteArray("VTODO") << QByteArray("BEGIN:X-PART\r\nEND:X-PART\r\n") << "other";
        QTest::newRow("a creation time that does not read")
            << QByteArray("VTODO") << QByteArray("CREATED:20241399T000000Z\r\n") << "unreadable";
        QTest::newRow("a memo's status")
            << QByteArray("VJOURNAL") << QByteArray("STATUS:CANCELLED\r\n") << "";
        QTest::newRow("a memo's start")
            << QByteArray("VJOURNAL") << QByteArray("DTSTART:20240101T090000Z\r\n") << "";
        QTest::newRow("a memo's start that does not read")
            << QByteArray("VJOURNAL") << QByteArray("DTSTART:99991231T235959Z\r\n") << "unreadable";
        QTest::newRow("a memo's creation time that does not read")
            << QByteArray("VJOURNAL") << QByteArray("CREATED:20241399T000000Z\r\n") << "unreadable";
        QTest::newRow("a memo's categories")
            << QByteArray("VJOURNAL") << QByteArray("CATEGORIES:a,b\r\n") << "categories";
    }
    void lossesOnTheWayIn()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, lines);
        QFETCH(QString, losses);
        const QStringList read = readText(
            calendar("BEGIN:" + kind + "\r\nUID:u\r\nSUMMARY:s\r\n" + lines + "END:" + kind + "\r\n"));
        QCOMPARE(read.size(), 1);
        QVERIFY2(read[0].endsWith(QLatin1Char('[') + losses + QLatin1Char(']')), qPrintable(read[0]));
    }

    // How a task of another program's file becomes a row: done from any of its three
    // signs, the due time from a start and a duration, the reminder from either end.
    void taskFieldsRead_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("has"); // the read line contains this
        QTest::addColumn<QString>("losses");
        const QByteArray start = "DTSTART:20240110T080000Z\r\n", due = "DUE:20240110T100000Z\r\n";
        const auto alarm = [](const QByteArray& lines) {
            return "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:r\r\n" + lines + "END:VALARM\r\n";
        };
        QTest::newRow("done at 100 %, its last change the time")
            << QByteArray("PERCENT-COMPLETE:100\r\nLAST-MODIFIED:20240301T100000Z\r\n")
            << "done:1 2024-03-01 11:00:00"
            << "";
        QTest::newRow("done without any time: now")
            << QByteArray("STATUS:COMPLETED\r\n") << "done:1 2024-06-01 14:00:00"
            << "";
        QTest::newRow("a completion time without a status")
            << QByteArray("COMPLETED:20240201T080000Z\r\n") << "done:1 2024-02-01 09:00:00"
            << "";
        QTest::newRow("a completion time, yet still to do")
            << QByteArray("STATUS:NEEDS-ACTION\r\nCOMPLETED:20240201T080000Z\r\n") << "done:0 0 "
            << "";
        QTest::newRow("due from its start and duration") << start + "DURATION:PT2H\r\n"
                                                         << "due:1 2024-01-10 "
                                                         << "";
        QTest::newRow("a start and nothing it serves") << start << "due:0 "
                                                       << "start";
        QTest::newRow("a reminder before the due time")
            << due + alarm("TRIGGER;RELATED=END:-PT1H\r\n") << "alarm:1 2024-01-10 10:00:00"
            << "";
        QTest::newRow("a reminder before the start")
            << start + due + alarm("TRIGGER:-PT30M\r\n") << "alarm:1 2024-01-10 08:30:00"
            << "";
        QTest::newRow("before the due time, with only a start")
            << start + alarm("TRIGGER;RELATED=END:PT0S\r\n") << "alarm:1 2024-01-10 09:00:00"
            << "";
        QTest::newRow("before the start, with only a due time")
            << due + alarm("TRIGGER:-PT1H\r\n") << "alarm:1 2024-01-10 10:00:00"
            << "";
        QTest::newRow("a relative reminder with nothing to count from")
            << alarm("TRIGGER:-PT1H\r\n") << "alarm:0 0 "
            << "unreadable";
        QTest::newRow("a reminder at a time of its own")
            << alarm("TRIGGER;VALUE=DATE-TIME:20240110T070000Z\r\n") << "alarm:1 2024-01-10 08:00:00"
            << "";
        QTest::newRow("dismissed after it rang")
            << alarm("TRIGGER;VALUE=DATE-TIME:20240110T070000Z\r\nACKNOWLEDGED:20240110T070500Z\r\n")
            << "alarm:0 2024-01-10 08:00:00"
            << "";
        QTest::newRow("dismissed before it rang again")
            << alarm("TRIGGER;VALUE=DATE-TIME:20240110T070000Z\r\nACKNOWLEDGED:20240109T070000Z\r\n")
            << "alarm:1 2024-01-10 08:00:00"
            << "";
        QTest::newRow("colors at either end of their range")
            << QByteArray("X-ZORVIK-TEXTCOLOR:4294967295\r\nX-ZORVIK-BACKGROUNDCOLOR: -2147483648\r\n")
            << "colors:-1/-2147483648"
            << "";
        QTest::newRow("a due day without a time")
            << QByteArray("DUE;VALUE=DATE:20240110\r\n") << "due:1 2024-01-10 "
            << "";
        QTest::newRow("a due time on the wall clock")
            << QByteArray("DUE:20240110T233000\r\n") << "due:1 2024-01-10 "
            << "";
        QTest::newRow("a due time the store cannot hold")
            << QByteArray("DUE:99991231T235959Z\r\n") << "due:0 "
            << "unreadable";
        QTest::newRow("a due time at hour 25") << QByteArray("DUE:20240110T250000Z\r\n") << "due:0 "
                                               << "unreadable";
        QTest::newRow("a due time at minute 60") << QByteArray("DUE:20240110T106000Z\r\n") << "due:0 "
                                                 << "unreadable";
        QTest::newRow("a due time at second 61") << QByteArray("DUE:20240110T100061Z\r\n") << "due:0 "
                                                 << "unreadable";
        QTest::newRow("a duration past every calendar") << start + "DURATION:P9999999W\r\n"
                                                        << "due:0 "
                                                        << "unreadable";
        QTest::newRow("a duration back before every calendar") << start + "DURATION:-P9999999W\r\n"
                                                               << "due:0 "
                                                               << "unreadable";
        QTest::newRow("before the due time, with neither it nor a start")
            << alarm("TRIGGER;RELATED=END:-PT1H\r\n") << "alarm:0 0 "
            << "unreadable";
        QTest::newRow("dismissed on the wall clock")
            << alarm("TRIGGER;VALUE=DATE-TIME:20240110T070000Z\r\nACKNOWLEDGED:20240110T090500\r\n")
            << "alarm:0 2024-01-10 08:00:00"
            << "";
        QTest::newRow("colors beyond their range")
            << QByteArray("X-ZORVIK-TEXTCOLOR:4294967296\r\nX-ZORVIK-BACKGROUNDCOLOR:-2147483649\r\n")
            << "colors:0/0"
            << "unreadable";
    }
    void taskFieldsRead()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, has);
        QFETCH(QString, losses);
        const QStringList read = readText(calendar(todo("t", lines)));
        QCOMPARE(read.size(), 1);
        QVERIFY2(read[0].contains(has), qPrintable(read[0]));
        QVERIFY2(read[0].endsWith(QLatin1Char('[') + losses + QLatin1Char(']')), qPrintable(read[0]));
    }

    // A line over the limit is left out of its item; an item over its limit is skipped.
    void limits()
    {
        const QByteArray mega(TZvICalLimits::kLineBytes, 'x');
        QString counts;
        QStringList lines =
            readText(calendar(todo("long", "DESCRIPTION:" + mega + "\r\n") + todo("next")), &counts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith("T0^-1 long<root 'long'") && lines[0].endsWith("[oversized]"),
                 qPrintable(lines[0]));
        // Folded into short lines, the same length still counts once unfolded.
        QByteArray folded;
        for (int i = 0; i < 20000; ++i)
            folded += QByteArray(60, 'y') + "\r\n ";
        lines = readText(calendar(todo("folded", "DESCRIPTION:" + folded + "\r\n")));
        QVERIFY2(lines.value(0).endsWith("[oversized]"), qPrintable(lines.value(0).right(40)));
        // 17 lines just under the line limit: over the item limit.
        QByteArray big;
        for (int i = 0; i < 17; ++i)
            big += "X-PAD:" + QByteArray(TZvICalLimits::kLineBytes - 10, 'z') + "\r\n";
        lines = readText(calendar(todo("big", big) + todo("small")), &counts);
        QCOMPARE(counts, QStringLiteral("0,0,0,0,0,1"));
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].startsWith("T0^-1 small"));
    }

    // A flood of tiny items is refused before anything is read into memory beyond ids;
    // a flood of events is only counted.
    void floods()
    {
        QByteArray many("BEGIN:VCALENDAR\r\n");
        many.reserve(26 * (TZvICalLimits::kItems + 2));
        for (int i = 0; i <= TZvICalLimits::kItems; ++i)
            many += "BEGIN:VTODO\r\nEND:VTODO\r\n";
        bool refused = false;
        try {
            readText(many);
        } catch (const EZvError& e) {
            refused = e.message().contains(QLatin1String("more than 1,000,000"));
        }
        QVERIFY(refused);
        many.replace("VTODO", "VEVENT");
        QString counts;
        QCOMPARE(readText(many, &counts), QStringList());
        QCOMPARE(counts, QStringLiteral("1000001,0,0,0,0,0"));
    }

    // A file that changes between the two passes is not read on with the old links.
    void changedBetweenPasses_data()
    {
        QTest::addColumn<QByteArray>("after"); // the file at the second pass
        QTest::addColumn<int>("read");         // items read before the change shows
        QTest::newRow("a UID changed") << calendar(todo("z") + todo("b", "RELATED-TO:a\r\n")) << 0;
        QTest::newRow("an item added")
            << calendar(todo("a") + todo("b", "RELATED-TO:a\r\n") + todo("c")) << 2;
        QTest::newRow("an item gone") << calendar(todo("a")) << 1;
        QTest::newRow("a task now a memo")
            << calendar(todo("a") + "BEGIN:VJOURNAL\r\nUID:b\r\nRELATED-TO:a\r\nEND:VJOURNAL\r\n") << 1;
        QTest::newRow("a UID dropped")
            << calendar(todo("a") + "BEGIN:VTODO\r\nSUMMARY:b\r\nRELATED-TO:a\r\nEND:VTODO\r\n") << 1;
    }
    void changedBetweenPasses()
    {
        QFETCH(QByteArray, after);
        QFETCH(int, read);
        QByteArray bytes = calendar(todo("a") + todo("b", "RELATED-TO:a\r\n"));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        TZvICalContext context(kBerlin, kNow);
        TZvICalFileReader reader(buffer, context);
        QVERIFY(reader.scan());
        bytes = after;
        TZvICalFileReader::Item item;
        for (int i = 0; i < read; ++i)
            QVERIFY(reader.next(item));
        QVERIFY_THROWS_EXCEPTION(EZvError, reader.next(item));
    }

    // A scan its caller stops reads nothing on.
    void stoppedScan()
    {
        QByteArray bytes = calendar(todo("a", "DESCRIPTION:" + QByteArray(200 * 1024, 'x') + "\r\n"));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        TZvICalContext context(kBerlin, kNow);
        TZvICalFileReader reader(buffer, context);
        int ticks = 0;
        QVERIFY(!reader.scan([&] { return ++ticks < 2; }));
        QCOMPARE(ticks, 2);
    }

    void fileLimits()
    {
        zvtest::TempProgramFolder folder(false);
        QFile file;
        const QString name = folder.path() + QStringLiteral("huge.ics");
        {
            QFile huge(name);
            QVERIFY(huge.open(QIODevice::WriteOnly));
            QVERIFY(huge.resize(TZvICalLimits::kFileBytes + 1)); // sparse: no disk used
        }
        QVERIFY_THROWS_EXCEPTION(EZvError, OpenICalendarFile(file, name));
        QVERIFY_THROWS_EXCEPTION(EZvError, OpenICalendarFile(file, folder.path())); // a folder
        QVERIFY_THROWS_EXCEPTION(EZvError, OpenICalendarFile(file, QStringLiteral("/dev/zero")));
    }

    void closingMessage_data()
    {
        QTest::addColumn<QList<int>>("counts"); // tasks, memos, then the skip counts
        QTest::addColumn<QList<int>>("losses"); // task losses per kind, then memo losses
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing left out")
            << QList<int>{2, 1, 0, 0, 0, 0, 0, 0} << QList<int>() << "Imported 2 tasks and 1 memo.";
        QTest::newRow("as the issue says")
            << QList<int>{5, 0, 3, 0, 0, 0, 0, 0} << QList<int>{2}
            << "Imported 5 tasks and 0 memos. Not imported: 3 events; kept without repeat rule: 2 tasks.";
        QTest::newRow("a loss among memos only")
            << QList<int>{0, 1, 0, 0, 0, 0, 0, 0} << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}
            << "Imported 0 tasks and 1 memo. Kept without categories: 1 memo.";
        QTest::newRow("several of each")
            << QList<int>{1, 2, 0, 1, 0, 2, 1, 0} << QList<int>{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1}
            << "Imported 1 task and 2 memos. Not imported: 1 free/busy entry, 2 changed occurrences of "
               "repeating "
               "items, 1 damaged item; kept without categories: 1 task and 1 memo.";
    }
    void closingMessage()
    {
        QFETCH(QList<int>, counts);
        QFETCH(QList<int>, losses);
        QFETCH(QString, message);
        TZvICalTally tally;
        tally.tasks = counts[0];
        tally.memos = counts[1];
        for (int k = 0; k < kICalSkipKinds; ++k)
            tally.skipped[size_t(k)] = counts[2 + k];
        for (int k = 0; k < losses.size(); ++k)
            (k < kICalLossKinds ? tally.taskLosses[size_t(k)]
                                : tally.memoLosses[size_t(k - kICalLossKinds)]) = losses[k];
        QCOMPARE(tally.message(), message);
    }
};

QTEST_MAIN(TstICalendar)
#include "tst_icalendar.moc"

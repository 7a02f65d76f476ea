// The multistatus reader: the shapes real servers answer in (any prefix, propstats of other
// statuses, removed members), and hostile answers: entities, depth, sizes, not XML at all.
#include "ZvTestSupport.h"
#include "store/ZvError.h"
#include "sync/ZvDavXml.h"

#include <QTest>

using namespace zv;

namespace {

// One line per response: href, its own status, etag, calendar/collection, components,
// data (its size) or "oversized"; then the report's token.
QString summary(const TZvMultistatus& m)
{
    QStringList lines;
    for (const TZvDavResponse& r : m.responses) {
        const TZvDavProps& p = r.props;
        QString data = p.oversized         ? QStringLiteral("oversized")
                       : p.hasCalendarData ? QString::number(p.calendarData.size())
                                           : QStringLiteral("-");
        lines << QStringLiteral("%1 %2 %3 %4%5 %6 %7 %8 %9 %10")
                     .arg(r.href)
                     .arg(r.status)
                     .arg(p.etag.isEmpty() ? QStringLiteral("-") : p.etag)
                     .arg(p.calendar ? QStringLiteral("cal") : QStringLiteral(""))
                     .arg(p.collection ? QStringLiteral("col") : QStringLiteral(""))
                     .arg(p.components ? p.components->join(QLatin1Char(',')) : QStringLiteral("any"))
                     .arg(p.displayName.isEmpty() ? QStringLiteral("-") : p.displayName)
                     .arg(p.principal.isEmpty() ? QStringLiteral("-") : p.principal)
                     .arg(p.calendarHome.isEmpty() ? QStringLiteral("-") : p.calendarHome)
                     .arg(data);
    }
    if (!m.syncToken.isEmpty()) lines << QStringLiteral("token ") + m.syncToken;
    return lines.join(QLatin1Char('\n'));
}

QByteArray nested(int depth)
{
    QByteArray open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<d:prop>";
        close.prepend("</d:prop>");
    }
    return "<d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>/a</d:href>" + open + close +
           "</d:response></d:multistatus>";
}

} // namespace

class TstDavXml : public QObject
{
    Q_OBJECT
private slots:
    void readsServerShapes_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");

        QTest::newRow("default namespace, removed member, token")
            << QByteArray(
                   "<?xml version='1.0' encoding='utf-8'?><multistatus xmlns=\"DAV:\">"
                   "<sync-token>http://x/sync/2</sync-token>"
                   "<response><href>/u/t/a.ics</href><propstat><prop><getetag>\"e1\"</getetag></prop>"
                   "<status>HTTP/1.1 200 OK</status></propstat></response>"
                   "<response><href>/u/t/b.ics</href><status>HTTP/1.1 404 Not Found</status></response>"
                   "</multistatus>")
            << QStringLiteral(
                   "/u/t/a.ics 0 \"e1\"  any - - - -\n/u/t/b.ics 404 -  any - - - -\ntoken http://x/sync/2");
        QTest::newRow("numbered prefixes, status first, a 404 propstat left out")
            << QByteArray("<ns0:multistatus xmlns:ns0=\"DAV:\" xmlns:ns1=\"urn:ietf:params:xml:ns:caldav\">"
                          "<ns0:response><ns0:href>/user/calendars/tasks/</ns0:href>"
                          "<ns0:propstat><ns0:status>HTTP/1.1 200 OK</ns0:status><ns0:prop>"
                          "<ns0:displayname>Zorvik Jotboard tasks</ns0:displayname>"
                          "<ns1:supported-calendar-component-set><ns1:comp name=\"VTODO\" /><ns1:comp "
                          "name=\"vjournal\"/>"
                          "</ns1:supported-calendar-component-set>"
                          "<ns0:resourcetype><ns0:collection /><ns1:calendar /></ns0:resourcetype></ns0:prop>"
                          "</ns0:propstat><ns0:propstat><ns0:status>HTTP/1.1 404 Not Found</ns0:status>"
                          "<ns0:prop><ns0:getetag>\"not this\"</ns0:getetag></ns0:prop></ns0:propstat>"
                          "</ns0:response></ns0:multistatus>")
            << QStringLiteral("/user/calendars/tasks/ 0 - calcol VTODO,VJOURNAL Zorvik Jotboard tasks - - -");
        QTest::newRow("principal and home, an empty component set")
            << QByteArray(
                   "<D:multistatus xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><D:response>"
                   "<D:href>/p/</D:href><D:propstat><D:prop><D:current-user-principal><D:href> /p/me/ "
                   "</D:href></D:current-user-principal><C:calendar-home-set><D:href>/cal/me/</D:href>"
                   "<D:href>/other/</D:href></C:calendar-home-set><C:supported-calendar-component-set/>"
                   "</D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response></D:multistatus>")
            << QStringLiteral("/p/ 0 -   - /p/me/ /cal/me/ -");
        // XML reads every CR LF as LF, in CDATA too.
        QTest::newRow("calendar data in CDATA, unknown elements skipped")
            << QByteArray("<multistatus xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><x:junk "
                          "xmlns:x=\"y\">"
                          "<x:deep><response/></x:deep></x:junk><response><href>/a.ics</href><propstat><prop>"
                          "<getetag>W/\"7\"</getetag><C:calendar-data><![CDATA[BEGIN:VCALENDAR\r\n]]>"
                          "END:VCALENDAR</C:calendar-data><C:unknown><prop/></C:unknown></prop>"
                          "<status>HTTP/1.1 200 OK</status></propstat></response></multistatus>")
            << QStringLiteral("/a.ics 0 W/\"7\"  any - - - 29");
        QTest::newRow("the same name in another namespace is not DAV's")
            << QByteArray(
                   "<multistatus xmlns=\"DAV:\"><response><href>/a</href><propstat><prop>"
                   "<getetag xmlns=\"urn:other\">\"x\"</getetag></prop><status>HTTP/1.1 200 OK</status>"
                   "</propstat></response></multistatus>")
            << QStringLiteral("/a 0 -  any - - - -");
        const QByteArray big(TZvDavLimits::kItemBytes + 1, 'x');
        QTest::newRow("an item over 1 MB is left out, the rest is read")
            << QByteArray(
                   "<multistatus xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><response>"
                   "<href>/big.ics</href><propstat><prop><getetag>\"b\"</getetag><C:calendar-data>" +
                   big +
                   "</C:calendar-data></prop><status>HTTP/1.1 200 OK</status></propstat></response>"
                   "<response><href>/small.ics</href><propstat><prop><C:calendar-data>x</C:calendar-data>"
                   "</prop><status>HTTP/1.1 200 OK</status></propstat></response></multistatus>")
            << QStringLiteral("/big.ics 0 \"b\"  any - - - oversized\n/small.ics 0 -  any - - - 1");
        // Multi-byte characters: the limit counts bytes of UTF-8, not characters.
        const QByteArray wide = QString(TZvDavLimits::kItemBytes / 3 + 1, QChar(0x20AC)).toUtf8();
        QTest::newRow("1 MB counted in bytes")
            << QByteArray("<multistatus xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><response>"
                          "<href>/w.ics</href><propstat><prop><C:calendar-data>" +
                          wide +
                          "</C:calendar-data></prop><status>HTTP/1.1 200 OK</status></propstat></response>"
                          "</multistatus>")
            << QStringLiteral("/w.ics 0 -  any - - - oversized");
    }
    void readsServerShapes()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        QCOMPARE(summary(ParseMultistatus(body)), expected);
    }

    void refusesHostileAnswers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("error");

        QTest::newRow("entity expansion")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE m [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
                          "\"&a;&a;&a;&a;\">]>"
                          "<multistatus xmlns=\"DAV:\"><response><href>&b;</href></response></multistatus>")
            << QStringLiteral("document type");
        QTest::newRow("external entity")
            << QByteArray("<!DOCTYPE m SYSTEM \"file:///etc/passwd\"><multistatus xmlns=\"DAV:\"/>")
            << QStringLiteral("document type");
        QTest::newRow("not XML") << QByteArray("<html><body>502 Bad Gateway")
                                 << QStringLiteral("no multistatus");
        QTest::newRow("broken XML") << QByteArray("<multistatus xmlns=\"DAV:\"><response><href>/a</hr")
                                    << QStringLiteral("cannot be read");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("cannot be read");
        QTest::newRow("cut short") << QByteArray("<multistatus xmlns=\"DAV:\"><response>")
                                   << QStringLiteral("cannot be read");
        QTest::newRow("no namespace")
            << QByteArray("<multistatus><response/></multistatus>") << QStringLiteral("no multistatus");
        QTest::newRow("nested too deeply") << nested(40) << QStringLiteral("nested too deeply");
        QTest::newRow("an href over 64 KiB")
            << QByteArray("<multistatus xmlns=\"DAV:\"><response><href>" + QByteArray(70000, 'h') +
                          "</href></response></multistatus>")
            << QStringLiteral("too long");
    }
    void refusesHostileAnswers()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, error);
        const QString got = zvtest::raiseText([&] { ParseMultistatus(body); });
        QVERIFY2(got.contains(error), qPrintable(got));
    }

    void nestingWithinTheLimitReads() { QCOMPARE(ParseMultistatus(nested(20)).responses.size(), size_t(1)); }

    void statusLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("status");
        QTest::newRow("ok") << QStringLiteral("HTTP/1.1 200 OK") << 200;
        QTest::newRow("blanks") << QStringLiteral("  HTTP/1.1   404  Not Found ") << 404;
        QTest::newRow("no reason") << QStringLiteral("HTTP/2 412") << 412;
        QTest::newRow("not a status") << QStringLiteral("200 OK") << 0;
        QTest::newRow("no number") << QStringLiteral("HTTP/1.1 OK") << 0;
        QTest::newRow("out of range") << QStringLiteral("HTTP/1.1 99999 x") << 0;
    }
    void statusLines()
    {
        QFETCH(QString, line);
        QFETCH(int, status);
        QCOMPARE(StatusOfLine(line), status);
    }
};

QTEST_GUILESS_MAIN(TstDavXml)
#include "tst_davxml.moc"

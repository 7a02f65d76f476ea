// The shared routines: time texts and their parser, the message boxes and the
// program-wide error box, line flattening, new ids.
#include "ZvTestSupport.h"
#include "store/ZvGuard.h"
#include "store/pU_Funcs.h"

#include <QRegularExpression>
#include <QSet>
#include <QtTest>
#include <cstdlib>
#include <ctime>

using namespace zv;

Q_DECLARE_METATYPE(zv::MsgIcon)
Q_DECLARE_METATYPE(zv::MsgButtons)

namespace {

TDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return EncodeDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

// Sets the process's zone for one test and puts it back afterwards.
struct ZoneScope
{
    QByteArray old;
    bool had;
    explicit ZoneScope(const char* zone) : old(qgetenv("TZ")), had(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ZoneScope()
    {
        if (had)
            qputenv("TZ", old);
        else
            qunsetenv("TZ");
        tzset();
    }
};

// A row of two texts (clang-format would put each on a line of its own).
void textRow(const char* name, const char* a, const char* b)
{
    QTest::newRow(name) << QString::fromUtf8(a) << QString::fromUtf8(b);
}

} // namespace

class TstFuncs : public QObject
{
    Q_OBJECT

private slots:
    void init() { zvtest::ResetSeams(); }
    void cleanup() { zvtest::ResetSeams(); }

    void isoDateTimeText_data()
    {
        QTest::addColumn<TDateTime>("value");
        QTest::addColumn<int>("bias");
        QTest::addColumn<QString>("text");
        const TDateTime v = at(2009, 6, 19, 22, 22, 17);
        QTest::newRow("UTC+2") << v << -120 << "2009-06-19T22:22:17.000+02:00";
        QTest::newRow("UTC-5") << v << 300 << "2009-06-19T22:22:17.000-05:00";
        QTest::newRow("UTC+5:30") << v << -330 << "2009-06-19T22:22:17.000+05:30";
        QTest::newRow("UTC") << v << 0 << "2009-06-19T22:22:17.000Z";
        QTest::newRow("zero date") << 0.0 << -60 << "1899-12-30T00:00:00.000+01:00";
        QTest::newRow("zero date UTC") << 0.0 << 0 << "1899-12-30T00:00:00.000Z";
        QTest::newRow("milliseconds dropped")
            << at(2020, 1, 2, 3, 4, 5, 678) << 0 << "2020-01-02T03:04:05.000Z";
        QTest::newRow("before the epoch") << -1.25 << 0 << "1899-12-29T06:00:00.000Z";
    }
    void isoDateTimeText()
    {
        QFETCH(TDateTime, value);
        QFETCH(int, bias);
        QFETCH(QString, text);
        Clock::setUtcBiasOverride(bias);
        QCOMPARE(CurrentUtcBias(), bias);
        QCOMPARE(IsoDateTimeText(value), text);
    }

    void currentUtcBiasFollowsTheZone()
    {
        QCOMPARE(CurrentUtcBias(), -QDateTime::currentDateTime().offsetFromUtc() / 60);
        ZoneScope zone("Asia/Kolkata");
        QCOMPARE(CurrentUtcBias(), -330);
    }

    void parseIsoDateTime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("readerBias");
        QTest::addColumn<TDateTime>("value");
        const TDateTime v = at(2009, 6, 19, 22, 22, 17);
        QTest::newRow("same offset") << "2009-06-19T22:22:17.000+02:00" << -120 << v;
        QTest::newRow("written +01 read +02") << "2009-06-19T21:22:17.000+01:00" << -120 << v;
        QTest::newRow("written -05 read UTC") << "2009-06-19T17:22:17-05:00" << 0 << v;
        QTest::newRow("Z read +05:30") << "2009-06-19T16:52:17Z" << -330 << v;
        QTest::newRow("no zone is UTC") << "2009-06-19T20:22:17" << -120 << v;
        QTest::newRow("fraction") << "2009-06-19T22:22:17.5+02:00" << -120
                                  << at(2009, 6, 19, 22, 22, 17, 500);
        QTest::newRow("fraction, no zone")
            << "2009-06-19T20:22:17.25" << -120 << at(2009, 6, 19, 22, 22, 17, 250);
        QTest::newRow("long fraction")
            << "2009-06-19T22:22:17.123456Z" << 0 << at(2009, 6, 19, 22, 22, 17, 123);
        QTest::newRow("across midnight") << "2009-06-19T23:30:00.000Z" << -120 << at(2009, 6, 20, 1, 30);
        QTest::newRow("zero date, same offset") << "1899-12-30T00:00:00.000+01:00" << -60 << 0.0;
        QTest::newRow("zero date read an hour west")
            << "1899-12-30T00:00:00.000+01:00" << 0 << at(1899, 12, 29, 23, 0);
        QTest::newRow("zero date read an hour east")
            << "1899-12-30T00:00:00.000+01:00" << -120 << at(1899, 12, 30, 1, 0);
    }
    void parseIsoDateTime()
    {
        QFETCH(QString, text);
        QFETCH(int, readerBias);
        QFETCH(TDateTime, value);
        Clock::setUtcBiasOverride(readerBias);
        const TDateTime got = ParseIsoDateTime(text);
        QCOMPARE(MillisecondsBetween(value, got), qint64(0));
        QCOMPARE(QFromDateTime(got), QFromDateTime(value));
    }

    void parseIsoDateTimeRefuses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("part"); // the part named by the error
        textRow("empty", "", "date");
        textRow("words", "yesterday", "date");
        textRow("no such day", "2009-02-30T10:00:00Z", "date");
        textRow("short year", "09-06-19T10:00:00", "date");
        textRow("slashes", "2009/06/19T10:00:00", "date");
        textRow("hour 25", "2009-06-19T25:00:00Z", "time");
        textRow("no seconds", "2009-06-19T10:00Z", "time");
        textRow("empty time", "2009-06-19T", "time");
        textRow("zone without colon", "2009-06-19T10:00:00+0200", "time");
        textRow("zone out of range", "2009-06-19T10:00:00+15:00", "time");
        textRow("trailing junk", "2009-06-19T10:00:00Zx", "time");
        textRow("fraction without digits", "2009-06-19T10:00:00.Z", "time");
        textRow("zone minutes 60", "2009-06-19T10:00:00+01:60", "time");
        textRow("zone cut short", "2009-06-19T10:00:00+01", "time");
        textRow("a sign alone", "2009-06-19T10:00:00-", "time");
        textRow("a zone of letters", "2009-06-19T10:00:00CET", "time");
        textRow("a year of ten digits", "2009000000-06-19T10:00:00Z", "date");
        textRow("a month of one digit", "2009-6-19T10:00:00Z", "date");
        textRow("a slash before the day", "2009-06/19T10:00:00Z", "date");
        textRow("a day of three digits", "2009-06-190T10:00:00Z", "date");
        textRow("dashes in the time", "2009-06-19T10-00-00Z", "time");
        textRow("minutes of one digit", "2009-06-19T10:0:00Z", "time");
        textRow("seconds of one digit", "2009-06-19T10:00:0Z", "time");
        textRow("zone minutes of one digit", "2009-06-19T10:00:00+01:6", "time");
        textRow("junk after the zone", "2009-06-19T10:00:00+01:00x", "time");
    }
    void parseIsoDateTimeRefuses()
    {
        QFETCH(QString, text);
        QFETCH(QString, part);
        try {
            ParseIsoDateTime(text);
            QFAIL("no error raised");
        } catch (const EZvError& e) {
            QCOMPARE(e.message(), "Invalid " + part + " string: " + text);
        }
    }

    void roundTripAtEveryOffset_data()
    {
        QTest::addColumn<int>("bias");
        for (int bias : {-840, -330, -120, 0, 60, 300, 720})
            QTest::addRow("%d", bias) << bias;
    }
    void roundTripAtEveryOffset()
    {
        QFETCH(int, bias);
        Clock::setUtcBiasOverride(bias);
        for (TDateTime v :
             {0.0, at(2009, 6, 19, 22, 22, 17), at(2038, 1, 19, 3, 14, 7), at(1999, 12, 31, 23, 59, 59)})
            QCOMPARE(MillisecondsBetween(v, ParseIsoDateTime(IsoDateTimeText(v))), qint64(0));
    }

    void singleLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
        textRow("CR LF", "a\r\nb", "a  b");
        textRow("LF", "a\nb\n", "a b ");
        textRow("CR", "\ra", " a");
        textRow("plain", "a b\tc", "a b\tc");
        textRow("empty", "", "");
    }
    void singleLine()
    {
        QFETCH(QString, text);
        QFETCH(QString, line);
        QCOMPARE(SingleLine(text), line);
    }

    // Text from the command line or standard input gets the line breaks typed text has.
    void crLfLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("lines");
        textRow("a CR at the end", "a\r", "a\r\n");
        textRow("LF then CR", "a\n\rb", "a\r\n\r\nb");
        textRow("CR LF stays one", "a\r\nb", "a\r\nb");
        textRow("line and paragraph separators", "a\u2028b\u2029c", "a\r\nb\r\nc");
    }
    void crLfLines()
    {
        QFETCH(QString, text);
        QFETCH(QString, lines);
        QCOMPARE(CrLfLines(text), lines);
    }

    // Full stop appended when the last character sorts after ".".
    void appErrorText_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        textRow("letter", "Not a valid password", "Not a valid password.");
        textRow("full stop", "Done.", "Done.");
        textRow("bang", "File Write Failure !", "File Write Failure !");
        textRow("closing quote", "Could not find file '/a/b'", "Could not find file '/a/b'");
        textRow("digit", "Error 5", "Error 5.");
        textRow("slash", "a/", "a/.");
        textRow("colon", "a:", "a:.");
        textRow("comma", "a,", "a,");
        textRow("hyphen", "a-", "a-");
        textRow("closing paren", "(a)", "(a)");
        textRow("non-ASCII letter", "Grüße", "Grüße.");
        textRow("empty", "", "");
    }
    void appErrorText()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(AppErrorText(message), shown);
    }

    void guardedShowsTheErrorBox_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("shown"); // empty: no box
        QTest::newRow("store error") << 0 << "no such table: x.";
        QTest::newRow("other exception") << 1 << "bad thing.";
        QTest::newRow("silent abort") << 2 << "";
        QTest::newRow("no error") << 3 << "";
    }
    void guardedShowsTheErrorBox()
    {
        QFETCH(int, kind);
        QFETCH(QString, shown);
        bool after = false;
        if (!shown.isEmpty()) MessageSeam::queueAnswer(IdOk);
        const bool ok = Guarded([&] {
            if (kind == 0) throw EZvError(QStringLiteral("no such table: x"));
            if (kind == 1) throw std::runtime_error("bad thing");
            if (kind == 2) throw ESilentAbort();
            after = true;
        });
        QCOMPARE(ok, kind == 3);
        QCOMPARE(after, kind == 3);
        if (shown.isEmpty()) {
            QVERIFY(MessageSeam::history().isEmpty());
            return;
        }
        QCOMPARE(MessageSeam::history().size(), 1);
        const MessageRequest r = MessageSeam::history().first();
        QCOMPARE(r.caption, QStringLiteral("Zorvik Jotboard"));
        QCOMPARE(r.icon, MsgIcon::Error);
        QCOMPARE(r.buttons, MsgButtons::Ok);
        QCOMPARE(r.text, shown);
    }

    void messageBoxes_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<MsgButtons>("buttons");
        QTest::newRow("MsgAsk") << 0 << "Ask" << MsgButtons::OkCancel;
        QTest::newRow("MsgError") << 1 << "Error" << MsgButtons::Ok;
        QTest::newRow("MsgWarning") << 2 << "Warning" << MsgButtons::Ok;
        QTest::newRow("MsgTip") << 3 << "Tip" << MsgButtons::Ok;
    }
    void messageBoxes()
    {
        QFETCH(int, box);
        QFETCH(QString, caption);
        QFETCH(MsgButtons, buttons);
        const QString text = QStringLiteral("Line one\r\nline 'two'");
        const std::function<void(const QString&)> boxes[] = {[](const QString& t) { QCOMPARE(MsgAsk(t), 1); },
                                                             MsgError, MsgWarning, MsgTip};
        MessageSeam::queueAnswer(IdOk);
        boxes[box](text);
        QCOMPARE(MessageSeam::history().size(), 1);
        const MessageRequest r = MessageSeam::history().first();
        QCOMPARE(r.caption, caption);
        QCOMPARE(r.text, text); // no full stop added here
        QCOMPARE(r.icon, MsgIcon::None);
        QCOMPARE(r.buttons, buttons);
    }

    void msgAskAnswers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("result");
        QTest::newRow("OK") << int(IdOk) << 1;
        QTest::newRow("Cancel") << int(IdCancel) << 2;
        QTest::newRow("closed") << 0 << 2; // closing the box is not OK
    }
    void msgAskAnswers()
    {
        QFETCH(int, answer);
        QFETCH(int, result);
        MessageSeam::queueAnswer(answer);
        QCOMPARE(MsgAsk(QStringLiteral("Delete?")), result);
    }

    void newGuidText()
    {
        static const QRegularExpression form(
            QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
        QSet<QString> seen;
        for (int i = 0; i < 1000; ++i) {
            const QString id = NewGuidText();
            QCOMPARE(id.size(), 38);
            QVERIFY2(form.match(id).hasMatch(), qPrintable(id));
            seen.insert(id);
        }
        QCOMPARE(seen.size(), 1000);
    }
};

QTEST_GUILESS_MAIN(TstFuncs)
#include "tst_funcs.moc"

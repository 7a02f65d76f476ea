// The connection/query layer over the database file: opening (and refusing to open),
// both tables, unset values, field conversions, editing exactly the opened row, ids and
// item text that hold quotes, and no statement left open after a call returns.
#include "ZvTestSupport.h"
#include "store/ZvDbCreate.h"
#include "store/ZvDbLocks.h"
#include "store/ZvDurability.h"
#include "store/ZvRowImage.h"
#include "store/pU_Funcs.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>
#include <fcntl.h>
#include <optional>
#include <sqlite3.h>
#include <unistd.h>

using namespace zv;
using zvtest::TempProgramFolder;
using zvtest::TFileSizeLimit;

namespace {

using zvtest::appendRow;
using zvtest::raiseText;

using zvtest::fileBytes;
using zvtest::writeBytes;

// Compiled statements are kept for reuse, but none may be left in the middle of a run:
// an unfinished read holds the journal's checkpoints off.
bool noOpenStatement(TADOConnection& c)
{
    for (sqlite3_stmt* s = sqlite3_next_stmt(c.handle(), nullptr); s; s = sqlite3_next_stmt(c.handle(), s))
        if (sqlite3_stmt_busy(s)) return false;
    return true;
}

// Drops this process's locks on one file, as another program's unlock of it would.
void dropLocksOf(const QString& file)
{
    const QString target = QFileInfo(file).canonicalFilePath();
    const QDir fds("/proc/self/fd");
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() != target) continue;
        struct flock all = {};
        all.l_type = F_UNLCK;
        all.l_whence = SEEK_SET;
        ::fcntl(fd.toInt(), F_OFD_SETLK, &all);
        ::fcntl(fd.toInt(), F_SETLK, &all);
    }
}

void conversionRow(const char* name, const char* column, const char* text, const QVariant& stored,
                   const char* error = "")
{
    QTest::newRow(name) << QString(column) << QString(text) << stored << QString(error);
}

} // namespace

class TstDb : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempProgramFolder> m_shared;
    // One folder for the many rows of a table that only needs an empty tasks table.
    TempProgramFolder& sharedHome()
    {
        if (!m_shared) m_shared = std::make_unique<TempProgramFolder>();
        m_shared->exec("delete from tasks");
        return *m_shared;
    }

private slots:
    void connectionString_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << QString("/opt/zv/");
        QTest::newRow("blank") << QString("/home/u/my data/");
        QTest::newRow("semicolon") << QString("/home/u/a;b/");
    }
    void connectionString()
    {
        QFETCH(QString, folder);
        TADOConnection c;
        c.setConnectionString(TADOConnection::BuildConnectionString(folder));
        QCOMPARE(c.connectionString(), "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=mavrude;"
                                       "Data Source=" +
                                           folder + "zvData.zvb;Persist Security Info=False");
        QCOMPARE(c.dataSource(), folder + "zvData.zvb");
        QCOMPARE(c.password(), QString("mavrude"));
    }

    // A connection string written by hand: keys in any case, pieces without a key, keys
    // that only end like ours. The folder is never taken from the wrong piece.
    void connectionStringRead_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("dataSource");
        QTest::addColumn<QString>("password");
        QTest::newRow("keys in any case")
            << QString("DATA SOURCE=/d/zvData.zvb;jet oledb:database password=pw") << QString("/d/zvData.zvb")
            << QString("pw");
        QTest::newRow("blanks around a key")
            << QString(" Data Source =/d/zvData.zvb") << QString("/d/zvData.zvb") << QString();
        QTest::newRow("no data source") << QString("Provider=x") << QString() << QString();
        QTest::newRow("a first piece without a key")
            << QString("junk;Data Source=/a;b/zvData.zvb") << QString("/a;b/zvData.zvb") << QString();
        QTest::newRow("an empty key") << QString("=/no;Data Source=/d") << QString("/d") << QString();
        QTest::newRow("a key ending like ours")
            << QString("MyData Source=/no;Old Jet OLEDB:Database Password=no") << QString() << QString();
        QTest::newRow("empty") << QString() << QString() << QString();
    }
    void connectionStringRead()
    {
        QFETCH(QString, text);
        QFETCH(QString, dataSource);
        QFETCH(QString, password);
        TADOConnection c;
        c.setConnectionString(text);
        QCOMPARE(c.dataSource(), dataSource);
        QCOMPARE(c.password(), password);
    }

    void schema_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("columns"); // name:type pairs, in any order
        QTest::newRow("tasks") << QString("tasks")
                               << QString("tid:TEXT pid:TEXT content:TEXT checkFlag:BOOLEAN dueFlag:BOOLEAN "
                                          "alarmFlag:BOOLEAN expandFlag:BOOLEAN textColor:INTEGER "
                                          "backgroundColor:INTEGER createTime:DATETIME editTime:DATETIME "
                                          "checkTime:DATETIME alarmTime:DATETIME dueTime:DATETIME");
        QTest::newRow("memos") << QString("memos")
                               << QString("mid:TEXT pid:TEXT content:TEXT expandFlag:BOOLEAN "
                                          "assignTime:DATETIME createTime:DATETIME editTime:DATETIME");
    }
    void schema()
    {
        QFETCH(QString, table);
        QFETCH(QString, columns);
        TempProgramFolder home;
        QStringList found, expected = columns.split(' ');
        for (const QVariantList& r : home.rows("pragma table_info(" + table + ")"))
            found << r[1].toString() + ':' + r[2].toString();
        found.sort();
        expected.sort();
        QCOMPARE(found, expected);
        // Lookups by id and by parent id are indexed.
        for (const QString& col : {QString(table == "tasks" ? "tid" : "mid"), QString("pid")}) {
            const auto plan =
                home.rows("explain query plan select * from " + table + " where " + col + "='x'");
            QVERIFY2(plan.first().last().toString().contains("INDEX"), qPrintable(col));
        }
    }

    // A row appended with only its ids set reads every other column as unset.
    void unsetValuesRead_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("unset");
        QTest::newRow("tasks") << QString("tasks")
                               << QString("content checkFlag dueFlag alarmFlag expandFlag textColor "
                                          "backgroundColor createTime editTime checkTime alarmTime dueTime");
        QTest::newRow("memos") << QString("memos")
                               << QString("content expandFlag assignTime createTime editTime");
    }
    void unsetValuesRead()
    {
        QFETCH(QString, table);
        QFETCH(QString, unset);
        TempProgramFolder home;
        TADOQuery q(&home.connection());
        const QString idCol = table == "tasks" ? "tid" : "mid";
        appendRow(q, table, {idCol, "{A}", "pid", kRootId});
        OpenQuery(q, "select * from " + table + " where " + idCol + "=" + QuoteId("{A}"));
        QVERIFY(!q.Eof());
        QCOMPARE(q.FieldByName("PID").AsString(), kRootId); // names in any case
        for (const QString& column : unset.split(' ')) {
            QCOMPARE(home.count("select " + column + " is null from " + table), 1);
            const TField f = q.FieldByName(column);
            QVERIFY2(f.IsNull(), qPrintable(column));
            QCOMPARE(f.AsBoolean(), false);
            QCOMPARE(f.AsInteger(), 0);
            QCOMPARE(f.AsString(), QString());
            QCOMPARE(f.AsDateTime(), 0.0);
        }
        // A new row's fields, before anything is set, read as null alike.
        q.Append();
        for (const QString& column : unset.split(' ')) {
            const TField f = q.FieldByName(column);
            QVERIFY2(f.IsNull(), qPrintable(column));
            QCOMPARE(f.AsBoolean(), false);
            QCOMPARE(f.AsInteger(), 0);
            QCOMPARE(f.AsString(), QString());
            QCOMPARE(f.AsDateTime(), 0.0);
        }
        q.Cancel();
    }

    // Text another program left in a typed column reads as the field's type would take it,
    // or is refused by name; it never reads as some other number.
    void textInTypedColumnRead_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("literal");
        QTest::addColumn<bool>("boolean");
        QTest::addColumn<QString>("integer"); // the number, or the refusal
        QTest::newRow("a flag as True")
            << QString("checkFlag") << QString("'True'") << true
            << QString("'True' is not a valid integer value for field 'checkFlag'");
        QTest::newRow("a flag as t") << QString("dueFlag") << QString("'t'") << true
                                     << QString("'t' is not a valid integer value for field 'dueFlag'");
        QTest::newRow("a flag as no") << QString("alarmFlag") << QString("'no'") << false
                                      << QString("'no' is not a valid integer value for field 'alarmFlag'");
        QTest::newRow("a flag as empty text")
            << QString("checkFlag") << QString("''") << false
            << QString("'' is not a valid integer value for field 'checkFlag'");
        QTest::newRow("a colour with words after")
            << QString("textColor") << QString("'12 apples'") << false
            << QString("'12 apples' is not a valid integer value for field 'textColor'");
        QTest::newRow("a colour as signed text") << QString("backgroundColor") << QString("'+12x'") << false
                                                 << QString("'+12x' is not a valid integer value for field "
                                                            "'backgroundColor'");
        QTest::newRow("a flag as False")
            << QString("checkFlag") << QString("'False'") << false
            << QString("'False' is not a valid integer value for field 'checkFlag'");
        QTest::newRow("a flag as true with a blank after")
            << QString("checkFlag") << QString("'true '") << false
            << QString("'true ' is not a valid integer value for field 'checkFlag'");
        QTest::newRow("a colour as a sign alone")
            << QString("textColor") << QString("'-'") << false
            << QString("'-' is not a valid integer value for field 'textColor'");
        QTest::newRow("a colour in hex")
            << QString("textColor") << QString("'0x10'") << false
            << QString("'0x10' is not a valid integer value for field 'textColor'");
    }
    void textInTypedColumnRead()
    {
        QFETCH(QString, column);
        QFETCH(QString, literal);
        QFETCH(bool, boolean);
        QFETCH(QString, integer);
        TempProgramFolder home;
        home.exec("insert into tasks (tid, " + column + ") values ('a', " + literal + ")");
        QCOMPARE(home.scalar("select typeof(" + column + ") from tasks").toString(), QString("text"));
        TADOQuery q(&home.connection());
        OpenQuery(q, "select * from tasks");
        const TField f = q.FieldByName(column);
        QCOMPARE(f.AsBoolean(), boolean);
        int read = 0;
        const QString error = raiseText([&] { read = f.AsInteger(); });
        QCOMPARE(error == "<no error>" ? QString::number(read) : error, integer);
    }

    // The gateways find their columns once per column list: a query whose list changed
    // since the last row read (another table, another order, fewer columns) must not be
    // read through the positions of the last list.
    // Text written into a boolean or integer field is converted; bad text is refused.
    void textIntoTypedField_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("stored"); // an invalid QVariant: stored as null
        QTest::addColumn<QString>("error");
        conversionRow("True", "checkFlag", "True", 1);
        conversionRow("false", "checkFlag", "false", 0);
        conversionRow("t", "checkFlag", "t", 1);
        conversionRow("FAL", "checkFlag", "FAL", 0);
        conversionRow("empty bool", "checkFlag", "", {});
        conversionRow("yes", "checkFlag", "yes", {},
                      "'yes' is not a valid boolean value for field 'checkFlag'");
        conversionRow("truer", "dueFlag", "truer", {},
                      "'truer' is not a valid boolean value for field 'dueFlag'");
        conversionRow("1 as bool", "alarmFlag", "1", {},
                      "'1' is not a valid boolean value for field 'alarmFlag'");
        conversionRow("decimal", "textColor", "255", 255);
        conversionRow("system colour", "textColor", "-16777199", -16777199);
        conversionRow("empty int", "backgroundColor", "", {});
        conversionRow("abc", "textColor", "abc", {},
                      "'abc' is not a valid integer value for field 'textColor'");
        conversionRow("1.5", "backgroundColor", "1.5", {},
                      "'1.5' is not a valid integer value for field 'backgroundColor'");
        conversionRow("too big", "textColor", "4294967296", {},
                      "'4294967296' is not a valid integer value for field 'textColor'");
        conversionRow("a sign alone", "textColor", "-", {},
                      "'-' is not a valid integer value for field 'textColor'");
        conversionRow("plus sign", "textColor", "+12", 12);
        conversionRow("a blank before", "textColor", " 12", {},
                      "' 12' is not a valid integer value for field 'textColor'");
        conversionRow("a line feed after", "textColor", "12\n", {},
                      "'12\n' is not a valid integer value for field 'textColor'");
        conversionRow("smallest", "textColor", "-2147483648", int(INT_MIN));
        conversionRow("past 64 bits", "textColor", "-99999999999999999999", {},
                      "'-99999999999999999999' is not a valid integer value for field 'textColor'");
        conversionRow("too small", "textColor", "-2147483649", {},
                      "'-2147483649' is not a valid integer value for field 'textColor'");
    }
    void textIntoTypedField()
    {
        QFETCH(QString, column);
        QFETCH(QString, text);
        QFETCH(QVariant, stored);
        QFETCH(QString, error);
        TempProgramFolder& home = sharedHome();
        TADOQuery q(&home.connection());
        OpenQuery(q, "select * from tasks where 1=0");
        q.Append();
        q.FieldByName("tid").setAsString("x");
        q.FieldByName(column).setAsInteger(7); // a value the refused conversion must not touch
        QCOMPARE(raiseText([&] { q.FieldByName(column).setAsString(text); }),
                 error.isEmpty() ? "<no error>" : error);
        q.Post();
        const QVariant v = home.scalar("select " + column + " from tasks");
        QCOMPARE(v.isNull(), error.isEmpty() && !stored.isValid());
        if (!v.isNull()) QCOMPARE(v.toInt(), error.isEmpty() ? stored.toInt() : 7);
    }

    void typedFieldsAsText()
    {
        TempProgramFolder home;
        home.exec(
            "insert into tasks (tid, checkFlag, dueFlag, textColor) values ('a', True, False, -16777199)");
        TADOQuery q(&home.connection());
        OpenQuery(q, "select * from tasks");
        QCOMPARE(q.FieldByName("checkFlag").AsString(), QString("True"));
        QCOMPARE(q.FieldByName("dueFlag").AsString(), QString("False"));
        QCOMPARE(q.FieldByName("alarmFlag").AsString(), QString());
        QCOMPARE(q.FieldByName("textColor").AsString(), QString("-16777199"));
        OpenQuery(q, "select count(*) as cnt from tasks");
        QCOMPARE(q.FieldByName("cnt").AsInteger(), 1);
        // A flag stored as a word (by hand, or by an older program) reads alike both ways.
        home.exec("update tasks set checkFlag='true'");
        OpenQuery(q, "select * from tasks");
        QCOMPARE(q.FieldByName("checkFlag").AsBoolean(), true);
        QCOMPARE(q.FieldByName("checkFlag").AsString(), QString("True"));
    }

    // Two rows share one id: the edit goes to the row the cursor stands on, nowhere else.
    void editPostsExactlyTheOpenedRow()
    {
        TempProgramFolder home;
        home.exec("insert into tasks (tid, content) values ('d', 'one'), ('d', 'two'), ('e', 'x')");
        TADOQuery q(&home.connection());
        OpenQuery(q, "select * from tasks where tid='d'");
        QCOMPARE(q.RecordCount(), 2);
        q.Next();
        const QString target = q.FieldByName("content").AsString();
        q.Edit();
        q.FieldByName("content").setAsString("changed");
        q.FieldByName("checkFlag").setAsBoolean(true);
        q.Post();
        QCOMPARE(home.count("select count(*) from tasks where content='changed' and checkFlag=1"), 1);
        QCOMPARE(home.count("select count(*) from tasks where content='" + target + "'"), 0);
        QCOMPARE(home.count("select count(*) from tasks where content in ('one','two','x')"), 2);

        // Moving on while editing stores the change on the row it was made on.
        OpenQuery(q, "select * from tasks where tid='d'");
        q.Edit();
        q.FieldByName("textColor").setAsInteger(5);
        q.Next();
        QCOMPARE(home.count("select count(*) from tasks where textColor=5"), 1);
        q.Edit();
        q.FieldByName("textColor").setAsInteger(6);
        q.Post();
        QCOMPARE(home.count("select count(*) from tasks where textColor is not null"), 2);

        // The opened row is gone by the time the change is posted: that is an error, not a success.
        OpenQuery(q, "select * from tasks where tid='e'");
        home.exec("delete from tasks where tid='e'");
        q.Edit();
        q.FieldByName("content").setAsString("lost");
        QVERIFY(raiseText([&] { q.Post(); }).startsWith("Row cannot be located for updating"));
        QCOMPARE(home.count("select count(*) from tasks"), 2);
    }

    void trueFalseWordsInSql()
    {
        TempProgramFolder home;
        home.exec("insert into tasks (tid, checkFlag) values ('x', 0), ('y', 1)");
        TADOQuery q(&home.connection());
        ExecQuery(q, "update tasks set expandFlag=True where tid='x'");
        ExecQuery(q, "update tasks set expandFlag=False where tid='y'");
        QCOMPARE(home.count("select count(*) from tasks where expandFlag=(tid='x')"), 2);
        OpenQuery(q, "select content from tasks where checkFlag=False order by content ASC");
        QCOMPARE(q.RecordCount(), 1);
    }

    void quoteId_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("quoted");
        QTest::newRow("root") << QString("root") << QString("'root'");
        QTest::newRow("guid") << QString("{0A1B2C3D-0000-4000-8000-00000000000F}")
                              << QString("'{0A1B2C3D-0000-4000-8000-00000000000F}'");
        QTest::newRow("one quote") << QString("a'b") << QString("'a''b'");
        QTest::newRow("injection") << QString("x' or '1'='1") << QString("'x'' or ''1''=''1'");
        QTest::newRow("empty") << QString() << QString("''");
    }
    void quoteId()
    {
        QFETCH(QString, id);
        QFETCH(QString, quoted);
        QCOMPARE(QuoteId(id), quoted);

        // The quoted id finds exactly its own row, and a delete by it touches no other.
        TempProgramFolder home;
        TADOQuery q(&home.connection());
        for (const QString& tid : {id, QString("other"), QString("x")})
            appendRow(q, "tasks", {"tid", tid, "pid", id});
        OpenQuery(q, "select * from tasks where tid=" + QuoteId(id));
        QCOMPARE(q.RecordCount(), 1);
        QCOMPARE(q.FieldByName("tid").AsString(), id);
        ExecQuery(q, "delete from tasks where tid=" + QuoteId(id));
        QCOMPARE(home.count("select count(*) from tasks"), 2);
        QCOMPARE(home.count("select count(*) from tasks where pid=" + QuoteId(id)), 2);
    }

    // Item text only ever travels as a bound value: quotes and SQL in it are plain text.
    void itemTextIsStoredVerbatim_data()
    {
        QTest::addColumn<QString>("content");
        QTest::newRow("quotes") << QString("it's \"quoted\" ''");
        QTest::newRow("sql") << QString("x'); delete from tasks; --");
        QTest::newRow("lines") << QString("a\r\nb\r\n\tc");
        QTest::newRow("unicode") << QString::fromUtf8("Grüße – 日本 \xF0\x9F\x98\x80");
    }
    void itemTextIsStoredVerbatim()
    {
        QFETCH(QString, content);
        TempProgramFolder home;
        home.exec("insert into tasks (tid, content) values ('keep', 'kept')");
        TADOQuery q(&home.connection());
        appendRow(q, "tasks", {"tid", "new", "content", content});
        OpenQuery(q, "select * from tasks where tid='new'");
        q.Edit();
        q.FieldByName("content").setAsString(content + content);
        q.Post();
        QCOMPARE(home.count("select count(*) from tasks"), 2);
        QCOMPARE(home.scalar("select content from tasks where tid='keep'").toString(), QString("kept"));
        QCOMPARE(home.scalar("select content from tasks where tid='new'").toString(), content + content);
    }

    void storeErrorsCarryTheStoreMessage()
    {
        TempProgramFolder home;
        TADOQuery q(&home.connection());
        QCOMPARE(raiseText([&] { OpenQuery(q, "select * from nosuch"); }), QString("no such table: nosuch"));
        QVERIFY(!q.active());
        QCOMPARE(raiseText([&] { ExecQuery(q, "update tasks set nosuch=1"); }),
                 QString("no such column: nosuch"));
        OpenQuery(q, "select * from tasks");
        QCOMPARE(raiseText([&] { q.FieldByName("nosuch"); }), QString("Field 'nosuch' not found"));
        // Only the one line's statement is run; a second one is refused before anything runs.
        home.exec("insert into tasks (tid) values ('a'); insert into memos (mid) values ('m')");
        QVERIFY(raiseText([&] { ExecQuery(q, "delete from memos; delete from tasks"); }) != "<no error>");
        QCOMPARE(home.count("select (select count(*) from tasks) + (select count(*) from memos)"), 2);
    }

    // No read stays open once a call returns: an unfinished statement blocks checkpoints.
    void noStatementLeftOpen()
    {
        TempProgramFolder home;
        home.exec("insert into tasks (tid) values ('a'), ('b'), ('c')");
        TADOConnection& c = home.connection();
        QVERIFY(noOpenStatement(c));
        TADOQuery q(&c), q2(&c);
        OpenQuery(q, "select * from tasks");
        QVERIFY(noOpenStatement(c));
        OpenQuery(q2, "select * from tasks where pid is null");
        QVERIFY(noOpenStatement(c));
        int n = 0;
        for (q.First(); !q.Eof(); q.Next())
            ++n;
        QCOMPARE(n, 3);
        q.First();
        q.Edit();
        q.FieldByName("content").setAsString("z");
        q.Post();
        QVERIFY(noOpenStatement(c));
        QCOMPARE(home.count("select count(*) from tasks where content='z'"), 1); // stored at once
        raiseText([&] { OpenQuery(q, "select * from tasks where nosuch=1"); });
        raiseText([&] { ExecQuery(q, "insert into nosuch values (1)"); });
        QVERIFY(noOpenStatement(c));
    }

    // A table read row by row: every row once, in order, each the current row in its turn;
    // afterwards, and when the reader raises, nothing stays open and the query is closed.
    void readRowByRow_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("raiseAt"); // -1: the reader never raises
        QTest::addColumn<QString>("seen");
        QTest::newRow("empty") << 0 << -1 << QString();
        QTest::newRow("one") << 1 << -1 << QString("t0");
        QTest::newRow("several") << 4 << -1 << QString("t0 t1 t2 t3");
        QTest::newRow("raises at the first") << 3 << 0 << QString();
        QTest::newRow("raises in the middle") << 4 << 2 << QString("t0 t1");
    }
    void readRowByRow()
    {
        QFETCH(int, rows);
        QFETCH(int, raiseAt);
        QFETCH(QString, seen);
        TempProgramFolder home;
        for (int i = 0; i < rows; ++i)
            home.exec(QString("insert into tasks (tid, content) values ('t%1', 'c''%1')").arg(i));
        TADOConnection& c = home.connection();
        TADOQuery q(&c);
        q.SQLAdd("select * from tasks order by rowid");
        QStringList got;
        const QString error = raiseText([&] {
            q.OpenEach([&] {
                if (got.size() == raiseAt) throw EZvError("stop");
                QCOMPARE(q.FieldByName("content").AsString(), "c'" + QString::number(got.size()));
                got << q.FieldByName("tid").AsString();
            });
        });
        QCOMPARE(error, raiseAt < 0 || raiseAt >= rows ? QString("<no error>") : QString("stop"));
        QCOMPARE(got.join(' '), seen);
        QVERIFY(!q.active());
        QVERIFY(noOpenStatement(c));
        // the same statement again, read whole
        q.Open();
        QCOMPARE(q.RecordCount(), rows);
    }

    // A transaction is stored only by its explicit commit; every other way out rolls back
    // and leaves the connection in autocommit.
    void transactionEnds_data()
    {
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("stored");
        QTest::newRow("commit") << 0 << 2;
        QTest::newRow("destructor") << 1 << 0;
        QTest::newRow("rollback") << 2 << 0;
        QTest::newRow("exception") << 3 << 0;
        QTest::newRow("the connection closed") << 4 << 0;
        QTest::newRow("committed twice") << 5 << 2;
        QTest::newRow("rolled back after the commit") << 6 << 2;
        QTest::newRow("committed after the rollback") << 7 << 0;
    }
    void transactionEnds()
    {
        QFETCH(int, end);
        QFETCH(int, stored);
        TempProgramFolder home;
        TADOConnection& c = home.connection();
        TADOQuery q(&c);
        try {
            TZvTransaction t(c, TZvTransaction::Mode::Write);
            QCOMPARE(c.transaction(), &t);
            QVERIFY(!c.autocommit());
            appendRow(q, "tasks", {"tid", "a"});
            appendRow(q, "tasks", {"tid", "b"});
            QCOMPARE(home.count("select count(*) from tasks"), 0); // not yet visible
            if (end == 0 || end == 5 || end == 6) t.commit();
            if (end == 2 || end == 7) t.rollback();
            if (end == 5 || end == 7) t.commit();
            if (end == 6) t.rollback();
            if (end == 3) throw EZvError("stop");
            if (end == 4) c.Close();
        } catch (const EZvError&) {
        }
        QVERIFY(c.autocommit());
        QCOMPARE(c.transaction(), nullptr);
        QCOMPARE(home.count("select count(*) from tasks"), stored);
        if (end == 4) {
            c.checkpoint(); // a closed connection has nothing to write back
            c.Open();
        }
        // the next statement is its own commit again
        appendRow(q, "tasks", {"tid", "c"});
        QCOMPARE(home.count("select count(*) from tasks"), stored + 1);
    }

    void secondTransactionRefused()
    {
        TempProgramFolder home;
        TADOConnection& c = home.connection();
        TADOQuery q(&c);
        TZvTransaction read(c, TZvTransaction::Mode::Read);
        QVERIFY(raiseText([&] { TZvTransaction second(c, TZvTransaction::Mode::Write); }) != "<no error>");
        // the first one is untouched and still ends as asked
        QCOMPARE(c.transaction(), &read);
        appendRow(q, "tasks", {"tid", "a"});
        read.commit();
        QVERIFY(c.autocommit());
        QCOMPARE(home.count("select count(*) from tasks"), 1);
        // a transaction begun behind the connection's back is refused too
        ExecQuery(q, "begin");
        QVERIFY(raiseText([&] { TZvTransaction t(c, TZvTransaction::Mode::Read); }) != "<no error>");
        ExecQuery(q, "rollback");
    }

    // Another program writes: a write batch cannot begin, says so, and leaves the
    // connection as it was, ready for the next one. A statement ending in ";" is one.
    void writeBatchWhileAnotherWrites()
    {
        TempProgramFolder home;
        TADOConnection& c = home.connection();
        TADOQuery q(&c);
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(home.dbPath()).constData(), &other), SQLITE_OK);
        const auto closeOther = qScopeGuard([&] { sqlite3_close(other); });
        QCOMPARE(sqlite3_exec(other, "begin immediate", nullptr, nullptr, nullptr), SQLITE_OK);
        QCOMPARE(raiseText([&] { TZvTransaction t(c, TZvTransaction::Mode::Write); }),
                 QString("database is locked"));
        QCOMPARE(c.transaction(), nullptr);
        QVERIFY(c.autocommit());
        QCOMPARE(sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr), SQLITE_OK);
        TZvTransaction t(c, TZvTransaction::Mode::Write);
        ExecQuery(q, "insert into tasks (tid) values ('a');");
        t.commit();
        QCOMPARE(home.count("select count(*) from tasks"), 1);
    }

    // The file may not grow: the commit fails, says so with the database's own words, and
    // the connection is back in autocommit with nothing half-stored.
    void failedCommitIsReported()
    {
        TempProgramFolder home;
        TADOConnection& c = home.connection();
        TADOQuery q(&c);
        appendRow(q, "tasks", {"tid", "before"});
        TFileSizeLimit limit(QFileInfo(home.dbPath() + "-wal").size() + 4096);
        QString message;
        {
            TZvWriteBatch batch(c, 1000);
            try {
                for (int i = 0; i < 200; ++i) {
                    batch.begin();
                    appendRow(q, "tasks",
                              {"tid", QString::number(i), "content", QString(500, QLatin1Char('x'))});
                    batch.posted();
                }
                batch.commit();
            } catch (const EZvError& e) {
                message = e.message();
            }
            QVERIFY(!batch.isOpen());
        }
        QVERIFY2(!message.isEmpty(), "the failed write must be reported");
        QVERIFY2(message.contains("disk") || message.contains("full") || message.contains("I/O"),
                 qPrintable(message));
        QVERIFY(c.autocommit());
        QCOMPARE(home.count("select count(*) from tasks"), 1);
    }

    void checkpointEmptiesTheJournal()
    {
        TempProgramFolder home;
        TADOConnection& c = home.connection();
        TADOQuery q(&c);
        appendRow(q, "tasks", {"tid", "a"});
        appendRow(q, "tasks", {"tid", "b"});
        QVERIFY(QFileInfo(home.dbPath() + "-wal").size() > 0);
        c.checkpoint();
        QCOMPARE(QFileInfo(home.dbPath() + "-wal").size(), qint64(0));
        QCOMPARE(home.count("select count(*) from tasks"), 2);
    }

    // Work the query layer must refuse: each one raises its message and stores nothing, and
    // the query and the connection go on working afterwards.
    void misuseRefused_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("message");
        const QString eof = "Either BOF or EOF is True, or the current record has been deleted";
        const QString readOnly = "Cannot modify a read-only dataset";
        QTest::newRow("closed connection")
            << "closed"
            << "Operation is not allowed when the database connection is closed";
        QTest::newRow("field of an unopened query") << "unopened"
                                                    << "Operation is not allowed when the object is closed";
        QTest::newRow("field index below") << "index -1"
                                           << "Field index -1 out of range";
        QTest::newRow("field index past") << "index 99"
                                          << "Field index 99 out of range";
        QTest::newRow("append to a column list") << "append columns" << readOnly;
        QTest::newRow("edit a column list") << "edit columns" << readOnly;
        QTest::newRow("edit past the last row") << "edit eof" << eof;
        QTest::newRow("read past the last row") << "read eof" << eof;
        QTest::newRow("set without edit") << "set browse"
                                          << "Dataset not in edit or insert mode";
        QTest::newRow("empty statement") << "empty"
                                         << "Empty SQL statement";
        QTest::newRow("comment only") << "comment"
                                      << "Empty SQL statement";
        QTest::newRow("two statements") << "two statements"
                                        << "Only one SQL statement may be run at a time";
        QTest::newRow("a closing semicolon") << "a closing semicolon"
                                             << "<no error>";
        QTest::newRow("text in an integer column")
            << "integer text"
            << "'12abc' is not a valid integer value for field 'textColor'";
    }
    void misuseRefused()
    {
        QFETCH(QString, action);
        QFETCH(QString, message);
        TempProgramFolder home;
        home.exec("insert into tasks (tid, content, textColor) values ('a', 'kept', '12abc')");
        const QString before = "kept12abc";
        TADOConnection closed;
        TADOQuery q(action == "closed" ? &closed : &home.connection());
        QCOMPARE(raiseText([&] {
                     if (action == "closed") OpenQuery(q, "select * from tasks");
                     if (action == "unopened") q.FieldByName("tid");
                     if (action.startsWith("index")) {
                         OpenQuery(q, "select * from tasks");
                         q.FieldAt(action.section(' ', 1).toInt());
                     }
                     if (action.endsWith("columns")) {
                         OpenQuery(q, "select tid, content from tasks");
                         action.startsWith("append") ? q.Append() : q.Edit();
                     }
                     if (action.endsWith("eof")) {
                         OpenQuery(q, "select * from tasks where 1=0");
                         action.startsWith("edit") ? q.Edit() : void(q.FieldByName("tid").AsString());
                     }
                     if (action == "set browse") {
                         OpenQuery(q, "select * from tasks");
                         q.FieldByName("content").setAsString("changed");
                     }
                     if (action == "empty") ExecQuery(q, "   ");
                     if (action == "comment") OpenQuery(q, "-- nothing here");
                     if (action == "two statements") ExecQuery(q, "delete from tasks; delete from memos");
                     if (action == "a closing semicolon") OpenQuery(q, "select * from tasks ;\n");
                     if (action == "integer text") {
                         OpenQuery(q, "select * from tasks");
                         q.FieldByName("textColor").AsInteger();
                     }
                 }),
                 message);
        QCOMPARE(home.count("select count(*) from tasks"), 1);
        QCOMPARE(home.scalar("select content || textColor from tasks").toString(), before);
        if (action != "closed") {
            OpenQuery(q, "select * from tasks");
            QCOMPARE(q.FieldByName("content").AsString(), QString("kept"));
        }
    }

    // Each value type written through a field and read back, in both kinds of column: what
    // was set is what is stored, and what is stored reads back as the program wrote it.
    void fieldValuesRoundTrip_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("how"); // the setter used
        QTest::addColumn<QString>("input");
        QTest::addColumn<QVariant>("stored"); // invalid: null
        QTest::addColumn<QString>("asString");
        QTest::newRow("flag into text") << "content"
                                        << "bool"
                                        << "1" << QVariant("True") << "True";
        QTest::newRow("false into text") << "content"
                                         << "bool"
                                         << "0" << QVariant("False") << "False";
        QTest::newRow("number into text") << "content"
                                          << "int"
                                          << "-42" << QVariant("-42") << "-42";
        QTest::newRow("flag into flag") << "checkFlag"
                                        << "bool"
                                        << "1" << QVariant(1) << "True";
        QTest::newRow("number into colour") << "textColor"
                                            << "int"
                                            << "-7" << QVariant(-7) << "-7";
        QTest::newRow("time text into time") << "dueTime"
                                             << "text"
                                             << "1900-01-01T12:00:00Z" << QVariant(2.5) << DateTimeText(2.5);
        QTest::newRow("empty text clears a time") << "dueTime"
                                                  << "text"
                                                  << "" << QVariant() << "";
        QTest::newRow("cleared text") << "content"
                                      << "clear"
                                      << "" << QVariant() << "";
    }
    void fieldValuesRoundTrip()
    {
        QFETCH(QString, column);
        QFETCH(QString, how);
        QFETCH(QString, input);
        QFETCH(QVariant, stored);
        QFETCH(QString, asString);
        TempProgramFolder home;
        Clock::setUtcBiasOverride(0);
        home.exec("insert into tasks (tid, content, dueTime) values ('a', 'old', 9)");
        TADOQuery q(&home.connection());
        OpenQuery(q, "select * from tasks");
        q.Edit();
        TField f = q.FieldByName(column);
        if (how == "bool") f.setAsBoolean(input == "1");
        if (how == "int") f.setAsInteger(input.toInt());
        if (how == "text") f.setAsString(input);
        if (how == "clear") f.clear();
        q.Post();
        const QVariant v = home.scalar("select " + column + " from tasks");
        QCOMPARE(v.isNull(), !stored.isValid());
        if (stored.isValid()) QCOMPARE(v.toString(), stored.toString());
        OpenQuery(q, "select * from tasks");
        QCOMPARE(q.FieldByName(column).AsString(), asString);
        Clock::setUtcBiasOverride(std::nullopt);
    }

    // A column's declared type names its field type by its first letters, in any case; a
    // type the install never declares reads as it is stored. One connection reads each
    // table as it is now, not as it was when the same statement last ran.
    void declaredTypes_data()
    {
        QTest::addColumn<QString>("declared");
        QTest::addColumn<int>("type");
        QTest::newRow("boolean") << "boolean" << int(FieldType::Boolean);
        QTest::newRow("int") << "Int" << int(FieldType::Integer);
        QTest::newRow("date") << "date" << int(FieldType::DateTime);
        QTest::newRow("text") << "TEXT(20)" << int(FieldType::Text);
        QTest::newRow("real") << "REAL" << int(FieldType::Other);
        QTest::newRow("varchar") << "varchar(5)" << int(FieldType::Other);
    }
    void declaredTypes()
    {
        QFETCH(QString, declared);
        QFETCH(int, type);
        TempProgramFolder& home = sharedHome();
        home.exec("drop table if exists zv_typed");
        home.exec("create table zv_typed (v " + declared + ")");
        TADOQuery q(&home.connection());
        OpenQuery(q, "select * from zv_typed");
        QCOMPARE(int(q.FieldByName("v").type()), type);
        home.exec("alter table zv_typed add column w TEXT");
        OpenQuery(q, "select * from zv_typed");
        QCOMPARE(q.FieldByName("w").type(), FieldType::Text);
    }

    // Values of columns without a declared type (expressions) come back as SQLite holds them.
    void expressionColumns()
    {
        TempProgramFolder home;
        TADOQuery q(&home.connection());
        OpenQuery(q, "select 2.75 as d, cast('ABC' as blob) as b, null as n, 'f' as t");
        QCOMPARE(q.FieldByName("d").AsDateTime(), 2.75);
        QCOMPARE(q.FieldByName("d").AsInteger(), 2);
        QCOMPARE(q.FieldByName("b").AsString(), QString("ABC"));
        QVERIFY(q.FieldByName("n").IsNull());
        QCOMPARE(q.FieldByName("t").AsBoolean(), false);
        QCOMPARE(q.FieldByName("D").type(), FieldType::Other);
        QCOMPARE(q.FindField(QLatin1StringView("T")), 3);
        QCOMPARE(q.FindField(QLatin1StringView("none")), -1);
        QCOMPARE(q.RowId(), 0); // no table row behind an expression
    }

    // Text a statement computes, read as a number or a flag: only the whole text of a
    // number in range is one, and only a leading part of "true" or "false" is a flag.
    void textReadThroughField_data()
    {
        QTest::addColumn<QString>("literal");
        QTest::addColumn<QVariant>("boolean"); // invalid: not asked
        QTest::addColumn<QString>("integer");  // the number, or the refusal
        const auto refused = [](const char* text) {
            return QString("'%1' is not a valid integer value for field 'v'").arg(text);
        };
        QTest::newRow("past the largest") << "'2147483648'" << QVariant() << refused("2147483648");
        QTest::newRow("past 32 bits") << "'4294967296'" << QVariant() << refused("4294967296");
        QTest::newRow("below the smallest") << "'-2147483649'" << QVariant() << refused("-2147483649");
        QTest::newRow("past 64 bits")
            << "'99999999999999999999'" << QVariant() << refused("99999999999999999999");
        QTest::newRow("the smallest") << "'-2147483648'" << QVariant() << "-2147483648";
        QTest::newRow("a plus sign") << "'+7'" << QVariant() << "7";
        QTest::newRow("a sign alone") << "'+'" << QVariant(false) << refused("+");
        QTest::newRow("t") << "'t'" << QVariant(true) << refused("t");
        QTest::newRow("FALSE") << "'FALSE'" << QVariant(false) << refused("FALSE");
        QTest::newRow("a blank inside") << "'tr ue'" << QVariant(false) << refused("tr ue");
        QTest::newRow("longer than true") << "'trueish'" << QVariant(false) << refused("trueish");
        QTest::newRow("a colon after digits") << "'12:'" << QVariant(false) << refused("12:");
        QTest::newRow("a slash before digits") << "'/12'" << QVariant(false) << refused("/12");
        QTest::newRow("empty") << "''" << QVariant(false) << refused("");
    }
    void textReadThroughField()
    {
        QFETCH(QString, literal);
        QFETCH(QVariant, boolean);
        QFETCH(QString, integer);
        TempProgramFolder& home = sharedHome();
        TADOQuery q(&home.connection());
        OpenQuery(q, "select " + literal + " as v");
        const TField f = q.FieldByName("v");
        if (boolean.isValid()) QCOMPARE(f.AsBoolean(), boolean.toBool());
        int read = 0;
        const QString error = raiseText([&] { read = f.AsInteger(); });
        QCOMPARE(error == "<no error>" ? QString::number(read) : error, integer);
    }

    // The edges of a result: Next past the last row stays at the end, a new row's field reads
    // unset until it is set, and a closed query is at its end.
    void edgesOfAResult()
    {
        TempProgramFolder home;
        home.exec("insert into tasks (tid, content) values ('a', 'kept')");
        TADOQuery q(&home.connection());
        OpenQuery(q, "select * from tasks");
        QVERIFY(q.RowId() > 0);
        q.Next();
        q.Next();
        QVERIFY(q.Eof());
        QCOMPARE(q.RowId(), 0);
        q.Append();
        QVERIFY(q.FieldByName("content").IsNull());
        QCOMPARE(q.FieldByName("dueTime").AsDateTime(), 0.0);
        q.FieldByName("content").setAsString("new");
        QCOMPARE(q.FieldByName("content").AsString(), QString("new"));
        q.Cancel();
        q.Close();
        QVERIFY(q.Eof());
        QCOMPARE(home.count("select count(*) from tasks"), 1);
    }

    // Posting with nothing set: an edit stores nothing, a new row is stored empty.
    void postWithNothingSet()
    {
        TempProgramFolder home;
        home.exec("insert into tasks (tid, content) values ('a', 'kept')");
        TADOQuery q(&home.connection());
        OpenQuery(q, "select * from tasks");
        q.Edit();
        q.Edit(); // already editing: nothing lost, nothing started again
        q.Post();
        QCOMPARE(home.scalar("select content from tasks").toString(), QString("kept"));
        q.Append();
        q.Post();
        QCOMPARE(home.count("select count(*) from tasks"), 2);
        QCOMPARE(home.count("select count(*) from tasks where tid is null and content is null"), 1);
        q.Post(); // nothing pending: no third row
        QCOMPARE(home.count("select count(*) from tasks"), 2);
    }

    // More statements than the connection keeps compiled: the oldest go, every one still runs.
    void manyStatements()
    {
        TempProgramFolder home;
        TADOConnection& c = home.connection();
        TADOQuery q(&c);
        for (int i = 0; i < 150; ++i) {
            ExecQuery(q, QString("insert into tasks (tid, textColor) values ('t', %1)").arg(i));
            OpenQuery(q, QString("select count(*) as n from tasks where textColor < %1").arg(i + 1));
            QCOMPARE(q.FieldByName("n").AsInteger(), i + 1);
        }
        QVERIFY(noOpenStatement(c));
    }

    // A row posted outside any transaction on a full disk: the error is raised with the
    // database's words, nothing is stored, and the same post succeeds once there is room,
    // storing the row once.
    void fullDiskPostIsReportedAndRetried()
    {
        TempProgramFolder home;
        TADOConnection& c = home.connection();
        TADOQuery q(&c);
        appendRow(q, "tasks", {"tid", "before"});
        OpenQuery(q, "select * from tasks where 1=0");
        q.Append();
        q.FieldByName("tid").setAsString("big");
        q.FieldByName("content").setAsString(QString(200000, QLatin1Char('x')));
        QString message;
        {
            TFileSizeLimit limit(QFileInfo(home.dbPath() + "-wal").size() + 4096);
            message = raiseText([&] { q.Post(); });
        }
        QVERIFY2(message.contains("disk") || message.contains("full") || message.contains("I/O"),
                 qPrintable(message));
        QVERIFY(c.autocommit());
        QCOMPARE(home.count("select count(*) from tasks"), 1);
        q.Post();
        QCOMPARE(home.count("select count(*) from tasks where tid='big' and length(content)=200000"), 1);
        QCOMPARE(home.count("select count(*) from tasks"), 2);
    }

    // A damaged table fails the statement that meets it with the database's own words: a
    // read is not taken for an empty table, nor a change for done.
    void damagedTable_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("a read") << QString("select * from tasks");
        QTest::newRow("a change") << QString("update tasks set content='x'");
    }
    void damagedTable()
    {
        QFETCH(QString, sql);
        TempProgramFolder home;
        home.exec("insert into tasks (tid, content) values ('a', 'one'), ('b', 'two')");
        QByteArray bytes = fileBytes(home.dbPath());
        bytes.replace(4096, 4096, QByteArray(4096, 'Z')); // the table's one page
        writeBytes(home.dbPath(), bytes);
        TADOQuery q(&home.connection());
        QCOMPARE(raiseText([&] {
                     if (sql.startsWith("select"))
                         OpenQuery(q, sql);
                     else
                         ExecQuery(q, sql);
                 }),
                 QString("database disk image is malformed"));
        QVERIFY(home.connection().autocommit());
    }

    // Making a database file: refused over an existing file, and a schema that fails leaves
    // no file behind.
    void createDatabaseRefuses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("file exists") << "exists"
                                     << "%1 already exists";
        QTest::newRow("bad schema") << "schema"
                                    << "near \"tabel\": syntax error";
        QTest::newRow("missing folder") << "folder"
                                        << "unable to open database file";
    }
    void createDatabaseRefuses()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        TempProgramFolder home(false);
        const QString path = kind == "folder" ? home.path() + "gone/zvData.zvb" : home.dbPath();
        if (kind == "exists") writeBytes(path, "mine");
        QCOMPARE(raiseText([&] {
                     CreateDatabaseFile(path, kind == "schema" ? "create tabel tasks (tid text);" : "", "pw");
                 }),
                 message.contains("%1") ? message.arg(path) : message);
        if (kind == "exists")
            QCOMPARE(fileBytes(path), QByteArray("mine"));
        else
            QVERIFY(!QFileInfo::exists(path));
    }

    // A row image written back holds each value with its own storage class: an undo that put
    // back a null as 0, a real 1.0 as the integer 1 or an empty text as null would change the
    // row it claims to restore.
    void rowImageValues_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("stored"); // SQL's quote()
        QTest::newRow("null") << QVariant() << "NULL";
        QTest::newRow("integer") << QVariant(qlonglong(1)) << "1";
        QTest::newRow("large integer") << QVariant(qlonglong(1) << 62) << "4611686018427387904";
        QTest::newRow("real") << QVariant(1.0) << "1.0";
        QTest::newRow("text") << QVariant(QString("it's")) << "'it''s'";
        QTest::newRow("empty text") << QVariant(QString("")) << "''";
        QTest::newRow("blob") << QVariant(QByteArray("\0\xff", 2)) << "X'00FF'";
        QTest::newRow("empty blob") << QVariant(QByteArray("")) << "X''";
    }
    void rowImageValues()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, stored);
        TempProgramFolder home;
        // Columns without a declared type keep any storage class (the sync state's are so).
        home.exec("create table anyvalues (tid, content)");
        home.exec("insert into anyvalues (rowid, tid, content) values (7, 'other', 'held')");
        TADOConnection& c = home.connection();
        const QStringList columns{"tid", "content"};
        // Rowid 7 is held by another row: the image goes in under a new one, leaving that row.
        const qint64 rowid =
            InsertRowImage(c, "anyvalues", columns, TZvRowImage{7, {QVariant("{A}"), value}});
        QVERIFY(rowid != 7);
        QCOMPARE(
            home.scalar(QString("select quote(content) from anyvalues where rowid=%1").arg(rowid)).toString(),
            stored);
        QCOMPARE(home.scalar("select content from anyvalues where rowid=7").toString(), QString("held"));
        const std::optional<TZvRowImage> back = RowImageAt(c, "anyvalues", columns, rowid);
        QVERIFY(back);
        QVERIFY(SameStoredValue(back->values.at(1), value));
        // Written back over a changed row, the value is again what it was.
        home.exec(QString("update anyvalues set content=2.5 where rowid=%1").arg(rowid));
        QVERIFY(UpdateRowImage(c, "anyvalues", columns, *back, {1}));
        QCOMPARE(
            home.scalar(QString("select quote(content) from anyvalues where rowid=%1").arg(rowid)).toString(),
            stored);
        const std::vector<TZvRowImage> all = SelectRowImages(c, "anyvalues", columns, "tid='{A}'");
        QCOMPARE(all.size(), size_t(1));
        QCOMPARE(all.front().rowid, rowid);
        QVERIFY(SameStoredValue(all.front().values.at(1), value));
    }

    // Rows an undo looks for that are gone: no update passes for done, a delete of nothing
    // is no error, and a rowid that is free again takes its image under that very rowid.
    void rowImageOfAGoneRow()
    {
        TempProgramFolder& home = sharedHome();
        TADOConnection& c = home.connection();
        const QStringList columns{"tid", "content"};
        const TZvRowImage image{42, {QVariant("{gone}"), QVariant("text")}};
        QVERIFY(!RowImageAt(c, "tasks", columns, 42));
        QVERIFY(!UpdateRowImage(c, "tasks", columns, image, {1}));
        QVERIFY(!UpdateRowImage(c, "tasks", columns, image, {}));
        DeleteRowAt(c, "tasks", 42);
        QCOMPARE(InsertRowImage(c, "tasks", columns, image), qint64(42));
        QVERIFY(UpdateRowImage(c, "tasks", columns, image, {}));
        QCOMPARE(home.count("select count(*) from tasks where rowid=42 and tid='{gone}'"), 1);
        DeleteRowAt(c, "tasks", 42);
        QCOMPARE(home.count("select count(*) from tasks"), 0);
    }

    // What "the same value" means to an undo: the storage class counts, an unset value is
    // null, and each rowid is kept once in order.
    void sameStoredValue_data()
    {
        QTest::addColumn<QVariant>("a");
        QTest::addColumn<QVariant>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("unset and null") << QVariant() << QVariant::fromValue(nullptr) << true;
        QTest::newRow("null and 0") << QVariant() << QVariant(qlonglong(0)) << false;
        QTest::newRow("0 and null") << QVariant(qlonglong(0)) << QVariant() << false;
        QTest::newRow("integer and real") << QVariant(qlonglong(1)) << QVariant(1.0) << false;
        QTest::newRow("text and integer") << QVariant(QString("1")) << QVariant(qlonglong(1)) << false;
        QTest::newRow("text and blob") << QVariant(QString("a")) << QVariant(QByteArray("a")) << false;
        QTest::newRow("equal reals") << QVariant(0.5) << QVariant(0.5) << true;
        QTest::newRow("null and unset") << QVariant::fromValue(nullptr) << QVariant() << true;
        QTest::newRow("null and text") << QVariant::fromValue(nullptr) << QVariant(QString("")) << false;
        QTest::newRow("other text") << QVariant(QString("a")) << QVariant(QString("b")) << false;
    }
    void sameStoredValue()
    {
        QFETCH(QVariant, a);
        QFETCH(QVariant, b);
        QFETCH(bool, same);
        QCOMPARE(SameStoredValue(a, b), same);
        std::vector<TZvRowImage> images{{5, {}}, {2, {}}, {5, {}}, {1, {}}, {2, {}}};
        SortByRowid(images);
        QList<qint64> rowids;
        for (const TZvRowImage& i : images)
            rowids << i.rowid;
        QCOMPARE(rowids, QList<qint64>({1, 2, 5}));
    }

    // A damaged table or a full disk fails every row-image operation with the database's
    // words: an undo is never reported done when its row was not written, nor a row read as
    // missing when it could not be read.
    void rowImageFailures_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("fullDisk"); // else the table's page damaged
        for (const char* op : {"select", "at", "insert", "update", "delete"})
            QTest::addRow("%s, damaged", op) << QString(op) << false;
        for (const char* op : {"insert", "update"})
            QTest::addRow("%s, the disk full", op) << QString(op) << true;
    }
    void rowImageFailures()
    {
        QFETCH(QString, operation);
        QFETCH(bool, fullDisk);
        TempProgramFolder home;
        home.exec("insert into tasks (rowid, tid, content) values (1, 'a', 'one'), (2, 'b', 'two')");
        if (!fullDisk) {
            QByteArray bytes = fileBytes(home.dbPath());
            bytes.replace(4096, 4096, QByteArray(4096, 'Z')); // the table's one page
            writeBytes(home.dbPath(), bytes);
        }
        TADOConnection& c = home.connection();
        c.checkpoint();
        const QStringList columns{"tid", "content"};
        const TZvRowImage image{operation == "insert" ? 9 : 1,
                                {QVariant("c"), QVariant(QString(200000, QLatin1Char('x')))}};
        QString message;
        {
            std::optional<TFileSizeLimit> limit;
            if (fullDisk) limit.emplace(QFileInfo(home.dbPath() + "-wal").size() + 4096);
            message = raiseText([&] {
                if (operation == "select") SelectRowImages(c, "tasks", columns, "1");
                if (operation == "at") RowImageAt(c, "tasks", columns, 1);
                if (operation == "insert") InsertRowImage(c, "tasks", columns, image);
                if (operation == "update") UpdateRowImage(c, "tasks", columns, image, {0, 1});
                if (operation == "delete") DeleteRowAt(c, "tasks", 1);
            });
        }
        if (fullDisk)
            QVERIFY2(message.contains("disk") || message.contains("full") || message.contains("I/O"),
                     qPrintable(message));
        else
            QCOMPARE(message, QString("database disk image is malformed"));
        QVERIFY(c.autocommit());
        if (fullDisk) QCOMPARE(home.scalar("select group_concat(content) from tasks").toString(), "one,two");
    }

    // Only the program's own database files are refused as a command's file: the live file
    // under any name, its journal files even before they exist, and nothing else.
    void databaseFiles_data()
    {
        QTest::addColumn<QString>("name"); // relative to the program folder; "" as given
        QTest::addColumn<bool>("refused");
        QTest::newRow("no name") << "" << false;
        QTest::newRow("the database") << "zvData.zvb" << true;
        QTest::newRow("its journal") << "zvData.zvb-wal" << true;
        QTest::newRow("its index") << "zvData.zvb-shm" << true;
        QTest::newRow("a rollback journal not made yet") << "zvData.zvb-journal" << true;
        QTest::newRow("through another folder name") << "sub/../zvData.zvb" << true;
        QTest::newRow("a hard link to it") << "link.zvb" << true;
        QTest::newRow("a copy of it") << "copy.zvb" << false;
        QTest::newRow("a new file beside it") << "zvData.zvb.bak" << false;
        QTest::newRow("that name in another folder") << "sub/zvData.zvb-journal" << false;
        QTest::newRow("that name in a missing folder") << "gone/zvData.zvb-wal" << false;
        QTest::newRow("the program folder itself") << "." << false;
    }
    void databaseFiles()
    {
        QFETCH(QString, name);
        QFETCH(bool, refused);
        TempProgramFolder home;
        home.connection();
        QVERIFY(QDir().mkpath(home.path() + "sub"));
        QCOMPARE(::link(QFile::encodeName(home.dbPath()).constData(),
                        QFile::encodeName(home.path() + "link.zvb").constData()),
                 0);
        QVERIFY(QFile::copy(home.dbPath(), home.path() + "copy.zvb"));
        const QString path = name.isEmpty() ? QString() : home.path() + name;
        QCOMPARE(IsDatabaseFile(path), refused);
        QCOMPARE(raiseText([&] { RefuseDatabaseFile(path); }) != "<no error>", refused);
    }

    // An older database brought up to date takes the schema's "IF NOT EXISTS" tables and
    // indexes and nothing else: no row or table of the user's goes, a ";" or "--" inside a
    // text is no end of a statement, and a statement that fails leaves none of the others.
    void schemaAdditions_data()
    {
        QTest::addColumn<QString>("schema");
        QTest::addColumn<QString>("made"); // the names of sqlite_master after, beyond the install's
        QTest::addColumn<QString>("message");
        QTest::newRow("a table and its index") << "CREATE TABLE IF NOT EXISTS zv_new (a TEXT);\nCREATE INDEX "
                                                  "IF NOT EXISTS zv_new_a ON zv_new (a);"
                                               << "zv_new,zv_new_a"
                                               << "<no error>";
        QTest::newRow("other statements passed over")
            << "CREATE TABLE plain (a); DROP TABLE tasks; DELETE FROM memos;\n"
               "create   table if not exists zv_new (a)"
            << "zv_new"
            << "<no error>";
        QTest::newRow("a table there already") << "CREATE TABLE IF NOT EXISTS tasks (other)"
                                               << ""
                                               << "<no error>";
        QTest::newRow("comments and texts")
            << "-- a comment; CREATE TABLE IF NOT EXISTS zv_no (a);\n"
               "CREATE TABLE IF NOT EXISTS zv_new (a DEFAULT 'x;--y'); -- done\n-- the end"
            << "zv_new"
            << "<no error>";
        QTest::newRow("minus signs that start no comment")
            << "CREATE TABLE IF NOT EXISTS zv_new (a DEFAULT (2 - 1), b DEFAULT '--');\n-"
            << "zv_new"
            << "<no error>";
        QTest::newRow("one fails, none made")
            << "CREATE TABLE IF NOT EXISTS zv_new (a);\nCREATE INDEX IF NOT EXISTS zv_i ON zv_none (a);"
            << ""
            << "no such table: main.zv_none";
    }
    void schemaAdditions()
    {
        QFETCH(QString, schema);
        QFETCH(QString, made);
        QFETCH(QString, message);
        TempProgramFolder home;
        home.exec("insert into tasks (tid, content) values ('a', 'kept')");
        home.exec("insert into memos (mid, content) values ('m', 'kept')");
        const QString names = "select group_concat(name) from (select name from sqlite_master order by name)";
        const QString before = home.scalar(names).toString();
        QCOMPARE(raiseText([&] { ApplySchemaAdditions(home.connection(), schema); }), message);
        QStringList added = home.scalar(names).toString().split(',');
        for (const QString& name : before.split(','))
            added.removeOne(name);
        QCOMPARE(added.join(','), made);
        QVERIFY(home.connection().autocommit());
        QCOMPARE(home.count("select count(*) from tasks where content='kept'"), 1);
        QCOMPARE(home.count("select count(*) from memos where content='kept'"), 1);
        if (made == "zv_new" && schema.contains("x;--y")) {
            home.exec("insert into zv_new default values");
            QCOMPARE(home.scalar("select a from zv_new").toString(), QString("x;--y"));
        }
        // Once more changes nothing: the statements are safe to run at every start.
        const QString after = home.scalar(names).toString();
        if (message == "<no error>") {
            ApplySchemaAdditions(home.connection(), schema);
            QCOMPARE(home.scalar(names).toString(), after);
        }
    }

    // Only changes of the data count as changes: the program's own bookkeeping ("zv" tables)
    // does not, so writing it never marks the database as edited by the user; a delete of
    // every row of a table counts as any other.
    void dataChangesCount()
    {
        TempProgramFolder home;
        TADOConnection& c = home.connection();
        TADOQuery q(&c);
        const qint64 start = c.dataChanges();
        ExecQuery(q, "update zv_meta set value=value");
        ExecQuery(q, "create table zv_state (a)");
        ExecQuery(q, "insert into zv_state values (1)");
        // A drop is never turned away as a delete of every row would be.
        ExecQuery(q, "create view zv_view as select a from zv_state");
        ExecQuery(q, "drop view zv_view");
        ExecQuery(q, "drop table zv_state");
        ExecQuery(q, "create temp table zv_temp (a)");
        ExecQuery(q, "create temp view zv_tview as select a from zv_temp");
        ExecQuery(q, "drop view zv_tview");
        ExecQuery(q, "drop table zv_temp");
        OpenQuery(q, "select count(*) as n from sqlite_temp_master"); // this connection's own
        QCOMPARE(q.FieldByName("n").AsInteger(), 0);
        q.Close();
        QCOMPARE(home.count("select count(*) from sqlite_master where name in ('zv_state', 'zv_view')"), 0);
        QCOMPARE(c.dataChanges(), start);
        appendRow(q, "tasks", {"tid", "a"});
        ExecQuery(q, "update tasks set content='b'");
        ExecQuery(q, "delete from tasks");
        QCOMPARE(c.dataChanges(), start + 3);
    }

    // Whether the process holds its locks is read from what the system says: held while the
    // connection is open, gone when they are dropped (and taken again before the next
    // write) or the connection closed, and never "held" for files that are not there.
    void locksSeen_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("held");
        QTest::newRow("open") << "open" << true;
        QTest::newRow("dropped") << "dropped" << false;
        QTest::newRow("the index file's dropped") << "index dropped" << false;
        QTest::newRow("the database file's dropped") << "file dropped" << false;
        QTest::newRow("closed") << "closed" << false;
        QTest::newRow("never opened") << "unopened" << false;
        QTest::newRow("no such file") << "missing" << false;
    }
    void locksSeen()
    {
        QFETCH(QString, state);
        QFETCH(bool, held);
        TempProgramFolder home;
        TADOConnection& c = home.connection();
        QString path = home.dbPath();
        const bool checks = DurabilityChecks();
        SetDurabilityChecks(false); // with checks on, a lost lock ends the program
        const auto restore = qScopeGuard([&] { SetDurabilityChecks(checks); });
        if (state == "dropped") DropDatabaseLocksForTest(path);
        if (state == "index dropped") dropLocksOf(path + "-shm");
        if (state == "file dropped") dropLocksOf(path);
        if (state == "closed") c.Close();
        if (state == "unopened") {
            path = home.path() + "other.zvb";
            zvtest::MakeDatabase(path);
        }
        if (state == "missing") path = home.path() + "gone.zvb";
        QCOMPARE(HoldsDatabaseLocks(path), held);
        // A database that was never opened has no index file: nothing to hold.
        if (state != "closed")
            QCOMPARE(LockedFilesOf(path).known(), state != "unopened" && state != "missing");
        QCOMPARE(SameFile(path, path), state != "missing");
        if (state.endsWith("dropped")) { // the next write takes them again
            TADOQuery q(&c);
            appendRow(q, "tasks", {"tid", "after"});
            QVERIFY(HoldsDatabaseLocks(path));
            QCOMPARE(home.count("select count(*) from tasks where tid='after'"), 1);
        }
    }

    // A file that cannot be opened fails at Open with a clear message and stays as it was.
    void openRefuses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        const QString notOurs = "Unrecognized database format '%1'";
        QTest::newRow("missing") << QString("missing") << QString("Could not find file '%1'");
        QTest::newRow("random bytes") << QString("random") << notOurs;
        QTest::newRow("header overwritten") << QString("header") << notOurs;
        QTest::newRow("cut in half") << QString("truncated") << notOurs;
        QTest::newRow("its table's pages damaged") << QString("pages") << notOurs;
        QTest::newRow("empty file") << QString("empty") << notOurs;
        QTest::newRow("foreign database") << QString("foreign") << notOurs;
        QTest::newRow("other password") << QString("password") << QString("Not a valid password");
        QTest::newRow("other password, opened before")
            << QString("password-wal") << QString("Not a valid password");
        QTest::newRow("no password stored") << QString("no password") << QString("Not a valid password");
        QTest::newRow("an empty password stored")
            << QString("empty password") << QString("Not a valid password");
        QTest::newRow("locked by another program") << QString("locked") << QString("database is locked");
        QTest::newRow("a folder of that name") << QString("folder") << QString("Could not find file '%1'");
        QTest::newRow("no data source named") << QString("no source") << QString("Could not find file ''");
        QTest::newRow("a folder deeper than the store names")
            << QString("deep") << QString("Cannot open database '%1': unable to open database file");
    }
    void openRefuses()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        TempProgramFolder home(false);
        // Five levels of 120 characters: past the longest path the store's file layer takes.
        const QString folder =
            kind == "deep" ? home.path() + QString("%1/").arg(QString(120, 'd')).repeated(5) : home.path();
        const QString db = folder + "zvData.zvb";
        if (kind == "deep") {
            QVERIFY(QDir().mkpath(folder));
            zvtest::MakeDatabase(home.dbPath());
            QVERIFY(QFile::rename(home.dbPath(), db));
        }
        if (kind == "random") {
            QByteArray junk(8192, '\0');
            for (char& ch : junk)
                ch = char(QRandomGenerator::global()->bounded(256));
            writeBytes(db, junk);
        } else if (kind == "header" || kind == "truncated" || kind == "pages") {
            zvtest::MakeDatabase(db);
            const QByteArray bytes = fileBytes(db);
            // The schema reads; the password table, made last, fills the last two pages.
            writeBytes(db, kind == "header"  ? QByteArray(16, 'Z') + bytes.mid(16)
                           : kind == "pages" ? bytes.left(bytes.size() - 8192) + QByteArray(8192, 'Z')
                                             : bytes.left(bytes.size() / 2));
        } else if (kind == "empty") {
            writeBytes(db, QByteArray());
        } else if (kind == "foreign") {
            sqlite3* raw = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(db).constData(), &raw), SQLITE_OK);
            QCOMPARE(sqlite3_exec(raw, "create table tasks (tid text)", nullptr, nullptr, nullptr),
                     SQLITE_OK);
            sqlite3_close(raw);
        } else if (kind.startsWith("password")) {
            CreateDatabaseFile(db, "create table tasks (tid text);", "other");
            if (kind == "password-wal") { // a file in use has its journal mode set
                TADOConnection right;
                right.setConnectionString(home.connectionString().replace("mavrude", "other"));
                right.Open();
            }
        }
        if (kind == "no password" || kind == "empty password") {
            zvtest::MakeDatabase(db);
            sqlite3* raw = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(db).constData(), &raw), SQLITE_OK);
            QCOMPARE(sqlite3_exec(raw,
                                  kind == "no password" ? "delete from zv_meta"
                                                        : "update zv_meta set value='' where name='password'",
                                  nullptr, nullptr, nullptr),
                     SQLITE_OK);
            sqlite3_close(raw);
        }
        // Another program holds the file for itself: no read, so no probe, gets through.
        sqlite3* holder = nullptr;
        if (kind == "locked") {
            zvtest::MakeDatabase(db);
            QCOMPARE(sqlite3_open(QFile::encodeName(db).constData(), &holder), SQLITE_OK);
            QCOMPARE(sqlite3_exec(holder, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        if (kind == "folder") QVERIFY(QDir().mkpath(db));
        const auto release = qScopeGuard([&] { sqlite3_close(holder); });
        const QByteArray before = fileBytes(db);
        const QStringList filesBefore = QDir(home.path()).entryList(QDir::Files);

        TADOConnection c;
        QString connection = TADOConnection::BuildConnectionString(folder);
        if (kind == "no source") connection.replace(QLatin1String("Data Source="), QLatin1String("Source="));
        c.setConnectionString(connection);
        QCOMPARE(raiseText([&] { c.Open(); }), message.contains("%1") ? message.arg(db) : message);
        QVERIFY(!c.connected());
        QCOMPARE(fileBytes(db), before);
        QCOMPARE(QDir(home.path()).entryList(QDir::Files), filesBefore);
    }
};

QTEST_GUILESS_MAIN(TstDb)
#include "tst_db.moc"

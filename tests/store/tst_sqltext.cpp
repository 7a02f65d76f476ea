// The SQL text rewriting of the query layer, on its own: which literals become bound values,
// and which statements are read as editable "select * from <table>" results.
#include "store/ZvSqlText.h"
#include "store/pU_Funcs.h"

#include <QTest>

using namespace zv;

class TstSqlText : public QObject
{
    Q_OBJECT

private slots:
    void parameterize_data();
    void parameterize();
    void quotedIdsComeBackWhole_data();
    void quotedIdsComeBackWhole();
    void starSelect_data();
    void starSelect();
};

void TstSqlText::parameterize_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("rewritten");
    QTest::addColumn<QStringList>("literals");
    QTest::newRow("no literal") << "select * from tasks where pid=root"
                                << "select * from tasks where pid=root" << QStringList{};
    QTest::newRow("one id") << "select * from tasks where tid='{A}'"
                            << "select * from tasks where tid=?" << QStringList{"{A}"};
    QTest::newRow("two, and the rest kept")
        << "update memos set pid='root' where mid='m' and 1=1"
        << "update memos set pid=? where mid=? and 1=1" << QStringList{"root", "m"};
    QTest::newRow("doubled quotes inside") << "where tid='it''s ''x'''"
                                           << "where tid=?" << QStringList{"it's 'x'"};
    QTest::newRow("empty literal") << "where content=''"
                                   << "where content=?" << QStringList{""};
    QTest::newRow("True and False are no literals")
        << "where checkFlag=True and dueFlag=False and tid='x'"
        << "where checkFlag=True and dueFlag=False and tid=?" << QStringList{"x"};
    QTest::newRow("double quotes are names") << "select \"content\" from tasks"
                                             << "select \"content\" from tasks" << QStringList{};
    // The parser reports a broken literal; no half-taken literal may stay behind.
    QTest::newRow("broken literal after a good one") << "where a='x' and b='y"
                                                     << "where a='x' and b='y" << QStringList{};
    QTest::newRow("a lone quote") << "'"
                                  << "'" << QStringList{};
    QTest::newRow("a literal at the very end") << "x=''''"
                                               << "x=?" << QStringList{"'"};
}

void TstSqlText::parameterize()
{
    QFETCH(QString, sql);
    QFETCH(QString, rewritten);
    QFETCH(QStringList, literals);
    QStringList taken{QStringLiteral("before")};
    QCOMPARE(ParameterizeSql(sql, &taken), rewritten);
    QCOMPARE(taken, QStringList{QStringLiteral("before")} + literals);
}

// Whatever an id holds, QuoteId puts it into SQL text and the rewriter hands the same text
// to SQLite as a bound value.
void TstSqlText::quotedIdsComeBackWhole_data()
{
    QTest::addColumn<QString>("id");
    for (const char* id : {"{6F9619FF-8B86-D011-B42D-00C04FC964FF}", "o'brien", "''", "'", "a'';--", "",
                           "tab\there", "line\r\nbreak", "ünï'cödé"})
        QTest::newRow(id) << QString::fromUtf8(id);
}

void TstSqlText::quotedIdsComeBackWhole()
{
    QFETCH(QString, id);
    QStringList literals;
    const QString sql = QStringLiteral("select * from tasks where tid=") + QuoteId(id) +
                        QStringLiteral(" or pid=") + QuoteId(id);
    QCOMPARE(ParameterizeSql(sql, &literals), QStringLiteral("select * from tasks where tid=? or pid=?"));
    QCOMPARE(literals, (QStringList{id, id}));
}

void TstSqlText::starSelect_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("start");
    QTest::newRow("plain") << "select * from tasks where 1=0"
                           << "tasks" << 14;
    QTest::newRow("any case and blanks") << "  SELECT\t*  From\nmemos"
                                         << "memos" << 17;
    QTest::newRow("underscore and digits") << "select * from zv_meta2"
                                           << "zv_meta2" << 14;
    QTest::newRow("a column list") << "select rowid, * from tasks"
                                   << "" << -1;
    QTest::newRow("count") << "select count(*) from tasks"
                           << "" << -1;
    QTest::newRow("selectx") << "selectx * from tasks"
                             << "" << -1;
    QTest::newRow("a name starting with a digit") << "select * from 1tasks"
                                                  << "" << -1;
    QTest::newRow("no table") << "select * from "
                              << "" << -1;
    QTest::newRow("update") << "update tasks set x=1"
                            << "" << -1;
    // Statements that only start like one: none may be read as an editable table.
    QTest::newRow("the word alone") << "select"
                                    << "" << -1;
    QTest::newRow("no blank after select") << "select* from tasks"
                                           << "" << -1;
    QTest::newRow("a star without from") << "select *"
                                         << "" << -1;
    QTest::newRow("more columns after the star") << "select *, rowid from tasks"
                                                 << "" << -1;
    QTest::newRow("from glued to a name") << "select * fromage"
                                          << "" << -1;
    QTest::newRow("ends after from") << "select * from"
                                     << "" << -1;
    QTest::newRow("ends after blanks") << "select   "
                                       << "" << -1;
    QTest::newRow("a blank then no from") << "select * "
                                          << "" << -1;
    // SQLite takes letters beyond ASCII in a name.
    QTest::newRow("a table named in Cyrillic")
        << QString::fromUtf8("select * from \u0437\u0430\u0434\u0430\u0447\u0438")
        << QString::fromUtf8("\u0437\u0430\u0434\u0430\u0447\u0438") << 14;
    QTest::newRow("select glued to a letter beyond ASCII")
        << QString::fromUtf8("select\u00e4 * from tasks") << "" << -1;
    QTest::newRow("from glued to a letter beyond ASCII")
        << QString::fromUtf8("select * from\u00e4 tasks") << "" << -1;
    QTest::newRow("from right after the star") << "select *from tasks"
                                               << "tasks" << 13;
}

void TstSqlText::starSelect()
{
    QFETCH(QString, sql);
    QFETCH(QString, table);
    QFETCH(int, start);
    qsizetype at = -1;
    QCOMPARE(StarSelectTable(sql, &at), table);
    QCOMPARE(int(at), start);
}

QTEST_APPLESS_MAIN(TstSqlText)
#include "tst_sqltext.moc"

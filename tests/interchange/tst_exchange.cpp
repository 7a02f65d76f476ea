// Writing and reading the exchange file: selection writers, backup, restore and import.
#include "ZvTestSupport.h"
#include "interchange/Dlg_ReplaceAsk.h"
#include "interchange/Dm_Io.h"
#include "interchange/ZvExchange.h"
#include "interchange/ZvIoBusy.h"
#include "interchange/pU_XmlTry.h"
#include "platform/ZvFileDialog.h"
#include "platform/ZvSystem.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <limits>
#include <sqlite3.h>

using namespace zv;

namespace {

const QString kT1 = QStringLiteral("{11111111-0000-0000-0000-000000000001}");
const QString kT2 = QStringLiteral("{11111111-0000-0000-0000-000000000002}");
const QString kT3 = QStringLiteral("{11111111-0000-0000-0000-000000000003}");
const QString kM1 = QStringLiteral("{22222222-0000-0000-0000-000000000001}");
const QString kM2 = QStringLiteral("{22222222-0000-0000-0000-000000000002}");

TDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return EncodeDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

void writeBytes(const QString& name, const QByteArray& bytes)
{
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray exchangeOf(const QString& tasks, const QString& memos,
                      const QString& root = QStringLiteral("zorvik app=\"Brisk-Mate\" appversion=\"1\" "
                                                           "dataversion=\"1.1\" time=\"\""))
{
    const QString rootName = root.section(QLatin1Char(' '), 0, 0);
    return PackExchangeContainer(QStringLiteral("<%1><tasks>%2</tasks><memos>%3</memos><notes/><peers/></%4>")
                                     .arg(root, tasks, memos, rootName)
                                     .toUtf8());
}

QString taskXml(const QString& tid, const QString& pid, const QString& content = QStringLiteral("t"),
                const QString& extra = QString())
{
    QString attrs =
        QStringLiteral("tid=\"%1\" pid=\"%2\" content=\"%3\" check-flag=\"False\" alarm-flag=\"False\" "
                       "due-flag=\"False\" text-color=\"0\" background-color=\"0\" "
                       "create-time=\"2009-06-19T22:22:17.000Z\" edit-time=\"2009-06-19T22:22:17.000Z\" "
                       "check-time=\"2009-06-19T22:22:17.000Z\" alarm-time=\"2009-06-19T22:22:17.000Z\" "
                       "due-time=\"2009-06-19T22:22:17.000Z\"")
            .arg(tid, pid, content);
    // extra: "name=value" pairs replacing (or, with an empty value "name=", removing) attributes
    for (const QString& pair : extra.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = pair.section(QLatin1Char('='), 0, 0);
        const QString value = pair.section(QLatin1Char('='), 1);
        const QRegularExpression re(
            QStringLiteral(" ?\\b%1=\"[^\"]*\"").arg(QRegularExpression::escape(name)));
        attrs.replace(re, value == QLatin1String("-") ? QString()
                                                      : QStringLiteral(" %1=\"%2\"").arg(name, value));
    }
    return QStringLiteral("<task %1/>").arg(attrs);
}

QString memoXml(const QString& mid, const QString& pid, const QString& content = QStringLiteral("m"))
{
    return QStringLiteral(
               "<memo mid=\"%1\" pid=\"%2\" content=\"%3\" assign-time=\"2009-06-19T22:22:17.000Z\" "
               "create-time=\"2009-06-19T22:22:17.000Z\" edit-time=\"2009-06-19T22:22:17.000Z\"/>")
        .arg(mid, pid, content);
}

QString dump(const zvtest::TempProgramFolder& folder)
{
    QStringList lines;
    for (const char* sql :
         {"select * from memos order by mid, content", "select * from tasks order by tid, content"}) {
        for (const QVariantList& row : folder.rows(QString::fromLatin1(sql))) {
            QStringList cells;
            for (const QVariant& v : row)
                cells << (v.isNull() ? QStringLiteral("<null>") : v.toString());
            lines << cells.join(QLatin1Char('|'));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

// Two top-level tasks (one with two sub-tasks), a task with null flags, two memos.
void seed(zvtest::TempProgramFolder& folder)
{
    const QString t = QString::number(at(2009, 6, 19, 22, 22, 17), 'g', 17);
    folder.exec(QStringLiteral(
                    "insert into tasks (tid,pid,content,checkFlag,dueFlag,alarmFlag,expandFlag,textColor,"
                    "backgroundColor,createTime,editTime,checkTime,alarmTime,dueTime) values "
                    "('%1','root','first' || char(13,10) || 'line',1,0,1,1,-16777199,255,%4,%4,%4,%4,%4),"
                    "('%2','%1','child one',0,1,0,0,0,0,%4,%4,0,0,%4),"
                    "('%3','%1','child two',0,0,0,0,0,0,%4,%4,0,0,0),"
                    "('{NULLFLAGS}','root','nulls',NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL)")
                    .arg(kT1, kT2, kT3, t));
    folder.exec(
        QStringLiteral("insert into memos (mid,pid,content,expandFlag,assignTime,createTime,editTime) values "
                       "('%1','root','memo' || char(13,10) || 'text',1,%3,%3,%3),"
                       "('%2','%1','sub memo',0,0,%3,%3)")
            .arg(kM1, kM2, t));
}

QStringList attrNames(pugi::xml_node node)
{
    QStringList names;
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
        names << QString::fromUtf8(a.name());
    return names;
}

QStringList column(pugi::xml_node container, const char* attr)
{
    QStringList values;
    for (pugi::xml_node n = container.first_child(); n; n = n.next_sibling())
        values << QString::fromUtf8(n.attribute(attr).value());
    return values;
}

TTaskInfo task(const QString& tid, const QString& pid, const QString& content)
{
    TTaskInfo t;
    t.tid = tid;
    t.pid = pid;
    t.content = content;
    t.createTime = at(2009, 6, 19, 22, 22, 17);
    t.editTime = t.createTime;
    return t;
}

// Writer's zone UTC+01:00 and a fixed clock (a program folder resets both when made).
void pin()
{
    Clock::setUtcBiasOverride(-60);
    Clock::setFixed(QDateTime(QDate(2010, 1, 2), QTime(3, 4, 5)));
}

// Memos stored in a folder (SQL values) and, beside them, an exchange file of `memos` to
// restore from, the clock pinned; the file's name.
QString memosToRestore(const zvtest::TempProgramFolder& folder, const QString& stored, const QString& memos)
{
    pin();
    folder.exec(QStringLiteral("insert into memos (mid,pid,content) values ") + stored);
    const QString name = folder.path() + QStringLiteral("d.zvx");
    writeBytes(name, exchangeOf(QString(), memos));
    return name;
}

} // namespace

class TstExchange : public QObject
{
    Q_OBJECT
private slots:
    void init() { zvtest::ResetSeams(); }
    void cleanup()
    {
        Clock::setUtcBiasOverride(std::nullopt);
        Clock::setFixed(std::nullopt);
    }

    void timeTextMatchesIsoDateTimeText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("bias");
        QTest::newRow("unset") << 0.0 << -60;
        QTest::newRow("summer evening") << at(2009, 6, 19, 22, 22, 17) << -120;
        QTest::newRow("west of UTC") << at(2009, 6, 19, 22, 22, 17) << 300;
        QTest::newRow("half hour zone") << at(2009, 6, 19, 22, 22, 17) << -330;
        QTest::newRow("UTC") << at(2030, 12, 31, 23, 59, 59) << 0;
        QTest::newRow("a hair before midnight") << (40000.0 + 86399999.6 / 86400000.0) << -60;
        QTest::newRow("milliseconds dropped") << (40000.0 + 1234.0 / 86400000.0) << -60;
        QTest::newRow("before the epoch") << -1.25 << -60;
        QTest::newRow("leap day") << at(2000, 2, 29, 12, 0, 0) << -60;
    }
    void timeTextMatchesIsoDateTimeText()
    {
        QFETCH(double, value);
        QFETCH(int, bias);
        Clock::setUtcBiasOverride(bias);
        QCOMPARE(ExchangeTimeText(value, ExchangeZoneSuffix()), IsoDateTimeText(value));
    }

    // A time the four-digit year cannot carry (written by another tool) goes out as the zero
    // date, so that the file reads back; the first and last days still go out as they are.
    void timeTextOutOfRange_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        const QString zero = "1899-12-30T00:00:00.000Z";
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << zero;
        QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << zero;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << zero;
        QTest::newRow("year 10000") << 2958466.0 << zero;
        QTest::newRow("a hair before year 10000") << (2958465.0 + 86399999.6 / 86400000.0) << zero;
        QTest::newRow("last day at noon") << 2958465.5 << "9999-12-31T12:00:00.000Z";
        QTest::newRow("first day") << -693593.0 << "0001-01-01T00:00:00.000Z";
        QTest::newRow("the day before the first") << -693594.0 << zero;
    }
    void timeTextOutOfRange()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        Clock::setUtcBiasOverride(0);
        QCOMPARE(ExchangeTimeText(value, ExchangeZoneSuffix()), text);
    }

    void taskSelectionWriter()
    {
        zvtest::TempProgramFolder folder(false);
        pin();
        const QString name = folder.path() + QStringLiteral("sel.zvx");
        SelectedItem<TTaskInfo> top;
        top.record = task(kT1, kRootId, QStringLiteral("a\r\nb"));
        top.record.checkFlag = true;
        top.record.textColor = int(0xFF000011);
        top.record.backgroundColor = 0x00FF00;
        top.children = {task(kT2, kT1, QStringLiteral("c1")), task(kT3, kT1, QStringLiteral("c2"))};
        SelectedItem<TTaskInfo> sub;
        sub.record = task(QStringLiteral("{SUB}"), QStringLiteral("{OTHERPARENT}"), QStringLiteral("lone"));
        sub.level = 1;
        sub.children = {task(QStringLiteral("{NOT-WRITTEN}"), QStringLiteral("{SUB}"), QString())};
        QVERIFY(WriteSelection<TTaskInfo>(name, {top, sub}, QStringLiteral("1.0.0.1")));
        QVERIFY(MessageSeam::texts().isEmpty());

        Txmltry xml;
        xml.LoadFromFile(name, true);
        const pugi::xml_node root = xml.FindNode(QStringLiteral("zorvik"));
        QCOMPARE(attrNames(root), QStringList({"app", "appversion", "dataversion", "time"}));
        QCOMPARE(column(root.parent(), "app"), QStringList({"Brisk-Mate"}));
        QCOMPARE(QString::fromUtf8(root.attribute("appversion").value()), QStringLiteral("1.0.0.1"));
        QCOMPARE(QString::fromUtf8(root.attribute("time").value()),
                 QStringLiteral("2010-01-02T03:04:05.000+01:00"));
        QCOMPARE(column(root, "x").size(), 4); // tasks, memos, notes, peers

        const pugi::xml_node tasks = xml.FindNode(QStringLiteral("zorvik,tasks"));
        QCOMPARE(column(tasks, "tid"), QStringList({kT1, kT2, kT3, "{SUB}"}));
        QCOMPARE(column(tasks, "pid"), QStringList({"root", kT1, kT1, "root"}));
        QCOMPARE(attrNames(tasks.first_child()),
                 QStringList({"tid", "pid", "content", "check-flag", "alarm-flag", "due-flag", "text-color",
                              "background-color", "create-time", "edit-time", "check-time", "alarm-time",
                              "due-time"}));
        QCOMPARE(column(tasks, "content").first(), QStringLiteral("a\nb")); // CR LF travels as LF
        QCOMPARE(column(tasks, "check-flag"), QStringList({"True", "False", "False", "False"}));
        QCOMPARE(column(tasks, "text-color").first(), QStringLiteral("-16777199"));
        QCOMPARE(column(tasks, "background-color").first(), QStringLiteral("65280"));
        QCOMPARE(column(tasks, "create-time").first(), QStringLiteral("2009-06-19T22:22:17.000+01:00"));
        QCOMPARE(column(tasks, "check-time").first(), QStringLiteral("1899-12-30T00:00:00.000+01:00"));
        QCOMPARE(xml.ChildCount(QStringLiteral("zorvik,memos")), 0);
    }

    void memoSelectionWriter()
    {
        zvtest::TempProgramFolder folder(false);
        pin();
        const QString name = folder.path() + QStringLiteral("m.zvx");
        Clock::setUtcBiasOverride(0);
        SelectedItem<TMemoInfo> top;
        top.record.mid = kM1;
        top.record.pid = kRootId;
        for (int i = 0; i < 3; ++i) {
            TMemoInfo child;
            child.mid = QStringLiteral("{C%1}").arg(i);
            child.pid = kM1;
            top.children.push_back(child);
        }
        QVERIFY(WriteSelection<TMemoInfo>(name, {top}, QStringLiteral("v")));
        Txmltry xml;
        xml.LoadFromFile(name, true);
        const pugi::xml_node memos = xml.FindNode(QStringLiteral("zorvik,memos"));
        QCOMPARE(column(memos, "mid"), QStringList({kM1, "{C0}", "{C1}", "{C2}"}));
        QCOMPARE(attrNames(memos.first_child()),
                 QStringList({"mid", "pid", "content", "assign-time", "create-time", "edit-time"}));
        QCOMPARE(column(memos, "edit-time").first(), QStringLiteral("1899-12-30T00:00:00.000Z"));
    }

    void exportAction()
    {
        zvtest::TempProgramFolder folder(false);
        pin();
        MessageSeam::queueAnswer(IdOk);
        MessageSeam::queueAnswer(IdOk);
        QVERIFY(!ExportSelection<TTaskInfo>(nullptr, {}, QStringLiteral("v")));
        QVERIFY(!ExportSelection<TMemoInfo>(nullptr, {}, QStringLiteral("v")));
        QCOMPARE(MessageSeam::texts(), QStringList({"Please select a task!", "Please select a memo!"}));
        QCOMPARE(MessageSeam::history().first().caption, QStringLiteral("Warning"));

        FileDialogRequest seen;
        FileDialogSeam::setHandler([&](QWidget*, const FileDialogRequest& r) {
            seen = r;
            return FileDialogResult{folder.path() + QStringLiteral("e.zvx"), 0};
        });
        SelectedItem<TTaskInfo> item;
        item.record = task(kT1, kRootId, QStringLiteral("x"));
        QVERIFY(ExportSelection<TTaskInfo>(nullptr, {item}, QStringLiteral("v")));
        QCOMPARE(seen.mode, FileDialogRequest::Mode::Save);
        QCOMPARE(seen.filter, QStringLiteral("Zorvik Database,  (*.zvx)"));
        QCOMPARE(seen.defaultSuffix, QStringLiteral("zvx"));
        QVERIFY(seen.confirmOverwrite);
        QVERIFY(QFile::exists(folder.path() + QStringLiteral("e.zvx")));

        FileDialogSeam::setHandler([](QWidget*, const FileDialogRequest&) { return FileDialogResult{}; });
        QVERIFY(
            !ExportSelection<TTaskInfo>(nullptr, {item}, QStringLiteral("v"))); // cancelled: nothing shown
        QCOMPARE(MessageSeam::texts().size(), 2);

        MessageSeam::queueAnswer(IdOk);
        QVERIFY(!WriteSelection<TTaskInfo>(QStringLiteral("/nonexistent/dir/e.zvx"), {item},
                                           QStringLiteral("v")));
        QCOMPARE(MessageSeam::texts().last(), QStringLiteral("File Write Failure !"));
    }

    void backupContent()
    {
        zvtest::TempProgramFolder folder;
        pin();
        seed(folder);
        TIoDm io(&folder.connection());
        io.setAppVersion(QStringLiteral("1.0.0.1"));
        FileDialogRequest seen;
        const QString name = folder.path() + QStringLiteral("b.zvx");
        FileDialogSeam::setHandler([&](QWidget*, const FileDialogRequest& r) {
            seen = r;
            return FileDialogResult{name, 0};
        });
        QVERIFY(io.BackupDatabase());
        QCOMPARE(seen.filter, QStringLiteral("Zorvik Database,  (*.zvx)"));
        QVERIFY(seen.confirmOverwrite);

        Txmltry xml;
        xml.LoadFromFile(name, true);
        const pugi::xml_node tasks = xml.FindNode(QStringLiteral("zorvik,tasks"));
        const pugi::xml_node memos = xml.FindNode(QStringLiteral("zorvik,memos"));
        QCOMPARE(column(memos, "pid"), QStringList({"root", kM1}));
        QCOMPARE(column(memos, "content").first(), QStringLiteral("memo\ntext"));
        QCOMPARE(column(memos, "assign-time").last(), QStringLiteral("1899-12-30T00:00:00.000+01:00"));
        QCOMPARE(column(tasks, "tid"), QStringList({kT1, kT2, kT3, "{NULLFLAGS}"}));
        QCOMPARE(column(tasks, "check-flag"), QStringList({"True", "False", "False", ""}));
        QCOMPARE(column(tasks, "alarm-flag"), QStringList({"True", "False", "False", ""}));
        QCOMPARE(column(tasks, "due-flag"), QStringList({"False", "True", "False", ""}));
        QCOMPARE(column(tasks, "text-color"), QStringList({"-16777199", "0", "0", ""}));
        QCOMPARE(column(tasks, "background-color"), QStringList({"255", "0", "0", ""}));
        QCOMPARE(column(tasks, "due-time").last(), QStringLiteral("1899-12-30T00:00:00.000+01:00"));
        QCOMPARE(attrNames(tasks.first_child()).size(), 13);

        MessageSeam::queueAnswer(IdOk);
        QVERIFY(!io.BackupToFile(QStringLiteral("/nonexistent/dir/b.zvx")));
        QCOMPARE(MessageSeam::texts(), QStringList({"File write failure!"}));
        FileDialogSeam::setHandler([](QWidget*, const FileDialogRequest&) { return FileDialogResult{}; });
        QVERIFY(!io.BackupDatabase());
    }

    void backupRestoreKeepsEverything()
    {
        // Null flags come back as null, line breaks neither lost nor doubled, ids kept.
        zvtest::TempProgramFolder source;
        pin();
        seed(source);
        const QString name = source.path() + QStringLiteral("b.zvx");
        TIoDm out(&source.connection());
        QVERIFY(out.BackupToFile(name));

        zvtest::TempProgramFolder target;

        pin();
        Clock::setUtcBiasOverride(-60);
        TIoDm in(&target.connection());
        in.setAskHandler([](const TReplaceQuestion&) -> int {
            qFatal("nothing to replace");
            return IdNo;
        });
        QVERIFY(in.RestoreFromFile(name));
        QVERIFY(MessageSeam::texts().isEmpty());
        // expandFlag is not carried: new rows read it as null/false.
        source.exec(QStringLiteral("update tasks set expandFlag=NULL"));
        source.exec(QStringLiteral("update memos set expandFlag=NULL"));
        // A null time is written as the unset time and comes back as 0.
        source.exec(
            QStringLiteral("update tasks set createTime=0, editTime=0, checkTime=0, alarmTime=0, dueTime=0 "
                           "where tid='{NULLFLAGS}'"));
        QCOMPARE(dump(target), dump(source));
    }

    void brokenFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("messages");
        const QString t0 = taskXml(QStringLiteral("{NEW}"), kRootId);
        const QByteArray good = exchangeOf(t0, QString());
        const QString readFailure = QStringLiteral("File read failure!");
        const auto withLength = [&](qint64 length) {
            QByteArray b = good;
            for (int i = 0; i < 8; ++i)
                b[i] = char((quint64(length) >> (8 * i)) & 0xFF);
            return b;
        };
        QTest::newRow("truncated by one byte") << good.left(good.size() - 1) << QStringList{readFailure};
        QTest::newRow("length larger than the data")
            << withLength(UnpackExchangeContainer(good).size() + 1) << QStringList{readFailure};
        QTest::newRow("length 0") << withLength(0) << QStringList{readFailure};
        QTest::newRow("length 2^62") << withLength(qint64(1) << 62) << QStringList{readFailure};
        QTest::newRow("not zlib") << (good.left(8) + QByteArray(100, 'x')) << QStringList{readFailure};
        QTest::newRow("zlib of non-XML") << PackExchangeContainer("no xml here") << QStringList{readFailure};
        QTest::newRow("plain XML") << UnpackExchangeContainer(good) << QStringList{readFailure};
        QTest::newRow("app in other case")
            << exchangeOf(t0, QString(), QStringLiteral("zorvik app=\"brisk-mate\""))
            << QStringList{"Data mismatch: brisk-mateBrisk-Mate"};
        QTest::newRow("app missing") << exchangeOf(t0, QString(), QStringLiteral("zorvik"))
                                     << QStringList{"zorvik: app not Exist !", "Data mismatch: Brisk-Mate"};
        QTest::newRow("missing time attribute")
            << exchangeOf(taskXml(QStringLiteral("{NEW}"), kRootId, QStringLiteral("t"),
                                  QStringLiteral("due-time=-")),
                          QString())
            << QStringList{"zorvik,tasks,task#0: due-time not Exist !", "Invalid date string: "};
        QTest::newRow("bad time") << exchangeOf(taskXml(QStringLiteral("{NEW}"), kRootId, QStringLiteral("t"),
                                                        QStringLiteral("edit-time=2009-13-01T00:00:00.000Z")),
                                                QString())
                                  << QStringList{"Invalid date string: 2009-13-01T00:00:00.000Z"};
        QTest::newRow("bad time of day")
            << exchangeOf(taskXml(QStringLiteral("{NEW}"), kRootId, QStringLiteral("t"),
                                  QStringLiteral("alarm-time=2009-01-01T25:00:00")),
                          QString())
            << QStringList{"Invalid time string: 2009-01-01T25:00:00"};
        QTest::newRow("yes as a flag")
            << exchangeOf(taskXml(QStringLiteral("{NEW}"), kRootId, QStringLiteral("t"),
                                  QStringLiteral("check-flag=yes")),
                          QString())
            << QStringList{"'yes' is not a valid boolean value for field 'checkFlag'"};
        QTest::newRow("1e3 as a colour")
            << exchangeOf(taskXml(QStringLiteral("{NEW}"), kRootId, QStringLiteral("t"),
                                  QStringLiteral("text-color=1e3")),
                          QString())
            << QStringList{"'1e3' is not a valid integer value for field 'textColor'"};
        // Not well-formed: refused whole, whatever a lenient parser would make of them.
        const QString task = taskXml(QStringLiteral("{NEW}"), kRootId);
        const auto rawXml = [&](const QString& tasks, const QString& after = QString()) {
            return PackExchangeContainer(QStringLiteral("<zorvik app=\"Brisk-Mate\"><tasks>%1</tasks><memos/>"
                                                        "</zorvik>%2")
                                             .arg(tasks, after)
                                             .toUtf8());
        };
        QTest::newRow("raw & in an attribute")
            << rawXml(QString(task).replace(QStringLiteral("content=\"t\""),
                                            QStringLiteral("content=\"a & b\"")))
            << QStringList{readFailure};
        QTest::newRow("raw < in an attribute")
            << rawXml(
                   QString(task).replace(QStringLiteral("content=\"t\""), QStringLiteral("content=\"a<b\"")))
            << QStringList{readFailure};
        QTest::newRow("text after the root")
            << rawXml(task, QStringLiteral("trailing")) << QStringList{readFailure};
        QTest::newRow("second element after the root")
            << rawXml(task, QStringLiteral("<zorvik app=\"Brisk-Mate\"/>")) << QStringList{readFailure};
        QTest::newRow("duplicated attribute")
            << rawXml(QString(task).replace(QStringLiteral("content=\"t\""),
                                            QStringLiteral("content=\"t\" content=\"u\"")))
            << QStringList{readFailure};
        QTest::newRow("undefined entity")
            << rawXml(QString(task).replace(QStringLiteral("content=\"t\""),
                                            QStringLiteral("content=\"&bogus;\"")))
            << QStringList{readFailure};
        QTest::newRow("length over 1 GiB") << withLength((qint64(1) << 30) + 1) << QStringList{readFailure};
        QTest::newRow("negative length") << withLength(-5) << QStringList{readFailure};
        // Values that do not convert: the reader's own message.
        QTest::newRow("date without time of day")
            << exchangeOf(taskXml(QStringLiteral("{NEW}"), kRootId, QStringLiteral("t"),
                                  QStringLiteral("edit-time=2009-06-19")),
                          QString())
            << QStringList{"Invalid time string: 2009-06-19"};
        QTest::newRow("colour with a line feed")
            << exchangeOf(
                   taskXml(QStringLiteral("{NEW}"), kRootId)
                       .replace(QStringLiteral("text-color=\"0\""), QStringLiteral("text-color=\"5&#10;\"")),
                   QString())
            << QStringList{"'5\n' is not a valid integer value for field 'textColor'"};
        QTest::newRow("bad memo time stops before the tasks")
            << exchangeOf(t0, QStringLiteral("<memo mid=\"{M}\" pid=\"root\" content=\"\" assign-time=\"x\" "
                                             "create-time=\"\" edit-time=\"\"/>"))
            << QStringList{"Invalid date string: x"};
    }
    void brokenFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, messages);
        for (const bool restore : {true, false}) {
            zvtest::TempProgramFolder folder;
            pin();
            seed(folder);
            const QString before = dump(folder);
            const QString name = folder.path() + QStringLiteral("broken.zvx");
            writeBytes(name, bytes);
            for (int i = 0; i < messages.size(); ++i)
                MessageSeam::queueAnswer(IdOk);
            TIoDm io(&folder.connection());
            io.setAskHandler([](const TReplaceQuestion&) { return int(IdYesToAll); });
            QVERIFY(!(restore ? io.RestoreFromFile(name) : io.ImportFromFile(name)));
            QCOMPARE(MessageSeam::texts(), messages);
            QCOMPARE(dump(folder), before);
        }
    }

    void readsWhatTheRulesAllow_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("content");
        QTest::newRow("root of another name")
            << exchangeOf(taskXml(QStringLiteral("{NEW}"), kRootId), QString(),
                          QStringLiteral("brisk app=\"Brisk-Mate\""))
            << QStringList() << "t";
        QTest::newRow("other dataversion")
            << exchangeOf(taskXml(QStringLiteral("{NEW}"), kRootId), QString(),
                          QStringLiteral("zorvik app=\"Brisk-Mate\" dataversion=\"9\""))
            << QStringList() << "t";
        QTest::newRow("missing content reads empty")
            << exchangeOf(taskXml(QStringLiteral("{NEW}"), kRootId, QStringLiteral("t"),
                                  QStringLiteral("content=-")),
                          QString())
            << QStringList{"zorvik,tasks,task#0: content not Exist !"} << "";
        QTest::newRow("LF becomes CR LF")
            << exchangeOf(taskXml(QStringLiteral("{NEW}"), kRootId, QStringLiteral("a&#10;b")), QString())
            << QStringList() << "a\r\nb";
        QTest::newRow("flag prefixes, empty colour")
            << exchangeOf(taskXml(QStringLiteral("{NEW}"), kRootId, QStringLiteral("t"),
                                  QStringLiteral("check-flag=t;due-flag=fAL;text-color=")),
                          QString())
            << QStringList() << "t";
    }
    void readsWhatTheRulesAllow()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, messages);
        QFETCH(QString, content);
        for (const bool restore : {true, false}) {
            zvtest::TempProgramFolder folder;
            pin();
            const QString name = folder.path() + QStringLiteral("ok.zvx");
            writeBytes(name, bytes);
            for (int i = 0; i < messages.size(); ++i)
                MessageSeam::queueAnswer(IdOk);
            TIoDm io(&folder.connection());
            QVERIFY(restore ? io.RestoreFromFile(name) : io.ImportFromFile(name));
            QCOMPARE(MessageSeam::texts(), messages);
            QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks")), 1);
            QCOMPARE(folder.scalar(QStringLiteral("select content from tasks")).toString(), content);
        }
    }

    void flagAndColourTexts()
    {
        zvtest::TempProgramFolder folder;
        pin();
        const QString name = folder.path() + QStringLiteral("f.zvx");
        writeBytes(name,
                   exchangeOf(taskXml(QStringLiteral("{NEW}"), kRootId, QStringLiteral("t"),
                                      QStringLiteral("check-flag=t;due-flag=fAL;alarm-flag=;text-color=-5;"
                                                     "background-color=")),
                              QString()));
        TIoDm io(&folder.connection());
        QVERIFY(io.RestoreFromFile(name));
        const QVariantList row =
            folder
                .rows(QStringLiteral(
                    "select checkFlag, dueFlag, alarmFlag, textColor, backgroundColor from tasks"))
                .first();
        QCOMPARE(row.at(0).toInt(), 1);
        QCOMPARE(row.at(1).toInt(), 0);
        QVERIFY(row.at(2).isNull());
        QCOMPARE(row.at(3).toInt(), -5);
        QVERIFY(row.at(4).isNull());
    }

    // After every operation the connection is back in autocommit and a second connection
    // sees what the operation stored, at once.
    void durableAfterEachOperation_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("tasks");
        QTest::newRow("backup") << "backup" << 0 << 1;
        QTest::newRow("export") << "export" << 0 << 1;
        QTest::newRow("import") << "import" << 0 << 4;
        QTest::newRow("restore Yes") << "restore" << int(IdYes) << 3;
        QTest::newRow("restore No") << "restore" << int(IdNo) << 3;
        QTest::newRow("restore All") << "restore" << int(IdYesToAll) << 3;
        QTest::newRow("restore Abort") << "restore" << int(IdAbort) << 1;
        QTest::newRow("restore, then Cancel") << "restore" << -1 << 1;
    }
    void durableAfterEachOperation()
    {
        QFETCH(QString, operation);
        QFETCH(int, answer);
        QFETCH(int, tasks);
        zvtest::TempProgramFolder folder;
        pin();
        folder.exec(
            QStringLiteral("insert into tasks (tid, pid, content) values ('%1', 'root', 'old')").arg(kT1));
        const QString name = folder.path() + QStringLiteral("x.zvx");
        writeBytes(name, exchangeOf(taskXml(kT1, kRootId, QStringLiteral("new")) + taskXml(kT2, kRootId) +
                                        taskXml(kT3, kT2),
                                    QString()));
        TIoDm io(&folder.connection());
        io.setAskHandler([answer](const TReplaceQuestion&) {
            if (answer >= 0) return answer;
            TIoBusyNotifier::requestCancel(); // as Exit does while the question is open
            return int(IdYes);
        });
        bool ok = false;
        if (operation == QLatin1String("backup"))
            ok = io.BackupToFile(folder.path() + QStringLiteral("b.zvx"));
        if (operation == QLatin1String("export")) {
            SelectedItem<TTaskInfo> item;
            item.record = task(kT1, kRootId, QStringLiteral("old"));
            ok = WriteSelection<TTaskInfo>(folder.path() + QStringLiteral("e.zvx"), {item},
                                           QStringLiteral("1"));
        }
        if (operation == QLatin1String("import")) ok = io.ImportFromFile(name);
        if (operation == QLatin1String("restore")) ok = io.RestoreFromFile(name);
        QVERIFY(ok);
        QVERIFY(folder.connection().autocommit());
        QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks")), tasks);
        const bool replaced = answer == IdYes || answer == IdYesToAll || answer == -1;
        QCOMPARE(
            folder.scalar(QStringLiteral("select content from tasks where tid='%1'").arg(kT1)).toString(),
            operation == QLatin1String("restore") && replaced ? QStringLiteral("new")
                                                              : QStringLiteral("old"));
    }

    // The file may not grow: the last commit fails. The database's own message is shown,
    // the result is false (no reload), and only whole batches are stored.
    // An item whose value does not convert ends the reading first (badAt): the commit of
    // what was posted before it then fails too, and that loss is what the user is told.
    void failedCommitIsReported_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::addColumn<int>("badAt");
        QTest::addColumn<int>("room"); // kilobytes the journal may grow by
        QTest::newRow("restore") << true << -1 << 300;
        QTest::newRow("import") << false << -1 << 300;
        QTest::newRow("restore, a bad value first") << true << 200 << 32;
        QTest::newRow("import, a bad value first") << false << 200 << 32;
    }
    void failedCommitIsReported()
    {
        QFETCH(bool, restore);
        QFETCH(int, badAt);
        QFETCH(int, room);
        zvtest::TempProgramFolder folder;
        pin();
        QString items;
        for (int i = 0; i < 1000; ++i)
            items += taskXml(QStringLiteral("{T%1}").arg(i), kRootId, QString(300, QLatin1Char('x')),
                             i == badAt ? QStringLiteral("edit-time=x") : QString());
        const QString name = folder.path() + QStringLiteral("big.zvx");
        writeBytes(name, exchangeOf(items, QString()));
        TIoDm io(&folder.connection());
        (void)folder.connection().autocommit();
        bool ok = true;
        {
            zvtest::TFileSizeLimit limit(QFileInfo(folder.dbPath() + QStringLiteral("-wal")).size() +
                                         room * 1024);
            MessageSeam::queueAnswer(IdOk);
            ok = restore ? io.RestoreFromFile(name) : io.ImportFromFile(name);
        }
        QVERIFY(!ok);
        QCOMPARE(MessageSeam::texts().size(), 1);
        const QString shown = MessageSeam::texts().first();
        QVERIFY2(shown.contains(QLatin1String("disk")) || shown.contains(QLatin1String("full")),
                 qPrintable(shown));
        QCOMPARE(MessageSeam::history().first().caption, QStringLiteral("Error"));
        QVERIFY(folder.connection().autocommit());
        // Whole batches: the rows stored are the file's first ones, each complete.
        const int stored = folder.count(QStringLiteral("select count(*) from tasks"));
        if (badAt >= 0)
            QCOMPARE(stored, 0); // the one batch before the bad value is lost
        else
            QVERIFY2(stored > 0 && stored < 1000, qPrintable(QString::number(stored)));
        QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks where length(content) = 300 and "
                                             "dueTime > 0")),
                 stored);
        if (restore)
            for (int i = 0; i < stored; ++i)
                QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks where tid='{T%1}'").arg(i)),
                         1);
    }

    // A disk that fills while an exchange file is written over an older one: the failure is
    // shown, the older file stays whole, and no half-written file is left beside it.
    void fullDiskKeepsTheOlderFile_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("message");
        QTest::newRow("backup") << "backup"
                                << "File write failure!";
        QTest::newRow("export") << "export"
                                << "File Write Failure !";
        QTest::newRow("export of memos") << "export memos"
                                         << "File Write Failure !";
    }
    void fullDiskKeepsTheOlderFile()
    {
        QFETCH(QString, writer);
        QFETCH(QString, message);
        zvtest::TempProgramFolder folder;
        pin();
        seed(folder);
        const QString name = folder.path() + QStringLiteral("old.zvx");
        const QByteArray older = exchangeOf(taskXml(kT1, kRootId, QStringLiteral("older")), QString());
        writeBytes(name, older);
        TIoDm io(&folder.connection());
        const QStringList files = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        SelectedItem<TTaskInfo> item;
        item.record = task(kT1, kRootId, QString(4000, QLatin1Char('n')));
        SelectedItem<TMemoInfo> memo;
        memo.record.mid = kM1;
        memo.record.content = item.record.content;
        MessageSeam::queueAnswer(IdOk);
        bool ok = true;
        {
            zvtest::TFileSizeLimit limit(64);
            if (writer == QLatin1String("backup"))
                ok = io.BackupToFile(name);
            else if (writer == QLatin1String("export"))
                ok = WriteSelection<TTaskInfo>(name, {item}, QStringLiteral("1"));
            else
                ok = WriteSelection<TMemoInfo>(name, {memo}, QStringLiteral("1"));
        }
        QVERIFY(!ok);
        QCOMPARE(MessageSeam::texts(), QStringList{message});
        QCOMPARE(zvtest::fileBytes(name), older);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), files);
        QVERIFY(folder.connection().autocommit());
    }

    // Dates another tool wrote that no time text can carry: a backup must still restore.
    void backupOfUnwritableDatesRestores()
    {
        zvtest::TempProgramFolder source;
        pin();
        source.exec(QStringLiteral("insert into tasks (tid, pid, content, createTime, editTime, dueTime) "
                                   "values ('%1', 'root', 'a', 9e999, -1e6, -9e999)")
                        .arg(kT1));
        source.exec(QStringLiteral("insert into memos (mid, pid, content, createTime, editTime, assignTime) "
                                   "values ('%1', 'root', 'm', 3e6, 1e300, 40000.5)")
                        .arg(kM1));
        TIoDm writer(&source.connection());
        const QString name = source.path() + QStringLiteral("b.zvx");
        QVERIFY(writer.BackupToFile(name));
        zvtest::TempProgramFolder target;
        pin();
        TIoDm reader(&target.connection());
        QVERIFY(reader.RestoreFromFile(name));
        QCOMPARE(MessageSeam::texts(), QStringList());
        QCOMPARE(target.rows(QStringLiteral("select createTime, editTime, dueTime from tasks")).first(),
                 (QVariantList{0.0, 0.0, 0.0}));
        const QVariantList memo =
            target.rows(QStringLiteral("select createTime, editTime, assignTime from memos")).first();
        QCOMPARE(memo.at(0).toDouble(), 0.0);
        QCOMPARE(memo.at(1).toDouble(), 0.0);
        QCOMPARE(memo.at(2).toDouble(), 40000.5);
    }

    void rowsBeforeAnErrorStay()
    {
        zvtest::TempProgramFolder folder;
        pin();
        const QString name = folder.path() + QStringLiteral("e.zvx");
        writeBytes(name, exchangeOf(QString(), memoXml(QStringLiteral("{A}"), kRootId) +
                                                   memoXml(QStringLiteral("{B}"), kRootId) +
                                                   memoXml(QStringLiteral("{C}"), kRootId)
                                                       .replace(QStringLiteral("edit-time=\"2009"),
                                                                QStringLiteral("edit-time=\"x"))));
        TIoDm io(&folder.connection());
        const QString error = QStringLiteral("Invalid date string: x-06-19T22:22:17.000Z");
        MessageSeam::queueAnswer(IdOk);
        QVERIFY(!io.RestoreFromFile(name));
        QCOMPARE(folder.count(QStringLiteral("select count(*) from memos")), 2);
        MessageSeam::queueAnswer(IdOk);
        QVERIFY(!io.ImportFromFile(name));
        QCOMPARE(folder.count(QStringLiteral("select count(*) from memos")), 4);
        QCOMPARE(MessageSeam::texts(), QStringList({error, error}));
    }

    void restoreAnswers_data()
    {
        QTest::addColumn<QList<int>>("answers"); // given in turn; the last one repeats
        QTest::addColumn<int>("questions");
        QTest::addColumn<QStringList>("memoContents"); // by mid
        QTest::addColumn<QStringList>("taskContents"); // by tid
        const QStringList oldMemos{"changed", "changed"};
        const QStringList oldTasks{"changed", "changed", "changed", "changed"};
        const QStringList fileMemos{"memo\r\ntext", "sub memo"};
        const QStringList fileTasks{"first\r\nline", "child one", "child two", "nulls"};
        QTest::newRow("No for all") << QList<int>{IdNo} << 6 << oldMemos << oldTasks;
        QTest::newRow("Yes for all") << QList<int>{IdYes} << 6 << fileMemos << fileTasks;
        QTest::newRow("All at once") << QList<int>{IdYesToAll} << 1 << fileMemos << fileTasks;
        QTest::newRow("All carries from memos to tasks")
            << QList<int>{IdNo, IdYesToAll} << 2 << QStringList{"changed", "sub memo"} << fileTasks;
        QTest::newRow("Abort in the memos")
            << QList<int>{IdYes, IdAbort} << 2 << QStringList{"memo\r\ntext", "changed"} << oldTasks;
        QTest::newRow("closed dialog skips as No")
            << QList<int>{0, IdYes} << 6 << QStringList{"changed", "sub memo"} << fileTasks;
    }
    void restoreAnswers()
    {
        QFETCH(QList<int>, answers);
        QFETCH(int, questions);
        QFETCH(QStringList, memoContents);
        QFETCH(QStringList, taskContents);
        zvtest::TempProgramFolder folder;
        pin();
        seed(folder);
        const QString name = folder.path() + QStringLiteral("b.zvx");
        TIoDm io(&folder.connection());
        QVERIFY(io.BackupToFile(name));
        folder.exec(QStringLiteral("update memos set content='changed'"));
        folder.exec(QStringLiteral("update tasks set content='changed', expandFlag=1"));

        int asked = 0;
        bool busyWhileAsking = true;
        io.setAskHandler([&](const TReplaceQuestion&) {
            busyWhileAsking = busyWhileAsking && IoBusy();
            return answers.at(std::min<qsizetype>(asked++, answers.size() - 1));
        });
        QVERIFY(io.RestoreFromFile(name));
        QVERIFY(!IoBusy());
        QVERIFY(busyWhileAsking);
        QCOMPARE(asked, questions);
        QVERIFY(MessageSeam::texts().isEmpty());
        QStringList memos, tasks;
        for (const QVariantList& r : folder.rows(QStringLiteral("select content from memos order by mid")))
            memos << r.first().toString();
        for (const QVariantList& r : folder.rows(QStringLiteral("select content from tasks order by tid")))
            tasks << r.first().toString();
        QCOMPARE(memos, memoContents);
        QCOMPARE(tasks, taskContents);
        // A replaced row keeps its own expandFlag.
        QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks where expandFlag=1")), 4);
        QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks")), 4);
    }

    void restoreQuestionAndNewRows()
    {
        zvtest::TempProgramFolder folder;
        pin();
        seed(folder);
        const QString name = folder.path() + QStringLiteral("b.zvx");
        TIoDm io(&folder.connection());
        QVERIFY(io.BackupToFile(name));
        folder.exec(QStringLiteral("delete from memos where mid='%1'").arg(kM2));
        folder.exec(QStringLiteral("update memos set content='old' || char(10) || 'one', editTime=%1")
                        .arg(QString::number(at(2001, 2, 3, 4, 5, 6), 'g', 17)));
        QList<TReplaceQuestion> seen;
        io.setAskHandler([&](const TReplaceQuestion& q) {
            seen << q;
            return int(IdNo);
        });
        QVERIFY(io.RestoreFromFile(name));
        QCOMPARE(seen.size(), 5); // one memo and four tasks; the deleted memo is added without asking
        QCOMPARE(seen[0].caption, QStringLiteral("Would you like to replace the existing memo"));
        QCOMPARE(seen[0].oldTitle, QStringLiteral("old one"));
        QCOMPARE(seen[0].oldTime, QStringLiteral("modified: ") + DateTimeText(at(2001, 2, 3, 4, 5, 6)));
        QCOMPARE(seen[0].newTitle, QStringLiteral("memo text"));
        QCOMPARE(seen[0].newTime, QStringLiteral("modified: ") + DateTimeText(at(2009, 6, 19, 22, 22, 17)));
        QCOMPARE(seen[1].caption, QStringLiteral("Would you like to replace the existing task"));
        QCOMPARE(folder.scalar(QStringLiteral("select pid from memos where mid='%1'").arg(kM2)).toString(),
                 kM1);
        QVERIFY(
            folder.scalar(QStringLiteral("select expandFlag from memos where mid='%1'").arg(kM2)).isNull());
    }

    void restoreQuotedId()
    {
        zvtest::TempProgramFolder folder;
        pin();
        folder.exec(QStringLiteral("insert into memos (mid,pid,content) values ('{O''NEIL}','root','old')"));
        const QString name = folder.path() + QStringLiteral("q.zvx");
        writeBytes(
            name, exchangeOf(QString(), memoXml(QStringLiteral("{O'NEIL}"), kRootId, QStringLiteral("new"))));
        TIoDm io(&folder.connection());
        int asked = 0;
        io.setAskHandler([&](const TReplaceQuestion&) {
            ++asked;
            return int(IdYes);
        });
        QVERIFY(io.RestoreFromFile(name));
        QCOMPARE(asked, 1);
        QCOMPARE(folder.count(QStringLiteral("select count(*) from memos")), 1);
        QCOMPARE(folder.scalar(QStringLiteral("select content from memos")).toString(),
                 QStringLiteral("new"));
        // Import stores it under a new id; the quote never reaches SQL text unescaped.
        QVERIFY(io.ImportFromFile(name));
        QCOMPARE(folder.count(QStringLiteral("select count(*) from memos")), 2);
    }

    void importKeepsParents()
    {
        zvtest::TempProgramFolder folder;
        pin();
        const QString name = folder.path() + QStringLiteral("i.zvx");
        // Sub-items before their parents; one sub-item whose parent is not in the file.
        const QString tasks =
            taskXml(QStringLiteral("{C1}"), QStringLiteral("{P}"), QStringLiteral("c1")) +
            taskXml(QStringLiteral("{P}"), kRootId, QStringLiteral("p")) +
            taskXml(QStringLiteral("{C2}"), QStringLiteral("{P}"), QStringLiteral("c2")) +
            taskXml(QStringLiteral("{ORPHAN}"), QStringLiteral("{GONE}"), QStringLiteral("o"));
        // A task id reused as a memo parent does not count: parents are looked up per kind.
        const QString memos = memoXml(QStringLiteral("{MC}"), QStringLiteral("{MP}"), QStringLiteral("mc")) +
                              memoXml(QStringLiteral("{MP}"), kRootId, QStringLiteral("mp")) +
                              memoXml(QStringLiteral("{MX}"), QStringLiteral("{P}"), QStringLiteral("mx"));
        writeBytes(name, exchangeOf(tasks, memos));
        TIoDm io(&folder.connection());
        for (int round = 1; round <= 2; ++round) {
            QVERIFY(io.ImportFromFile(name));
            QVERIFY(MessageSeam::texts().isEmpty());
            QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks")), 4 * round);
            QCOMPARE(folder.count(QStringLiteral("select count(*) from memos")), 3 * round);
        }
        const QRegularExpression guid(
            QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
        for (const QVariantList& r :
             folder.rows(QStringLiteral("select tid from tasks union all select mid from memos")))
            QVERIFY2(guid.match(r.first().toString()).hasMatch(), qPrintable(r.first().toString()));
        // Each copy of p has exactly c1 and c2 under it.
        for (const QVariantList& p : folder.rows(QStringLiteral("select tid from tasks where content='p'"))) {
            QStringList children;
            for (const QVariantList& c :
                 folder.rows(QStringLiteral("select content from tasks where pid='%1' order by content")
                                 .arg(p.first().toString())))
                children << c.first().toString();
            QCOMPARE(children, QStringList({"c1", "c2"}));
        }
        QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks where content='o' and pid='root'")),
                 2);
        QCOMPARE(folder.count(QStringLiteral("select count(*) from memos where content='mx' and pid='root'")),
                 2);
        QCOMPARE(folder.count(QStringLiteral("select count(*) from memos m join memos p on m.pid=p.mid "
                                             "where m.content='mc' and p.content='mp'")),
                 2);
    }

    void exportImportRoundTrip()
    {
        // A selected sub-task travels alone and comes back top-level.
        zvtest::TempProgramFolder folder;
        pin();
        const QString name = folder.path() + QStringLiteral("x.zvx");
        SelectedItem<TTaskInfo> sub;
        sub.record = task(kT2, kT1, QStringLiteral("line1\r\nline2"));
        sub.level = 1;
        QVERIFY(WriteSelection<TTaskInfo>(name, {sub}, QStringLiteral("v")));
        TIoDm io(&folder.connection());
        QVERIFY(io.ImportFromFile(name));
        QCOMPARE(folder.scalar(QStringLiteral("select pid from tasks")).toString(), kRootId);
        QCOMPARE(folder.scalar(QStringLiteral("select content from tasks")).toString(),
                 QStringLiteral("line1\r\nline2"));
        QVERIFY(io.RestoreFromFile(name));
        QCOMPARE(folder.scalar(QStringLiteral("select pid from tasks where tid='%1'").arg(kT2)).toString(),
                 kRootId);
    }

    void timesMoveWithTheZone()
    {
        zvtest::TempProgramFolder folder;
        pin();
        seed(folder);
        const QString name = folder.path() + QStringLiteral("z.zvx");
        TIoDm io(&folder.connection());
        Clock::setUtcBiasOverride(-60); // written at UTC+01:00
        QVERIFY(io.BackupToFile(name));
        zvtest::TempProgramFolder target;
        pin();
        Clock::setUtcBiasOverride(-120); // read at UTC+02:00
        TIoDm in(&target.connection());
        QVERIFY(in.RestoreFromFile(name));
        const double hour = 1.0 / 24;
        const double edit =
            target.scalar(QStringLiteral("select editTime from tasks where tid='%1'").arg(kT1)).toDouble();
        QVERIFY(qAbs(edit - (at(2009, 6, 19, 22, 22, 17) + hour)) < 1e-6);
        // An unset time is no longer 0: it lands an hour after 1899-12-30 00:00.
        const double check =
            target.scalar(QStringLiteral("select checkTime from tasks where tid='%1'").arg(kT2)).toDouble();
        QVERIFY(qAbs(check - hour) < 1e-6);
        // A file written in UTC carries Z.
        Clock::setUtcBiasOverride(0);
        QVERIFY(io.BackupToFile(name));
        Txmltry xml;
        xml.LoadFromFile(name, true);
        QVERIFY(xml.ReadAttr(QStringLiteral("zorvik"), QStringLiteral("time")).endsWith(QLatin1Char('Z')));
    }

    void openDialogAndCancel()
    {
        zvtest::TempProgramFolder folder;
        pin();
        TIoDm io(&folder.connection());
        QList<FileDialogRequest> seen;
        FileDialogSeam::setHandler([&](QWidget*, const FileDialogRequest& r) {
            seen << r;
            return FileDialogResult{};
        });
        QVERIFY(!io.RestoreDatabase());
        QVERIFY(!io.ImportDatabase());
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].mode, FileDialogRequest::Mode::Open);
        QCOMPARE(seen[0].filter, QStringLiteral("Zorvik Database, (*.zvx)"));
        QCOMPARE(seen[0].defaultSuffix, QStringLiteral("zvx"));
        QVERIFY(MessageSeam::texts().isEmpty());
        FileDialogSeam::setHandler([](QWidget*, const FileDialogRequest&) {
            return FileDialogResult{QStringLiteral("/nonexistent.zvx"), 0};
        });
        MessageSeam::queueAnswer(IdOk);
        QVERIFY(!io.RestoreDatabase());
        QCOMPARE(MessageSeam::texts(), QStringList({"File read failure!"}));
    }

    void emptyFileChangesNothing()
    {
        zvtest::TempProgramFolder folder;
        pin();
        seed(folder);
        const QString before = dump(folder);
        const QString name = folder.path() + QStringLiteral("e.zvx");
        writeBytes(name, exchangeOf(QString(), QString()));
        TIoDm io(&folder.connection());
        QVERIFY(io.RestoreFromFile(name));
        QVERIFY(io.ImportFromFile(name));
        QCOMPARE(dump(folder), before);
        QVERIFY(MessageSeam::texts().isEmpty());
    }

    void questionStaysOnTopOfTheProgress()
    {
        // The progress dialog's own timer must not put it over an open question.
        zvtest::TempProgramFolder folder;
        folder.exec(QStringLiteral("insert into memos (mid,pid,content) values ('{A}','root','old text')"));
        const QString name = folder.path() + QStringLiteral("d.zvx");
        writeBytes(
            name, exchangeOf(QString(), memoXml(QStringLiteral("{A}"), kRootId, QStringLiteral("new text"))));
        TIoDm io(&folder.connection());
        QString onTop;
        QTimer::singleShot(1600, [&] {
            QWidget* w = QApplication::activeModalWidget();
            onTop = w ? QString::fromLatin1(w->metaObject()->className()) : QString();
            // Answer the question wherever it is, so that a failure does not hang.
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* dlg = qobject_cast<TReplaceAskDlg*>(top); dlg && dlg->isVisible())
                    dlg->Button2->click();
        });
        QVERIFY(io.RestoreFromFile(name));
        QCOMPARE(onTop, QStringLiteral("zv::TReplaceAskDlg"));
    }

    // The restore stops early, as with Abort: Exit chosen while a box about the file is open
    // (no question follows), or Cancel pressed in the progress dialog (the run stops at its
    // next step, and what was done before stays). A cancel asked while nothing ran stops nothing.
    void restoreStopsEarly_data()
    {
        QTest::addColumn<bool>("inABox");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QString>("memos"); // each row's mid and content
        QTest::newRow("Exit while a box is open") << true << 0 << "{A}old text";
        QTest::newRow("Cancel in the progress dialog") << false << 1 << "{A}new";
    }
    void restoreStopsEarly()
    {
        QFETCH(bool, inABox);
        QFETCH(int, questions);
        QFETCH(QString, memos);
        zvtest::TempProgramFolder folder;
        QString first = memoXml(QStringLiteral("{A}"), kRootId, QStringLiteral("new"));
        if (inABox) first.remove(QStringLiteral(" content=\"new\""));
        const QString name = memosToRestore(folder, QStringLiteral("('{A}','root','old text')"),
                                            first + memoXml(QStringLiteral("{B}"), kRootId));
        TIoBusyNotifier::requestCancel();
        TIoDm io(&folder.connection());
        int asked = 0;
        io.setAskHandler([&](const TReplaceQuestion&) {
            ++asked;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* progress = qobject_cast<QProgressDialog*>(w)) progress->cancel();
            return int(IdYes);
        });
        MessageSeam::setHandler([](const MessageRequest&) {
            TIoBusyNotifier::requestCancel(); // Exit, from the tray
            return int(IdOk);
        });
        QVERIFY(io.RestoreFromFile(name));
        QCOMPARE(asked, questions);
        QCOMPARE(MessageSeam::texts().size(), inABox ? 1 : 0);
        if (inABox) QVERIFY(MessageSeam::texts().first().endsWith(QLatin1String("content not Exist !")));
        QCOMPARE(folder.scalar(QStringLiteral("select group_concat(mid || content) from memos")).toString(),
                 memos);
        QVERIFY(folder.connection().autocommit());
    }

    // One dialog asks every question of a restore run, and is gone when the run ends.
    void oneReplaceDialogForARun()
    {
        zvtest::TempProgramFolder folder;
        const QString name =
            memosToRestore(folder, QStringLiteral("('{A}','root','a'),('{B}','root','b')"),
                           memoXml(QStringLiteral("{A}"), kRootId, QStringLiteral("new a")) +
                               memoXml(QStringLiteral("{B}"), kRootId, QStringLiteral("new b")));
        TIoDm io(&folder.connection());
        QList<QWidget*> dialogs;
        QPointer<QWidget> dialog;
        const std::function<void(QWidget*)> answer = [&](QWidget* w) {
            dialogs << w;
            dialog = w;
            if (dialogs.size() == 1) {
                zvtest::OnNextModal(answer);
                qobject_cast<TReplaceAskDlg*>(w)->Button2->click(); // No
            } else {
                qobject_cast<TReplaceAskDlg*>(w)->Button1->click(); // Yes
            }
        };
        zvtest::OnNextModal(answer);
        QVERIFY(io.RestoreFromFile(name));
        QCOMPARE(dialogs.size(), 2);
        QCOMPARE(dialogs[0], dialogs[1]);
        QVERIFY(!dialog);
        QCOMPARE(folder.scalar(QStringLiteral("select group_concat(content) from memos")).toString(),
                 QStringLiteral("a,new b"));
    }

    void replaceDialog_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("result");
        QTest::newRow("Yes") << "Button1" << int(IdYes);
        QTest::newRow("All") << "Button4" << int(IdYesToAll);
        QTest::newRow("No") << "Button2" << int(IdNo);
        QTest::newRow("Abort") << "Button3" << int(IdAbort);
        QTest::newRow("Esc") << "" << 0;
        QTest::newRow("Yes, Exit chosen meanwhile: Abort") << "exit" << int(IdAbort);
    }
    void replaceDialog()
    {
        QFETCH(QString, button);
        QFETCH(int, result);
        zvtest::TempProgramFolder folder;
        const QString name =
            memosToRestore(folder, QStringLiteral("('{A}','root','old text')"),
                           memoXml(QStringLiteral("{A}"), kRootId, QStringLiteral("new text")));
        TIoDm io(&folder.connection());
        QString title, caption, oldTitle, newTitle, label2;
        QSize size;
        QStringList texts;
        zvtest::OnNextModal([&](QWidget* w) {
            auto* dlg = qobject_cast<TReplaceAskDlg*>(w);
            QVERIFY(dlg);
            title = dlg->windowTitle();
            size = dlg->size();
            caption = dlg->Label_Caption->text();
            oldTitle = dlg->Label_oldTitle->text();
            newTitle = dlg->Label_newTitle->text();
            label2 = dlg->Label2->text();
            for (QPushButton* b : {dlg->Button1, dlg->Button4, dlg->Button2, dlg->Button3})
                texts << b->text();
            if (button.isEmpty()) {
                QTest::keyClick(dlg, Qt::Key_Escape);
            } else if (button == QLatin1String("exit")) {
                TIoBusyNotifier::requestCancel(); // from the tray, while the question is open
                dlg->Button1->click();
            } else {
                dlg->findChild<QPushButton*>(button)->click();
            }
        });
        QVERIFY(io.RestoreFromFile(name));
        QCOMPARE(title, QStringLiteral("Confirm Replace"));
        QCOMPARE(size, QSize(463, 250));
        QCOMPARE(caption, QStringLiteral("Would you like to replace the existing memo"));
        QCOMPARE(oldTitle, QStringLiteral("old text"));
        QCOMPARE(newTitle, QStringLiteral("new text"));
        QCOMPARE(label2, QStringLiteral("with this one?"));
        QCOMPARE(texts, QStringList({"&Yes", "&All", "&No", "A&bort"}));
        const bool replaced = result == IdYes || result == IdYesToAll;
        QCOMPARE(folder.scalar(QStringLiteral("select content from memos")).toString(),
                 replaced ? QStringLiteral("new text") : QStringLiteral("old text"));
    }
};

QTEST_MAIN(TstExchange)
#include "tst_exchange.moc"

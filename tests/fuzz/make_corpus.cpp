// Writes the seed corpus of the fuzz targets: exchange files written by the program's own
// writers (the backup and both selection writers) over a database with the awkward values
// a user can make, and hostile files built from them. Usage: zvfuzz_corpus <folder>; it
// fills <folder>/file (whole exchange files) and <folder>/xml (the documents inside).
#include "interchange/Dm_Io.h"
#include "interchange/ZvExchange.h"
#include "interchange/pU_XmlTry.h"
#include "store/ZvDateTime.h"
#include "store/ZvDb.h"
#include "store/ZvDbCreate.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

QString g_out;

[[noreturn]] void fail(const QString& what)
{
    std::fprintf(stderr, "zvfuzz_corpus: %s\n", qPrintable(what));
    std::exit(1);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) fail(QStringLiteral("cannot read ") + path);
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write ") + path);
}

// A document for the XML target, and the same packed for the file target.
void emitXml(const QString& name, const QByteArray& xml)
{
    writeFile(g_out + QStringLiteral("/xml/") + name + QStringLiteral(".xml"), xml);
    writeFile(g_out + QStringLiteral("/file/") + name + QStringLiteral(".zvx"),
              zv::PackExchangeContainer(xml));
}

void emitFile(const QString& name, const QByteArray& bytes)
{
    writeFile(g_out + QStringLiteral("/file/") + name + QStringLiteral(".zvx"), bytes);
}

QByteArray withLength(QByteArray container, qint64 length)
{
    for (int i = 0; i < 8; ++i)
        container[i] = char((quint64(length) >> (8 * i)) & 0xFF);
    return container;
}

// The first occurrence of `from` replaced; a seed that misses its mark is a bug here.
QByteArray replaced(QByteArray xml, const QByteArray& from, const QByteArray& to)
{
    const qsizetype at = xml.indexOf(from);
    if (at < 0) fail(QStringLiteral("no '%1' in the document").arg(QString::fromUtf8(from)));
    return xml.replace(at, from.size(), to);
}

struct Database
{
    QTemporaryDir dir;
    zv::TADOConnection connection;

    Database()
    {
        QFile schema(QStringLiteral(ZVJ_SCHEMA_FILE));
        if (!schema.open(QIODevice::ReadOnly)) fail(QStringLiteral("cannot read the schema"));
        connection.setConnectionString(
            zv::TADOConnection::BuildConnectionString(dir.path() + QLatin1Char('/')));
        zv::CreateDatabaseFile(connection.dataSource(), QString::fromUtf8(schema.readAll()),
                               connection.password());
        connection.Open();
    }

    void task(const QString& tid, const QString& pid, const QString& content,
              const QVariantList& flagsAndColours, const std::vector<zv::TDateTime>& times)
    {
        zv::TADOQuery q(&connection);
        zv::OpenQuery(q, QStringLiteral("select * from tasks where 0=1"));
        q.Append();
        q.FieldByName(QStringLiteral("tid")).setAsString(tid);
        q.FieldByName(QStringLiteral("pid")).setAsString(pid);
        q.FieldByName(QStringLiteral("content")).setAsString(content);
        const char* const columns[] = {"checkFlag", "alarmFlag", "dueFlag", "textColor", "backgroundColor"};
        for (int i = 0; i < 5; ++i) {
            // A null value stays unset: the backup writes it as the empty text.
            if (!flagsAndColours.value(i).isNull())
                q.FieldByName(QString::fromLatin1(columns[i]))
                    .setAsString(flagsAndColours.value(i).toString());
        }
        const char* const timeColumns[] = {"createTime", "editTime", "checkTime", "alarmTime", "dueTime"};
        for (size_t i = 0; i < times.size() && i < 5; ++i)
            q.FieldByName(QString::fromLatin1(timeColumns[i])).setAsDateTime(times[i]);
        q.Post();
    }

    void memo(const QString& mid, const QString& pid, const QString& content, zv::TDateTime when)
    {
        zv::TADOQuery q(&connection);
        zv::OpenQuery(q, QStringLiteral("select * from memos where 0=1"));
        q.Append();
        q.FieldByName(QStringLiteral("mid")).setAsString(mid);
        q.FieldByName(QStringLiteral("pid")).setAsString(pid);
        q.FieldByName(QStringLiteral("content")).setAsString(content);
        q.FieldByName(QStringLiteral("assignTime")).setAsDateTime(when);
        q.FieldByName(QStringLiteral("createTime")).setAsDateTime(when - 1.5);
        q.FieldByName(QStringLiteral("editTime")).setAsDateTime(when + 0.25);
        q.Post();
    }
};

zv::TDateTime at(int y, int m, int d, int h = 0, int min = 0, int s = 0)
{
    return zv::EncodeDateTime(QDate(y, m, d), QTime(h, min, s));
}

} // namespace

int main(int argc, char** argv)
{
    // The writers' zone designator is that of the zone in force: fixed, so that the
    // hostile edits below find the texts they replace.
    qputenv("TZ", "UTC");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) fail(QStringLiteral("usage: zvfuzz_corpus <folder>"));
    g_out = QString::fromLocal8Bit(argv[1]);
    for (const char* sub : {"/file", "/xml"})
        if (!QDir().mkpath(g_out + QLatin1String(sub))) fail(QStringLiteral("cannot make ") + g_out + sub);
    zv::MessageSeam::setHandler([](const zv::MessageRequest& r) {
        fail(QStringLiteral("unexpected message: ") + r.text);
        return 0;
    });

    QTemporaryDir work;
    const QString tmp = work.path() + QLatin1Char('/');

    // ---- What the program writes --------------------------------------------------------
    Database db;
    zv::TIoDm io(&db.connection);
    io.setAppVersion(QStringLiteral("1.0.0.1"));

    if (!io.BackupToFile(tmp + QStringLiteral("empty.zvx"))) fail(QStringLiteral("empty backup"));
    emitFile(QStringLiteral("backup-empty"), readAll(tmp + QStringLiteral("empty.zvx")));

    const QString parent = zv::NewGuidText();
    const QString child = zv::NewGuidText();
    // A sub-task stored before its parent: the backup keeps the database's order.
    db.task(child, parent, QStringLiteral("Sub-task with\r\ntwo lines"), {true, false, true, 255, -16777199},
            {at(2024, 3, 1, 9, 30), at(2024, 3, 2), at(2024, 3, 3, 23, 59, 59), 0, at(2024, 12, 31)});
    db.task(parent, QStringLiteral("root"), QStringLiteral("Parent task <with> \"marks\" & 'quotes'"),
            {false, true, false, 0, 0}, {at(2024, 1, 1), at(2024, 1, 2, 12), 0, at(2024, 1, 5, 8), 0});
    // Nulls in flags and colours are written as empty texts by the backup.
    db.task(QStringLiteral("{id'with'quotes}"), QStringLiteral("root"),
            QStringLiteral("Null flags and colours"),
            {QVariant(), QVariant(), QVariant(), QVariant(), QVariant()}, {});
    db.task(zv::NewGuidText(), QStringLiteral("root"),
            QString::fromUtf8("Ümlaut, 漢字, emoji \xF0\x9F\x93\x9D, tab\there"),
            {true, true, true, 16777215, 42},
            {at(1899, 12, 30), at(1900, 1, 1), at(9999, 12, 31, 23, 59, 59), at(1970, 1, 1),
             at(2038, 1, 19, 3, 14, 8)});
    const QString memoParent = zv::NewGuidText();
    db.memo(memoParent, QStringLiteral("root"), QStringLiteral("Memo\r\n\r\nwith blank line"),
            at(2023, 6, 19, 14));
    db.memo(zv::NewGuidText(), memoParent, QStringLiteral("Sub-memo"), at(2023, 6, 20));
    db.memo(zv::NewGuidText(), QStringLiteral("no-such-parent"), QString(), at(2000, 2, 29, 0, 0, 1));

    if (!io.BackupToFile(tmp + QStringLiteral("backup.zvx"))) fail(QStringLiteral("backup"));
    const QByteArray backup = readAll(tmp + QStringLiteral("backup.zvx"));
    emitFile(QStringLiteral("backup"), backup);
    const QByteArray xml = zv::UnpackExchangeContainer(backup);
    emitXml(QStringLiteral("backup"), xml);

    // The selection writers, from records as the frames hold them.
    {
        zv::TTaskInfo top;
        top.tid = parent;
        top.pid = QStringLiteral("root");
        top.content = QStringLiteral("Parent task\r\nexported");
        top.alarmFlag = true;
        top.alarmTime = at(2024, 5, 5, 5, 5, 5);
        zv::TTaskInfo sub = top;
        sub.tid = child;
        sub.pid = parent;
        sub.content = QStringLiteral("Its sub-task");
        sub.checkFlag = true;
        sub.textColor = -16777199;
        std::vector<zv::SelectedItem<zv::TTaskInfo>> tasks(2);
        tasks[0].record = top;
        tasks[0].children = {sub};
        tasks[1].record = sub; // a selected sub-task travels alone, as top-level
        tasks[1].level = 1;
        if (!zv::WriteSelection(tmp + QStringLiteral("tasks.zvx"), tasks, QStringLiteral("1.0.0.1")))
            fail(QStringLiteral("task export"));
        const QByteArray file = readAll(tmp + QStringLiteral("tasks.zvx"));
        emitFile(QStringLiteral("export-tasks"), file);
        emitXml(QStringLiteral("export-tasks"), zv::UnpackExchangeContainer(file));

        zv::TMemoInfo memo;
        memo.mid = memoParent;
        memo.pid = QStringLiteral("root");
        memo.content = QStringLiteral("An exported memo");
        memo.editTime = at(2022, 10, 30, 2, 30); // a daylight-saving night in Europe
        zv::TMemoInfo subMemo = memo;
        subMemo.mid = zv::NewGuidText();
        subMemo.pid = memoParent;
        std::vector<zv::SelectedItem<zv::TMemoInfo>> memos(1);
        memos[0].record = memo;
        memos[0].children = {subMemo, subMemo};
        if (!zv::WriteSelection(tmp + QStringLiteral("memos.zvx"), memos, QStringLiteral("1.0.0.1")))
            fail(QStringLiteral("memo export"));
        const QByteArray memoFile = readAll(tmp + QStringLiteral("memos.zvx"));
        emitFile(QStringLiteral("export-memos"), memoFile);
        emitXml(QStringLiteral("export-memos"), zv::UnpackExchangeContainer(memoFile));
    }

    // ---- Hostile documents --------------------------------------------------------------
    // Not well-formed: each must be refused as a whole.
    emitXml(QStringLiteral("raw-ampersand"), replaced(xml, "content=\"Null flags", "content=\"Null & flags"));
    emitXml(QStringLiteral("raw-less-than"), replaced(xml, "content=\"Null flags", "content=\"Null < flags"));
    emitXml(QStringLiteral("text-after-root"), xml + "trailing text");
    emitXml(QStringLiteral("second-root"), xml + "<zorvik app=\"Brisk-Mate\"/>");
    emitXml(QStringLiteral("duplicate-attribute"), replaced(xml, "<task tid=", "<task pid=\"root\" tid="));
    emitXml(QStringLiteral("undefined-entity"),
            replaced(xml, "content=\"Null flags", "content=\"&bogus; flags"));
    emitXml(QStringLiteral("unclosed"), xml.left(xml.size() / 2));
    // Well-formed, but with values the readers must refuse or take apart.
    emitXml(QStringLiteral("date-only-time"), replaced(xml, "edit-time=\"", "edit-time=\"2009-06-19\" x=\""));
    emitXml(QStringLiteral("colour-with-line-feed"),
            replaced(xml, "text-color=\"255\"", "text-color=\"5&#10;\""));
    emitXml(QStringLiteral("flag-prefixes"),
            replaced(replaced(xml, "check-flag=\"True\"", "check-flag=\"t\""), "due-flag=\"True\"",
                     "due-flag=\"FAL\""));
    emitXml(QStringLiteral("flag-invalid"), replaced(xml, "check-flag=\"True\"", "check-flag=\"yes\""));
    emitXml(QStringLiteral("colour-overflow"),
            replaced(xml, "text-color=\"255\"", "text-color=\"4294967296\""));
    emitXml(QStringLiteral("zone-offsets"),
            replaced(replaced(replaced(xml, ".000Z\"", ".5+14:00\""), ".000Z\"", "-12:59\""), ".000Z\"",
                     ".123456789+05:30\""));
    emitXml(QStringLiteral("app-lower-case"), replaced(xml, "Brisk-Mate", "brisk-mate"));
    emitXml(QStringLiteral("app-missing"), replaced(xml, "app=\"Brisk-Mate\"", "application=\"Brisk-Mate\""));
    emitXml(QStringLiteral("attribute-missing"), replaced(xml, "due-time=", "overdue-time="));
    emitXml(QStringLiteral("lf-in-content"),
            replaced(xml, "content=\"Null flags", "content=\"Null&#10;&#13;&#10;flags"));
    {
        // Every item twice: the second restore pass asks before replacing.
        const qsizetype open = xml.indexOf("<task ");
        const qsizetype close = xml.indexOf("</tasks>");
        emitXml(QStringLiteral("duplicate-ids"), QByteArray(xml).insert(close, xml.mid(open, close - open)));
    }
    emitXml(QStringLiteral("other-names"),
            "<x app=\"Brisk-Mate\"><a/><b><c mid=\"1\" pid=\"root\"/></b></x>");
    emitXml(QStringLiteral("comments-and-cdata"),
            replaced(xml, "<tasks>", "<tasks><!-- note --><![CDATA[raw]]><?pi x?>text"));
    emitXml(QStringLiteral("declaration-and-bom"),
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + xml);
    emitXml(QStringLiteral("latin1-declared"), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + xml);
    emitXml(QStringLiteral("doctype-entities"), "<!DOCTYPE zorvik [<!ENTITY e \"&#38;#60;\">]>" +
                                                    replaced(xml, "content=\"Null flags", "content=\"&e;"));
    emitXml(QStringLiteral("not-utf8"), replaced(xml, "Sub-memo", "Sub-\xC3\x28\xFF memo"));

    // ---- Hostile containers -------------------------------------------------------------
    const qint64 length = xml.size();
    emitFile(QStringLiteral("length-zero"), withLength(backup, 0));
    emitFile(QStringLiteral("length-negative"), withLength(backup, -1));
    emitFile(QStringLiteral("length-min"), withLength(backup, std::numeric_limits<qint64>::min()));
    emitFile(QStringLiteral("length-over-1gib"), withLength(backup, (qint64(1) << 30) + 1));
    emitFile(QStringLiteral("length-max"), withLength(backup, std::numeric_limits<qint64>::max()));
    emitFile(QStringLiteral("length-one-more"), withLength(backup, length + 1));
    emitFile(QStringLiteral("length-shorter"), withLength(backup, length - 10));
    emitFile(QStringLiteral("cut-in-stream"), backup.left(backup.size() / 2));
    emitFile(QStringLiteral("header-only"), backup.left(8));
    emitFile(QStringLiteral("short-header"), backup.left(5));
    emitFile(QStringLiteral("trailing-bytes"), backup + "garbage after the stream");
    emitFile(QStringLiteral("plain-xml"), xml);
    {
        QByteArray flipped = backup;
        flipped[flipped.size() - 2] = char(flipped[flipped.size() - 2] ^ 0x55); // the Adler-32 trailer
        emitFile(QStringLiteral("bad-checksum"), flipped);
    }
    // A stream that inflates to far more than it claims: the rest is never read.
    emitFile(QStringLiteral("stream-longer-than-claimed"),
             withLength(zv::PackExchangeContainer(xml + QByteArray(1 << 20, ' ')), length));
    return 0;
}

// The four report writers byte for byte, Save and Save All, and the e-mail action.
#include "ZvTestSupport.h"
#include "interchange/ZvReports.h"
#include "interchange/ZvSndMsg.h"
#include "interchange/pU_XmlTry.h"
#include "platform/ZvFileDialog.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace zv;

using TaskItems = std::vector<SelectedItem<TTaskInfo>>;
using MemoItems = std::vector<SelectedItem<TMemoInfo>>;
Q_DECLARE_METATYPE(TaskItems)
Q_DECLARE_METATYPE(MemoItems)

namespace {

const QString kVersion = QStringLiteral("1.2.3.4");
// The pinned clock and the test's locale (en_US) give these texts.
const QDateTime kNow(QDate(2024, 3, 5), QTime(14, 7, 9));
const QByteArray kNowText = "3/5/24 2:07:09 PM";

TTaskInfo task(const QString& content, bool checked = false, bool due = false)
{
    TTaskInfo t;
    t.content = content;
    t.checkFlag = checked;
    t.checkTime = checked ? EncodeDateTime(QDate(2024, 2, 1), QTime(9, 30)) : 0;
    t.dueFlag = due;
    t.dueTime = due ? EncodeDateTime(QDate(2024, 4, 15), QTime(0, 0)) : 0;
    return t;
}

TMemoInfo memo(const QString& content)
{
    TMemoInfo m;
    m.content = content;
    return m;
}

template <class T> SelectedItem<T> sel(const T& record, int level, std::vector<T> children = {})
{
    return SelectedItem<T>{record, level, std::move(children)};
}

// A source that logs what the writers ask of it; its items cannot be read when unreadable.
template <class T>
TReportSource<T> loggingSource(const std::vector<SelectedItem<T>>& items, QStringList& log, bool unreadable)
{
    return {[&items, &log, unreadable] {
                log << "read";
                if (unreadable) throw EZvError("lost");
                return items;
            },
            [&log] { log << "select all"; }, [&log] { log << "deselect"; }};
}

QByteArray crlf(const QList<QByteArray>& lines)
{
    QByteArray out;
    for (const QByteArray& l : lines)
        out += l + "\r\n";
    return out;
}

// ---- the expected pages, piece by piece ----
const QByteArray kHead =
    "color: #4f6b72; border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid #C1DAD7; "
    "border-top: 1px solid #C1DAD7;\ttext-align: left;\tpadding: 6px 6px 6px 12px;\t"
    "background: #CAE8EA;";
const QByteArray kCell = "<td style=\"border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid #C1DAD7;\t"
                         "padding: 6px 6px 6px 12px; background: ";
const QByteArray kRow =
    "; border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid #C1DAD7; border-left: 1px "
    "solid #C1DAD7;\tborder-top: 0; text-align: left;\tpadding: 6px 6px 6px ";

const QByteArray kTaskStart =
    crlf({"<html><head><meta charset=\"utf-8\"></head><body>", "<h1>To-Do List</h1>",
          "<table style=\"width: 100%; padding: 0; margin: 0;\" cellspacing=\"0\">",
          "<tr><th scope=\"col\" style=\"" + kHead + "\" >Task Content</th>",
          "<th scope=\"col\" style=\"" + kHead + "\" >Status</th>",
          "<th scope=\"col\" style=\"" + kHead + "\" >Due Date</th></tr>"});
const QByteArray kMemoStart =
    crlf({"<html><head><meta charset=\"utf-8\"></head><body>", "<h1>Memos</h1>",
          "<hr style=\"background: #666;color: #666;height: 1px; margin: 0 5px 0 5px;\"></>",
          "<ul style=\"list-style-type: disc; font-size: 105%;\">"});
const QByteArray kLink = crlf({"<p>By Zorvik Jotboard 1.2.3.4</p>",
                               "<p><a href=\"https://www.zorvik.example/jotboard/?s-f\">"
                               "https://www.zorvik.example/jotboard/</a></p>",
                               "</body></html>"});

QByteArray taskMain(const QByteArray& stripe, const QByteArray& text, const QByteArray& status,
                    const QByteArray& due)
{
    return crlf({"<tr><th scope=\"row\" style=\"color: #000000" + kRow + "12px;\tbackground: " + stripe +
                     "; font-weight: normal;\">",
                 text + "</th>", kCell + stripe + ";\">" + status + "</td>",
                 kCell + stripe + ";\">" + due + "</td>", "</tr>"});
}

QByteArray taskSub(const QByteArray& text, const QByteArray& status, const QByteArray& due)
{
    const QByteArray cell = kCell + "#ffffff; color: #797268; font-size: 90%;\">";
    return crlf({"<tr><th scope=\"row\" style=\"color: #797268" + kRow +
                     "32px;\tbackground: #ffffff; font-size: 90%; font-weight: normal;\">",
                 text + "</th>", cell + status + "</td>", cell + due + "</td>", "</tr>"});
}

QByteArray taskEnd(int n, int m)
{
    return crlf({"</table>", "<p>Tasks " + QByteArray::number(n) + ", Sub-Tasks " + QByteArray::number(m) +
                                 " - " + kNowText + "</p>"}) +
           kLink;
}

QByteArray memoMain(const QByteArray& stripe, const QByteArray& text)
{
    return crlf({"<li><p style=\"margin: 4px 0 4px 0; padding: 0 0 0 10px; background: " + stripe + ";\">",
                 text + "</p></li>"});
}

QByteArray memoSubList(const QList<QPair<QByteArray, QByteArray>>& children)
{
    QByteArray out = crlf({"<ul style=\"list-style-type: circle; margin: 0 0 5px 15px; font-size: 95%;\">"});
    for (const auto& [stripe, text] : children)
        out += crlf({"<li><p style=\"margin: 2px 0 2px 0; padding: 0 0 0 10; background: " + stripe + ";\">",
                     text + "</p></li>"});
    return out + crlf({"</ul>"});
}

QByteArray memoEnd(int n, int m)
{
    return crlf({"</ul>", "<hr /><p>Memos " + QByteArray::number(n) + ", Sub-Memos " + QByteArray::number(m) +
                              " - " + kNowText + "</p>"}) +
           kLink;
}

QByteArray textReport(const QByteArray& title, const QList<QByteArray>& entries, const QByteArray& counts)
{
    return crlf(QList<QByteArray>{title, "---------------------------------", ""} + entries +
                QList<QByteArray>{"", "---------------------------------", counts + " - " + kNowText,
                                  " By Zorvik Jotboard 1.2.3.4", " https://www.zorvik.example/jotboard/"});
}

// A mail system that records what it is handed.
struct RecordingMapi : TZvMapi
{
    QList<MapiMessage> sent;
    ULONG answer = mapi::SUCCESS_SUCCESS;
    ULONG MAPISendMail(LHANDLE, QWidget*, const MapiMessage& message, ULONG) override
    {
        sent << message;
        return answer;
    }
};

} // namespace

class TestReports : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList files() const { return QDir(m_dir.path()).entryList(QDir::Files, QDir::Name); }
    // Compared line by line first, so that a failure names the line.
    static void compareBytes(const QByteArray& actual, const QByteArray& expected)
    {
        QCOMPARE(QString::fromUtf8(actual).split("\r\n"), QString::fromUtf8(expected).split("\r\n"));
        QCOMPARE(actual, expected);
    }

private slots:
    void init()
    {
        zvtest::ResetSeams(); // every box and dialog must be answered
        Clock::setFixed(kNow);
        for (const QString& f : files())
            QFile::remove(path(f));
    }
    void cleanup() { zvtest::ResetSeams(); }

    void taskReports_data()
    {
        QTest::addColumn<TaskItems>("items");
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty selection: the frame, counts 0 and 0")
            << TaskItems{} << kTaskStart + taskEnd(0, 0)
            << textReport("To-Do List", {}, " Tasks 0, Sub-Tasks 0");
        QTest::newRow("a sub-task selected alone: a main entry without sub entries")
            << TaskItems{sel(task("child", true), 1)}
            << kTaskStart + taskMain("#F3F3FA", "child", "completed at 2/1/24", " - ") + taskEnd(1, 0)
            << textReport("To-Do List", {" * child - completed at 2/1/24"}, " Tasks 1, Sub-Tasks 0");
        QTest::newRow("a top-level task lists its three unselected sub-tasks")
            << TaskItems{sel(task("top", false, true), 0,
                             {task("s1"), task("s2", true), task("s3", false, true)})}
            << kTaskStart + taskMain("#F3F3FA", "top", "Incomplete", "4/15/24") +
                   taskSub("s1", "Incomplete", " - ") + taskSub("s2", "completed at 2/1/24", " - ") +
                   taskSub("s3", "Incomplete", "4/15/24") + taskEnd(1, 3)
            << textReport("To-Do List",
                          {" * top - Incomplete - Due Date 4/15/24", "   - s1 - Incomplete",
                           "   - s2 - completed at 2/1/24", "   - s3 - Incomplete - Due Date 4/15/24"},
                          " Tasks 1, Sub-Tasks 3");
        // markup escaped in the page only; bare LF and CR break lines as CR LF does; the
        // stripe moves with main entries only; UTF-8 without a byte-order mark
        QTest::newRow("multi-line text, markup, stripes, UTF-8")
            << TaskItems{sel(task("a < b & c\r\nd > e"), 0, {task("x\ny\rz")}),
                         sel(task(QString::fromUtf8("Grüße")), 1)}
            << kTaskStart + taskMain("#F3F3FA", "a &lt; b &amp; c<br> d &gt; e", "Incomplete", " - ") +
                   taskSub("x<br> y<br> z", "Incomplete", " - ") +
                   taskMain("#F5FFE8",
                            "Gr\xc3\xbc\xc3\x9f"
                            "e",
                            "Incomplete", " - ") +
                   taskEnd(2, 1)
            << textReport("To-Do List",
                          {" * a < b & c", "   d > e - Incomplete", "   - x", "     y", "     z - Incomplete",
                           " * Gr\xc3\xbc\xc3\x9f"
                           "e - Incomplete"},
                          " Tasks 2, Sub-Tasks 1");
    }
    void taskReports()
    {
        QFETCH(TaskItems, items);
        QFETCH(QByteArray, html);
        QFETCH(QByteArray, text);
        QVERIFY(WriteHtml<TTaskInfo>(path("t.html"), items, kVersion));
        QVERIFY(WriteText<TTaskInfo>(path("t.txt"), items, kVersion));
        compareBytes(zvtest::fileBytes(path("t.html")), html);
        compareBytes(zvtest::fileBytes(path("t.txt")), text);
    }

    void memoReports_data()
    {
        QTest::addColumn<MemoItems>("items");
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty selection")
            << MemoItems{} << kMemoStart + memoEnd(0, 0) << textReport("Memos", {}, " Memos 0, Sub-Memos 0");
        QTest::newRow("a two-line memo without children still opens and closes its sub-list")
            << MemoItems{sel(memo("x\r\ny"), 0)}
            << kMemoStart + memoMain("#F3F3FA", "x<br> y") + memoSubList({}) + memoEnd(1, 0)
            << textReport("Memos", {" * x", "   y"}, " Memos 1, Sub-Memos 0");
        QTest::newRow("stripes; sub-stripes start again for each memo; a sub-memo alone has no sub-list")
            << MemoItems{sel(memo("A"), 0, {memo("a1"), memo("a2\r\nmore"), memo("<a3>")}),
                         sel(memo("B"), 0, {memo("b1")}), sel(memo("c"), 1)}
            << kMemoStart + memoMain("#F3F3FA", "A") +
                   memoSubList({{"#fff", "a1"}, {"#F5FFE8", "a2<br> more"}, {"#fff", "&lt;a3&gt;"}}) +
                   memoMain("#D1E9E9", "B") + memoSubList({{"#fff", "b1"}}) + memoMain("#F3F3FA", "c") +
                   memoEnd(3, 4)
            << textReport("Memos",
                          {" * A", "   - a1", "   - a2", "     more", "   - <a3>", " * B", "   - b1", " * c"},
                          " Memos 3, Sub-Memos 4");
    }
    void memoReports()
    {
        QFETCH(MemoItems, items);
        QFETCH(QByteArray, html);
        QFETCH(QByteArray, text);
        QVERIFY(WriteHtml<TMemoInfo>(path("m.html"), items, kVersion));
        QVERIFY(WriteText<TMemoInfo>(path("m.txt"), items, kVersion));
        compareBytes(zvtest::fileBytes(path("m.html")), html);
        compareBytes(zvtest::fileBytes(path("m.txt")), text);
    }

    void aFailedWriteIsReportedAndKeepsTheOldFile()
    {
        MessageSeam::queueAnswer(IdOk);
        MessageSeam::queueAnswer(IdOk);
        QVERIFY(!WriteText<TMemoInfo>(path("no/such/m.txt"), {}, kVersion));
        zvtest::writeBytes(path("old.txt"), "earlier report");
        {
            zvtest::TFileSizeLimit full(64); // the disk fills up while writing
            QVERIFY(!WriteText<TTaskInfo>(path("old.txt"), {sel(task(QString(500, 'x')), 1)}, kVersion));
        }
        QCOMPARE(MessageSeam::texts(), (QStringList{"File write failure!", "File write failure!"}));
        QCOMPARE(zvtest::fileBytes(path("old.txt")), QByteArray("earlier report"));
    }

    void extensionRule_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("written");
        QTest::newRow("html replaces .htm") << "/d/report.htm" << 1 << "/d/report.html";
        QTest::newRow("text added") << "/d/notes" << 0 << "/d/notes.txt";
        QTest::newRow("html added") << "/d/notes" << 1 << "/d/notes.html";
        QTest::newRow("text replaces .HTML") << "/d/page.HTML" << 0 << "/d/page.txt";
        QTest::newRow("the last extension only") << "/d/a.tar.gz" << 0 << "/d/a.tar.txt";
        QTest::newRow("a trailing dot") << "/d/notes." << 0 << "/d/notes.txt";
        QTest::newRow("a dot in the folder") << "/d/v1.2/notes" << 0 << "/d/v1.2/notes.txt";
        QTest::newRow("a hidden file keeps its name") << "/d/.profile" << 0 << "/d/.profile.txt";
        QTest::newRow("a hidden file's extension") << "/d/.notes.old" << 1 << "/d/.notes.html";
    }
    void extensionRule()
    {
        QFETCH(QString, chosen);
        QFETCH(int, filter);
        QFETCH(QString, written);
        QCOMPARE(ReportFileName(chosen, ReportFormatOfFilter(filter)), written);
    }

    void saveReport_data()
    {
        QTest::addColumn<bool>("memos");
        QTest::addColumn<bool>("all");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("typed");      // empty: the dialog is cancelled
        QTest::addColumn<QString>("written");    // empty: nothing written
        QTest::addColumn<QList<int>>("answers"); // to the boxes shown
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QStringList>("messages");
        const QStringList readOnly{"read"}, saveAll{"select all", "read", "deselect"};
        const QString ask = "notes.txt already exists.\nDo you want to replace it?";
        QTest::newRow("Save, html") << false << false << 1 << "report.htm"
                                    << "report.html" << QList<int>{} << readOnly << QStringList{};
        QTest::newRow("Save All") << false << true << 0 << "all"
                                  << "all.txt" << QList<int>{} << saveAll << QStringList{};
        QTest::newRow("cancelled") << false << true << 0 << ""
                                   << "" << QList<int>{} << QStringList{} << QStringList{};
        QTest::newRow("Save All deselects after a failure")
            << false << true << 0 << "gone/r"
            << "" << QList<int>{IdOk} << saveAll << QStringList{"File write failure!"};
        QTest::newRow("Save All deselects when the items cannot be read")
            << false << true << 0 << "unreadable"
            << "" << QList<int>{IdOk} << saveAll << QStringList{"File write failure!"};
        QTest::newRow("another file of the final name, kept")
            << false << false << 0 << "notes"
            << "" << QList<int>{IdCancel} << QStringList{} << QStringList{ask};
        QTest::newRow("another file of the final name, replaced")
            << false << false << 0 << "notes"
            << "notes.txt" << QList<int>{IdOk} << readOnly << QStringList{ask};
        QTest::newRow("memos, Save All, html") << true << true << 1 << "all"
                                               << "all.html" << QList<int>{} << saveAll << QStringList{};
        QTest::newRow("memos, Save All deselects when the items cannot be read")
            << true << true << 0 << "unreadable"
            << "" << QList<int>{IdOk} << saveAll << QStringList{"File write failure!"};
        QTest::newRow("memos, another file of the final name, kept")
            << true << false << 0 << "notes"
            << "" << QList<int>{IdCancel} << QStringList{} << QStringList{ask};
        QTest::newRow("memos, another file of the final name, replaced")
            << true << false << 0 << "notes"
            << "notes.txt" << QList<int>{IdOk} << readOnly << QStringList{ask};
    }
    void saveReport()
    {
        QFETCH(bool, memos);
        QFETCH(bool, all);
        QFETCH(int, filter);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, calls);
        QFETCH(QStringList, messages);
        zvtest::writeBytes(path("notes.txt"), "keep");
        const TaskItems items{sel(task("one"), 0, {task("sub")})};
        const MemoItems memoItems{sel(memo("one"), 0, {memo("sub")})};
        QStringList log;
        const bool unreadable = typed == "unreadable";
        FileDialogSeam::setNextFileName(typed.isEmpty() ? QString() : path(typed), filter);
        for (int answer : answers)
            MessageSeam::queueAnswer(answer);
        QCOMPARE(
            memos ? SaveReport<TMemoInfo>(nullptr, all, loggingSource(memoItems, log, unreadable), kVersion)
                  : SaveReport<TTaskInfo>(nullptr, all, loggingSource(items, log, unreadable), kVersion),
            !written.isEmpty());
        QCOMPARE(log, calls);
        QCOMPARE(MessageSeam::texts(), messages);
        if (written.isEmpty()) {
            QCOMPARE(files(), QStringList{"notes.txt"});
            QCOMPARE(zvtest::fileBytes(path("notes.txt")), QByteArray("keep"));
        } else {
            QVERIFY(files().contains(written));
            QCOMPARE(
                zvtest::fileBytes(path(written)),
                memos ? (filter == 1 ? HtmlReport(memoItems, kVersion)
                                     : TextReport<TMemoInfo>(memoItems, kVersion))
                      : (filter == 1 ? HtmlReport(items, kVersion) : TextReport<TTaskInfo>(items, kVersion)));
        }
    }

    void email_data()
    {
        QTest::addColumn<bool>("memos");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<uint>("mailAnswer");
        // The program folder's Temp folder: kept, removed, or with a folder where the data
        // file goes.
        QTest::addColumn<QString>("temp");
        QTest::newRow("tasks") << false << false << uint(mapi::SUCCESS_SUCCESS) << "kept";
        QTest::newRow("tasks, nothing selected") << false << true << uint(mapi::SUCCESS_SUCCESS) << "kept";
        QTest::newRow("memos, the user aborts") << true << false << uint(mapi::MAPI_USER_ABORT) << "kept";
        QTest::newRow("memos, nothing selected, mail failure")
            << true << true << uint(mapi::MAPI_E_FAILURE) << "kept";
        QTest::newRow("Temp removed: the writer's error, no mail")
            << false << false << uint(mapi::SUCCESS_SUCCESS) << "removed";
        QTest::newRow("memos, the data file blocked: its error, no mail")
            << true << false << uint(mapi::SUCCESS_SUCCESS) << "blocked";
    }
    void email()
    {
        QFETCH(bool, memos);
        QFETCH(bool, empty);
        QFETCH(uint, mailAnswer);
        QFETCH(QString, temp);
        QTemporaryDir program;
        const QString folder = program.path() + '/';
        if (temp != "removed") QVERIFY(QDir(folder).mkdir("Temp"));
        if (temp == "blocked")
            QVERIFY(QDir(folder).mkpath(QString("Temp/") + (memos ? "Memos" : "Tasks") + ".zvx"));
        RecordingMapi mapi;
        mapi.answer = mailAnswer;
        TZvSendMessage mailer(nullptr, &mapi);
        mailer.ToRecipients << "left@over.example";
        const TaskItems tasks = empty ? TaskItems{} : TaskItems{sel(task("t"), 0, {task("t1")})};
        const MemoItems notes = empty ? MemoItems{} : MemoItems{sel(memo("m"), 1)};
        auto send = [&] {
            return memos ? EmailSelection<TMemoInfo>(mailer, notes, folder, kVersion)
                         : EmailSelection<TTaskInfo>(mailer, tasks, folder, kVersion);
        };
        if (temp != "kept") {
            // the program does not make the folder: the user removed it and is told
            MessageSeam::queueAnswer(IdOk);
            QVERIFY(!send());
            QCOMPARE(MessageSeam::texts(),
                     QStringList{temp == "removed" ? "File write failure!" : "File Write Failure !"});
            QVERIFY(mapi.sent.isEmpty());
            QCOMPARE(QDir(folder + "Temp").exists(), temp == "blocked");
            return;
        }
        QVERIFY(send());
        QVERIFY(MessageSeam::texts().isEmpty());
        const QString base = folder + "Temp/" + (memos ? "Memos" : "Tasks");
        QCOMPARE(zvtest::fileBytes(base + ".html"),
                 memos ? HtmlReport<TMemoInfo>(notes, kVersion) : HtmlReport<TTaskInfo>(tasks, kVersion));
        Txmltry xml;
        xml.LoadFromFile(base + ".zvx", true);
        QCOMPARE(xml.ChildCount(memos ? "zorvik,memos" : "zorvik,tasks"), empty ? 0 : memos ? 1 : 2);
        QCOMPARE(mapi.sent.size(), 1);
        const MapiMessage& m = mapi.sent.first();
        const QString name = memos ? "Memos" : "Tasks";
        QCOMPARE(m.lpszSubject, QString(memos ? "Memos" : "To-Do List"));
        QCOMPARE(m.lpszNoteText,
                 name + ".html: HTML file, you can open it with website browser.\r\n" + name +
                     ".zvx: Zorvik data file, you can import it into Zorvik software directly.\r\n");
        QCOMPARE(m.lpFiles.size(), size_t(2));
        QCOMPARE(m.lpFiles[0].lpszPathName, base + ".html");
        QCOMPARE(m.lpFiles[1].lpszPathName, base + ".zvx");
        QVERIFY(m.lpRecips.empty());
        QVERIFY(MessageSeam::texts().isEmpty()); // errors of the mail step are not shown
    }
};

int main(int argc, char** argv)
{
    // Dates and times in the reports follow the system's locale: pin it.
    qputenv("LC_ALL", "en_US.UTF-8");
    QApplication app(argc, argv);
    TestReports test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_reports.moc"

// Task list figures with a generated database of top-level tasks with sub-tasks each
// (`zvbench tasks [TOP [SUB]]`, 10,000 with 4 unless given): load and first paint, memory,
// a reminder tick with nothing due, what a user does to the list (ZvBenchFrame.h), and
// undoing a completion and the delete of a hundred tasks with their sub-tasks.
#include "ZvBenchFrame.h"
#include "ZvTestHost.h"
#include "ZvTestSupport.h"
#include "platform/ZvTree.h"
#include "store/pU_Funcs.h"
#include "tasks/Fr_zvTasks.h"

#include <QApplication>
#include <cstdio>
#include <sqlite3.h>

namespace {

template <class F> double bestOf(int runs, F&& f)
{
    double best = 1e99;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, BenchMs(f));
    return best;
}

} // namespace

// Tasks of one to four lines, a third of them complete, every seventh expanded.
void generateTasks(const QString& path, int topLevel, int children)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into tasks (tid,pid,content,checkFlag,dueFlag,alarmFlag,expandFlag,textColor,"
                       "backgroundColor,createTime,editTime) values (?,?,?,?,0,0,?,0,0,46000.5,46000.5)",
                       -1, &s, nullptr);
    auto add = [&](const QString& tid, const QString& pid, const QString& content, bool done, bool expanded) {
        const QByteArray a = tid.toUtf8(), b = pid.toUtf8(), c = content.toUtf8();
        sqlite3_bind_text(s, 1, a.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 2, b.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 3, c.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(s, 4, done ? 1 : 0);
        sqlite3_bind_int(s, 5, expanded ? 1 : 0);
        sqlite3_step(s);
        sqlite3_reset(s);
    };
    for (int i = 0; i < topLevel; ++i) {
        const QString tid = zv::NewGuidText();
        QString text = QStringLiteral("Task %1 buy milk and bread").arg(i);
        for (int l = 0; l < i % 4; ++l)
            text += QStringLiteral("\r\nline %1 of the task with a few more words to wrap").arg(l);
        add(tid, zv::kRootId, text, i % 3 == 0, i % 7 == 0);
        for (int c = 0; c < children; ++c)
            add(zv::NewGuidText(), tid, QStringLiteral("Sub-task %1.%2 call Anna").arg(i).arg(c), c % 2 == 0,
                false);
    }
    sqlite3_finalize(s);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

int benchTasks(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QApplication> ownApp;
    if (!QCoreApplication::instance()) ownApp = std::make_unique<QApplication>(argc, argv);
    const TBenchSize size = BenchSize(argc, argv);
    const int total = size.total();

    zvtest::TempProgramFolder folder;
    // Measured as a user runs it: the tests' durability checks off.
    zv::SetDurabilityChecks(false);
    generateTasks(folder.dbPath(), size.top, size.sub);
    std::printf("tasks: %d rows generated\n", folder.count(QStringLiteral("select count(*) from tasks")));

    zvtest::TestFrameHost host(folder);
    host.connection();
    const double rssBefore = BenchRssMb();
    auto* frame = new zv::TzvTasksFrame(&host, host.hostWindow());
    host.hostWindow()->resize(455, 700);
    frame->resize(455, 700);
    host.hostWindow()->show();
    QApplication::processEvents();

    const double init = BenchMs([&] {
        frame->InitFrame();
        frame->tree()->sortTree(frame->SortAscending()); // activation
        frame->tree()->repaint();
        QApplication::processEvents();
    });
    BenchPrint("tasks", total, "InitFrame (load, filter, sort, paint)", init, 500);
    std::printf("tasks %d: memory for the loaded tree: %.1f MB\n", total, BenchRssMb() - rssBefore);
    if (qEnvironmentVariableIsSet("ZVJ_BENCH_DETAIL")) {
        std::printf("  clear+load %.1f ms\n", BenchMs([&] {
                        frame->tree()->clear();
                        frame->LoadTasks();
                    }));
        std::printf("  filter %.1f ms\n", BenchMs([&] { frame->FilterTasks(); }));
        std::printf("  count %.1f ms\n", BenchMs([&] { frame->CountTasks(); }));
        std::printf("  hint %.1f ms\n", BenchMs([&] { frame->UpdateTrayHint(); }));
        std::printf("  sort %.1f ms\n", BenchMs([&] { frame->tree()->sortTree(true); }));
        std::printf("  paint %.1f ms\n", BenchMs([&] { frame->tree()->repaint(); }));
    }
    BenchPrint("tasks", total, "reminder tick, nothing due", bestOf(20, [&] { frame->Timer1Timer(); }), 2);

    zv::TZvTree* tree = frame->tree();
    std::vector<zv::TZvNode*> tops;
    for (zv::TZvNode* n = tree->firstTopLevel(); n; n = tree->nextSibling(n))
        tops.push_back(n);
    int which = 0;
    BenchFrameInteractions("tasks", total, frame, QStringLiteral("milk"), [&] {
        zv::TZvNode* n = tops[size_t((which++ * 31) % tops.size())];
        tree->setChecked(n, !n->isChecked(), true);
    });

    // Each undoes one completion; no target of its own: a frame is 16 ms.
    for (int i = 0; i < 10; ++i) {
        zv::TZvNode* n = tops[size_t((which++ * 31) % tops.size())];
        tree->setChecked(n, !n->isChecked(), true);
    }
    BenchPrint("tasks", total, "undoing a completion", bestOf(10, [&] { frame->UndoExecute(); }), 16);
    tree->clearNodeSelection();
    const size_t step = std::max<size_t>(1, tops.size() / 100);
    int deleted = 0;
    for (size_t i = 0; i < tops.size() && deleted < 100; i += step, ++deleted)
        tree->setSelected(tops[i], true);
    zv::MessageSeam::queueAnswer(zv::IdOk);
    const double remove = BenchMs([&] { frame->DeleteExecute(); });
    const double undoRemove = BenchMs([&] { frame->UndoExecute(); });
    std::printf("tasks %d: deleting %d tasks with their sub-tasks: %.1f ms; undoing it: %.1f ms\n", total,
                deleted, remove, undoRemove);

    delete frame;
    return 0;
}

// Task list figures with a generated database of 10,000 top-level tasks with 4 sub-tasks
// each (50,000 tasks): load and first paint, selection change, adding a task, memory,
// a search keystroke, a reminder tick with nothing due, a sort, completing a task, and
// undoing a completion and the delete of a hundred tasks with their sub-tasks.
#include "ZvTestHost.h"
#include "ZvTestSupport.h"
#include "platform/ZvTree.h"
#include "store/pU_Funcs.h"
#include "tasks/Fr_zvTasks.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <cstdio>
#include <sqlite3.h>
#include <unistd.h>

namespace {

double rssMb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

template <class F> double timeMs(F&& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

template <class F> double bestOf(int runs, F&& f)
{
    double best = 1e99;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, timeMs(f));
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

    zvtest::TempProgramFolder folder;
    // Measured as a user runs it: the tests' durability checks off.
    zv::SetDurabilityChecks(false);
    generateTasks(folder.dbPath(), 10000, 4);
    std::printf("tasks: %d rows generated\n", folder.count(QStringLiteral("select count(*) from tasks")));

    zvtest::TestFrameHost host(folder);
    host.connection();
    const double rssBefore = rssMb();
    auto* frame = new zv::TzvTasksFrame(&host, host.hostWindow());
    host.hostWindow()->resize(455, 700);
    frame->resize(455, 700);
    host.hostWindow()->show();
    QApplication::processEvents();

    const double init = timeMs([&] {
        frame->InitFrame();
        frame->tree()->sortTree(frame->SortAscending()); // activation
        frame->tree()->repaint();
        QApplication::processEvents();
    });
    std::printf("tasks: InitFrame (load, filter, sort, first paint): %.1f ms (target 500)\n", init);
    std::printf("tasks: memory for the loaded tree: %.1f MB (target 100)\n", rssMb() - rssBefore);
    if (qEnvironmentVariableIsSet("ZVJ_BENCH_DETAIL")) {
        std::printf("  clear+load %.1f ms\n", timeMs([&] {
                        frame->tree()->clear();
                        frame->LoadTasks();
                    }));
        std::printf("  filter %.1f ms\n", timeMs([&] { frame->FilterTasks(); }));
        std::printf("  count %.1f ms\n", timeMs([&] { frame->CountTasks(); }));
        std::printf("  hint %.1f ms\n", timeMs([&] { frame->UpdateTrayHint(); }));
        std::printf("  sort %.1f ms\n", timeMs([&] { frame->tree()->sortTree(true); }));
        std::printf("  paint %.1f ms\n", timeMs([&] { frame->tree()->repaint(); }));
    }

    zv::TZvTree* tree = frame->tree();
    std::vector<zv::TZvNode*> tops;
    for (zv::TZvNode* n = tree->firstTopLevel(); n; n = tree->nextSibling(n))
        tops.push_back(n);
    int pick = 0;
    const double select = bestOf(20, [&] {
        zv::TZvNode* n = tops[size_t((pick++ * 997) % tops.size())];
        tree->clearNodeSelection();
        tree->setSelected(n, true);
        QApplication::processEvents();
    });
    std::printf("tasks: selection change (UpdateActions, Move to menus): %.2f ms (target 5)\n", select);

    const double add = bestOf(10, [&] { frame->AddTaskFromText(QStringLiteral("a pasted task")); });
    std::printf("tasks: adding and storing a task: %.2f ms (target 5)\n", add);

    frame->Edt_Search->setFocus();
    QApplication::processEvents();
    const char* keys[] = {"m", "mi", "mil", "milk", "mil", "mi"};
    double search = 1e99;
    for (const char* k : keys)
        search = std::min(search, timeMs([&] {
                              frame->Edt_Search->setText(QString::fromLatin1(k));
                              tree->repaint();
                          }));
    std::printf("tasks: search keystroke (filter, tray hint, repaint): %.2f ms (target 16)\n", search);
    frame->Edt_Search->clear();
    tree->setFocus();
    QApplication::processEvents();

    const double tick = bestOf(20, [&] { frame->Timer1Timer(); });
    std::printf("tasks: reminder tick with nothing due: %.2f ms (target 2)\n", tick);

    const double sort = bestOf(5, [&] { tree->sortTree(false); });
    std::printf("tasks: sort: %.1f ms (target 100)\n", sort);

    int which = 0;
    const double complete = bestOf(10, [&] {
        zv::TZvNode* n = tops[size_t((which++ * 31) % tops.size())];
        tree->setChecked(n, !n->isChecked(), true);
    });
    std::printf("tasks: completing a task: %.2f ms (target 5)\n", complete);

    // Each undoes one of the completions above; no target of its own: a frame is 16 ms.
    const double undo = bestOf(10, [&] { frame->UndoExecute(); });
    std::printf("tasks: undoing a completion: %.2f ms\n", undo);
    tree->clearNodeSelection();
    for (size_t i = 0; i < 100; ++i)
        tree->setSelected(tops[i * 50], true);
    zv::MessageSeam::queueAnswer(zv::IdOk);
    const double remove = timeMs([&] { frame->DeleteExecute(); });
    const double undoRemove = timeMs([&] { frame->UndoExecute(); });
    std::printf("tasks: deleting 100 tasks with 400 sub-tasks: %.1f ms; undoing it: %.1f ms\n", remove,
                undoRemove);

    delete frame;
    return 0;
}

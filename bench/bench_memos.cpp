// Memo list figures with a generated database of top-level memos with sub-memos each
// (`zvbench memos [TOP [SUB]]`, 10,000 with 4 unless given): InitFrame with the first
// paint, memory, and what a user does to the list (ZvBenchFrame.h).
#include "ZvBenchFrame.h"
#include "ZvTestHost.h"
#include "ZvTestSupport.h"
#include "memos/Fr_zvMemos.h"
#include "platform/ZvTree.h"
#include "store/pU_Funcs.h"

#include <QApplication>
#include <cstdio>
#include <sqlite3.h>

// Memos of one to four lines, a fifth of them expanded, all in one transaction.
void generateMemos(const QString& path, int topLevel, int children)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into memos (mid,pid,content,expandFlag,assignTime,createTime,editTime) "
                       "values (?,?,?,?,46000.5,46000.5,46000.5)",
                       -1, &s, nullptr);
    for (int i = 0; i < topLevel; ++i) {
        const QByteArray mid = zv::NewGuidText().toUtf8();
        QString text = QStringLiteral("Memo %1 about the garden and the shed").arg(i);
        for (int l = 0; l < i % 4; ++l)
            text +=
                QStringLiteral("\r\nline %1 with some more words so that it wraps in a narrow window").arg(l);
        for (int c = -1; c < children; ++c) {
            const QByteArray id = c < 0 ? mid : zv::NewGuidText().toUtf8();
            const QByteArray pid = c < 0 ? QByteArray("root") : mid;
            const QByteArray content =
                (c < 0 ? text : QStringLiteral("Sub-memo %1.%2 seeds and tools").arg(i).arg(c)).toUtf8();
            sqlite3_bind_text(s, 1, id.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(s, 2, pid.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(s, 3, content.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(s, 4, c < 0 && i % 5 == 0 ? 1 : 0);
            sqlite3_step(s);
            sqlite3_reset(s);
        }
    }
    sqlite3_finalize(s);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

int benchMemos(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QApplication> ownApp;
    if (!QCoreApplication::instance()) ownApp = std::make_unique<QApplication>(argc, argv);
    const TBenchSize size = BenchSize(argc, argv);
    const int total = size.total();

    zvtest::TempProgramFolder folder;
    // Measured as a user runs it: the tests' durability checks off.
    zv::SetDurabilityChecks(false);
    generateMemos(folder.dbPath(), size.top, size.sub);
    std::printf("memos: %d rows generated\n", folder.count(QStringLiteral("select count(*) from memos")));

    zvtest::TestFrameHost host(folder);
    host.connection();
    const double before = BenchRssMb();
    auto* frame = new zv::TzvMemosFrame(&host, host.hostWindow());
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
    BenchPrint("memos", total, "InitFrame (load, filter, sort, paint)", init, 300);
    std::printf("memos %d: memory for the loaded tree: %.1f MB\n", total, BenchRssMb() - before);
    BenchFrameInteractions("memos", total, frame, QStringLiteral("garden"), {});
    delete frame;
    return 0;
}

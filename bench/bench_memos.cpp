// Memo list figures with a generated database of 10,000 top-level memos with 4 sub-memos
// each (50,000 memos): InitFrame with the first paint, memory, a search keystroke and a
// selection change.
#include "ZvTestHost.h"
#include "ZvTestSupport.h"
#include "memos/Fr_zvMemos.h"
#include "platform/ZvTree.h"
#include "store/pU_Funcs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <cstdio>
#include <sqlite3.h>
#include <unistd.h>

namespace {

double residentMb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

template <class F> double elapsedMs(F&& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

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

    zvtest::TempProgramFolder folder;
    generateMemos(folder.dbPath(), 10000, 4);
    std::printf("memos: %d rows generated\n", folder.count(QStringLiteral("select count(*) from memos")));

    zvtest::TestFrameHost host(folder);
    host.connection();
    const double before = residentMb();
    auto* frame = new zv::TzvMemosFrame(&host, host.hostWindow());
    host.hostWindow()->resize(455, 700);
    frame->resize(455, 700);
    host.hostWindow()->show();
    QApplication::processEvents();

    const double init = elapsedMs([&] {
        frame->InitFrame();
        frame->tree()->sortTree(frame->sortAscending); // activation
        frame->tree()->repaint();
        QApplication::processEvents();
    });
    std::printf("memos: InitFrame (load, filter, sort, first paint): %.1f ms (target 300)\n", init);
    std::printf("memos: memory for the loaded tree: %.1f MB\n", residentMb() - before);

    frame->Edt_Search->setFocus();
    QApplication::processEvents();
    double search = 1e99;
    for (const char* k : {"g", "ga", "gar", "gard", "gar", "ga"})
        search = std::min(search, elapsedMs([&] {
                              frame->Edt_Search->setText(QString::fromLatin1(k));
                              frame->tree()->repaint();
                          }));
    std::printf("memos: search keystroke (filter, repaint): %.2f ms (target 16)\n", search);
    frame->Edt_Search->clear();
    frame->tree()->setFocus();
    QApplication::processEvents();

    std::vector<zv::TZvNode*> tops;
    for (zv::TZvNode* n = frame->tree()->firstTopLevel(); n; n = frame->tree()->nextSibling(n))
        tops.push_back(n);
    double select = 1e99;
    for (int i = 0; i < 20; ++i)
        select = std::min(select, elapsedMs([&] {
                              frame->tree()->clearNodeSelection();
                              frame->tree()->setSelected(tops[size_t((i * 997) % tops.size())], true);
                              QApplication::processEvents();
                          }));
    std::printf("memos: selection change (UpdateActions, Move to menus): %.2f ms (target 5)\n", select);
    delete frame;
    return 0;
}

#pragma once

// What a user does to a long list, timed the same way for the task and the memo frame:
// the search box letter by letter, clicks far down the list, long scrolls, Expand All,
// Collapse All, a sort and an added item. Each figure includes the repaint that shows it.
#include "frames/ZvItemFrame.h"
#include "frames/ZvSearchBox.h"
#include "platform/ZvTree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QStringList>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unistd.h>
#include <vector>

// The size of a generated list: `zvbench AREA [TOP [SUB]]`, top-level items and the
// sub-items of each (10,000 and 4 unless given).
struct TBenchSize
{
    int top = 10000;
    int sub = 4;
    int total() const { return top * (sub + 1); }
};

inline TBenchSize BenchSize(int argc, char** argv)
{
    TBenchSize size;
    if (argc > 1) size.top = std::max(1, std::atoi(argv[1]));
    if (argc > 2) size.sub = std::max(0, std::atoi(argv[2]));
    return size;
}

// Resident memory now, in MB.
inline double BenchRssMb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

inline double BenchMs(const std::function<void()>& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

// The slowest of the runs: a target holds for every keystroke and click, not on average.
struct TBenchFigure
{
    std::vector<double> runs;
    void add(double ms) { runs.push_back(ms); }
    double worst() const { return runs.empty() ? 0 : *std::max_element(runs.begin(), runs.end()); }
};

inline void BenchPrint(const char* area, int total, const char* name, double ms, double target)
{
    std::printf("%s %d: %-34s %9.2f ms (target %g)\n", area, total, name, ms, target);
    std::fflush(stdout);
}

// `typed`: the search text letter by letter, to a word the items contain.
// `complete`: completes one item (tasks), or nothing.
inline void BenchFrameInteractions(const char* area, int total, zv::TZvItemFrame* frame, const QString& word,
                                   const std::function<void()>& complete)
{
    zv::TZvTree* tree = frame->tree();
    QScrollBar* bar = tree->verticalScrollBar();
    auto shown = [&](const std::function<void()>& f) {
        return BenchMs([&] {
            f();
            tree->repaint();
        });
    };

    BenchPrint(area, total, "first long scroll (end of list)", shown([&] { bar->setValue(bar->maximum()); }),
               16);
    bar->setValue(0);
    QApplication::processEvents();

    // A click on a row in the middle of the list, then Shift+click 10,000 rows further.
    const QPoint middle(tree->indentation() * 3 + 20, tree->viewport()->height() / 2);
    TBenchFigure click, shiftClick;
    for (int run = 0; run < 3; ++run) {
        bar->setValue(std::max(0, bar->maximum() / 2 - 5000) + run * 500);
        QApplication::processEvents();
        click.add(shown([&] { QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, middle); }));
        bar->setValue(bar->value() + 10000);
        tree->repaint();
        shiftClick.add(
            shown([&] { QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ShiftModifier, middle); }));
        QTest::qWait(QApplication::doubleClickInterval() + 20); // no double click
    }
    BenchPrint(area, total, "click on a row in the middle", click.worst(), 16);
    BenchPrint(area, total, "shift+click across 10,000 rows", shiftClick.worst(), 16);

    TBenchFigure page;
    tree->setFocus();
    for (int run = 0; run < 5; ++run)
        page.add(shown([&] { QTest::keyClick(tree, Qt::Key_PageDown); }));
    BenchPrint(area, total, "page down", page.worst(), 16);

    std::vector<zv::TZvNode*> tops;
    for (zv::TZvNode* n = tree->firstTopLevel(); n; n = tree->nextSibling(n))
        tops.push_back(n);
    TBenchFigure select;
    for (int run = 0; run < 10; ++run)
        select.add(BenchMs([&] {
            tree->clearNodeSelection();
            tree->setSelected(tops[size_t((run * 997) % tops.size())], true);
            QApplication::processEvents();
        }));
    BenchPrint(area, total, "selection change", select.worst(), 16);

    // The search box: the first letter, letters added, letters taken away.
    frame->Edt_Search->setFocus();
    QApplication::processEvents();
    TBenchFigure first, grow, shrink;
    for (int round = 0; round < 2; ++round) {
        for (int len = 1; len <= word.size(); ++len) {
            const double ms = shown([&] { frame->Edt_Search->setText(word.left(len)); });
            (len == 1 ? first : grow).add(ms);
        }
        for (int len = int(word.size()) - 1; len >= 1; --len)
            shrink.add(shown([&] { frame->Edt_Search->setText(word.left(len)); }));
        frame->Edt_Search->setText(QString());
    }
    BenchPrint(area, total, "search: first letter", first.worst(), 50);
    BenchPrint(area, total, "search: a letter added", grow.worst(), 16);
    BenchPrint(area, total, "search: a letter removed", shrink.worst(), 16);
    tree->setFocus();
    QApplication::processEvents();

    BenchPrint(area, total, "expand all", shown([&] { frame->ExpandAllExecute(); }), 50);
    BenchPrint(area, total, "collapse all", shown([&] { frame->CollapseAllExecute(); }), 50);
    BenchPrint(area, total, "sort", shown([&] { tree->sortTree(false); }), 50);
    if (complete) {
        TBenchFigure done;
        for (int run = 0; run < 5; ++run)
            done.add(shown(complete));
        BenchPrint(area, total, "complete an item", done.worst(), 16);
    }
    TBenchFigure add;
    for (int run = 0; run < 5; ++run)
        add.add(shown([&] { frame->AddFromText(QStringLiteral("a pasted item")); }));
    BenchPrint(area, total, "add an item", add.worst(), 16);
}

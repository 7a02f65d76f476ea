// Tree control at 50,000 nodes (10,000 top-level x 5): load, filter passes with the
// model's own hiding, a selection click far down, sort.

#include "platform/ZvTree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>

#include <cstdio>
#include <memory>

namespace {

struct BenchInfo : zv::TZvNodeData
{
    QString content;
};

QString makeText(int i)
{
    const int lines = 1 + (i * 7) % 10;
    QStringList parts;
    for (int l = 0; l < lines; ++l)
        parts << QStringLiteral("Item %1 line %2 with some words to wrap").arg(i).arg(l);
    return parts.join(QStringLiteral("\r\n"));
}

void settle(zv::TZvTree& tree)
{
    QCoreApplication::processEvents();
    tree.viewport()->repaint();
}

double ms(QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int benchTree(int argc, char** argv)
{
    std::unique_ptr<QApplication> ownApp;
    if (!QApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        ownApp = std::make_unique<QApplication>(argc, argv);
    }
    const int tops = 10000;
    const int kids = 4;

    zv::TZvTree tree;
    tree.resize(600, 800);
    tree.events.GetText = [](zv::TZvNode* n) { return n->dataAs<BenchInfo>()->content; };
    tree.events.MeasureItem = [&tree](zv::TZvNode* n) { return tree.textHeight(n, {}) + 4; };
    tree.events.CompareNodes = [](zv::TZvNode* a, zv::TZvNode* b) {
        return QString::compare(a->dataAs<BenchInfo>()->content, b->dataAs<BenchInfo>()->content,
                                Qt::CaseInsensitive);
    };
    tree.show();
    settle(tree);

    QStringList texts;
    for (int i = 0; i < tops * (kids + 1); ++i)
        texts << makeText(i);
    QElapsedTimer t;
    t.start();
    tree.beginUpdate();
    int k = 0;
    for (int i = 0; i < tops; ++i) {
        auto info = std::make_unique<BenchInfo>();
        info->content = texts[k++];
        zv::TZvNode* top = tree.addChild(nullptr, std::move(info));
        tree.setCheckBox(top, true);
        tree.setMultiLine(top, true);
        tree.setAlignment(top, 0);
        for (int j = 0; j < kids; ++j) {
            auto ci = std::make_unique<BenchInfo>();
            ci->content = texts[k++];
            zv::TZvNode* c = tree.addChild(top, std::move(ci));
            tree.setCheckBox(c, true);
            tree.setMultiLine(c, true);
        }
        tree.expand(top);
    }
    tree.endUpdate();
    settle(tree);
    std::printf("tree: load %d nodes + first layout: %.1f ms\n", tree.totalCount(), ms(t));

    // every third top-level node and every second sub-node hidden, then all shown again
    double lastEnd = 0;
    auto filterPass = [&](bool hide) {
        tree.beginUpdate();
        int n = 0;
        for (zv::TZvNode* node = tree.firstTopLevel(); node; node = tree.nextNode(node), ++n)
            tree.setNodeVisible(
                node, !hide || (node->level() == 0 ? node->index() % 3 != 0 : node->index() % 2 == 0));
        QElapsedTimer e;
        e.start();
        tree.endUpdate();
        lastEnd = ms(e);
        settle(tree);
    };
    for (int pass = 0; pass < 3; ++pass) {
        t.restart();
        filterPass(true);
        const double hideMs = ms(t);
        const double hideEnd = lastEnd;
        const int shown = tree.visibleCount();
        t.restart();
        filterPass(false);
        std::printf(
            "tree: model filter pass %d: hide %.1f ms (relayout %.1f, %d shown), show %.1f ms (relayout "
            "%.1f, %d shown)\n",
            pass, hideMs, hideEnd, shown, ms(t), lastEnd, tree.visibleCount());
    }

    // selection: click a row near the top, scroll to the end, click there
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, QPoint(100, 10));
    tree.verticalScrollBar()->setValue(tree.verticalScrollBar()->maximum());
    settle(tree);
    t.restart();
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, QPoint(100, 30));
    settle(tree);
    std::printf("tree: click far down (old selection at the top): %.2f ms\n", ms(t));
    t.restart();
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, QPoint(100, 120));
    settle(tree);
    std::printf("tree: next click: %.2f ms\n", ms(t));

    t.restart();
    tree.sortTree(false);
    settle(tree);
    std::printf("tree: sort descending: %.1f ms\n", ms(t));
    t.restart();
    tree.sortTree(true);
    settle(tree);
    std::printf("tree: sort ascending: %.1f ms\n", ms(t));

    t.restart();
    for (zv::TZvNode* n = tree.firstTopLevel(); n; n = tree.nextSibling(n))
        tree.collapse(n);
    settle(tree);
    std::printf("tree: collapse all top-level nodes: %.1f ms\n", ms(t));
    t.restart();
    tree.beginUpdate();
    for (zv::TZvNode* n = tree.firstTopLevel(); n; n = tree.nextSibling(n))
        tree.expand(n);
    tree.endUpdate();
    settle(tree);
    std::printf("tree: expand all top-level nodes: %.1f ms\n", ms(t));

    t.restart();
    tree.clear();
    settle(tree);
    std::printf("tree: clear: %.1f ms\n", ms(t));
    return 0;
}

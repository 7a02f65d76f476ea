#include "platform/ZvTreeLayout.h"
#include "platform/ZvTreeModel.h"

#include <QTest>

using zv::TZvNode;
using zv::TZvTreeLayout;
using zv::TZvTreeModel;

namespace {

// A model of top-level nodes with sub-nodes; heights by name, "A" 10, "a1" 11, ...
struct Fixture
{
    TZvTreeModel model;
    std::map<const TZvNode*, int> height;
    std::map<QString, TZvNode*> byName;
    int measured = 0;
    TZvTreeLayout layout{model.root(), [this](TZvNode* n) {
                             ++measured;
                             return height.at(n);
                         }};

    // "A:10 a1:5 a2:7 B:20 b1:3": lower case names are sub-nodes of the last upper case one.
    void build(const QString& spec)
    {
        model.beginUpdate();
        TZvNode* top = nullptr;
        for (const QString& item : spec.split(' ', Qt::SkipEmptyParts)) {
            const QStringList parts = item.split(':');
            const bool sub = parts[0].at(0).isLower();
            TZvNode* n = model.append(sub ? top : nullptr, nullptr);
            if (!sub) top = n;
            height[n] = parts[1].toInt();
            byName[parts[0]] = n;
        }
        model.endUpdate();
        layout.setEstimate(4);
        layout.invalidate();
    }
    void measureAll()
    {
        for (int row = 0; row < layout.rowCount(); ++row)
            layout.measure(row);
    }
    QString rows() const
    {
        QStringList out;
        for (int row = 0; row < layout.rowCount(); ++row)
            for (const auto& [name, node] : byName)
                if (node == layout.nodeAt(row)) out << name;
        return out.join(' ');
    }
};

// Hides (!X) or shows (^X) nodes, as a filter pass does.
void apply(Fixture& f, const QString& steps)
{
    for (const QString& step : steps.split(' ', Qt::SkipEmptyParts))
        f.model.setVisible(f.byName.at(step.mid(1)), step.at(0) == '^');
    f.layout.invalidate();
}

} // namespace

class TestTreeLayout : public QObject
{
    Q_OBJECT

private slots:
    // Which rows there are, where each one starts and which row a y falls on, after hiding
    // nodes, with every row measured.
    void rowsAndPositions_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QString>("hidden");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QList<int>>("tops");   // y of each row, then the total height
        QTest::addColumn<QList<int>>("probes"); // y values ...
        QTest::addColumn<QList<int>>("rowsAt"); // ... and the rows they fall on
        QTest::newRow("top level only")
            << "A:10 B:20 C:5"
            << ""
            << "A B C" << QList<int>{0, 10, 30, 35} << QList<int>{-1, 0, 9, 10, 29, 34, 35}
            << QList<int>{-1, 0, 0, 1, 1, 2, -1};
        QTest::newRow("collapsed sub-nodes are no rows")
            << "A:10 a1:3 a2:3 B:20"
            << ""
            << "A B" << QList<int>{0, 10, 30} << QList<int>{12, 29} << QList<int>{1, 1};
        QTest::newRow("hidden top-level node")
            << "A:10 B:20 C:5"
            << "!B"
            << "A C" << QList<int>{0, 10, 15} << QList<int>{9, 10, 14, 15} << QList<int>{0, 1, 1, -1};
        QTest::newRow("hidden first and last")
            << "A:10 B:20 C:5"
            << "!A !C"
            << "B" << QList<int>{0, 20} << QList<int>{0, 19, 20} << QList<int>{0, 0, -1};
        QTest::newRow("all hidden") << "A:10 B:20"
                                    << "!A !B"
                                    << "" << QList<int>{0} << QList<int>{0} << QList<int>{-1};
        QTest::newRow("hidden then shown again")
            << "A:10 B:20 C:5"
            << "!B ^B"
            << "A B C" << QList<int>{0, 10, 30, 35} << QList<int>{30} << QList<int>{2};
    }
    void rowsAndPositions()
    {
        QFETCH(QString, tree);
        QFETCH(QString, hidden);
        QFETCH(QString, rows);
        QFETCH(QList<int>, tops);
        QFETCH(QList<int>, probes);
        QFETCH(QList<int>, rowsAt);
        Fixture f;
        f.build(tree);
        apply(f, hidden);
        f.measureAll();
        QCOMPARE(f.rows(), rows);
        QList<int> y;
        for (int row = 0; row <= f.layout.rowCount(); ++row)
            y << f.layout.yOfRow(row);
        QCOMPARE(y, tops);
        QCOMPARE(f.layout.totalHeight(), tops.last());
        QList<int> at;
        for (int probe : probes)
            at << f.layout.rowAtY(probe);
        QCOMPARE(at, rowsAt);
    }

    // Expanding and collapsing through the node flag the view sets, with sub-nodes hidden.
    void expandAndCollapse_data()
    {
        QTest::addColumn<QString>("expanded"); // top-level nodes opened
        QTest::addColumn<QString>("hidden");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<int>("yOfB");
        QTest::newRow("all collapsed") << ""
                                       << ""
                                       << "A B" << 10;
        QTest::newRow("A open") << "A"
                                << ""
                                << "A a1 a2 B" << 19;
        QTest::newRow("A open, a1 hidden") << "A"
                                           << "!a1"
                                           << "A a2 B" << 15;
        QTest::newRow("A and B open") << "A B"
                                      << ""
                                      << "A a1 a2 B b1" << 19;
        QTest::newRow("A open but hidden") << "A"
                                           << "!A"
                                           << "B" << 0;
    }
    void expandAndCollapse()
    {
        QFETCH(QString, expanded);
        QFETCH(QString, hidden);
        QFETCH(QString, rows);
        QFETCH(int, yOfB);
        Fixture f;
        f.build("A:10 a1:4 a2:5 B:20 b1:1");
        for (const QString& name : expanded.split(' ', Qt::SkipEmptyParts))
            f.model.setNodeExpanded(f.byName.at(name), true);
        apply(f, hidden);
        f.measureAll();
        QCOMPARE(f.rows(), rows);
        const int b = f.layout.rowOf(f.byName.at("B"));
        QCOMPARE(f.layout.yOfRow(b), yOfB);
        QCOMPARE(f.layout.rowAtY(yOfB), b);
        // a row that is not laid out has no place
        for (const QString& name : QStringList{"a1", "a2", "b1"})
            if (!rows.split(' ').contains(name)) QCOMPARE(f.layout.rowOf(f.byName.at(name)), -1);
    }

    // Rows count with the estimate until measured; a height change moves only the rows
    // below it; a measured height is kept until invalidated.
    void heightChanges_data()
    {
        QTest::addColumn<QList<int>>("measure"); // rows measured
        QTest::addColumn<int>("changed");        // a row whose height then changes, or -1
        QTest::addColumn<int>("newHeight");
        QTest::addColumn<QList<int>>("tops");
        QTest::addColumn<int>("measures"); // measure calls in all
        QTest::newRow("nothing measured") << QList<int>{} << -1 << 0 << QList<int>{0, 4, 8, 12} << 0;
        QTest::newRow("middle row measured") << QList<int>{1} << -1 << 0 << QList<int>{0, 4, 24, 28} << 1;
        QTest::newRow("measured twice, asked once")
            << QList<int>{1, 1} << -1 << 0 << QList<int>{0, 4, 24, 28} << 1;
        QTest::newRow("first row grows") << QList<int>{0, 1, 2} << 0 << 30 << QList<int>{0, 30, 50, 55} << 4;
        QTest::newRow("last row shrinks") << QList<int>{0, 1, 2} << 2 << 1 << QList<int>{0, 10, 30, 31} << 4;
    }
    void heightChanges()
    {
        QFETCH(QList<int>, measure);
        QFETCH(int, changed);
        QFETCH(int, newHeight);
        QFETCH(QList<int>, tops);
        QFETCH(int, measures);
        Fixture f;
        f.build("A:10 B:20 C:5");
        for (int row : measure)
            f.layout.measure(row);
        if (changed >= 0) {
            TZvNode* n = f.layout.nodeAt(changed);
            f.height[n] = newHeight;
            f.layout.invalidateHeight(n);
            QCOMPARE(f.layout.isMeasured(changed), false);
            f.layout.measure(changed);
        }
        QList<int> y;
        for (int row = 0; row <= f.layout.rowCount(); ++row)
            y << f.layout.yOfRow(row);
        QCOMPARE(y, tops);
        QCOMPARE(f.measured, measures);
        for (int row = 0; row < f.layout.rowCount(); ++row)
            QCOMPARE(f.layout.rowAtY(y[row]), row);
    }

    // A new width measures everything again, but only when shown; a relayout keeps what
    // was measured.
    void invalidations()
    {
        Fixture f;
        f.build("A:10 B:20 C:5");
        f.measureAll();
        QCOMPARE(f.measured, 3);
        f.layout.invalidate(); // e.g. a filter pass that changed nothing
        f.measureAll();
        QCOMPARE(f.measured, 3);
        QCOMPARE(f.layout.totalHeight(), 35);
        f.layout.invalidateHeights();
        QCOMPARE(f.layout.totalHeight(), 12); // estimates
        f.layout.measure(1);
        QCOMPARE(f.measured, 4);
        QCOMPARE(f.layout.totalHeight(), 28);
    }

    // Far down a long list the answers still agree with each other.
    void longList()
    {
        Fixture f;
        QString spec;
        for (int i = 0; i < 5000; ++i)
            spec += QStringLiteral("T%1:%2 ").arg(i).arg(1 + i % 7);
        f.build(spec);
        for (int row = 4000; row < 4010; ++row)
            f.layout.measure(row);
        int y = 0;
        for (int row = 0; row < f.layout.rowCount(); ++row) {
            QCOMPARE(f.layout.yOfRow(row), y);
            QCOMPARE(f.layout.rowAtY(y + f.layout.heightOf(row) - 1), row);
            y += f.layout.heightOf(row);
        }
        QCOMPARE(f.layout.rowAtY(y), -1);
    }
};

QTEST_MAIN(TestTreeLayout)
#include "tst_treelayout.moc"

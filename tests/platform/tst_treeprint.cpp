// Printing the tree: the page plan, and real prints to PDF files read back with poppler.
#include "ZvTestSupport.h"
#include "platform/ZvTree.h"
#include "platform/ZvTreePrint.h"
#include "store/ZvError.h"
#include "store/ZvGuard.h"
#include "store/ZvSeams.h"

#include <QApplication>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace zv;

using Plan = std::vector<TPrintSlice>;
using Edges = std::vector<std::vector<int>>;
Q_DECLARE_METATYPE(Plan)
Q_DECLARE_METATYPE(Edges)

namespace {

struct Text : TZvNodeData
{
    QString text;
};

QString run(const QString& tool, const QStringList& args)
{
    QProcess p;
    p.start(QStandardPaths::findExecutable(tool), args);
    if (!p.waitForFinished(30000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestTreePrint : public QObject
{
    Q_OBJECT

    std::unique_ptr<TZvTree> tree;
    QTemporaryDir dir;
    std::unique_ptr<QPrinter> printer;

    TZvNode* add(TZvNode* parent, const QString& text)
    {
        auto data = std::make_unique<Text>();
        data->text = text;
        TZvNode* n = tree->addChild(parent, std::move(data));
        tree->setMultiLine(n, true);
        tree->setAlignment(n, 0);
        return n;
    }
    QString pdf() const { return dir.filePath("tree.pdf"); }
    int pdfPages() const
    {
        const QRegularExpressionMatch m =
            QRegularExpression("Pages:\\s+(\\d+)").match(run("pdfinfo", {pdf()}));
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }
    QString pdfText(int page = 0) const
    {
        QStringList args{"-layout"};
        if (page > 0) args << "-f" << QString::number(page) << "-l" << QString::number(page);
        return run("pdftotext", args << pdf() << "-");
    }
    // Screen pixels of tree rows that fit one printed page.
    int pageHeightOnScreen() const
    {
        const double scale =
            double(QFontMetrics(tree->font(), printer.get()).height()) / tree->fontMetrics().height();
        return int(printer->height() / scale);
    }
    bool print()
    {
        PrintDialogSeam().queueAnswer(true);
        return PrintTree(nullptr, *printer, *tree);
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty() ||
            QStandardPaths::findExecutable("pdfinfo").isEmpty())
            QSKIP("poppler-utils not installed");
    }
    void init()
    {
        zvtest::ResetSeams();
        QFile::remove(pdf());
        tree = std::make_unique<TZvTree>();
        tree->events.GetText = [](TZvNode* n) { return static_cast<Text*>(n->data())->text; };
        tree->resize(400, 300);
        tree->show();
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdf());
    }
    void cleanup()
    {
        tree.reset();
        zvtest::ResetSeams();
    }

    // ---- the plan ----

    void plan_data()
    {
        QTest::addColumn<std::vector<int>>("heights");
        QTest::addColumn<int>("page");
        QTest::addColumn<Edges>("edges");
        QTest::addColumn<Plan>("expected");
        // line edges of a row: text from 2, lines of `step`
        auto grid = [](int step, int height) {
            std::vector<int> e;
            for (int y = 2 + step; y <= height; y += step)
                e.push_back(y);
            return e;
        };
        QTest::newRow("an exact fit stays on the page")
            << std::vector<int>{50, 50, 1} << 100 << Edges{}
            << Plan{{0, 0, 0, 0, 50}, {1, 0, 50, 0, 50}, {2, 1, 0, 0, 1}};
        QTest::newRow("a row that does not fit starts the next page")
            << std::vector<int>{60, 50} << 100 << Edges{} << Plan{{0, 0, 0, 0, 60}, {1, 1, 0, 0, 50}};
        QTest::newRow("a tall row is cut at line edges")
            << std::vector<int>{250, 20} << 100 << Edges{grid(15, 250)}
            << Plan{{0, 0, 0, 0, 92}, {0, 1, 0, 92, 90}, {0, 2, 0, 182, 68}, {1, 2, 68, 0, 20}};
        QTest::newRow("a tall row after others starts a fresh page")
            << std::vector<int>{30, 150} << 100 << Edges{{}, grid(10, 150)}
            << Plan{{0, 0, 0, 0, 30}, {1, 1, 0, 0, 92}, {1, 2, 0, 92, 58}};
        QTest::newRow("an edge right at the page's end")
            << std::vector<int>{250} << 100 << Edges{{50, 100, 150, 200}}
            << Plan{{0, 0, 0, 0, 100}, {0, 1, 0, 100, 100}, {0, 2, 0, 200, 50}};
        QTest::newRow("no edge on a page: a page-sized cut")
            << std::vector<int>{250} << 100 << Edges{{240}}
            << Plan{{0, 0, 0, 0, 100}, {0, 1, 0, 100, 100}, {0, 2, 0, 200, 50}};
    }
    void plan()
    {
        QFETCH(std::vector<int>, heights);
        QFETCH(int, page);
        QFETCH(Edges, edges);
        QFETCH(Plan, expected);
        auto text = [](const Plan& plan) {
            QStringList out;
            for (const TPrintSlice& t : plan)
                out << QString("row %1 page %2 y %3 from %4 height %5")
                           .arg(t.row)
                           .arg(t.page)
                           .arg(t.y)
                           .arg(t.from)
                           .arg(t.height);
            return out;
        };
        QCOMPARE(text(PlanPrintedRows(heights, page, edges)), text(expected));
    }

    // ---- printing to PDF ----

    void printsTheRowsAsShownWithRealText_data()
    {
        QTest::addColumn<int>("pixelSize");
        QTest::newRow("font in points") << 0;
        // the frames' font is sized in pixels, which a 1200 dpi printer takes as its dots
        QTest::newRow("font in pixels") << 13;
    }
    void printsTheRowsAsShownWithRealText()
    {
        QFETCH(int, pixelSize);
        if (pixelSize > 0) {
            QFont f = tree->font();
            f.setPixelSize(pixelSize);
            tree->setFont(f);
        }
        tree->beginUpdate();
        TZvNode* alpha = add(nullptr, "Alpha top");
        add(alpha, "alpha child one");
        TZvNode* hiddenChild = add(alpha, "alpha hidden child");
        add(alpha, "alpha child two");
        TZvNode* beta = add(nullptr, "Beta top");
        add(beta, "beta collapsed child");
        TZvNode* gamma = add(nullptr, "Gamma hidden");
        tree->setCheckBox(alpha, true);
        tree->setChecked(alpha, true);
        tree->endUpdate();
        tree->setNodeVisible(hiddenChild, false);
        tree->setNodeVisible(gamma, false);
        tree->expand(alpha);
        QCoreApplication::processEvents();

        QVERIFY(print());
        const QString text = pdfText().simplified();
        const QStringList shown{"Alpha top", "alpha child one", "alpha child two", "Beta top"};
        int at = -1;
        for (const QString& row : shown) {
            const int i = text.indexOf(row);
            QVERIFY2(i > at, qPrintable(row + " in: " + text));
            at = i;
        }
        for (const char* absent : {"alpha hidden child", "beta collapsed child", "Gamma hidden"})
            QVERIFY2(!text.contains(QLatin1String(absent)), absent);
        QCOMPARE(pdfPages(), 1);
        // word boxes in points: the height of a line of the tree's font, not a multiple
        const QString boxes = run("pdftotext", {"-bbox", pdf(), "-"});
        const QRegularExpressionMatch m =
            QRegularExpression("yMin=\"([\\d.]+)\" xMax=\"[\\d.]+\" yMax=\"([\\d.]+)\">Beta<").match(boxes);
        QVERIFY2(m.hasMatch(), qPrintable(boxes.right(400)));
        const double height = m.captured(2).toDouble() - m.captured(1).toDouble();
        const double points =
            pixelSize > 0 ? pixelSize * 72.0 / tree->logicalDpiY() : QFontInfo(tree->font()).pointSizeF();
        QVERIFY2(height > 0.8 * points && height < 2.0 * points,
                 qPrintable(QString("line %1 pt for a %2 pt font").arg(height).arg(points)));
    }

    void pageCount_data()
    {
        QTest::addColumn<double>("pagesOfRows");
        QTest::addColumn<int>("pages");
        QTest::newRow("less than a page") << 0.5 << 1;
        QTest::newRow("one and a half") << 1.5 << 2;
        QTest::newRow("two and a half") << 2.5 << 3;
    }
    void pageCount()
    {
        QFETCH(double, pagesOfRows);
        QFETCH(int, pages);
        tree->beginUpdate();
        TZvNode* first = add(nullptr, "Row 0");
        tree->endUpdate();
        QCoreApplication::processEvents();
        const int rowHeight = tree->nodeRect(first).height();
        QVERIFY(rowHeight > 0);
        const int rows = int(pagesOfRows * (pageHeightOnScreen() / rowHeight));
        tree->beginUpdate();
        for (int i = 1; i < rows; ++i)
            add(nullptr, QString("Row %1").arg(i));
        tree->endUpdate();
        QCoreApplication::processEvents();
        QVERIFY(print());
        QCOMPARE(pdfPages(), pages);
        const QString text = pdfText();
        for (int i = 0; i < rows; ++i)
            QVERIFY2(text.count(QRegularExpression(QString("\\bRow %1\\b").arg(i))) == 1,
                     qPrintable(QString::number(i)));
        QVERIFY(pdfText(1).contains(QRegularExpression("\\bRow 0\\b")));
        QVERIFY(pdfText(pages).contains(QString("Row %1").arg(rows - 1)));
    }

    void aRowTallerThanAPageKeepsEveryLine()
    {
        QStringList lines;
        const int count = 3 * pageHeightOnScreen() / tree->fontMetrics().height();
        for (int i = 1; i <= count; ++i)
            lines << QString("memo line %1").arg(i, 4, 10, QChar('0'));
        add(nullptr, "Before");
        add(nullptr, lines.join("\r\n"));
        add(nullptr, "After");
        QCoreApplication::processEvents();
        QVERIFY(print());
        QVERIFY(pdfPages() >= 3);
        const QString text = pdfText();
        int at = text.indexOf("Before");
        QVERIFY(at >= 0);
        for (const QString& line : lines) {
            QCOMPARE(text.count(line), 1); // neither lost at a cut nor printed twice
            const int i = text.indexOf(line);
            QVERIFY2(i > at, qPrintable(line));
            at = i;
        }
        QVERIFY(text.indexOf("After") > at);
    }

    void cancelOrPrinterFailure()
    {
        add(nullptr, "x");
        PrintDialogSeam().queueAnswer(false);
        QVERIFY(!PrintTree(nullptr, *printer, *tree));
        QVERIFY(!QFile::exists(pdf()));
        QCOMPARE(PrintDialogSeam().history().first().printer, printer.get());
        // a printer failure reaches the program-wide error box
        printer->setOutputFileName(dir.filePath("no/such/folder/tree.pdf"));
        MessageSeam::queueAnswer(IdOk);
        QVERIFY(!Guarded([&] { print(); }));
        QCOMPARE(MessageSeam::texts(), QStringList{"Printer error."});
    }
};

QTEST_MAIN(TestTreePrint)
#include "tst_treeprint.moc"

// Undo and Redo in the memo list: its changes undone and redone, byte for byte in the rows a
// second connection reads, and in the tree.
#include "ZvFrameFixture.h"
#include "memos/Fr_zvMemos.h"

#include <QUndoStack>

using namespace zv;

namespace {

const QDateTime kNow(QDate(2024, 5, 15), QTime(10, 0, 0));

} // namespace

class TestMemoUndo : public zvtest::FrameFixture<TzvMemosFrame>
{
    Q_OBJECT

    QString memos() const { return m_folder->dump("memos"); }

    QString shownTree() const
    {
        QStringList out;
        for (TZvNode* n = tree()->firstTopLevel(); n; n = tree()->nextNode(n)) {
            const TMemoInfo& r = *TzvMemosFrame::Info(n);
            out << QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(r.mid, r.pid, r.content)
                       .arg(r.expandFlag)
                       .arg(n->level());
        }
        return out.join('\n');
    }

private slots:
    void init() { setUpFolder(kNow); }
    void cleanup() { tearDownFolder(); }

    void eachChange_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("step");
        QTest::newRow("add sub-memo") << "add sub-memo"
                                      << "Add Memo";
        QTest::newRow("edit") << "edit"
                              << "Edit Memo";
        QTest::newRow("delete with sub-memos") << "delete"
                                               << "Delete Memo";
        QTest::newRow("move two to Root") << "move"
                                          << "Move 2 Memos";
        QTest::newRow("paste") << "paste"
                               << "Paste Memo";
    }

    void eachChange()
    {
        QFETCH(QString, change);
        QFETCH(QString, step);
        // assignTime left null, as a pasted memo has it.
        m_folder->exec("insert into memos (mid, pid, content, expandFlag, createTime, editTime) values "
                       "('{M}','root','M',0,45000.5,45000.5), ('{N}','root','N',1,45000.5,45001), "
                       "('{N1}','{N}','N1',0,45000.5,45000.5), ('{N2}','{N}','N2',0,45000.5,45000.5), "
                       "('{O}','root','O',0,45000.5,45000.5)");
        start();
        const QString rowsBefore = memos(), treeBefore = shownTree();
        Clock::setFixed(kNow.addSecs(600));
        if (change == "add sub-memo") {
            select({"N1"});
            addByKeys("new", zvtest::FinishBy::CtrlEnter, true);
        } else if (change == "edit") {
            startEditing("M");
            type(tree()->editor(), "x");
            finish(tree()->editor(), zvtest::FinishBy::CtrlEnter);
        } else if (change == "delete") {
            select({"N"});
            MessageSeam::queueAnswer(IdOk);
            QTest::keyClick(tree(), Qt::Key_Delete);
        } else if (change == "move") {
            select({"N1", "N2"});
            emit m_frame->MainMoveto->aboutToShow();
            QAction* root = nullptr; // a move empties the menu: the item is taken first
            for (QAction* a : m_frame->MainMoveto->actions())
                if (a->text() == "Root") root = a;
            root->trigger();
        } else {
            ClipboardSeam::setText("pasted");
            QTest::keyClick(tree(), Qt::Key_V, Qt::ControlModifier);
        }
        settle();
        const QString rowsAfter = memos(), treeAfter = shownTree();
        QVERIFY(rowsAfter != rowsBefore);
        QCOMPARE(m_frame->findChild<QAction*>("Action_Undo")->text().section('\t', 0, 0), "&Undo " + step);
        QTest::keyClick(tree(), Qt::Key_Z, Qt::ControlModifier);
        settle();
        QCOMPARE(memos(), rowsBefore);
        QCOMPARE(shownTree(), treeBefore);
        QTest::keyClick(tree(), Qt::Key_Y, Qt::ControlModifier);
        settle();
        QCOMPARE(memos(), rowsAfter);
        QCOMPARE(shownTree(), treeAfter);
    }
};

QTEST_MAIN(TestMemoUndo)
#include "tst_memoundo.moc"

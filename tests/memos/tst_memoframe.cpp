// The memo frame driven through its real widgets: entry, editing, deleting, search with
// and without the wide option, sort, moving and the clipboard, and what each stores.
#include "ZvFrameFixture.h"
#include "components/ZvStatusBar.h"
#include "memos/Fr_zvMemos.h"
#include "platform/ZvFileDialog.h"
#include "platform/ZvTreePrint.h"
#include "store/ZvIniFile.h"

#include <QApplication>
#include <QLineEdit>
#include <QPrinter>
#include <QRegularExpression>
#include <QToolBar>

using namespace zv;

namespace {

const QDateTime kNow(QDate(2024, 5, 15), QTime(10, 0, 0));

double days(const QDateTime& t)
{
    return DateTimeFromQ(t);
}

} // namespace

class TestMemoFrame : public zvtest::FrameFixture<TzvMemosFrame>
{
    Q_OBJECT
    using FrameFixture::search; // beside the test of the same name

    void memo(const QString& mid, const QString& pid, const QString& text, const QString& more = {})
    {
        m_folder->exec(
            QStringLiteral("insert into memos (mid, pid, content, expandFlag, createTime, editTime) "
                           "values ('%1', '%2', '%3', 0, %4, %4)")
                .arg(mid, pid, text)
                .arg(days(kNow.addDays(-1)), 0, 'g', 17));
        if (!more.isEmpty())
            m_folder->exec(QStringLiteral("update memos set %1 where mid='%2'").arg(more, mid));
    }
    QVariant col(const QString& column, const QString& where) const
    {
        return m_folder->scalar(QStringLiteral("select %1 from memos where %2").arg(column, where));
    }

private slots:
    void init() { setUpFolder(kNow); }
    void cleanup() { tearDownFolder(); }

    // ---- entry ----------------------------------------------------------------------------

    void newMemo_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("finish");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("content");
        QTest::newRow("two lines") << "first\nsecond" << int(zvtest::FinishBy::CtrlEnter) << true
                                   << "first\r\nsecond";
        QTest::newRow("trailing breaks dropped") << "a  \n\n" << int(zvtest::FinishBy::Keypad) << true << "a";
        QTest::newRow("blanks only: an empty memo")
            << "   " << int(zvtest::FinishBy::CtrlEnter) << true << "";
        QTest::newRow("untyped: nothing") << "" << int(zvtest::FinishBy::CtrlEnter) << false << "";
        QTest::newRow("Esc: nothing") << "abc" << int(zvtest::FinishBy::Esc) << false << "";
        QTest::newRow("the editing tip keeps the text") << "x" << int(zvtest::FinishBy::Tip) << true << "x";
    }
    void newMemo()
    {
        QFETCH(QString, typed);
        QFETCH(int, finish);
        QFETCH(bool, stored);
        QFETCH(QString, content);
        start();
        QCOMPARE(m_frame->TipKind(), 2); // the empty list
        addByKeys(typed, zvtest::FinishBy(finish));
        QCOMPARE(m_folder->count("select count(*) from memos"), stored ? 1 : 0);
        QCOMPARE(tree()->totalCount(), stored ? 1 : 0);
        QVERIFY(!m_frame->EditNode());
        if (!stored) {
            // The tip is judged while the unsaved node still exists, so none is shown.
            QCOMPARE(m_frame->TipKind(), 0);
            return;
        }
        const QVariantList r =
            m_folder->rows("select mid, pid, content, assignTime, createTime, editTime from memos").first();
        QVERIFY(QRegularExpression("^\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}$")
                    .match(r[0].toString())
                    .hasMatch());
        QCOMPARE(r[1].toString(), QStringLiteral("root"));
        QCOMPARE(r[2].toString(), content);
        QCOMPARE(r[3].toDouble(), days(kNow)); // assignTime is createTime
        QCOMPARE(r[4].toDouble(), days(kNow));
        QCOMPARE(r[5].toDouble(), days(kNow));
        QCOMPARE(m_frame->TipKind(), 0);
    }

    void subMemoAndItsParent_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("expected");
        QTest::newRow("top level selected") << "A"
                                            << "A[new];B[B1]";
        QTest::newRow("sub-memo selected: under its parent") << "B1"
                                                             << "A;B[B1,new]";
        QTest::newRow("nothing selected: the last memo") << ""
                                                         << "A;B[B1,new]";
    }
    void subMemoAndItsParent()
    {
        QFETCH(QString, selected);
        QFETCH(QString, expected);
        memo("{A}", "root", "A");
        memo("{B}", "root", "B");
        memo("{B1}", "{B}", "B1");
        start();
        select(selected.isEmpty() ? QStringList() : QStringList{selected});
        addByKeys("new", zvtest::FinishBy::CtrlEnter, true);
        QCOMPARE(layout(), expected);
        const QString parent = expected.section(QLatin1Char('['), 0, 0).section(QLatin1Char(';'), -1);
        QCOMPARE(col("pid", "content='new'").toString(), QStringLiteral("{%1}").arg(parent));
    }

    void subMemoOnEmptyTree()
    {
        start();
        MessageSeam::queueAnswer(IdOk);
        QTest::keyClick(tree(), Qt::Key_Return, Qt::ControlModifier);
        settle();
        QCOMPARE(MessageSeam::texts(), QStringList{"Please select a memo!"});
        QCOMPARE(MessageSeam::history().first().caption, QStringLiteral("Tip"));
        QVERIFY(!m_frame->EditNode());
    }

    void editKeepsCreation()
    {
        memo("{A}", "root", "old", QStringLiteral("assignTime=%1").arg(days(kNow.addDays(-3)), 0, 'g', 17));
        start();
        select({"old"});
        trigger(m_frame->Action_MemoEdit);
        QPlainTextEdit* editor = waitEditor();
        QVERIFY(editor);
        editor->selectAll();
        type(editor, "new\n");
        finish(editor, zvtest::FinishBy::CtrlEnter);
        const QVariantList r =
            m_folder->rows("select content, assignTime, createTime, editTime from memos").first();
        QCOMPARE(r[0].toString(), QStringLiteral("new"));
        QCOMPARE(r[1].toDouble(), days(kNow.addDays(-3)));
        QCOMPARE(r[2].toDouble(), days(kNow.addDays(-1)));
        QCOMPARE(r[3].toDouble(), days(kNow));
        QCOMPARE(tree()->firstSelected(), node("new"));
    }

    void deleteMemos_data()
    {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("left");
        QTest::newRow("one, with its sub-memos")
            << QStringList{"A"} << int(IdOk) << "Are you sure you want to delete this memo?"
            << "B";
        QTest::newRow("two") << QStringList{"A", "B"} << int(IdOk)
                             << "Are you sure you want to delete these memos?"
                             << "";
        QTest::newRow("cancelled") << QStringList{"A"} << int(IdCancel)
                                   << "Are you sure you want to delete this memo?"
                                   << "A[A1];B";
    }
    void deleteMemos()
    {
        QFETCH(QStringList, selected);
        QFETCH(int, answer);
        QFETCH(QString, question);
        QFETCH(QString, left);
        memo("{A}", "root", "A");
        memo("{A1}", "{A}", "A1");
        memo("{B}", "root", "B");
        start();
        select(selected);
        MessageSeam::queueAnswer(answer);
        QTest::keyClick(tree(), Qt::Key_Delete);
        settle();
        QCOMPARE(MessageSeam::texts(), QStringList{question});
        QCOMPARE(layout(), left);
        QCOMPARE(m_folder->count("select count(*) from memos"),
                 left.isEmpty() ? 0 : int(left.count(QLatin1Char('A')) + left.count(QLatin1Char('B'))));
    }

    // ---- search, sort, views ---------------------------------------------------------------

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("wide");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("case matters") << "Milk" << false << QStringList{"Milk"};
        QTest::newRow("inside words") << "ilk" << false << QStringList{"Milk", "milk"};
        QTest::newRow("a matching sub-memo shows its parent")
            << "egg" << false << QStringList{"Shop", "eggs"};
        QTest::newRow("wide: a match shows every sub-memo")
            << "Shop" << true << QStringList{"Shop", "bread", "eggs"};
        QTest::newRow("not wide: only matching ones") << "Shop" << false << QStringList{"Shop"};
        QTest::newRow("nothing") << "zzz" << true << QStringList{};
    }
    void search()
    {
        QFETCH(QString, text);
        QFETCH(bool, wide);
        QFETCH(QStringList, shown);
        memo("{M1}", "root", "Milk");
        memo("{M2}", "root", "milk");
        memo("{S}", "root", "Shop");
        memo("{E}", "{S}", "eggs");
        memo("{B}", "{S}", "bread");
        start();
        if (wide) m_frame->Action_searchWide->trigger();
        search(text);
        QCOMPARE(this->shown(), shown);
        QCOMPARE(m_frame->TipKind(), shown.isEmpty() ? 3 : 0);
        if (shown.contains("eggs")) QVERIFY(tree()->isNodeExpanded(node("Shop")));
        QCOMPARE(TIniFile(m_folder->iniPath()).ReadBool("memo", "searchWideEn", false), wide);
        // cleared: everything back, and a parent expanded by the search stays expanded
        QTest::keyClick(m_frame->Edt_Search, Qt::Key_Escape);
        settle();
        QCOMPARE(this->shown().size(), shown.contains("eggs") ? 5 : this->shown().size());
        if (shown.contains("eggs")) QVERIFY(tree()->isNodeExpanded(node("Shop")));
        QVERIFY(!m_frame->SearchActive());
    }

    // Typed letter by letter, a pass visits only what the pass before it left; whatever
    // happened between two keystrokes, the tree then shows what a whole pass shows.
    void searchStepByStepShowsWhatAWholePassShows_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("wide");
        QTest::newRow("letters added") << QStringList{"e", "eg", "egg", "eggs"} << false;
        QTest::newRow("letters taken away") << QStringList{"eggs", "egg", "e", ""} << false;
        QTest::newRow("texts that share nothing") << QStringList{"Milk", "bread", "Milk"} << false;
        QTest::newRow("a group folded between") << QStringList{"e", "fold Box", "re"} << false;
        QTest::newRow("a sub-memo moved out between") << QStringList{"e", "move reed", "re"} << false;
        QTest::newRow("a text edited between") << QStringList{"r", "edit bread", "re"} << false;
        QTest::newRow("wide, letters added and taken away")
            << QStringList{"S", "Sh", "Shop", "Sh", "h"} << true;
    }
    void searchStepByStepShowsWhatAWholePassShows()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, wide);
        memo("{M1}", "root", "Milk");
        memo("{S}", "root", "Shop");
        memo("{E}", "{S}", "eggs");
        memo("{B}", "{S}", "bread");
        memo("{T}", "root", "Tea");
        memo("{R}", "{T}", "green");
        memo("{X}", "root", "Box");
        memo("{XR}", "{X}", "reed");
        start();
        if (wide) m_frame->Action_searchWide->trigger();
        auto state = [this] {
            QStringList out;
            for (TZvNode* n = tree()->firstTopLevel(); n; n = tree()->nextNode(n))
                if (tree()->isShown(n)) out << content(n) + (tree()->isNodeExpanded(n) ? "+" : "");
            return out;
        };
        for (const QString& step : steps) {
            if (step.startsWith("fold ")) {
                tree()->setExpanded(node(step.mid(5)), false);
            } else if (step.startsWith("move ")) {
                select({step.mid(5)});
                m_frame->MoveSelection(nullptr, false);
            } else if (step.startsWith("edit ")) {
                select({step.mid(5)});
                tree()->setFocus();
                QTest::keyClick(tree(), Qt::Key_F2);
                QPlainTextEdit* editor = waitEditor();
                QVERIFY(editor);
                editor->selectAll();
                type(editor, "bought");
                finish(editor, zvtest::FinishBy::CtrlEnter);
            } else {
                search(step);
                const QStringList byStep = state();
                m_frame->Filter();
                QCOMPARE(byStep, state());
            }
            settle();
        }
    }

    void searchWorksDuringAnEdit()
    {
        memo("{A}", "root", "apple");
        start();
        QTest::keyClick(tree(), Qt::Key_Return);
        settle();
        QVERIFY(waitEditor());
        QVERIFY(m_frame->Edt_Search->isEnabled());
        QVERIFY(m_frame->Action_searchWide->isEnabled());
        QVERIFY(m_frame->Action_Export->isEnabled());
        QVERIFY(!m_frame->Action_MemoAdd->isEnabled());
    }

    void sort_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("ascending");
        QTest::addColumn<QStringList>("descending");
        QTest::newRow("letters fold case")
            << QStringList{"b", "A", "c"} << QStringList{"A", "b", "c"} << QStringList{"c", "b", "A"};
        QTest::newRow("equal texts keep their order")
            << QStringList{"x", "X"} << QStringList{"x", "X"} << QStringList{"x", "X"};
        // The first eight characters decide most comparisons by themselves.
        QTest::newRow("past the eighth character") << QStringList{"Shopping b", "shopping A", "Shopping"}
                                                   << QStringList{"Shopping", "shopping A", "Shopping b"}
                                                   << QStringList{"Shopping b", "shopping A", "Shopping"};
        QTest::newRow("a shorter text first")
            << QStringList{"ab", "a", "abc"} << QStringList{"a", "ab", "abc"}
            << QStringList{"abc", "ab", "a"};
        QTest::newRow("digits and letters beyond ASCII")
            << QStringList{"Task 9", "Task 10", "\u00e9t\u00e9", "Zoo"}
            << QStringList{"Task 10", "Task 9", "Zoo", "\u00e9t\u00e9"}
            << QStringList{"\u00e9t\u00e9", "Zoo", "Task 9", "Task 10"};
    }
    void sort()
    {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, ascending);
        QFETCH(QStringList, descending);
        for (int i = 0; i < texts.size(); ++i)
            memo(QStringLiteral("{%1}").arg(i), "root", texts[i]);
        start();
        QCOMPARE(layout(), ascending.join(';'));
        QCOMPARE(m_frame->Action_ViewAsc->toolTip(), QStringLiteral("Descending Sort"));
        trigger(m_frame->Action_ViewAsc);
        QCOMPARE(layout(), descending.join(';'));
        QCOMPARE(m_frame->Action_ViewAsc->toolTip(), QStringLiteral("Ascending Sort"));
        QCOMPARE(TIniFile(m_folder->iniPath()).ReadBool("memo", "viewAscEn", true), false);
    }

    void listViewAndStatus()
    {
        memo("{A}", "root", "one\r\ntwo");
        memo("{A1}", "{A}", "sub", "expandFlag=0");
        m_folder->exec("update memos set expandFlag=1 where mid='{A}'");
        start();
        trigger(m_frame->Action_ViewList);
        QCOMPARE(m_frame->NodeText(node("one\r\ntwo")), QStringLiteral("1. one  two"));
        QCOMPARE(m_frame->NodeText(node("sub")), QStringLiteral("(1) sub"));
        QCOMPARE(TIniFile(m_folder->iniPath()).ReadBool("memo", "viewListEn", false), true);
        select({"sub"});
        QCOMPARE(m_frame->ZvStatusBar1->panelText(1), DateTimeText(days(kNow.addDays(-1))) + " created");
        QCOMPARE(TIniFile(m_folder->iniPath()).ReadInteger("log", "privateMemos", -1), 2);
        QCOMPARE(m_host->privateCount, 2);
    }

    // Only a change that names no node shows the status image and a random tip; one node
    // unselected while another stays selected shows that node's line. A change that leaves
    // nothing selected names none, however it came about, and the commands follow it.
    void statusLineFollowsTheChangedNode_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("named"); // the status line describes a memo
        QTest::newRow("one of two unselected") << "unselect" << true;
        QTest::newRow("cleared") << "clear" << false;
        QTest::newRow("a click on empty space") << "click" << false;
        QTest::newRow("a search hides the selected memo") << "search" << false;
    }
    void statusLineFollowsTheChangedNode()
    {
        QFETCH(QString, how);
        QFETCH(bool, named);
        memo("{A}", "root", "A");
        memo("{B}", "root", "B");
        start();
        select(how == "unselect" ? QStringList{"A", "B"} : QStringList{"A"});
        settle();
        QVERIFY(m_frame->StatusImage->isHidden());
        if (how == "unselect")
            tree()->setSelected(node("A"), false);
        else if (how == "clear")
            tree()->clearNodeSelection();
        else if (how == "click")
            QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, {40, tree()->viewport()->height() - 4});
        else
            search("B");
        settle();
        QCOMPARE(m_frame->StatusImage->isHidden(), named);
        QCOMPARE(m_frame->ZvStatusBar1->panelText(1).endsWith(QStringLiteral(" created")), named);
        QCOMPARE(m_frame->Action_MemoEdit->isEnabled(), named);
        QCOMPARE(m_frame->Action_MemoDelete->isEnabled(), named);
    }

    // Tab walks the tree and the search box and comes back; the buttons take no focus.
    void focusChainAndNames()
    {
        start();
        tree()->setFocus();
        settle();
        QCOMPARE(QApplication::focusWidget(), tree());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), m_frame->Edt_Search);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), tree());
        QCOMPARE(tree()->accessibleName(), QStringLiteral("Memos"));
        QCOMPARE(m_frame->Edt_Search->accessibleName(), QStringLiteral("Input search string"));
        QCOMPARE(m_frame->ToolBar_Top->widgetForAction(m_frame->Action_MemoAdd)->accessibleName(),
                 QStringLiteral("Add Memo"));
    }

    // ---- moving and the clipboard ---------------------------------------------------------

    void moving_data()
    {
        QTest::addColumn<bool>("drop");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("expected");
        QTest::newRow("drop on a memo: at its end, in order") << true << "C"
                                                              << "C[C1,A,B]";
        QTest::newRow("Move to a memo: first, reversed") << false << "C"
                                                         << "C[B,A,C1]";
        QTest::newRow("drop on empty space: at the end of the top level") << true << ""
                                                                          << "C[C1];A;B";
    }
    void moving()
    {
        QFETCH(bool, drop);
        QFETCH(QString, target);
        QFETCH(QString, expected);
        memo("{A}", "root", "A");
        memo("{B}", "root", "B");
        memo("{C}", "root", "C");
        memo("{C1}", "{C}", "C1");
        start();
        select({"A", "B"});
        TZvNode* to = target.isEmpty() ? nullptr : node(target);
        if (drop) {
            QVERIFY(tree()->events.DragOver(to));
            tree()->events.DragDrop(to);
        } else {
            m_frame->MoveSelection(to, true);
        }
        settle();
        QCOMPARE(layout(), expected);
        const QString pid = target.isEmpty() ? QStringLiteral("root") : QStringLiteral("{%1}").arg(target);
        QCOMPARE(m_folder->count(
                     QStringLiteral("select count(*) from memos where pid='%1' and mid in ('{A}','{B}')")
                         .arg(pid)),
                 2);
        // a drop onto the first selected memo is refused
        select({"C1"});
        QVERIFY(!tree()->events.DragOver(node("C1")));
    }

    // Every menu and tool bar of the frame, in order, with what is enabled: with a memo
    // selected, with none, and while one is edited.
    void menusAndBars_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QString>("items");
        const QString add = "&Add Memo Enter|Add &Sub-Memo Ctrl+Enter";
        const QString out = "E-mai&l Memo...|Sa&ve Memo...";
        const QString wide = "View all sub-Memos in search result";
        const QString undo = noUndo(false), popupUndo = noUndo(true);
        QTest::newRow("File") << "selected"
                              << "File" << fileMenu(false);
        QTest::newRow("Edit") << "selected"
                              << "Edit" << undo + "&Copy Ctrl+C|&Paste Ctrl+V|-|Select &All Ctrl+A|&Deselect";
        QTest::newRow("View") << "selected"
                              << "View"
                              << "View &List|-|&Expand All|&Collapse All";
        QTest::newRow("Memos") << "selected"
                               << "Memos" << add + "|-|" + out + "|-|&Edit F2|&Delete|-|&Move to >";
        QTest::newRow("Help") << "selected"
                              << "Help"
                              << "Contents|-|Contact|Suggest|-|Website|Update|-|About";
        QTest::newRow("memo pop-up") << "selected"
                                     << "PopupMenu_Memo"
                                     << popupUndo + add + "|-|" + out +
                                            "|-|&Edit F2|&Delete|-|&Copy Ctrl+C|&Paste Ctrl+V|-|" +
                                            "&Move to >";
        QTest::newRow("empty-space pop-up") << "selected"
                                            << "PopupMenu_Null" << popupUndo + add + "|-|&Paste Ctrl+V";
        QTest::newRow("top tool bar")
            << "selected"
            << "ToolBar_Top"
            << add + "|&Edit F2|&Delete|-|Sort Direction|&Expand All|&Collapse All|-|" + "View &List";
        QTest::newRow("bottom tool bar") << "selected"
                                         << "ToolBar_Bottom" << wide + "|<search>|<button>";

        QTest::newRow("Memos, nothing selected")
            << "none"
            << "Memos" << add + "|-|" + out + "|-|[&Edit F2]|[&Delete]|-|[&Move to >]";
        QTest::newRow("top tool bar, nothing selected")
            << "none"
            << "ToolBar_Top"
            << add + "|[&Edit F2]|[&Delete]|-|Sort Direction|&Expand All|&Collapse All|-|View &List";

        QTest::newRow("File, editing") << "editing"
                                       << "File" << fileMenu(true);
        QTest::newRow("Edit, editing")
            << "editing"
            << "Edit" << undo + "[&Copy Ctrl+C]|[&Paste Ctrl+V]|-|[Select &All Ctrl+A]|[&Deselect]";
        QTest::newRow("View, editing") << "editing"
                                       << "View"
                                       << "[View &List]|-|[&Expand All]|[&Collapse All]";
        QTest::newRow("memo pop-up, editing")
            << "editing"
            << "PopupMenu_Memo"
            << popupUndo + "[&Add Memo Enter]|[Add &Sub-Memo Ctrl+Enter]|-|[E-mai&l "
                           "Memo...]|[Sa&ve Memo...]|-|[&Edit F2]|"
                           "[&Delete]|-|[&Copy Ctrl+C]|[&Paste Ctrl+V]|-|[&Move to >]";
        QTest::newRow("top tool bar, editing")
            << "editing"
            << "ToolBar_Top"
            << "[&Add Memo Enter]|[Add &Sub-Memo Ctrl+Enter]|[&Edit F2]|[&Delete]|-|[Sort Direction]|"
               "[&Expand All]|[&Collapse All]|-|[View &List]";
        QTest::newRow("bottom tool bar, editing") << "editing"
                                                  << "ToolBar_Bottom" << wide + "|<search>|<button>";
    }
    void menusAndBars()
    {
        QFETCH(QString, state);
        QFETCH(QString, bar);
        QFETCH(QString, items);
        memo("{A}", "root", "A");
        memo("{B}", "root", "B");
        memo("{C}", "root", "C");
        memo("{C1}", "{C}", "C1");
        start();
        if (state != "none") select({"A"});
        if (state == "editing") startEditing("A");
        const QList<QMenu*> menus = m_frame->MainMenuMenus();
        const QStringList titles{"File", "Edit", "View", "Memos", "Help"};
        QCOMPARE(menus.size(), titles.size());
        for (int i = 0; i < menus.size(); ++i)
            QCOMPARE(QString(menus[i]->title()).remove('&'), titles[i]);
        const std::map<QString, QWidget*> bars{{"PopupMenu_Memo", m_frame->PopupMenu_Memo},
                                               {"PopupMenu_Null", m_frame->PopupMenu_Null},
                                               {"ToolBar_Top", m_frame->ToolBar_Top},
                                               {"ToolBar_Bottom", m_frame->ToolBar_Bottom}};
        QWidget* shown = titles.contains(bar) ? menus[titles.indexOf(bar)] : bars.at(bar);
        QCOMPARE(this->items(shown), items);
    }

    void noQueryBeforeTheFirstInit() { checkNoQueryWhenBuilt(QStringLiteral("memos")); }

    void copyAndPaste()
    {
        memo("{A}", "root", "a");
        memo("{B}", "root", "b");
        memo("{C}", "root", "c");
        start();
        select({"a", "b", "c"});
        QTest::keyClick(tree(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(ClipboardSeam::text(), QStringLiteral("a\rb\rc"));
        QTest::keyClick(tree(), Qt::Key_V, Qt::ControlModifier);
        settle();
        // one memo of three lines, with the breaks typed text has
        QCOMPARE(m_folder->count("select count(*) from memos where content='a\r\nb\r\nc'"), 1);
        QVERIFY(col("assignTime", "content='a\r\nb\r\nc'").isNull()); // a memo from text has none
    }

    // The tray's Paste while a new memo is being edited: the edit is cancelled first, its
    // empty node goes, and the pasted memo is added.
    void pasteToMemoDuringAnEdit()
    {
        start();
        QTest::keyClick(tree(), Qt::Key_Return);
        settle();
        QVERIFY(waitEditor());
        ClipboardSeam::setText("from the tray");
        m_frame->PasteFromTray();
        settle();
        QVERIFY(!m_frame->EditNode());
        QCOMPARE(layout(), QStringLiteral("from the tray"));
        QCOMPARE(m_folder->count("select count(*) from memos"), 1);
    }

    // Save, Save All, E-mail and Print of the frame reach the writers, the mail hand-off and
    // the printer with the frame's selection.
    void outputActions_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("save one as text") << "save";
        QTest::newRow("save all as HTML") << "saveAll";
        QTest::newRow("e-mail") << "email";
        QTest::newRow("print") << "print";
    }
    void outputActions()
    {
        QFETCH(QString, action);
        memo("{A}", "root", "alpha");
        memo("{B}", "root", "beta");
        start();
        select({"beta"});
        const QString base = m_folder->path() + QStringLiteral("report");
        if (action == QLatin1String("save")) {
            FileDialogSeam::setNextFileName(base, 0);
            trigger(m_frame->Action_Save);
            const QByteArray text = zvtest::fileBytes(base + QStringLiteral(".txt"));
            QVERIFY(text.contains("beta"));
            QVERIFY(!text.contains("alpha"));
        } else if (action == QLatin1String("saveAll")) {
            FileDialogSeam::setNextFileName(base + QStringLiteral(".htm"), 1);
            trigger(m_frame->Action_SaveAll);
            const QByteArray html = zvtest::fileBytes(base + QStringLiteral(".html"));
            QVERIFY(html.contains("alpha") && html.contains("beta"));
            QCOMPARE(tree()->selectedCount(), 0); // deselected afterwards
        } else if (action == QLatin1String("email")) {
            MailProcessSeam().queueAnswer({true, 0});
            trigger(m_frame->Action_Email);
            QCOMPARE(MailProcessSeam().history().size(), 1);
            const QString args = MailProcessSeam().history().first().arguments.join(QLatin1Char(' '));
            QVERIFY2(args.contains(QStringLiteral("Temp/Memos.html")) &&
                         args.contains(QStringLiteral("Temp/Memos.zvx")),
                     qPrintable(args));
        } else {
            const QString pdf = base + QStringLiteral(".pdf");
            PrintDialogSeam().setHandler([pdf](const PrintDialogRequest& r) {
                r.printer->setOutputFormat(QPrinter::PdfFormat);
                r.printer->setOutputFileName(pdf);
                return true;
            });
            trigger(m_frame->Action_Print);
            QVERIFY(zvtest::fileBytes(pdf).startsWith("%PDF"));
        }
    }

    void exportNeedsASelection()
    {
        memo("{A}", "root", "a");
        start();
        MessageSeam::queueAnswer(IdOk);
        trigger(m_frame->Action_Export);
        QCOMPARE(MessageSeam::texts(), QStringList{"Please select a memo!"});
        QCOMPARE(MessageSeam::history().first().caption, QStringLiteral("Warning"));
    }
};

QTEST_MAIN(TestMemoFrame)
#include "tst_memoframe.moc"

// The task frame driven through its real widgets: entry, editing, deleting and the tree's
// gestures, and what each of them stores in the database.
#include "TaskFrameFixture.h"

class TestTaskFrame : public TaskFrameFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // ---- entry ------------------------------------------------------------------------------

    void newTask_data()
    {
        QTest::addColumn<int>("add");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("finish");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("content");

        QTest::newRow("Esc stores nothing") << int(AddReturn) << "abc" << int(FinishEsc) << false << "";
        QTest::newRow("Ctrl+Enter untyped") << int(AddReturn) << "" << int(FinishCtrlEnter) << false << "";
        QTest::newRow("keypad, untyped") << int(AddKeypad) << "" << int(FinishKeypad) << false << "";
        QTest::newRow("blanks only") << int(AddAction) << "   " << int(FinishCtrlEnter) << true << "";
        QTest::newRow("trailing blanks and breaks")
            << int(AddReturn) << "  Buy milk  \n\n  " << int(FinishCtrlEnter) << true << "  Buy milk";
        QTest::newRow("inner break, keypad")
            << int(AddKeypad) << "a\nb" << int(FinishKeypad) << true << "a\r\nb";
        QTest::newRow("tip 1, then tip 2") << int(AddTip) << "x" << int(FinishTip) << true << "x";
        QTest::newRow("double click empty space")
            << int(AddDoubleClick) << "y" << int(FinishCtrlEnter) << true << "y";
        QTest::newRow("message 2034") << int(AddMessage) << "z" << int(FinishCtrlEnter) << true << "z";
    }

    void newTask()
    {
        QFETCH(int, add);
        QFETCH(QString, typed);
        QFETCH(int, finish);
        QFETCH(bool, stored);
        QFETCH(QString, content);
        start();
        QCOMPARE(m_frame->TipKind(), 1); // an empty table: "Click here to Add a new Item."

        QWidget* vp = tree()->viewport();
        switch (add) {
        case AddReturn:
            QTest::keyClick(tree(), Qt::Key_Return);
            break;
        case AddKeypad:
            QTest::keyClick(tree(), Qt::Key_Enter, Qt::KeypadModifier);
            break;
        case AddAction:
            m_frame->Action_TaskAdd->trigger();
            break;
        case AddTip:
            QTest::mouseClick(m_frame->label_tip, Qt::LeftButton);
            break;
        case AddDoubleClick:
            QTest::mouseMove(vp, QPoint(40, 60));
            QTest::mouseDClick(vp, Qt::LeftButton, {}, QPoint(40, 60));
            break;
        case AddMessage:
            PostZvMessage(m_frame, WM_ADD_ITEM);
            break;
        }
        QPlainTextEdit* editor = waitEditor();
        QVERIFY(editor);
        QCOMPARE(m_frame->TipKind(), 2);
        QVERIFY(!m_frame->Action_TaskAdd->isEnabled()); // every command waits for the edit
        type(editor, typed);
        this->finish(editor, Finish(finish), m_frame->label_tip);

        QVERIFY(!m_frame->EditNode());
        QCOMPARE(m_folder->count("select count(*) from tasks"), stored ? 1 : 0);
        QCOMPARE(tree()->totalCount(), stored ? 1 : 0);
        QCOMPARE(m_frame->TipKind(), stored ? 0 : 1);
        if (!stored) return;
        const QList<QVariantList> r = m_folder->rows("select tid, pid, content, checkFlag, textColor, "
                                                     "createTime, editTime, checkTime, alarmTime, expandFlag "
                                                     "from tasks");
        QCOMPARE(r[0][2].toString(), content);
        QVERIFY(QRegularExpression("^\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}$")
                    .match(r[0][0].toString())
                    .hasMatch());
        QCOMPARE(r[0][1].toString(), QStringLiteral("root"));
        QCOMPARE(r[0][3].toInt(), 0);
        QCOMPARE(r[0][4].toInt(), 0);
        QVERIFY(sameTime(r[0][5], dt(kNow)));
        QVERIFY(sameTime(r[0][6], dt(kNow)));
        QVERIFY(r[0][7].isNull() && r[0][8].isNull() && r[0][9].isNull());
        TZvNode* n = tree()->firstTopLevel();
        QCOMPARE(tree()->firstSelected(), n); // the edit ended: the node is selected
        QCOMPARE(m_frame->NodeText(n), content.isEmpty() ? QStringLiteral("Input content here") : content);
    }

    void editExisting_data()
    {
        QTest::addColumn<int>("how"); // 0 F2, 1 the Edit command, 2 a second click
        QTest::addColumn<bool>("keep");
        QTest::newRow("F2, kept") << 0 << true;
        QTest::newRow("command, cancelled") << 1 << false;
        QTest::newRow("second click, kept") << 2 << true;
        QTest::newRow("F2, cancelled") << 0 << false;
    }

    void editExisting()
    {
        QFETCH(int, how);
        QFETCH(bool, keep);
        row("{T}", "root", "old");
        start();
        // The decorated display text must never reach the editor or the row.
        m_frame->Action_ViewList->setChecked(true);
        m_frame->Action_ViewDate->setChecked(true);
        TZvNode* n = node("old");
        if (how == 0) {
            tree()->setFocusedNode(n);
            QTest::keyClick(tree(), Qt::Key_F2);
        } else if (how == 1) {
            select({"old"});
            m_frame->Action_TaskEdit->trigger();
        } else {
            const QRect r = tree()->nodeRect(n);
            const QPoint p(r.right() - 30, r.center().y());
            QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, p);
            QTest::qWait(QApplication::doubleClickInterval() + 50);
            QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, p);
        }
        QPlainTextEdit* editor = waitEditor();
        QVERIFY(editor);
        QCOMPARE(m_frame->EditNode(), n);
        QCOMPARE(editor->toPlainText(), QStringLiteral("old"));
        Clock::setFixed(kNow.addSecs(60));
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, "new");
        finish(editor, keep ? FinishCtrlEnter : FinishEsc, nullptr);

        const QString expected = keep ? "new" : "old";
        QCOMPARE(TzvTasksFrame::Info(n)->content, expected);
        QCOMPARE(col("content", "{T}").toString(), expected);
        QCOMPARE(m_folder->count("select count(*) from tasks"), 1);
        QVERIFY(sameTime(col("editTime", "{T}"), keep ? dt(kNow.addSecs(60)) : dt(kNow.addDays(-2))));
        QVERIFY(sameTime(col("createTime", "{T}"), dt(kNow.addDays(-2))));
        QCOMPARE(m_frame->TipKind(), 0);
        QVERIFY(!m_frame->EditNode());
        QVERIFY(m_frame->Action_TaskAdd->isEnabled());
    }

    void subTaskParent_data()
    {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<int>("range");
        QTest::newRow("nothing selected: last task") << QStringList{} << "{B}" << 0;
        QTest::newRow("task selected") << QStringList{"A"} << "{A}" << 0;
        QTest::newRow("sub-task selected: its parent") << QStringList{"A1"} << "{A}" << 0;
        QTest::newRow("last task hidden by the range") << QStringList{} << "{B}" << 2;
    }

    void subTaskParent()
    {
        QFETCH(QStringList, selected);
        QFETCH(QString, parent);
        QFETCH(int, range);
        row("{A}", "root", "A");
        row("{A1}", "{A}", "A1");
        row("{B}", "root", "B", true);
        start();
        m_frame->Comb_ViewRange->setCurrentIndex(range);
        select(selected);
        QTest::keyClick(tree(), Qt::Key_Return, Qt::ControlModifier);
        QPlainTextEdit* editor = waitEditor();
        QVERIFY(editor);
        type(editor, "s");
        finish(editor, FinishCtrlEnter, nullptr);
        QCOMPARE(m_folder->scalar("select pid from tasks where content='s'").toString(), parent);
        QCOMPARE(node("s")->parent(), node(parent.mid(1, parent.size() - 2)));
        QCOMPARE(col("expandFlag", parent).toInt(), 1); // opened to show the new sub-task
    }

    void subTaskOnEmptyTree()
    {
        start();
        MessageSeam::queueAnswer(IdOk);
        m_frame->Action_SubTaskAdd->trigger();
        settle();
        QCOMPARE(MessageSeam::texts(), QStringList{"Please select a task!"});
        QCOMPARE(tree()->totalCount(), 0);
        QVERIFY(!m_frame->EditNode());
    }

    void addSwitchesCompleteView()
    {
        row("{D}", "root", "done", true);
        start();
        m_frame->Comb_ViewRange->setCurrentIndex(1);
        m_frame->Action_TaskAdd->trigger();
        settle();
        QCOMPARE(m_frame->Comb_ViewRange->currentIndex(), 0);
        QCOMPARE(zv::TIniFile(m_folder->iniPath()).ReadInteger("task", "viewRange", -1), 0);
        QVERIFY(waitEditor());
    }

    // ---- delete -----------------------------------------------------------------------------

    void deleteTasks_data()
    {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("remaining");
        const QString ask = "Are you sure you want to delete ";
        QTest::newRow("task with three sub-tasks")
            << QStringList{"P"} << true << int(IdOk) << ask + "this task?"
            << "{D},{O},{Q},{R1},{R}";
        QTest::newRow("two tasks") << QStringList{"P", "Q"} << false << int(IdOk) << ask + "these tasks?"
                                   << "{D},{O},{R1},{R}";
        QTest::newRow("one sub-task") << QStringList{"P2"} << true << int(IdOk) << ask + "this task?"
                                      << "{D},{O},{P1},{P3},{P},{Q},{R1},{R}";
        QTest::newRow("cancelled") << QStringList{"P"} << false << int(IdCancel) << ask + "this task?"
                                   << "{D},{O},{P1},{P2},{P3},{P},{Q},{R1},{R}";
        QTest::newRow("everything") << QStringList{"P", "Q", "R"} << true << int(IdOk) << ask + "these tasks?"
                                    << "{D},{O}";
    }

    void deleteTasks()
    {
        QFETCH(QStringList, selected);
        QFETCH(bool, byKey);
        QFETCH(int, answer);
        QFETCH(QString, question);
        QFETCH(QString, remaining);
        row("{P}", "root", "P");
        row("{P1}", "{P}", "P1");
        row("{P2}", "{P}", "P2");
        row("{P3}", "{P}", "P3");
        row("{Q}", "root", "Q");
        row("{R}", "root", "R", false, "expandFlag=1");
        row("{R1}", "{R}", "R1");
        row("{O}", "{GONE}", "orphan"); // its parent is missing
        row("{D}", "{R1}", "deep");     // a third level
        start();
        QCOMPARE(tree()->totalCount(), 7);
        QVERIFY(!node("orphan") && !node("deep"));
        select(selected);
        MessageSeam::queueAnswer(answer);
        if (byKey)
            QTest::keyClick(tree(), Qt::Key_Delete);
        else
            m_frame->Action_TaskDelete->trigger();
        settle();
        QCOMPARE(MessageSeam::texts(), QStringList{question});
        QStringList ids;
        for (const QVariantList& r : m_folder->rows("select tid from tasks order by tid")) // binary order
            ids << r[0].toString();
        QCOMPARE(ids.join(','), remaining);
        QCOMPARE(tree()->totalCount(), ids.size() - 2);
    }

    // ---- gestures ---------------------------------------------------------------------------

    void gestures()
    {
        row("{A}", "root", "A", false, "expandFlag=1");
        row("{A1}", "{A}", "A1");
        row("{B}", "root", "B");
        start();
        int minimised = 0;
        m_host->trayIcon()->OnMinimize = [&] { ++minimised; };
        QTest::keyClick(tree(), Qt::Key_F12, Qt::ControlModifier);
        settle();
        QCOMPARE(minimised, 1);

        tree()->setFocusedNode(node("B"));
        QTest::keyClick(tree(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(tree()->selectedCount(), 2);
        m_frame->Action_Deselect->trigger();
        QCOMPARE(tree()->selectedCount(), 0);
        m_frame->Action_SelectAll->trigger();
        QCOMPARE(tree()->selectedCount(), 2);

        // A double click on a task adds nothing; on empty space it adds a task.
        const QPoint onA = tree()->nodeRect(node("A")).center();
        QTest::mouseMove(tree()->viewport(), onA);
        QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, {}, onA);
        settle();
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        settle();
        QCOMPARE(tree()->totalCount(), 3);
        const QPoint empty(40, tree()->viewport()->height() - 10);
        QVERIFY(!tree()->nodeAt(empty));
        QTest::mouseMove(tree()->viewport(), empty);
        QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, {}, empty);
        QVERIFY(waitEditor());
        QCOMPARE(tree()->totalCount(), 4);
    }

    void editStoredOnDestruction()
    {
        start();
        m_frame->Action_TaskAdd->trigger();
        QPlainTextEdit* editor = waitEditor();
        QVERIFY(editor);
        type(editor, "kept at exit");
        delete m_frame;
        m_frame = nullptr;
        QCOMPARE(m_folder->count("select count(*) from tasks where content='kept at exit'"), 1);
    }

    // Pages overwritten in the middle of the file (a bad sector, a half-written copy): the
    // load fails with the database's own message in the program-wide box, the program goes
    // on, and the failed load leaves the connection with nothing open.
    void damagedDatabase_data()
    {
        QTest::addColumn<bool>("atStart");
        QTest::newRow("at start") << true;
        QTest::newRow("during a reload") << false;
    }
    void damagedDatabase()
    {
        QFETCH(bool, atStart);
        const QString text(400, QLatin1Char('t'));
        QString sql = QStringLiteral("begin;");
        for (int i = 0; i < 3000; ++i)
            sql += QStringLiteral(
                       "insert into tasks (tid, pid, content, checkFlag) values ('{T%1}', 'root', '%2', 0);")
                       .arg(i)
                       .arg(text);
        m_folder->exec(sql + QStringLiteral("commit;"));
        m_folder->exec(QStringLiteral("pragma wal_checkpoint(truncate)"));
        const auto damage = [this] {
            QFile file(m_folder->dbPath());
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(file.size() / 2 / 4096 * 4096));
            QByteArray junk(4096, '\0');
            for (int i = 0; i < junk.size(); ++i)
                junk[i] = char((i * 7919 + 13) & 0xFF);
            file.write(junk);
        };
        if (atStart) damage();
        MessageSeam::queueAnswer(IdOk); // the program-wide error box
        start();
        if (!atStart) {
            QCOMPARE(tree()->totalCount(), 3000);
            damage();
            // another writer tells the open connection that its cached pages are stale
            m_folder->exec(
                QStringLiteral("insert into memos (mid, pid, content) values ('{M}', 'root', 'm')"));
            MessageSeam::queueAnswer(IdOk);
            PostZvMessage(m_frame, WM_FRAME_INIT);
            settle();
        }
        QVERIFY2(MessageSeam::texts().contains(QStringLiteral("database disk image is malformed.")),
                 qPrintable(MessageSeam::texts().join(QLatin1Char('|'))));
        QCOMPARE(MessageSeam::history().last().caption, QStringLiteral("Zorvik Jotboard"));
        QVERIFY(m_folder->connection().autocommit());
        QVERIFY(!m_frame->EditNode());
        // the program goes on: the frame still takes commands
        QTest::keyClick(tree(), Qt::Key_Return);
        settle();
        QVERIFY(m_frame->EditNode() != nullptr);
    }

    // Tab walks the tree, the range box and the search box and comes back.
    void focusChainAndNames()
    {
        start();
        tree()->setFocus();
        settle();
        QWidget* expected[] = {m_frame->Comb_ViewRange, m_frame->Edt_Search, tree()};
        for (QWidget* w : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), w);
        }
        QCOMPARE(tree()->accessibleName(), QStringLiteral("To-Do List"));
        QCOMPARE(m_frame->Comb_ViewRange->accessibleName(), QStringLiteral("View Range"));
    }

    // Every menu and tool bar of the frame, in order, with what is enabled and checked: with a
    // task selected, with none, and while one is edited.
    void menusAndBars_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QString>("items");
        const QString add = "Add &Task Enter|&Add Sub-Task Ctrl+Enter";
        const QString out = "E-mai&l Task...|Sa&ve Task...";
        const QString dates = "Set D&ue Date...|&Set Reminder...|Set C&olor...";
        const QString undo = noUndo(false), popupUndo = noUndo(true);
        QTest::newRow("File") << "selected"
                              << "File" << fileMenu(false);
        QTest::newRow("Edit") << "selected"
                              << "Edit" << undo + "&Copy Ctrl+C|&Paste Ctrl+V|-|&Select All Ctrl+A|&Deselect";
        QTest::newRow("View") << "selected"
                              << "View"
                              << "View &List|View &Date|-|(x)&All Tasks|&Complete Tasks|&Incomplete Tasks|-|"
                                 "&Expand All|&Collapse All";
        QTest::newRow("Tasks") << "selected"
                               << "Tasks"
                               << add + "|-|" + out + "|-|&Edit F2|&Delete|-|Mark Complete|-|" + dates +
                                      "|-|&Move to >";
        QTest::newRow("Help") << "selected"
                              << "Help"
                              << "Contents|-|Contact|Suggest|-|Website|Update|Resources|-|About";
        QTest::newRow("task pop-up") << "selected"
                                     << "PopupMenu_Task"
                                     << popupUndo + add + "|-|" + out +
                                            "|-|&Edit F2|&Delete|-|&Copy Ctrl+C|&Paste Ctrl+V|-|" +
                                            "Mark Complete|-|" + dates + "|-|&Move To >";
        QTest::newRow("empty-space pop-up") << "selected"
                                            << "PopupMenu_Null" << popupUndo + add + "|-|&Paste Ctrl+V";
        QTest::newRow("top tool bar")
            << "selected"
            << "ToolBar_Top"
            << add + "|&Edit F2|&Delete|-|Sort Direction|&Expand All|&Collapse All|-|" +
                   "View &List|View &Date";
        QTest::newRow("bottom tool bar") << "selected"
                                         << "ToolBar_Bottom"
                                         << "<range>|-|<search>|<button>";

        QTest::newRow("Tasks, nothing selected")
            << "none"
            << "Tasks"
            << add + "|-|" + out + "|-|[&Edit F2]|[&Delete]|-|[&Mark Complete]|-|[Set D&ue Date...]|" +
                   "[&Set Reminder...]|[Set C&olor...]|-|[&Move to >]";
        QTest::newRow("task pop-up, nothing selected")
            << "none"
            << "PopupMenu_Task"
            << popupUndo + add + "|-|" + out +
                   "|-|[&Edit F2]|[&Delete]|-|&Copy Ctrl+C|&Paste Ctrl+V|-|[&Mark Complete]|-|" +
                   "[Set D&ue Date...]|[&Set Reminder...]|[Set C&olor...]|-|[&Move To >]";
        QTest::newRow("top tool bar, nothing selected")
            << "none"
            << "ToolBar_Top"
            << add +
                   "|[&Edit F2]|[&Delete]|-|Sort Direction|&Expand All|&Collapse All|-|View &List|View &Date";

        QTest::newRow("File, editing") << "editing"
                                       << "File" << fileMenu(true);
        QTest::newRow("Edit, editing")
            << "editing"
            << "Edit" << undo + "[&Copy Ctrl+C]|[&Paste Ctrl+V]|-|[&Select All Ctrl+A]|[&Deselect]";
        QTest::newRow("View, editing") << "editing"
                                       << "View"
                                       << "[View &List]|[View &Date]|-|[(x)&All Tasks]|[&Complete Tasks]|"
                                          "[&Incomplete Tasks]|-|[&Expand All]|[&Collapse All]";
        QTest::newRow("Tasks, editing") << "editing"
                                        << "Tasks"
                                        << "[Add &Task Enter]|[&Add Sub-Task Ctrl+Enter]|-|[E-mai&l "
                                           "Task...]|[Sa&ve Task...]|-|[&Edit F2]|"
                                           "[&Delete]|-|[Mark Complete]|-|[Set D&ue Date...]|[&Set "
                                           "Reminder...]|[Set C&olor...]|-|[&Move to >]";
        QTest::newRow("empty-space pop-up, editing")
            << "editing"
            << "PopupMenu_Null"
            << popupUndo + "[Add &Task Enter]|[&Add Sub-Task Ctrl+Enter]|-|[&Paste Ctrl+V]";
        QTest::newRow("top tool bar, editing")
            << "editing"
            << "ToolBar_Top"
            << "[Add &Task Enter]|[&Add Sub-Task Ctrl+Enter]|[&Edit F2]|[&Delete]|-|[Sort Direction]|"
               "[&Expand All]|[&Collapse All]|-|[View &List]|[View &Date]";
        QTest::newRow("bottom tool bar, editing") << "editing"
                                                  << "ToolBar_Bottom"
                                                  << "[<range>]|-|<search>|<button>";
    }
    void menusAndBars()
    {
        QFETCH(QString, state);
        QFETCH(QString, bar);
        QFETCH(QString, items);
        moveFixture();
        start();
        if (state != "none") select({"A"});
        if (state == "editing") startEditing("A");
        const QList<QMenu*> menus = m_frame->MainMenuMenus();
        const QStringList titles{"File", "Edit", "View", "Tasks", "Help"};
        QCOMPARE(menus.size(), titles.size());
        for (int i = 0; i < menus.size(); ++i)
            QCOMPARE(QString(menus[i]->title()).remove('&'), titles[i]);
        const std::map<QString, QWidget*> bars{{"PopupMenu_Task", m_frame->PopupMenu_Task},
                                               {"PopupMenu_Null", m_frame->PopupMenu_Null},
                                               {"ToolBar_Top", m_frame->ToolBar_Top},
                                               {"ToolBar_Bottom", m_frame->ToolBar_Bottom}};
        QWidget* shown = titles.contains(bar) ? menus[titles.indexOf(bar)] : bars.at(bar);
        QCOMPARE(this->items(shown), items);
    }

    void noQueryBeforeTheFirstInit() { checkNoQueryWhenBuilt(QStringLiteral("tasks")); }

    void copyAndPaste()
    {
        row("{X}", "root", "x");
        row("{Y}", "root", "y");
        row("{Z}", "root", "z");
        start();
        ClipboardSeam::setText("before");
        tree()->setFocusedNode(node("x"));
        QTest::keyClick(tree(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(tree(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(ClipboardSeam::text(), QStringLiteral("x\ry\rz"));

        ClipboardSeam::setText("line 1\nline 2\n"); // breaks from outside: LF only
        QTest::keyClick(tree(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(m_folder->count("select count(*) from tasks"), 4);
        QCOMPARE(m_folder->scalar("select content from tasks where content like 'line%'").toString(),
                 QStringLiteral("line 1\r\nline 2"));
        QCOMPARE(tree()->totalCount(), 4);
    }

    void pasteWhileAdding()
    {
        start();
        m_frame->Action_TaskAdd->trigger();
        QPlainTextEdit* editor = waitEditor();
        QVERIFY(editor);
        type(editor, "dropped");
        ClipboardSeam::setText("pasted");
        m_frame->PasteFromTray();
        settle();
        QVERIFY(!m_frame->EditNode());
        QCOMPARE(layout(), QStringLiteral("pasted"));
        QCOMPARE(m_folder->rows("select content, pid from tasks"),
                 (QList<QVariantList>{{QStringLiteral("pasted"), QStringLiteral("root")}}));
    }
};

QTEST_MAIN(TestTaskFrame)
#include "tst_taskframe.moc"

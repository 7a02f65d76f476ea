// Undo and Redo in the task list: every kind of change the user makes, undone and redone,
// checked byte for byte against the rows a second connection reads, and against the tree.
#include "TaskFrameFixture.h"

#include <QUndoStack>

class TestUndo : public TaskFrameFixture
{
    Q_OBJECT

    // Every node's record in tree order, as the tree holds it.
    QString records() const
    {
        QStringList out;
        for (TZvNode* n = tree()->firstTopLevel(); n; n = tree()->nextNode(n)) {
            const TTaskInfo& r = *TzvTasksFrame::Info(n);
            out << QStringLiteral("%1 %2 %3 %4 %5/%6 %7/%8 %9/%10 %11,%12 %13 %14")
                       .arg(r.tid, r.pid, r.content)
                       .arg(n->isChecked())
                       .arg(r.checkFlag)
                       .arg(num(r.checkTime))
                       .arg(r.dueFlag)
                       .arg(num(r.dueTime))
                       .arg(r.alarmFlag)
                       .arg(num(r.alarmTime))
                       .arg(r.textColor)
                       .arg(r.backgroundColor)
                       .arg(r.expandFlag)
                       .arg(tree()->isShown(n));
        }
        return out.join('\n');
    }

    QString tasks() const { return m_folder->dump("tasks"); }

    // A command's caption as its menu shows it, before the keys.
    static QString caption(QAction* a) { return a->text().section('\t', 0, 0); }
    QAction* undoAction() const { return m_frame->findChild<QAction*>("Action_Undo"); }
    QAction* redoAction() const { return m_frame->findChild<QAction*>("Action_Redo"); }

    // A; B[B1,B2] expanded; C; D; E complete; F with a reminder (due now when asked).
    void fixture(bool reminderDue = false)
    {
        moveFixture();
        row("{E}", "root", "E", true, "checkTime=" + num(dt(kNow.addDays(-1))));
        row("{F}", "root", "F", false,
            "alarmFlag=1, alarmTime=" + num(dt(reminderDue ? kNow.addSecs(-60) : kNow.addDays(2))));
    }

    void drop(const QStringList& selected, const QString& onto)
    {
        select(selected);
        const QPoint at = onto.isEmpty() ? QPoint(40, tree()->viewport()->height() - 10)
                                         : tree()->nodeRect(node(onto)).center();
        std::unique_ptr<QMimeData> mime(tree()->treeModel()->mimeData({}));
        QDragEnterEvent enter(at, Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree()->viewport(), &enter);
        QDragMoveEvent over(at, Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree()->viewport(), &over);
        QDropEvent dropped(at, Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree()->viewport(), &dropped);
    }

    void moveTo(const QString& target)
    {
        emit m_frame->MainMoveTo->aboutToShow();
        QAction* item = nullptr; // a move empties the menu: the item is taken first
        for (QAction* a : m_frame->MainMoveTo->actions())
            if (a->text() == target) item = a;
        QVERIFY(item);
        item->trigger();
    }

    void dialog(QAction* command, const std::function<void(QWidget*)>& answer)
    {
        zvtest::OnNextModal(answer);
        trigger(command);
    }

    // The change of that name, as the user makes it.
    void make(const QString& change)
    {
        Clock::setFixed(kNow.addSecs(600)); // every stamp the change makes differs from the rows'
        if (change == "add") {
            addByKeys("new task");
        } else if (change == "add sub-task") {
            select({"B2"});
            addByKeys("new sub-task", zvtest::FinishBy::CtrlEnter, true);
        } else if (change == "edit") {
            startEditing("A");
            tree()->editor()->selectAll();
            type(tree()->editor(), "edited");
            finish(tree()->editor(), zvtest::FinishBy::CtrlEnter);
        } else if (change.startsWith("delete ")) {
            select(change == "delete with sub-tasks" ? QStringList{"B"}
                   : change == "delete two"          ? QStringList{"A", "C"}
                                                     : QStringList{"B1"});
            MessageSeam::queueAnswer(IdOk);
            QTest::keyClick(tree(), Qt::Key_Delete);
        } else if (change == "complete by Space" || change == "reopen by Space") {
            tree()->setFocusedNode(node(change.startsWith("complete") ? "A" : "E"));
            QTest::keyClick(tree(), Qt::Key_Space);
        } else if (change == "mark complete") {
            select({"A", "C", "E"});
            trigger(m_frame->Action_TaskComplete);
        } else if (change == "colour") {
            select({"A", "C"});
            dialog(m_frame->Action_SetColor, [](QWidget* w) {
                auto* d = qobject_cast<TColorSetDlg*>(w);
                d->cb_text->click();
                TColorSetDlg::SelectColor(d->cbox_text, 0x0000FF);
                d->btn_Ok->click();
            });
        } else if (change == "due date") {
            select({"A"});
            dialog(m_frame->Action_TaskDueSet, [](QWidget* w) {
                auto* d = qobject_cast<TDueSetDlg*>(w);
                d->cb_due->setChecked(true);
                d->edt_due->setDate(kNow.date().addDays(3));
                d->Btn_Ok->click();
            });
        } else if (change == "reminder set" || change == "reminder cleared") {
            const bool set = change == "reminder set";
            select(set ? QStringList{"C", "D"} : QStringList{"F"});
            dialog(m_frame->Action_TaskReminderSet, [set](QWidget* w) {
                auto* d = qobject_cast<TReminderSetDlg*>(w);
                d->cb_reminder->setChecked(set);
                d->edt_date->setDate(kNow.date().addDays(4));
                d->btn_ok->click();
            });
        } else if (change == "reminder snoozed") {
            // F's reminder is due (the fixture): the dialog's Snooze stores the next time.
            bool answered = false;
            zvtest::OnNextModal([&](QWidget* w) {
                qobject_cast<TtaskReminderDlg*>(w)->btn_snooze->click();
                answered = true;
            });
            QTRY_VERIFY_WITH_TIMEOUT(answered, 6000);
        } else if (change == "move to Root") {
            select({"B1", "B2"});
            moveTo("Root");
        } else if (change == "drop on a task") {
            drop({"A", "C"}, "D");
        } else if (change == "drop on empty space") {
            drop({"A"}, {});
        } else if (change == "paste") {
            ClipboardSeam::setText("pasted\r\nsecond line");
            QTest::keyClick(tree(), Qt::Key_V, Qt::ControlModifier);
        } else if (change == "tray paste") {
            ClipboardSeam::setText("from the tray");
            m_frame->PasteFromTray();
        } else if (change == "from the command line") {
            m_frame->AddTextFromOutside("from outside");
        } else {
            QFAIL(qPrintable("no such change: " + change));
        }
        settle();
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void eachChange_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("selected"); // after the undo: the changed items, not a move's target
        const char* rows[][3] = {
            {"add", "Add Task", ""},
            {"add sub-task", "Add Task", ""},
            {"edit", "Edit Task", "A"},
            {"delete with sub-tasks", "Delete Task", "B"},
            {"delete two", "Delete 2 Tasks", "A,C"},
            {"delete a sub-task", "Delete Task", "B1"},
            {"complete by Space", "Complete Task", "A"},
            {"reopen by Space", "Reopen Task", "E"},
            {"mark complete", "Complete 2 Tasks", "A,C"},
            {"colour", "Color 2 Tasks", "A,C"},
            {"due date", "Due Date for Task", "A"},
            {"reminder set", "Reminder for 2 Tasks", "C,D"},
            {"reminder cleared", "Reminder for Task", "F"},
            {"reminder snoozed", "Snooze Reminder", "F"},
            {"move to Root", "Move 2 Tasks", "B1,B2"},
            {"drop on a task", "Move 2 Tasks", "A,C"},
            {"drop on empty space", "Move Task", "A"},
            {"paste", "Paste Task", ""},
            {"tray paste", "Paste Task", ""},
            {"from the command line", "Add Task", ""},
        };
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString(r[0]) << QString(r[1]) << QString(r[2]);
    }

    // Done, undone, redone: the rows (ids, times, flags, rowids) and the tree each time as
    // they were. Ctrl+Z and Ctrl+Y in the tree, the Edit menu's commands and Ctrl+Shift+Z.
    void eachChange()
    {
        QFETCH(QString, change);
        QFETCH(QString, step);
        QFETCH(QString, selected);
        fixture(change == "reminder snoozed");
        start();
        const QString rowsBefore = tasks(), treeBefore = records();
        QVERIFY(!undoAction()->isEnabled());
        make(change);
        const QString rowsAfter = tasks(), treeAfter = records();
        QVERIFY(rowsAfter != rowsBefore || change == "drop on empty space");
        QVERIFY(treeAfter != treeBefore);
        QCOMPARE(m_frame->UndoStack()->count(), 1);
        QCOMPARE(caption(undoAction()), "&Undo " + step);

        QTest::keyClick(tree(), Qt::Key_Z, Qt::ControlModifier);
        settle();
        QCOMPARE(tasks(), rowsBefore);
        QCOMPARE(records(), treeBefore);
        QCOMPARE(caption(redoAction()), "&Redo " + step);
        QVERIFY(!undoAction()->isEnabled());
        QStringList chosen;
        for (TZvNode* n : tree()->selectedNodes())
            chosen << content(n);
        QCOMPARE(chosen.join(','), selected);

        QTest::keyClick(tree(), Qt::Key_Y, Qt::ControlModifier);
        settle();
        QCOMPARE(tasks(), rowsAfter);
        QCOMPARE(records(), treeAfter);

        trigger(undoAction());
        QCOMPARE(tasks(), rowsBefore);
        QTest::keyClick(tree(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        settle();
        QCOMPARE(tasks(), rowsAfter);
        QCOMPARE(records(), treeAfter);
    }

    // A step put back shows, filtered as the view and the search say, and selected.
    void acrossTheFilter_data()
    {
        QTest::addColumn<int>("range");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("change");
        QTest::newRow("completed out of View Incomplete") << 2 << ""
                                                          << "complete by Space";
        QTest::newRow("edited out of the search") << 0 << "A"
                                                  << "edit";
        QTest::newRow("deleted under a search") << 0 << "B"
                                                << "delete with sub-tasks";
    }

    void acrossTheFilter()
    {
        QFETCH(int, range);
        QFETCH(QString, search);
        QFETCH(QString, change);
        fixture();
        start();
        m_frame->Comb_ViewRange->setCurrentIndex(range);
        if (!search.isEmpty()) this->search(search);
        const QString target = change == "delete with sub-tasks" ? "B" : "A";
        QVERIFY(tree()->isShown(node(target)));
        const QString rowsBefore = tasks();
        tree()->setFocus();
        make(change);
        QVERIFY(!node(target) || !tree()->isShown(node(target)));
        QTest::keyClick(tree(), Qt::Key_Z, Qt::ControlModifier);
        settle();
        QCOMPARE(tasks(), rowsBefore);
        QVERIFY(tree()->isShown(node(target)));
        QVERIFY(tree()->isSelected(node(target)));
    }

    // A step put back under a search refilters only the groups it touched, including the one
    // an item leaves: the tree and the stored expand flags are what a whole pass gives.
    void onlyTheTouchedGroupsRefiltered_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("group"); // shown by one state of the step, hidden by the other
        QTest::newRow("sub-task moved out and back") << "move to Root"
                                                     << "1"
                                                     << "B";
        QTest::newRow("task dropped in and out") << "drop on a task"
                                                 << "A"
                                                 << "D";
        QTest::newRow("sub-task added and removed") << "add sub-task"
                                                    << "new"
                                                    << "B";
        QTest::newRow("sub-task deleted and back") << "delete a sub-task"
                                                   << "1"
                                                   << "B";
    }

    void onlyTheTouchedGroupsRefiltered()
    {
        QFETCH(QString, change);
        QFETCH(QString, search);
        QFETCH(QString, group);
        fixture();
        start();
        make(change);
        this->search(search);
        QList<bool> shown;
        for (QAction* step : {undoAction(), redoAction()}) {
            trigger(step);
            const QString tree = records(), rows = tasks();
            shown << this->tree()->isShown(node(group));
            m_frame->Filter();
            QCOMPARE(records(), tree);
            QCOMPARE(tasks(), rows);
        }
        QCOMPARE_NE(shown.front(), shown.back());
    }

    // The old parent of a moved sub-task went elsewhere (a sync, another program) while
    // the step stayed: undoing the move makes it a top-level task rather than an orphan.
    void moveBackWithTheOldParentGone()
    {
        fixture();
        start();
        select({"B1"});
        moveTo("C");
        settle();
        QCOMPARE(col("pid", "{B1}").toString(), "{C}");
        m_folder->exec("delete from tasks where tid in ('{B}','{B2}')");
        m_frame->ItemsChangedElsewhere({"{B}", "{B2}"}); // the move step touches neither
        PostZvMessage(m_frame, WM_FRAME_INIT);
        settle();
        QCOMPARE(m_frame->UndoStack()->count(), 1);
        QTest::keyClick(tree(), Qt::Key_Z, Qt::ControlModifier);
        settle();
        QCOMPARE(col("pid", "{B1}").toString(), "root");
        QCOMPARE(layout(), "A;C;D;E;F;B1");
        QTest::keyClick(tree(), Qt::Key_Y, Qt::ControlModifier);
        settle();
        QCOMPARE(col("pid", "{B1}").toString(), "{C}");
        QCOMPARE(layout(), "A;C[B1];D;E;F");
        m_frame->ItemsChangedElsewhere({"{B1}"});
        QCOMPARE(m_frame->UndoStack()->count(), 0);
    }

    // A row changed by another program since the step: the undo writes nothing, says why,
    // and the stack is emptied (none of its steps can be trusted).
    void changedElsewhereSince()
    {
        fixture();
        start();
        make("edit");
        m_folder->exec("update tasks set content='changed elsewhere' where tid='{A}'");
        MessageSeam::queueAnswer(IdOk);
        QTest::keyClick(tree(), Qt::Key_Z, Qt::ControlModifier);
        settle();
        QVERIFY(MessageSeam::texts().last().contains("changed elsewhere since"));
        QCOMPARE(col("content", "{A}").toString(), "changed elsewhere");
        QCOMPARE(m_frame->UndoStack()->count(), 0);
        QVERIFY(!undoAction()->isEnabled());
    }

    // A thousand steps are kept: the 1,001st drops the first, which can no longer be undone.
    void thousandSteps()
    {
        row("{A}", "root", "A");
        start();
        tree()->setFocusedNode(node("A"));
        for (int i = 1; i <= 1001; ++i) {
            Clock::setFixed(kNow.addSecs(i));
            QTest::keyClick(tree(), Qt::Key_Space);
        }
        QCOMPARE(m_frame->UndoStack()->count(), TZvItemFrame::kUndoLimit);
        while (m_frame->CanUndo())
            m_frame->UndoExecute();
        // As the first toggle left it: complete, at its time.
        QCOMPARE(col("checkFlag", "{A}").toInt(), 1);
        QVERIFY(sameTime(col("checkTime", "{A}"), dt(kNow.addSecs(1))));
        QVERIFY(!undoAction()->isEnabled());
    }

    // Where the commands stand and when they are enabled: the edit guard holds them off, and
    // the editor's own Ctrl+Z is the editor's.
    void menusAndTheEditGuard()
    {
        fixture();
        start();
        QMenu* edit = m_frame->MainMenuMenus().at(1);
        QCOMPARE(items(edit).section("|-|", 0, 0), "[&Undo Ctrl+Z]|[&Redo Ctrl+Shift+Z]");
        make("complete by Space");
        QCOMPARE(items(edit).section("|-|", 0, 0), "&Undo Complete Task Ctrl+Z|[&Redo Ctrl+Shift+Z]");
        select({"A"});
        QCOMPARE(items(m_frame->PopupMenu_Task).section("|-|", 0, 0),
                 "U&ndo Complete Task Ctrl+Z|[&Redo Ctrl+Shift+Z]");
        QCOMPARE(items(m_frame->PopupMenu_Null).section("|-|", 0, 0),
                 "U&ndo Complete Task Ctrl+Z|[&Redo Ctrl+Shift+Z]");
        startEditing("C");
        QVERIFY(!undoAction()->isEnabled());
        type(tree()->editor(), "x");
        QTest::keyClick(tree()->editor(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(col("checkFlag", "{A}").toInt(), 1);
        finish(tree()->editor(), zvtest::FinishBy::Esc);
        QVERIFY(undoAction()->isEnabled());
    }
};

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"

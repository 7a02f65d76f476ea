// The task frame's features through its real widgets: completion, colours, due dates, views,
// filter and sort, moving, reminders and the display texts, checked against the stored rows.
#include "TaskFrameFixture.h"

class TestTaskFeatures : public TaskFrameFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // ---- completion, colours, due dates -------------------------------------------------------

    void markComplete_data()
    {
        QTest::addColumn<QList<bool>>("before");
        QTest::addColumn<int>("range");
        QTest::addColumn<bool>("after");
        QTest::addColumn<bool>("stillShown");
        QTest::newRow("first incomplete: all complete")
            << QList<bool>{false, true, false} << 0 << true << true;
        QTest::newRow("first complete: all reopened") << QList<bool>{true, false, true} << 0 << false << true;
        QTest::newRow("incomplete view hides at once")
            << QList<bool>{false, false, false} << 2 << true << false;
        QTest::newRow("complete view hides reopened") << QList<bool>{true, true, true} << 1 << false << false;
    }

    void markComplete()
    {
        QFETCH(QList<bool>, before);
        QFETCH(int, range);
        QFETCH(bool, after);
        QFETCH(bool, stillShown);
        const TDateTime old = dt(kNow.addDays(-1));
        for (int i = 0; i < 3; ++i)
            row(QStringLiteral("{%1}").arg(i), "root", QStringLiteral("t%1").arg(i), before[i],
                "checkTime=" + num(old));
        start();
        m_frame->Comb_ViewRange->setCurrentIndex(range);
        select({"t0", "t1", "t2"});
        QCOMPARE(m_frame->Action_TaskComplete->text(), before[0] ? "Unmark Complete" : "Mark Complete");
        Clock::setFixed(kNow.addSecs(3600));
        m_frame->Action_TaskComplete->trigger();
        for (int i = 0; i < 3; ++i) {
            const QString tid = QStringLiteral("{%1}").arg(i);
            QCOMPARE(col("checkFlag", tid).toBool(), after);
            QVERIFY(sameTime(col("checkTime", tid), before[i] == after ? old : dt(kNow.addSecs(3600))));
        }
        QCOMPARE(tree()->isShown(node("t0")), stillShown);
    }

    void spaceTogglesAndReopens()
    {
        row("{A}", "root", "A");
        start();
        tree()->setFocusedNode(node("A"));
        QTest::keyClick(tree(), Qt::Key_Space);
        QCOMPARE(col("checkFlag", "{A}").toInt(), 1);
        QVERIFY(sameTime(col("checkTime", "{A}"), dt(kNow)));
        Clock::setFixed(kNow.addSecs(90));
        QTest::keyClick(tree(), Qt::Key_Space);
        QCOMPARE(col("checkFlag", "{A}").toInt(), 0);
        QVERIFY(sameTime(col("checkTime", "{A}"), dt(kNow.addSecs(90))));
    }

    // Completing or reopening one task filters only its own group: the rows shown, and the
    // expand flags a search stores, must be what a whole filter pass gives.
    void oneCompletionFiltersAsAWholePass_data()
    {
        QTest::addColumn<int>("range");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("toggled");
        QTest::addColumn<QStringList>("visible");
        QTest::newRow("incomplete: a sub-task goes")
            << 2 << ""
            << "A1 milk" << QStringList{"A", "A2", "B done", "B1 milk"};
        QTest::newRow("incomplete: the last sub-task of a done task")
            << 2 << ""
            << "B1 milk" << QStringList{"A", "A1 milk", "A2"};
        QTest::newRow("complete: a reopened task goes") << 1 << ""
                                                        << "C" << QStringList{"B done"};
        QTest::newRow("complete: a done sub-task shows its open parent")
            << 1 << ""
            << "A2" << QStringList{"A", "A2", "B done", "C"};
        QTest::newRow("incomplete, searching: the last match goes")
            << 2 << "milk"
            << "A1 milk" << QStringList{"B done", "B1 milk"};
        QTest::newRow("all, searching: a top-level task done")
            << 0 << "milk"
            << "A" << QStringList{"A", "A1 milk", "B done", "B1 milk"};
    }
    void oneCompletionFiltersAsAWholePass()
    {
        QFETCH(int, range);
        QFETCH(QString, search);
        QFETCH(QString, toggled);
        QFETCH(QStringList, visible);
        row("{A}", "root", "A");
        row("{A1}", "{A}", "A1 milk");
        row("{A2}", "{A}", "A2");
        row("{B}", "root", "B done", true);
        row("{B1}", "{B}", "B1 milk");
        row("{C}", "root", "C", true);
        start();
        m_frame->Comb_ViewRange->setCurrentIndex(range);
        if (!search.isEmpty()) {
            QTest::mouseClick(m_frame->Edt_Search, Qt::LeftButton);
            QTest::keyClicks(m_frame->Edt_Search, search);
        }
        settle();
        TZvNode* n = node(toggled);
        tree()->setChecked(n, !n->isChecked(), true);
        settle();
        const QHash<QString, QString> ids{{"A", "{A}"},      {"A1 milk", "{A1}"}, {"A2", "{A2}"},
                                          {"B done", "{B}"}, {"B1 milk", "{B1}"}, {"C", "{C}"}};
        QCOMPARE(col("checkFlag", ids.value(toggled)).toBool(), n->isChecked());
        QCOMPARE(shown(), visible);
        const QString expanded = col("expandFlag", "{A}").toString() + col("expandFlag", "{B}").toString();
        m_frame->FilterTasks();
        QCOMPARE(shown(), visible);
        QCOMPARE(col("expandFlag", "{A}").toString() + col("expandFlag", "{B}").toString(), expanded);
    }

    void setColor_data()
    {
        QTest::addColumn<int>("button"); // 0 OK, 1 Default, 2 Cancel
        QTest::addColumn<int>("text");   // the custom colour chosen; -1 the default box
        QTest::addColumn<int>("back");
        QTest::addColumn<int>("storedText");
        QTest::addColumn<int>("storedBack");
        QTest::newRow("black text is the default") << 0 << 0 << -1 << 0 << 0;
        QTest::newRow("system gray text") << 0 << int(0xFF000011) << -1 << -16777199 << 0;
        QTest::newRow("red on yellow") << 0 << 0x0000FF << 0x00FFFF << 255 << 65535;
        QTest::newRow("Default button") << 1 << 0x0000FF << 0x00FFFF << 0 << 0;
        QTest::newRow("Cancel") << 2 << 0x0000FF << -1 << 7 << 9;
    }

    void setColor()
    {
        QFETCH(int, button);
        QFETCH(int, text);
        QFETCH(int, back);
        QFETCH(int, storedText);
        QFETCH(int, storedBack);
        row("{A}", "root", "A", false, "textColor=7, backgroundColor=9");
        row("{B}", "root", "B");
        start();
        select({"A", "B"});
        QString caption;
        zvtest::OnNextModal([&](QWidget* w) {
            caption = w->windowTitle();
            auto* d = qobject_cast<TColorSetDlg*>(w);
            if (!d) {
                w->close();
                return;
            }
            auto choose = [](QCheckBox* useDefault, QComboBox* box, int colour) {
                if (useDefault->isChecked() != (colour == -1)) useDefault->click();
                if (colour != -1) TColorSetDlg::SelectColor(box, colour);
            };
            choose(d->cb_text, d->cbox_text, text);
            choose(d->cb_bg, d->cbox_bg, back);
            (button == 0 ? d->btn_Ok : button == 1 ? d->btn_Default : d->btn_Cancel)->click();
        });
        m_frame->Action_SetColor->trigger();
        QCOMPARE(caption, QStringLiteral("Set Color"));
        for (const QString tid : {"{A}", "{B}"}) {
            QCOMPARE(col("textColor", tid).toInt(), button == 2 && tid == "{B}" ? 0 : storedText);
            QCOMPARE(col("backgroundColor", tid).toInt(), button == 2 && tid == "{B}" ? 0 : storedBack);
        }
        QCOMPARE(tree()->selectedCount(), 2);
    }

    void dateDialogs_data()
    {
        QTest::addColumn<bool>("reminder"); // Set Reminder, else Set Due Date
        QTest::newRow("due date") << false;
        QTest::newRow("reminder") << true;
    }

    // The dialog proposes the first selected task's values; OK gives them to every selected
    // task and unselects them all.
    void dateDialogs()
    {
        QFETCH(bool, reminder);
        const QDateTime when(kNow.date().addDays(3), QTime(9, 30));
        const QString flag = reminder ? "alarmFlag" : "dueFlag", time = reminder ? "alarmTime" : "dueTime";
        row("{A}", "root", "A", false, QStringLiteral("%1=1, %2=%3").arg(flag, time, num(dt(when))));
        row("{B}", "root", "B");
        start();
        select({"A", "B"});
        bool proposed = false;
        zvtest::OnNextModal([&](QWidget* w) {
            if (auto* d = qobject_cast<TDueSetDlg*>(w)) {
                proposed = d->cb_due->isChecked() && d->edt_due->date() == when.date();
                d->Btn_Ok->click();
            } else if (auto* r = qobject_cast<TReminderSetDlg*>(w)) {
                proposed = r->cb_reminder->isChecked() && sameTime(r->CombinedTime(), dt(when));
                r->btn_ok->click();
            } else {
                w->close();
            }
        });
        (reminder ? m_frame->Action_TaskReminderSet : m_frame->Action_TaskDueSet)->trigger();
        QVERIFY(proposed);
        QCOMPARE(MessageSeam::texts(), QStringList{}); // a later day needs no confirmation
        for (const QString tid : {"{A}", "{B}"}) {
            QCOMPARE(col(flag, tid).toInt(), 1);
            if (reminder)
                QVERIFY(sameTime(col(time, tid), dt(when)));
            else
                QCOMPARE(DateOf(col(time, tid).toDouble()), when.date());
        }
        QCOMPARE(tree()->selectedCount(), 0);
    }

    // ---- views, filter, sort ------------------------------------------------------------------

    void viewsWrittenAndRead()
    {
        start();
        TIniFile ini(m_folder->iniPath());
        m_frame->Action_ViewList->trigger();
        m_frame->Action_ViewDate->trigger();
        m_frame->Menu_Complete->trigger();
        m_frame->Action_ViewAsc->trigger();
        QCOMPARE(ini.ReadBool("task", "viewListEn", false), true);
        QCOMPARE(ini.ReadBool("task", "viewDateEn", false), true);
        QCOMPARE(ini.ReadInteger("task", "viewRange", -1), 1);
        QCOMPARE(ini.ReadBool("task", "viewAscEn", true), false);
        QCOMPARE(m_frame->Comb_ViewRange->currentIndex(), 1);

        ini.WriteBool("task", "viewDateEn", false);
        ini.WriteInteger("task", "viewRange", 5);
        m_frame->InitFrame();
        QVERIFY(m_frame->Action_ViewList->isChecked());
        QVERIFY(!m_frame->Action_ViewDate->isChecked());
        QVERIFY(!m_frame->SortAscending());
        QCOMPARE(m_frame->Action_ViewAsc->toolTip(), QStringLiteral("Ascending Sort"));
        QCOMPARE(m_frame->Comb_ViewRange->currentIndex(), -1);
        QVERIFY(!m_frame->Menu_ViewAll->isChecked() && !m_frame->Menu_Complete->isChecked() &&
                !m_frame->Menu_Incomplete->isChecked());
        // Restoring ran no handler: nothing was written back.
        QCOMPARE(ini.ReadInteger("task", "viewRange", -1), 5);
        QCOMPARE(ini.ReadInteger("log", "privateTasks", -1), 0);
    }

    // Expand All and Collapse All store every change, hidden tasks included.
    void expandAll()
    {
        row("{A}", "root", "A done", true);
        row("{A1}", "{A}", "A1", true);
        row("{B}", "root", "B");
        row("{B1}", "{B}", "B1");
        start();
        m_frame->Comb_ViewRange->setCurrentIndex(2); // A is hidden
        QVERIFY(!tree()->isShown(node("A done")));
        m_frame->Action_ExpandAll->trigger();
        QCOMPARE(m_folder->count("select count(*) from tasks where expandFlag=1"), 2);
        m_frame->Action_CollapseAll->trigger();
        QCOMPARE(m_folder->count("select count(*) from tasks where expandFlag=0 and pid='root'"), 2);
    }

    void filter_data()
    {
        QTest::addColumn<int>("range");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("visible");
        QTest::addColumn<int>("tip");
        const QStringList all{"Buy milk", "Milk run", "Parent", "done milk", "open item"};
        QTest::newRow("all") << 0 << "" << all << 0;
        QTest::newRow("complete") << 1 << "" << QStringList{"Milk run", "Parent", "done milk"} << 0;
        QTest::newRow("incomplete") << 2 << "" << QStringList{"Buy milk", "Parent", "open item"} << 0;
        QTest::newRow("milk, case matters, parent of a match")
            << 0 << "milk" << QStringList{"Buy milk", "Parent", "done milk"} << 0;
        QTest::newRow("milk, incomplete") << 2 << "milk" << QStringList{"Buy milk"} << 0;
        QTest::newRow("milk, complete") << 1 << "milk" << QStringList{"Parent", "done milk"} << 0;
        QTest::newRow("no match") << 0 << "zzz" << QStringList{} << 3;
        QTest::newRow("blanks only filter nothing") << 0 << "   " << all << 0;
    }

    void filter()
    {
        QFETCH(int, range);
        QFETCH(QString, search);
        QFETCH(QStringList, visible);
        QFETCH(int, tip);
        row("{P}", "root", "Parent");
        row("{P1}", "{P}", "done milk", true);
        row("{P2}", "{P}", "open item");
        row("{Q}", "root", "Buy milk");
        row("{R}", "root", "Milk run", true);
        start();
        m_frame->Comb_ViewRange->setCurrentIndex(range);
        if (!search.isEmpty()) {
            QTest::mouseClick(m_frame->Edt_Search, Qt::LeftButton);
            QVERIFY(m_frame->SearchActive());
            QTest::keyClicks(m_frame->Edt_Search, search);
        }
        settle();
        QCOMPARE(shown(), visible);
        QCOMPARE(m_frame->TipKind(), tip);
        if (visible.contains("done milk") && search == "milk") QCOMPARE(col("expandFlag", "{P}").toInt(), 1);
        if (search.isEmpty()) return;
        // The tip of an empty result clears the search; so does a reload.
        if (tip == 3)
            QTest::mouseClick(m_frame->label_tip, Qt::LeftButton);
        else
            m_frame->InitFrame();
        QCOMPARE(shown().size(), range == 0 ? 5 : 3);
        QVERIFY(!m_frame->SearchActive());
        QCOMPARE(m_frame->Edt_Search->text(), QStringLiteral("  Search..."));
    }

    void sort_data()
    {
        QTest::addColumn<QStringList>("contents");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ascending, stable") << QStringList{"b", "A", "a", "C"} << false << "A;a;b;C";
        QTest::newRow("descending, stable") << QStringList{"b", "A", "a", "C"} << true << "C;b;A;a";
        QTest::newRow("prefix first") << QStringList{"ab", "abc", "a"} << false << "a;ab;abc";
        QTest::newRow("only a-z folded") << QStringList{"_x", "zy", "[z"} << false << "zy;[z;_x";
    }

    void sort()
    {
        QFETCH(QStringList, contents);
        QFETCH(bool, descending);
        QFETCH(QString, expected);
        for (int i = 0; i < contents.size(); ++i)
            row(QStringLiteral("{%1}").arg(i), "root", contents[i]);
        start(); // activation sorts ascending
        if (descending) m_frame->Action_ViewAsc->trigger();
        QCOMPARE(layout(), expected);
    }

    // ---- moving and the clipboard -------------------------------------------------------------

    // Every other task is listed; one that would take none of the selected tasks (a task
    // with sub-tasks never goes under another) is disabled, "[so]".
    void moveMenu_data()
    {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("top-level task") << QStringList{"A"} << QStringList{"B", "C", "D"};
        QTest::newRow("sub-task") << QStringList{"B1"} << QStringList{"Root", "-", "A", "C", "D"};
        QTest::newRow("a task with sub-tasks alone: nothing moves")
            << QStringList{"B"} << QStringList{"[A]", "[C]", "[D]"};
        QTest::newRow("with one that moves: not under itself")
            << QStringList{"B", "C"} << QStringList{"A", "[C]", "D"};
    }

    void moveMenu()
    {
        QFETCH(QStringList, selected);
        QFETCH(QStringList, items);
        moveFixture();
        start();
        select(selected);
        for (QMenu* menu : {m_frame->Menu_Moveto, m_frame->MainMoveTo}) {
            QCOMPARE(menu->isEnabled(), !items.filter(QRegularExpression("^[^[]")).isEmpty());
            emit menu->aboutToShow();
            QStringList captions;
            for (QAction* a : menu->actions())
                captions << (a->isSeparator() ? QStringLiteral("-")
                             : a->isEnabled() ? a->text()
                                              : QStringLiteral("[%1]").arg(a->text()));
            QCOMPARE(captions, items);
        }
    }

    void move_data()
    {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QString>("how"); // "menu:<item>", "drop:<onto>", "foreign:<onto>"
        QTest::addColumn<QString>("expected");
        QTest::newRow("two sub-tasks to Root, reversed") << QStringList{"B1", "B2"} << "menu:Root"
                                                         << "B2;B1;A;B;C;D";
        QTest::newRow("a task with sub-tasks stays") << QStringList{"A", "B"} << "menu:C"
                                                     << "B[B1,B2];C[A];D";
        QTest::newRow("target among the selection stays") << QStringList{"A", "C"} << "menu:C"
                                                          << "B[B1,B2];C[A];D";
        QTest::newRow("two tasks dropped on a sub-task") << QStringList{"A", "C"} << "drop:B1"
                                                         << "B[B1,B2,A,C];D";
        QTest::newRow("drop on a dragged task's sub-task") << QStringList{"A", "B"} << "drop:B1"
                                                           << "B[B1,B2,A];C;D";
        QTest::newRow("sub-task dropped on empty space") << QStringList{"B1"} << "drop:"
                                                         << "A;B[B2];C;D;B1";
        QTest::newRow("task with sub-tasks to the top level") << QStringList{"B"} << "drop:"
                                                              << "A;C;D;B[B1,B2]";
        QTest::newRow("drag over the first selected refused") << QStringList{"A", "C"} << "refused:A"
                                                              << "A;B[B1,B2];C;D";
        QTest::newRow("drag of a task with sub-tasks over another refused") << QStringList{"B"} << "refused:C"
                                                                            << "A;B[B1,B2];C;D";
        QTest::newRow("foreign drop refused") << QStringList{"A"} << "foreign:B1"
                                              << "A;B[B1,B2];C;D";
    }

    void move()
    {
        QFETCH(QStringList, selected);
        QFETCH(QString, how);
        QFETCH(QString, expected);
        moveFixture();
        start();
        select(selected);
        const QString kind = how.section(':', 0, 0);
        const QString what = how.section(':', 1);
        if (kind == "menu") {
            emit m_frame->MainMoveTo->aboutToShow();
            QAction* item = nullptr;
            for (QAction* a : m_frame->MainMoveTo->actions())
                if (a->text() == what) item = a;
            QVERIFY(item);
            item->trigger();
        } else {
            const QPoint at = what.isEmpty() ? QPoint(40, tree()->viewport()->height() - 10)
                                             : tree()->nodeRect(node(what)).center();
            std::unique_ptr<QMimeData> mime(kind != "foreign" ? tree()->treeModel()->mimeData({})
                                                              : new QMimeData);
            if (kind == "foreign") mime->setText("from another program");
            QDragEnterEvent enter(at, Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(tree()->viewport(), &enter);
            QCOMPARE(enter.isAccepted(), kind != "foreign");
            // Nothing follows a refusal (Qt would hand a later move or drop to the last widget
            // that accepted a drag, which may be long gone).
            if (enter.isAccepted()) {
                QDragMoveEvent over(at, Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(tree()->viewport(), &over);
                QCOMPARE(over.isAccepted(), kind == "drop");
                QDropEvent drop(at, Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
                if (over.isAccepted()) QApplication::sendEvent(tree()->viewport(), &drop);
            }
        }
        settle();
        QCOMPARE(layout(), expected);
        // Every stored pid follows the tree.
        for (TZvNode* n = tree()->firstTopLevel(); n; n = tree()->nextNode(n)) {
            const QString pid = n->parent() ? TzvTasksFrame::Info(n->parent())->tid : QStringLiteral("root");
            QCOMPARE(col("pid", TzvTasksFrame::Info(n)->tid).toString(), pid);
            QCOMPARE(TzvTasksFrame::Info(n)->pid, pid);
        }
    }

    // ---- reminders --------------------------------------------------------------------------

    void reminder_data()
    {
        QTest::addColumn<int>("answer"); // 0 Snooze "1 Hour", 1 Dismiss, 2 closed by the window manager
        QTest::addColumn<int>("range");
        QTest::addColumn<bool>("armed");
        QTest::addColumn<qint64>("laterMs"); // the stored time after the click, -1: zero
        QTest::newRow("snooze 1 hour") << 0 << 0 << true << qint64(3600000);
        QTest::newRow("dismiss") << 1 << 0 << false << qint64(-1);
        QTest::newRow("window manager close snoozes") << 2 << 0 << true << qint64(5 * 60000);
        QTest::newRow("hidden by the range, fires too") << 0 << 1 << true << qint64(3600000);
    }

    // Exit (or the session's end) frees the frame while its reminder dialog is open: the
    // reminder check must not touch the freed frame when the dialog's loop returns.
    void frameFreedWhileTheReminderIsOpen()
    {
        row("{T}", "root", "call the dentist", false, "alarmFlag=1, alarmTime=" + num(dt(kNow.addSecs(-60))));
        start();
        bool freed = false;
        zvtest::OnNextModal([&](QWidget* w) {
            delete m_frame;
            m_frame = nullptr;
            freed = true;
            w->close();
        });
        QTRY_VERIFY_WITH_TIMEOUT(freed, 6000);
        settle();
        QCOMPARE(col("alarmFlag", "{T}").toBool(), true); // its reminder stays for next time
    }

    void reminder()
    {
        QFETCH(int, answer);
        QFETCH(int, range);
        QFETCH(bool, armed);
        QFETCH(qint64, laterMs);
        const QString due = "alarmFlag=1, alarmTime=" + num(dt(kNow.addSecs(-60)));
        row("{C}", "root", "complete, never fires", true, due);
        row("{T}", "root", "call the dentist", false, due);
        start();
        m_frame->Comb_ViewRange->setCurrentIndex(range);
        QVERIFY(!tree()->isShown(node("call the dentist")) || range == 0);
        QString title, shownText;
        int dialogs = 0;
        bool answered = false;
        zvtest::OnNextModal([&](QWidget* w) {
            title = w->windowTitle();
            // Stay open over a few timer ticks: no second dialog, no second sound.
            QTimer::singleShot(1200, w, [&, w] {
                for (QWidget* top : QApplication::topLevelWidgets())
                    if (qobject_cast<TtaskReminderDlg*>(top) && top->isVisible()) ++dialogs;
                auto* d = qobject_cast<TtaskReminderDlg*>(w);
                if (!d) return;
                shownText = d->Memo1->toPlainText();
                Clock::setFixed(kNow.addSecs(30)); // the moment of the click
                if (answer == 0) {
                    d->comb_Snooze->setCurrentIndex(5);
                    d->btn_snooze->click();
                } else if (answer == 1) {
                    d->btn_dismiss->click();
                } else {
                    d->close();
                }
                answered = true;
            });
        });
        QTRY_VERIFY_WITH_TIMEOUT(answered, 6000);
        settle();
        QCOMPARE(title, QStringLiteral("Task Reminder"));
        QCOMPARE(shownText, QStringLiteral("call the dentist"));
        QCOMPARE(dialogs, 1);
        QCOMPARE(m_plays, 1);
        QCOMPARE(col("alarmFlag", "{T}").toBool(), armed);
        const TDateTime expected = laterMs < 0 ? 0 : dt(kNow.addSecs(30).addMSecs(laterMs));
        QVERIFY2(sameTime(col("alarmTime", "{T}"), expected), qPrintable(col("alarmTime", "{T}").toString()));
        QCOMPARE(col("alarmFlag", "{C}").toBool(), true); // the complete task's reminder stays armed
        QTest::qWait(700);
        QCOMPARE(m_plays, 1); // snoozed or dismissed: nothing else is due
    }

    // Two due at once: the first in tree order (not the table's), the second after it closes.
    void remindersInTreeOrder()
    {
        const QString due = "alarmFlag=1, alarmTime=" + num(dt(kNow.addSecs(-60)));
        row("{B}", "root", "b second", false, due);
        row("{A}", "root", "a first", false, due);
        start();
        QStringList texts;
        std::function<void(QWidget*)> answer = [&](QWidget* w) {
            if (auto* d = qobject_cast<TtaskReminderDlg*>(w)) {
                texts << d->Memo1->toPlainText();
                d->btn_dismiss->click();
            }
            if (texts.size() < 2) zvtest::OnNextModal(answer);
        };
        zvtest::OnNextModal(answer);
        QTRY_COMPARE_WITH_TIMEOUT(texts.size(), 2, 6000);
        settle();
        QCOMPARE(texts, (QStringList{"a first", "b second"}));
        QCOMPARE(m_folder->count("select count(*) from tasks where alarmFlag=0 and alarmTime=0"), 2);
        QCOMPARE(m_plays, 2);
    }

    // ---- display ----------------------------------------------------------------------------

    void trayHint_data()
    {
        QTest::addColumn<QStringList>("incomplete");
        QTest::addColumn<int>("hintSize");
        QTest::addColumn<QString>("hint");
        const QString head = "Incomplete Tasks:";
        QTest::newRow("none") << QStringList{} << 20 << head + "\rNone";
        QTest::newRow("four") << QStringList{"d", "c", "b", "a"} << 20
                              << head + "\r(1) a\r(2) b\r(3) c\r(4) d\r ...";
        QTest::newRow("five") << QStringList{"e", "d", "c", "b", "a"} << 20
                              << head + "\r(1) a\r(2) b\r(3) c\r(4) d\r ...";
        QTest::newRow("case ignored, lines joined")
            << QStringList{"b", "A\r\nx"} << 20 << head + "\r(1) A  x\r(2) b";
        QTest::newRow("cut at HintSize")
            << QStringList{"abcdefghijklmnopqrstuvwxy"} << 20 << head + "\r(1) abcdefghijklmnopqrst...";
        QTest::newRow("exactly HintSize")
            << QStringList{"abcdefghijklmnopqrst"} << 20 << head + "\r(1) abcdefghijklmnopqrst";
        // "null:" stores the row with no completion flag at all, as an imported row may be
        QTest::newRow("NULL flag is incomplete")
            << QStringList{"null:b", "a"} << 20 << head + "\r(1) a\r(2) b";
    }

    void trayHint()
    {
        QFETCH(QStringList, incomplete);
        QFETCH(int, hintSize);
        QFETCH(QString, hint);
        for (int i = 0; i < incomplete.size(); ++i) {
            QString content = incomplete[i];
            const bool nullFlag = content.startsWith("null:");
            row(QStringLiteral("{%1}").arg(i), "root", content.remove("null:"), false,
                nullFlag ? "checkFlag=NULL" : "");
        }
        row("{DONE}", "root", "0 complete", true);
        start();
        m_host->m_hintSize = hintSize;
        m_frame->FilterTasks(); // the hint is refreshed after every filter pass
        QCOMPARE(m_host->trayIcon()->Hint(), hint);
    }

    void statusBar_data()
    {
        QTest::addColumn<QString>("more");
        QTest::addColumn<bool>("done");
        QTest::addColumn<QString>("expected");
        const TDateTime check = dt(kNow.addDays(-1)), due = dt(kNow.addDays(3)),
                        alarm = dt(kNow.addSecs(7200));
        const TDateTime created = dt(kNow.addDays(-2));
        QTest::newRow("complete") << "checkTime=" + num(check) << true << DateTimeText(check) + " completed";
        QTest::newRow("due only, two blanks at the end")
            << "dueFlag=1, dueTime=" + num(due) << false << "Due date: " + DateText(due) + "  ";
        QTest::newRow("reminder only")
            << "alarmFlag=1, alarmTime=" + num(alarm) << false << "Reminder time: " + DateTimeText(alarm);
        QTest::newRow("due and reminder")
            << "dueFlag=1, dueTime=" + num(due) + ", alarmFlag=1, alarmTime=" + num(alarm) << false
            << "Due date: " + DateText(due) + "  Reminder time: " + DateTimeText(alarm);
        QTest::newRow("neither") << "" << false << DateTimeText(created) + " created";
    }

    void statusBar()
    {
        QFETCH(QString, more);
        QFETCH(bool, done);
        QFETCH(QString, expected);
        row("{A}", "root", "A", done, more);
        start();
        select({"A"});
        QCOMPARE(m_frame->ZvStatusBar1->panelText(1), expected);
    }

    void nodeText_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("list");
        QTest::addColumn<bool>("date");
        QTest::addColumn<QString>("expected");
        const QString c = "Created: " + DateText(dt(kNow.addDays(-2)));
        QTest::newRow("list: second task, lines joined")
            << "l1\r\nl2\r\nl3" << true << false << "2. l1  l2  l3";
        QTest::newRow("list: first sub-task") << "sub" << true << false << "(1)sub";
        QTest::newRow("plain") << "first" << false << false << "first";
        QTest::newRow("date: complete")
            << "zdone" << false << true << "zdone -- " + c + "  Completed: " + DateText(dt(kNow.addDays(-1)));
        QTest::newRow("date: due and alarm") << "zdue" << false << true
                                             << "zdue -- " + c + "  Due: " + DateText(dt(kNow.addDays(3))) +
                                                    "  Alarm: " + DateTimeText(dt(kNow.addSecs(7200)));
        QTest::newRow("empty: no number, no dates") << "" << true << true << "Input content here";
    }

    void nodeText()
    {
        QFETCH(QString, target);
        QFETCH(bool, list);
        QFETCH(bool, date);
        QFETCH(QString, expected);
        row("{F}", "root", "first");
        row("{S}", "{F}", "sub");
        row("{L}", "root", "l1\r\nl2\r\nl3");
        row("{C}", "root", "zdone", true,
            "checkTime=" + num(dt(kNow.addDays(-1))) + ", dueFlag=1, alarmFlag=1");
        row("{U}", "root", "zdue", false,
            "dueFlag=1, dueTime=" + num(dt(kNow.addDays(3))) +
                ", alarmFlag=1, alarmTime=" + num(dt(kNow.addSecs(7200))));
        row("{E}", "{U}", "");
        start();
        m_frame->Action_ViewList->setChecked(list);
        m_frame->Action_ViewDate->setChecked(date);
        QVERIFY(node(target));
        QCOMPARE(m_frame->NodeText(node(target)), expected);
    }
};

QTEST_MAIN(TestTaskFeatures)
#include "tst_taskfeatures.moc"

// The main window: its creation steps (a failing step skips the later ones, the window is
// still made), the tray commands before and after the frames exist, the balloon at most
// once an hour, the frames' reload after an import and its undo, and Exit while an import
// runs.
#include "ZvTestSupport.h"
#include "app/Dm_Common.h"
#include "app/Fm_Main.h"
#include "app/ZvFrameFactories.h"
#include "components/ZvFormState.h"
#include "components/ZvTray.h"
#include "components/zvHHComp.h"
#include "frames/ZvItemFrame.h"
#include "interchange/Dm_Io.h"
#include "interchange/ZvIoBusy.h"
#include "platform/ZvFileDialog.h"
#include "platform/ZvSystem.h"
#include "platform/ZvTree.h"
#include "store/ZvIniFile.h"
#include "store/ZvSeams.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QTabWidget>
#include <QTimer>
#include <QUndoStack>
#include <QtTest>
#include <memory>

using namespace zv;

class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<zvtest::TempProgramFolder> m_folder;
    std::unique_ptr<TmainFm> m_main;

    TmainFm* makeMain()
    {
        m_main = std::make_unique<TmainFm>(m_folder->path());
        auto* io = new TIoDm(&m_main->ADOConnection1, m_main.get(), m_main.get());
        auto* common = new TcommonDm(m_main.get(), m_main.get());
        m_main->AttachModules(io, common);
        return m_main.get();
    }

    QStringList trayMenuTexts() const
    {
        QStringList texts;
        for (QAction* a : m_main->PopupMenu_Tray->actions())
            texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return texts;
    }

private slots:
    void init()
    {
        // The folder resets every seam: no frame factories, no tray host, no answers.
        m_folder = std::make_unique<zvtest::TempProgramFolder>();
    }

    void cleanup()
    {
        m_main.reset();
        m_folder.reset();
        TZvTrayIcon::setTrayAvailableOverride(std::nullopt);
    }

    void createsAllStepsWithAGoodFolder()
    {
        TmainFm* main = makeMain();
        QVERIFY(main->CreatedFully());
        QVERIFY(main->ADOConnection1.connected());
        QCOMPARE(main->ConfFile, m_folder->iniPath());
        QCOMPARE(main->ZvFormState1->IniPath(), m_folder->iniPath());
        QVERIFY(main->ZVHHComp1->HelpFile().endsWith(QLatin1String("jotboard-help.html")));
        QCOMPARE(main->PageControl1->tabText(0), QStringLiteral("To-Do List"));
        QCOMPARE(main->PageControl1->tabText(1), QStringLiteral("Memos"));
        QCOMPARE(main->PageControl1->currentIndex(), 0);
        // Pictures missing from Images/ are no error: built-in ones stand in.
        QVERIFY(!main->ItemBackground0.isNull());
        QVERIFY(MessageSeam::history().isEmpty());
        QCOMPARE(trayMenuTexts(), QStringList({"&Open Zorvik Jotboard", "-", "&Add Task", "Paste to &Task",
                                               "-", "A&dd Memo", "Paste to &Memo", "-", "E&xit"}));
    }

    void failingStepSkipsTheRest_data()
    {
        QTest::addColumn<QString>("broken");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing database") << "database"
                                          << "Could not find file";
        QTest::newRow("bad visitWeb") << "visitWeb"
                                      << "Invalid date string: yesterday";
    }

    void failingStepSkipsTheRest()
    {
        QFETCH(QString, broken);
        QFETCH(QString, message);
        if (broken == QLatin1String("database"))
            QFile::remove(m_folder->dbPath());
        else
            TIniFile(m_folder->iniPath()).WriteString("option", "visitWeb", "yesterday");
        MessageSeam::queueAnswer(IdOk);
        TmainFm* main = makeMain();
        QVERIFY(!main->CreatedFully());
        // The error box, with its full stop, and the window still made.
        QCOMPARE(MessageSeam::history().size(), 1);
        QCOMPARE(MessageSeam::history().first().caption, QStringLiteral("Zorvik Jotboard"));
        QCOMPARE(MessageSeam::history().first().icon, MsgIcon::Error);
        QVERIFY2(MessageSeam::history().first().text.startsWith(message),
                 qPrintable(MessageSeam::texts().join('|')));
        // The steps after the failing one did not run.
        QVERIFY(main->ZVHHComp1->HelpFile().isEmpty());
        QVERIFY(main->ZvFormState1->IniPath().isEmpty());
        // Nothing was created in the program folder.
        if (broken == QLatin1String("database")) QVERIFY(!QFile::exists(m_folder->dbPath()));
    }

    void trayCommandsWaitForTheFrames()
    {
        TmainFm* main = makeMain();
        // Before the first show no frame exists: its commands never drop the clipboard.
        QVERIFY(!main->Action_PasteTask->isEnabled());
        QVERIFY(!main->Action_AddTask->isEnabled());
        RegisterFrames();
        main->show();
        QTRY_VERIFY(main->TaskFrame);
        QVERIFY(main->Action_PasteTask->isEnabled());
        QVERIFY(main->Action_AddTask->isEnabled());
        QCOMPARE(main->Action_PasteMemo->isEnabled(), bool(main->MemoFrame));
        QCOMPARE(main->windowTitle(), QStringLiteral("Zorvik Jotboard"));
        main->ExitProgram();
    }

    void balloonAtMostOnceAnHour()
    {
        TZvTrayIcon::setTrayAvailableOverride(true);
        TmainFm* main = makeMain();
        main->ZvTrayIcon1->recheckTray();
        QSignalSpy balloons(main->ZvTrayIcon1, &TZvTrayIcon::balloonShown);
        main->show();
        QApplication::processEvents();
        for (int i = 0; i < 2; ++i) {
            main->ZvTrayIcon1->Minimize();
            QTRY_VERIFY(!main->isVisible());
            main->ZvTrayIcon1->Restore();
            QTRY_VERIFY(main->isVisible());
        }
        QCOMPARE(balloons.size(), 1);
        QCOMPARE(balloons.first().at(1).toString(), QStringLiteral("Click here to open!"));
        // The hide saved the placement.
        QVERIFY(TIniFile(m_folder->iniPath()).ReadBool("form", "Saved", false));
        // After the hour another hide shows it again.
        main->Timer_balloon->stop();
        main->ZvTrayIcon1->Minimize();
        QTRY_COMPARE(balloons.size(), 2);
        main->ExitProgram();
    }

    // An import empties the frames' undo stacks (their steps would put back rows that are
    // no longer what they were); Undo Last Restore/Import, enabled by its copy, puts the
    // database back, and both trees show it.
    void importEmptiesTheUndoStacksAndIsUndone()
    {
        {
            zvtest::TempProgramFolder source;
            source.exec("insert into tasks (tid,pid,content) values ('{I}','root','imported')");
            TIoDm io(&source.connection());
            QVERIFY(io.BackupToFile(m_folder->path() + "in.zvx"));
        }
        RegisterFrames();
        TmainFm* main = makeMain();
        main->show();
        QTRY_VERIFY(main->TaskFrame && main->TaskFrame->Loaded());
        auto* tasks = qobject_cast<TZvItemFrame*>(main->TaskFrame.data());
        tasks->AddTextFromOutside("typed before");
        QCOMPARE(tasks->UndoStack()->count(), 1);
        QVERIFY(!main->Action_UndoRestore->isEnabled());
        const QString before = m_folder->dump();

        FileDialogSeam::setNextFileName(m_folder->path() + "in.zvx");
        main->Action_Import->trigger();
        QCOMPARE(tasks->UndoStack()->count(), 0);
        QVERIFY(main->Action_UndoRestore->isEnabled());
        QTRY_COMPARE(tasks->tree()->totalCount(), 2);

        MessageSeam::queueAnswer(IdOk);
        main->Action_UndoRestore->trigger();
        QCOMPARE(m_folder->dump(), before);
        QTRY_COMPARE(tasks->tree()->totalCount(), 1);
        QVERIFY(!main->Action_UndoRestore->isEnabled());
        main->ExitProgram();
    }

    void exitDuringImportStopsItAndEnds()
    {
        // A file big enough for the import to run past its progress dialog's first second.
        {
            zvtest::TempProgramFolder source;
            QString values;
            for (int i = 0; i < 150000; ++i)
                values += QStringLiteral("%1('{%2}','root','memo %2',46000,46000,46000)")
                              .arg(i ? "," : "")
                              .arg(i, 8, 10, QLatin1Char('0'));
            source.exec("insert into memos (mid,pid,content,assignTime,createTime,editTime) values " +
                        values);
            TIoDm io(&source.connection());
            QVERIFY(io.BackupToFile(m_folder->path() + "big.zvx"));
        }
        TmainFm* main = makeMain();
        // Events run inside the import once its progress dialog shows: Exit comes then.
        QTimer exitSoon;
        exitSoon.setInterval(50);
        bool exitRequestedWhileBusy = false;
        QObject::connect(&exitSoon, &QTimer::timeout, main, [&] {
            exitSoon.stop();
            exitRequestedWhileBusy = IoBusy();
            main->ExitProgram();
        });
        exitSoon.start();
        QElapsedTimer took;
        took.start();
        const bool reload = main->IoDm->ImportFromFile(m_folder->path() + "big.zvx");
        qInfo("import ran %lld ms", took.elapsed());
        QVERIFY(exitRequestedWhileBusy);
        QVERIFY(reload); // stopped as by Abort
        const int imported = m_folder->count("select count(*) from memos");
        QVERIFY2(imported > 0 && imported < 150000, qPrintable(QString::number(imported)));
        QVERIFY(!IoBusy());
        QTRY_VERIFY(main->Exiting);
        QVERIFY(!main->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

// The main window's states when a later start asks it to come forward (a minimised window
// comes back as it was, maximised included; one hidden in the tray stays hidden), and when
// there is no tray host: the window never hides without a way back, closing runs Exit, and
// a host that appears while the window sits minimised on the task bar hides nothing.
#include "ZvTestSupport.h"
#include "app/Dm_Common.h"
#include "app/Fm_Main.h"
#include "components/ZvTray.h"
#include "interchange/Dm_Io.h"
#include "store/ZvSeams.h"

#include <QApplication>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

using namespace zv;

class TestWindowStates : public QObject
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
        m_main->show();
        QCoreApplication::processEvents();
        return m_main.get();
    }
    static void settle()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

private slots:
    void init()
    {
        // The folder resets every seam (no frame factories, no answers) and makes a box that
        // no test answers fail it.
        m_folder = std::make_unique<zvtest::TempProgramFolder>();
        TZvTrayIcon::setTrayAvailableOverride(false);
    }
    void cleanup()
    {
        m_main.reset();
        m_folder.reset();
        TZvTrayIcon::setTrayAvailableOverride(std::nullopt);
    }

    void secondStart_data()
    {
        QTest::addColumn<bool>("trayHost");
        QTest::addColumn<QString>("before"); // how the window is when the second start comes
        QTest::addColumn<bool>("visible");
        QTest::addColumn<Qt::WindowStates>("state"); // afterwards, without Qt::WindowActive

        QTest::newRow("normal") << false << "normal" << true << Qt::WindowStates(Qt::WindowNoState);
        QTest::newRow("minimised") << false << "minimised" << true << Qt::WindowStates(Qt::WindowNoState);
        QTest::newRow("maximised") << false << "maximised" << true << Qt::WindowStates(Qt::WindowMaximized);
        QTest::newRow("maximised then minimised")
            << false << "maximised minimised" << true << Qt::WindowStates(Qt::WindowMaximized);
        QTest::newRow("full screen then minimised")
            << false << "full screen minimised" << true << Qt::WindowStates(Qt::WindowFullScreen);
        QTest::newRow("hidden in the tray")
            << true << "in the tray" << false << Qt::WindowStates(Qt::WindowNoState);
    }
    void secondStart()
    {
        QFETCH(bool, trayHost);
        QFETCH(QString, before);
        QFETCH(bool, visible);
        QFETCH(Qt::WindowStates, state);
        TZvTrayIcon::setTrayAvailableOverride(trayHost);
        TmainFm* main = makeMain();

        if (before.startsWith(QLatin1String("maximised"))) main->setWindowState(Qt::WindowMaximized);
        if (before.startsWith(QLatin1String("full screen"))) main->setWindowState(Qt::WindowFullScreen);
        settle();
        // As the title bar's button does it: the window keeps its other states while minimised.
        if (before.endsWith(QLatin1String("minimised")))
            main->setWindowState(main->windowState() | Qt::WindowMinimized);
        if (before == QLatin1String("in the tray")) QVERIFY(!main->close());
        settle();
        QCOMPARE(main->isVisible(), before != QLatin1String("in the tray"));

        main->BringForwardFromSecondStart();
        settle();
        QCOMPARE(main->isVisible(), visible);
        QCOMPARE(main->windowState() & ~Qt::WindowActive, state);
        if (visible) QTRY_VERIFY(main->isActiveWindow());
    }

    // A tray host appearing later changes nothing about a window minimised for want of one.
    void trayHostAppearsWhileMinimised_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("the title bar's minimise") << "title bar";
        QTest::newRow("the program's Minimize (File > Close)") << "Minimize";
        QTest::newRow("back on the task bar when the host went away") << "host went away";
        QTest::newRow("maximised, then minimised") << "maximised";
    }
    void trayHostAppearsWhileMinimised()
    {
        QFETCH(QString, how);
        TZvTrayIcon::setTrayAvailableOverride(how == QLatin1String("host went away"));
        TmainFm* main = makeMain();
        TZvTrayIcon* tray = main->ZvTrayIcon1;
        tray->recheckTray();
        if (how == QLatin1String("title bar")) main->setWindowState(Qt::WindowMinimized);
        if (how == QLatin1String("maximised")) {
            main->setWindowState(Qt::WindowMaximized);
            settle();
            main->setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
        }
        if (how == QLatin1String("Minimize")) tray->Minimize();
        if (how == QLatin1String("host went away")) {
            QVERIFY(!main->close());
            settle();
            QVERIFY(!main->isVisible());
            TZvTrayIcon::setTrayAvailableOverride(false);
            tray->recheckTray();
        }
        settle();
        // Without a host: on the task bar, never hidden.
        QVERIFY(main->isVisible());
        QVERIFY(main->isMinimized());

        QSignalSpy hides(tray, &TZvTrayIcon::hiddenToTray);
        QSignalSpy balloons(tray, &TZvTrayIcon::balloonShown);
        TZvTrayIcon::setTrayAvailableOverride(true);
        tray->recheckTray();
        QTest::qWait(50);
        settle();
        QVERIFY(tray->trayAvailable());
        QVERIFY(main->isVisible());
        QVERIFY(main->isMinimized());
        QCOMPARE(hides.count(), 0);
        QCOMPARE(balloons.count(), 0);

        // Back on screen as it was; from now on minimising hides to the new tray.
        main->BringForwardFromSecondStart();
        settle();
        QVERIFY(!main->isMinimized());
        QCOMPARE(main->isMaximized(), how == QLatin1String("maximised"));
        main->setWindowState(main->windowState() | Qt::WindowMinimized);
        settle();
        QTRY_COMPARE(hides.count(), 1);
        QVERIFY(!main->isVisible());
    }

    void closeWithoutTrayHostRunsExit()
    {
        TmainFm* main = makeMain();
        QVERIFY(!main->ZvTrayIcon1->trayAvailable());
        main->close();
        // The steps of Exit ran: placement saved, the event loop told to end.
        QVERIFY(main->Exiting);
        QVERIFY(zvtest::fileBytes(m_folder->iniPath()).contains("Saved=1"));
    }
};

QTEST_MAIN(TestWindowStates)
#include "tst_windowstates.moc"

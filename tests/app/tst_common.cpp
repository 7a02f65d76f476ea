#include "ZvTestSupport.h"
#include "app/Dlg_About.h"
#include "app/Dlg_Options.h"
#include "app/Dlg_Update.h"
#include "app/Dm_Common.h"
#include "app/Fm_Main.h"
#include "components/ZvTray.h"
#include "components/ZvVersionInfo.h"
#include "frames/ZvMessages.h"
#include "platform/ZvAutostart.h"
#include "platform/ZvSystem.h"
#include "store/ZvIniFile.h"
#include "store/pU_Funcs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

using namespace zv;

namespace {
constexpr qint64 kHourMs = 60LL * 60 * 1000;
constexpr qint64 kDayMs = 24 * kHourMs;
const QString kNone = QStringLiteral("<none>");

// Eats the update-prompt messages posted to the main window and counts them.
class PromptCatcher : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (int(event->type()) == WM_UPDATE_PROMPT) {
            ++count;
            return true;
        }
        return false;
    }
};
} // namespace

class TestCommon : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;
    std::unique_ptr<zvtest::TempProgramFolder> m_folder;
    std::unique_ptr<TmainFm> m_main;
    TcommonDm* m_dm = nullptr;
    QList<QUrl> m_opened;
    bool m_openResult = true;
    const QDateTime m_start{QDate(2024, 3, 10), QTime(12, 0)};

    QString option(const QString& key) const
    {
        return TIniFile(m_folder->iniPath()).ReadString(QStringLiteral("option"), key, kNone);
    }
    void setOption(const QString& key, const QString& value)
    {
        TIniFile(m_folder->iniPath()).WriteString(QStringLiteral("option"), key, value);
    }
    void makeMain()
    {
        m_main = std::make_unique<TmainFm>(m_folder->path());
        m_dm = new TcommonDm(m_main.get(), m_main.get());
    }
    static void writeFile(const QString& path, const QString& text)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.toUtf8());
    }
    static QString readFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : kNone;
    }

private slots:
    void initTestCase()
    {
        // Never the user's own autostart folder.
        ZvAutostart::setConfigHomeOverride(m_config.path());
    }
    void init()
    {
        QDir(m_config.path() + QStringLiteral("/autostart")).removeRecursively();
        m_folder = std::make_unique<zvtest::TempProgramFolder>();
        // After the folder: it resets every seam.
        DesktopSeam::setHandler([this](const QUrl& url) {
            m_opened << url;
            return m_openResult;
        });
        Clock::setFixed(m_start);
        m_opened.clear();
        m_openResult = true;
        makeMain();
    }
    void cleanup()
    {
        m_main.reset();
        m_dm = nullptr;
        m_folder.reset();
        Clock::setFixed(std::nullopt);
    }

    // ---- Start ----

    void updatePromptDue_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<qint64>("lastVisitMs"); // relative to now
        QTest::addColumn<bool>("due");
        QTest::newRow("91 days before") << true << -91 * kDayMs << true;
        QTest::newRow("91 days after") << true << 91 * kDayMs << true;
        QTest::newRow("90 days 23 hours before") << true << -(90 * kDayMs + 23 * kHourMs) << false;
        QTest::newRow("90 days 23 hours after") << true << 90 * kDayMs + 23 * kHourMs << false;
        QTest::newRow("a second short of 91 days") << true << -(91 * kDayMs - 1000) << false;
        QTest::newRow("today") << true << qint64(0) << false;
        QTest::newRow("switched off") << false << -400 * kDayMs << false;
    }
    void updatePromptDue()
    {
        QFETCH(bool, enabled);
        QFETCH(qint64, lastVisitMs);
        QFETCH(bool, due);
        const TDateTime now = Now();
        QCOMPARE(TcommonDm::UpdatePromptDue(enabled, AddMilliseconds(now, lastVisitMs), now), due);
    }

    void startupChecks_data()
    {
        QTest::addColumn<qint64>("lastVisitMs");
        QTest::addColumn<bool>("runMinimized");
        QTest::addColumn<int>("prompts");
        QTest::addColumn<int>("minimizes");
        QTest::newRow("prompt beats run minimised") << -91 * kDayMs << true << 1 << 0;
        QTest::newRow("future visit prompts too") << 91 * kDayMs << false << 1 << 0;
        QTest::newRow("not yet due, minimised") << -(90 * kDayMs + 23 * kHourMs) << true << 0 << 1;
        QTest::newRow("nothing to do") << qint64(0) << false << 0 << 0;
    }
    void startupChecks()
    {
        QFETCH(qint64, lastVisitMs);
        QFETCH(bool, runMinimized);
        QFETCH(int, prompts);
        QFETCH(int, minimizes);
        PromptCatcher catcher;
        m_main->installEventFilter(&catcher);
        int minimized = 0;
        m_main->ZvTrayIcon1->OnMinimize = [&] { ++minimized; };
        setOption(QStringLiteral("runMinimizedEn"), QStringLiteral("1"));
        m_main->VisitWebEn = true;
        m_main->VisitWeb = AddMilliseconds(Now(), lastVisitMs);
        m_main->RunMinimizedEn = runMinimized;

        m_dm->StartupChecks();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(catcher.count, prompts);
        QCOMPARE(minimized, minimizes);
        QCOMPARE(m_main->RunMinimizedEn, runMinimized && prompts == 0);
        // Only this run is affected: the option keeps its value.
        QCOMPARE(option(QStringLiteral("runMinimizedEn")), QStringLiteral("1"));
        m_main->removeEventFilter(&catcher);
    }

    void readOptions_data()
    {
        QTest::addColumn<QString>("visitWebEn");
        QTest::addColumn<QString>("runMinimizedEn");
        QTest::addColumn<bool>("expectVisitWebEn");
        QTest::addColumn<bool>("expectRunMinimized");
        QTest::newRow("defaults") << QString() << QString() << true << false;
        QTest::newRow("set") << "0"
                             << "1" << false << true;
        QTest::newRow("not numbers") << "yes"
                                     << "no" << true << false;
    }
    void readOptions()
    {
        QFETCH(QString, visitWebEn);
        QFETCH(QString, runMinimizedEn);
        QFETCH(bool, expectVisitWebEn);
        QFETCH(bool, expectRunMinimized);
        if (!visitWebEn.isEmpty()) setOption(QStringLiteral("visitWebEn"), visitWebEn);
        if (!runMinimizedEn.isEmpty()) setOption(QStringLiteral("runMinimizedEn"), runMinimizedEn);
        TcommonDm::ReadOptions(m_main.get());
        QCOMPARE(m_main->VisitWebEn, expectVisitWebEn);
        QCOMPARE(m_main->RunMinimizedEn, expectRunMinimized);
    }

    void readOptionsVisitWeb()
    {
        // The first start stored its own time; a later start reads it back.
        QCOMPARE(option(QStringLiteral("visitWeb")), IsoDateTimeText(Now()));
        QCOMPARE(m_main->VisitWeb, Now());
        const TDateTime earlier = AddMilliseconds(Now(), -100 * kDayMs);
        setOption(QStringLiteral("visitWeb"), IsoDateTimeText(earlier));
        Clock::setFixed(m_start.addDays(1));
        TcommonDm::ReadOptions(m_main.get());
        QCOMPARE(MillisecondsBetween(earlier, m_main->VisitWeb), qint64(0));
        QCOMPARE(option(QStringLiteral("visitWeb")), IsoDateTimeText(earlier));

        setOption(QStringLiteral("visitWeb"), QStringLiteral("last tuesday"));
        QVERIFY_THROWS_EXCEPTION(EZvError, TcommonDm::ReadOptions(m_main.get()));
    }

    // ---- Web pages and mail ----

    void webPageAddress()
    {
        QCOMPARE(
            TcommonDm::WebPageAddress(QStringLiteral("https://h/p/"), 12, 0, 3, 0, QStringLiteral("1.0.0.1")),
            QStringLiteral("https://h/p/?t=12-0&m=3-0&v=1.0.0.1"));
        // A version text that is no number cannot break the query.
        QCOMPARE(TcommonDm::WebPageAddress(QStringLiteral("https://h/"), 1, 0, 0, 0, QStringLiteral("a b&c")),
                 QStringLiteral("https://h/?t=1-0&m=0-0&v=a%20b%26c"));
    }

    void visitPages_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("opens");
        QTest::newRow("website") << "website" << TcommonDm::kMainPage << true;
        QTest::newRow("update: same page") << "update" << TcommonDm::kMainPage << true;
        QTest::newRow("resources") << "resources" << TcommonDm::kResourcesPage << true;
        QTest::newRow("browser fails, visit counts") << "website" << TcommonDm::kMainPage << false;
    }
    void visitPages()
    {
        QFETCH(QString, action);
        QFETCH(QString, page);
        QFETCH(bool, opens);
        m_openResult = opens;
        m_main->PrivateTasks = 7;
        m_main->PrivateMemos = 4;
        const TDateTime visitWebBefore = m_main->VisitWeb;
        Clock::setFixed(m_start.addDays(3));
        QAction* a = action == QLatin1String("website")  ? m_dm->Action_Website
                     : action == QLatin1String("update") ? m_dm->Action_Update
                                                         : m_dm->Action_Resources;
        a->trigger();
        QCOMPARE(m_opened.size(), 1);
        const QString url = m_opened.first().toString();
        QVERIFY2(url.startsWith(page + QStringLiteral("?t=7-0&m=4-0")), qPrintable(url));
        QCOMPARE(m_opened.first(), QUrl(m_dm->WebPageAddress(page)));
        QCOMPARE(option(QStringLiteral("visitWeb")), IsoDateTimeText(Now()));
        QCOMPARE(m_main->VisitWeb, visitWebBefore);
        QVERIFY(zv::MessageSeam::history().isEmpty());
    }

    void mailSupport()
    {
        const QString visitWeb = option(QStringLiteral("visitWeb"));
        m_dm->Action_Contact->trigger();
        m_dm->Action_Suggestion->trigger();
        QCOMPARE(m_opened.size(), 2);
        for (const QUrl& url : m_opened) {
            QCOMPARE(url.scheme().toLower(), QStringLiteral("mailto"));
            QCOMPARE(url.path(), TcommonDm::kSupportMail);
        }
        QCOMPARE(option(QStringLiteral("visitWeb")), visitWeb);
    }

    void settingsWriteFailureReachesErrorBox()
    {
        m_main->ConfFile = m_folder->path() + QStringLiteral("missing/zvConf.ini");
        MessageSeam::queueAnswer(IdOk);
        m_dm->Action_Website->trigger();
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(MessageSeam::texts(),
                 QStringList{QStringLiteral("Unable to write to ") + m_main->ConfFile + QLatin1Char('.')});
    }

    // ---- Update prompt ----

    void updatePromptClosesAsNoByItself()
    {
        TupdateDlg standard(m_dm, m_main.get());
        QCOMPARE(standard.Timer1->interval(), TupdateDlg::kTimeoutMs);
        QVERIFY(standard.Timer1->isActive());

        TupdateDlg dlg(m_dm, m_main.get(), 60);
        // Busy with the check box, the user still sees the prompt go.
        QTimer::singleShot(10, dlg.cb_ask, [&] { dlg.cb_ask->click(); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(dlg.exec(), TupdateDlg::kNo);
        QVERIFY(clock.elapsed() >= 50);
        QVERIFY(m_opened.isEmpty());
    }

    void updatePromptAskBox()
    {
        TupdateDlg dlg(m_dm, m_main.get());
        QVERIFY(!dlg.cb_ask->isChecked());
        QTest::mouseClick(dlg.cb_ask, Qt::LeftButton);
        QCOMPARE(option(QStringLiteral("visitWebEn")), QStringLiteral("0"));
        QCOMPARE(m_main->VisitWebEn, false);
        QTest::mouseClick(dlg.cb_ask, Qt::LeftButton);
        QCOMPARE(option(QStringLiteral("visitWebEn")), QStringLiteral("1"));
        QCOMPARE(m_main->VisitWebEn, true);
    }

    void updatePromptYesFromMessage()
    {
        Clock::setFixed(m_start.addDays(1));
        zvtest::OnNextModal([](QWidget* w) {
            auto* dlg = qobject_cast<TupdateDlg*>(w);
            QVERIFY(dlg);
            dlg->btn_Yes->click();
        });
        PostZvMessage(m_main.get(), WM_UPDATE_PROMPT);
        QTRY_COMPARE(m_opened.size(), 1);
        QVERIFY(m_opened.first().toString().startsWith(TcommonDm::kMainPage + QLatin1Char('?')));
        QCOMPARE(option(QStringLiteral("visitWeb")), IsoDateTimeText(Now()));
        QTRY_VERIFY(!QApplication::activeModalWidget());
    }

    // ---- Options ----

    void options_data()
    {
        QTest::addColumn<QString>("entryBefore"); // autostart entry text, empty for none
        QTest::addColumn<bool>("runMinimized");
        QTest::addColumn<bool>("addOpen");
        QTest::addColumn<bool>("newAutoStart");
        QTest::addColumn<bool>("newRunMinimized");
        QTest::addColumn<bool>("newAddOpen");
        QTest::addColumn<bool>("ok");
        const QString foreign = QStringLiteral("[Desktop Entry]\nType=Application\nExec=/other/jotboard\n");
        QTest::newRow("ok switches all on") << QString() << false << false << true << true << true << true;
        QTest::newRow("ok switches all off") << foreign << true << true << false << false << false << true;
        QTest::newRow("ok keeps a foreign entry")
            << foreign << false << true << true << false << true << true;
        QTest::newRow("cancel changes nothing")
            << foreign << false << true << false << true << false << false;
    }
    void options()
    {
        QFETCH(QString, entryBefore);
        QFETCH(bool, runMinimized);
        QFETCH(bool, addOpen);
        QFETCH(bool, newAutoStart);
        QFETCH(bool, newRunMinimized);
        QFETCH(bool, newAddOpen);
        QFETCH(bool, ok);
        if (!entryBefore.isEmpty()) writeFile(ZvAutostart::EntryPath(), entryBefore);
        m_main->RunMinimizedEn = runMinimized;
        m_main->AddOpenEn = addOpen;

        bool shownAsInForce = false;
        zvtest::OnNextModal([&](QWidget* w) {
            auto* dlg = qobject_cast<TOptionsDlg*>(w);
            QVERIFY(dlg);
            shownAsInForce = dlg->cb_AutoStart->isChecked() == !entryBefore.isEmpty() &&
                             dlg->cb_AutoMinimized->isChecked() == runMinimized &&
                             dlg->cb_AddOpen->isChecked() == addOpen;
            dlg->cb_AutoStart->setChecked(newAutoStart);
            dlg->cb_AutoMinimized->setChecked(newRunMinimized);
            dlg->cb_AddOpen->setChecked(newAddOpen);
            (ok ? dlg->Btn_Ok : dlg->Button2)->click();
        });
        m_dm->Action_Options->trigger();
        QVERIFY(shownAsInForce);

        const auto flag = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
        QCOMPARE(m_main->RunMinimizedEn, ok ? newRunMinimized : runMinimized);
        QCOMPARE(m_main->AddOpenEn, ok ? newAddOpen : addOpen);
        QCOMPARE(option(QStringLiteral("runMinimizedEn")), ok ? flag(newRunMinimized) : kNone);
        QCOMPARE(option(QStringLiteral("addOpenEn")), ok ? flag(newAddOpen) : kNone);
        const bool autoStart = ok ? newAutoStart : !entryBefore.isEmpty();
        QCOMPARE(ZvAutostart::IsAutoStart(), autoStart);
        if (autoStart) {
            const QString entry = readFile(ZvAutostart::EntryPath());
            if (entryBefore.isEmpty())
                QVERIFY(entry.contains(ZvAutostart::ExecArgument(QCoreApplication::applicationFilePath())));
            else
                QCOMPARE(entry, entryBefore);
        }
    }

    // ---- About ----

    void aboutBox()
    {
        TAboutDlg dlg(m_dm, m_main.get());
        QCOMPARE(dlg.lbl_version->text(), m_main->ZvVersionInfo1->GetValue(2));
        // No picture in this program folder: our own stands in, and no error is shown.
        QVERIFY(!dlg.Image_App->pixmap().isNull());
        QVERIFY(MessageSeam::history().isEmpty());
        QTest::mouseClick(dlg.lbl_web, Qt::LeftButton);
        QTest::mouseClick(dlg.lbl_support, Qt::LeftButton);
        QCOMPARE(m_opened.size(), 2);
        QVERIFY(m_opened.at(0).toString().startsWith(TcommonDm::kMainPage + QLatin1Char('?')));
        QCOMPARE(m_opened.at(1).path(), TcommonDm::kSupportMail);
    }

    // ---- Window commands ----

    void stayOnTop()
    {
        m_main->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
        m_main->setGeometry(120, 90, 470, 520);
        QCoreApplication::processEvents();
        const QRect placed = m_main->normalGeometry();
        QSignalSpy hides(m_main->ZvTrayIcon1, &TZvTrayIcon::hiddenToTray);

        m_dm->Action_UiStayOnTop->trigger();
        QVERIFY(m_dm->Action_UiStayOnTop->isChecked());
        QVERIFY(m_main->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(m_main->isVisible());
        QCOMPARE(m_main->normalGeometry(), placed);

        // Kept across a trip to the tray.
        m_main->hide();
        m_main->ZvTrayIcon1->Restore();
        QVERIFY(m_main->windowFlags() & Qt::WindowStaysOnTopHint);

        m_dm->Action_UiStayOnTop->trigger();
        QVERIFY(!(m_main->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(m_main->isVisible());
        QCOMPARE(m_main->normalGeometry(), placed);
        QCOMPARE(hides.count(), 0);
    }

    void f1OpensContents()
    {
        m_main->show();
        m_main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
        QSignalSpy triggered(m_dm->HelpContents1, &QAction::triggered);
        QTest::keyClick(m_main.get(), Qt::Key_F1);
        QCOMPARE(triggered.count(), 1);
    }

    void openAndClose()
    {
        int minimized = 0;
        m_main->ZvTrayIcon1->OnMinimize = [&] { ++minimized; };
        m_dm->Action_UiClose->trigger();
        QTRY_COMPARE(minimized, 1);
        m_main->hide();
        m_dm->Action_UiOpen->trigger();
        QVERIFY(m_main->isVisible());
    }
};

QTEST_MAIN(TestCommon)
#include "tst_common.moc"

// What the running program does with a command handed over its single-instance socket: an
// item stored at once as the tray's Paste stores it, shown in the tree and in the tray's
// hint, with an edit under way left going and the window left as it was; a failed insert
// told to the process that asked instead of in a box.
#include "ZvTestSupport.h"
#include "app/Dm_Common.h"
#include "app/Fm_Main.h"
#include "app/ZvFrameFactories.h"
#include "components/ZvTray.h"
#include "interchange/Dm_Io.h"
#include "memos/Fr_zvMemos.h"
#include "platform/ZvSingleInstance.h"
#include "platform/ZvTree.h"
#include "store/ZvSeams.h"
#include "tasks/Fr_zvTasks.h"

#include <QLocalSocket>
#include <QtTest>
#include <memory>

using namespace zv;

class TstHandOff : public QObject
{
    Q_OBJECT

    std::unique_ptr<zvtest::TempProgramFolder> m_folder;
    std::unique_ptr<TmainFm> m_main;
    std::unique_ptr<TSingleInstance> m_instance;

    // Sends one request the way a later process does and returns the answer.
    QJsonObject ask(const QJsonObject& request)
    {
        QLocalSocket s;
        s.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        s.connectToServer(m_instance->serverName());
        if (!s.waitForConnected(2000)) return {};
        s.write(InstanceWire::Encode(request));
        QByteArray buffer;
        QJsonObject answer;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 15000) {
            QTest::qWait(10);
            buffer += s.readAll();
            if (InstanceWire::Decode(buffer, &answer) == InstanceWire::Parse::Frame) break;
        }
        return answer;
    }

    TzvTasksFrame* tasks() const { return static_cast<TzvTasksFrame*>(m_main->TaskFrame.data()); }
    TzvMemosFrame* memos() const { return static_cast<TzvMemosFrame*>(m_main->MemoFrame.data()); }

private slots:
    void init()
    {
        m_folder = std::make_unique<zvtest::TempProgramFolder>();
        TZvTrayIcon::setTrayAvailableOverride(true);
        RegisterFrames();
        m_main = std::make_unique<TmainFm>(m_folder->path());
        auto* io = new TIoDm(&m_main->ADOConnection1, m_main.get(), m_main.get());
        auto* common = new TcommonDm(m_main.get(), m_main.get());
        m_main->AttachModules(io, common);
        m_instance = std::make_unique<TSingleInstance>(QStringLiteral("Zorvik Jotboard handoff test"),
                                                       m_folder->path());
        QVERIFY(m_instance->Listen());
        TmainFm* main = m_main.get();
        m_instance->setRequestHandler([main](const InstanceRequest& r, TZvInstanceReply reply) {
            main->HandleInstanceRequest(r, reply);
        });
        m_main->ZvTrayIcon1->recheckTray();
        m_main->show();
        QTRY_VERIFY(m_main->TaskFrame && m_main->TaskFrame->Loaded() && m_main->MemoFrame->Loaded());
    }

    void cleanup()
    {
        if (m_main) m_main->ExitProgram();
        m_instance.reset();
        m_main.reset();
        m_folder.reset();
        TZvTrayIcon::setTrayAvailableOverride(std::nullopt);
    }

    // A task typed into the editor meanwhile is neither cancelled nor stored half-way.
    void editUnderWayGoesOn()
    {
        m_main->Action_AddTask->trigger();
        QTRY_VERIFY(tasks()->tree()->isEditing());
        TZvNode* editing = tasks()->editNode;
        const int before = tasks()->tree()->totalCount();

        const QJsonObject answer = ask({{"command", "add-task"}, {"text", "milk\nbread"}});
        QVERIFY2(answer.value("ok").toBool(), qPrintable(answer.value("error").toString()));
        const QString id = answer.value("id").toString();
        QCOMPARE(m_folder->scalar("select content from tasks where tid='" + id + "'").toString(),
                 QStringLiteral("milk\r\nbread"));
        QCOMPARE(m_folder->count("select count(*) from tasks"), 1); // the edited one is not stored yet
        QVERIFY(tasks()->tree()->isEditing());
        QCOMPARE(tasks()->editNode, editing);
        QCOMPARE(tasks()->tree()->totalCount(), before + 1);
        QVERIFY2(m_main->ZvTrayIcon1->Hint().contains(QLatin1String("milk  bread")),
                 qPrintable(m_main->ZvTrayIcon1->Hint()));
        QVERIFY(MessageSeam::history().isEmpty());
        // The typed text is stored beside it when the edit ends.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("typed"));
        tasks()->FinishEditing();
        QCOMPARE(m_folder->count("select count(*) from tasks where content='typed'"), 1);
    }

    // With the window in the tray the item is stored and the window stays there.
    void hiddenWindowStaysHidden_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("table");
        QTest::newRow("task") << "add-task"
                              << "tasks";
        QTest::newRow("memo") << "add-memo"
                              << "memos";
    }
    void hiddenWindowStaysHidden()
    {
        QFETCH(QString, command);
        QFETCH(QString, table);
        m_main->ZvTrayIcon1->Minimize();
        QTRY_VERIFY(!m_main->isVisible());
        const QJsonObject answer = ask({{"command", command}, {"text", "from outside"}});
        QVERIFY(answer.value("ok").toBool());
        QCOMPARE(m_folder->count("select count(*) from " + table + " where content='from outside'"), 1);
        TZvItemFrame* frame = table == QLatin1String("tasks") ? static_cast<TZvItemFrame*>(tasks()) : memos();
        QCOMPARE(frame->tree()->totalCount(), 1);
        QTest::qWait(50);
        QVERIFY(!m_main->isVisible());
    }

    void refusedRequests_data()
    {
        QTest::addColumn<QJsonObject>("request");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown command") << QJsonObject{{"command", "sync-everything"}} << "unknown command";
        QTest::newRow("no text") << QJsonObject{{"command", "add-task"}} << "empty";
        QTest::newRow("blank text") << QJsonObject{{"command", "add-memo"}, {"text", " \r\n "}} << "empty";
        QTest::newRow("text not a text") << QJsonObject{{"command", "add-task"}, {"text", 5}} << "refused";
        QTest::newRow("over 1 MB") << QJsonObject{{"command", "add-task"},
                                                  {"text",
                                                   QString(int(InstanceWire::kMaxTextBytes) + 1, 'x')}}
                                   << "1 MB";
    }
    void refusedRequests()
    {
        QFETCH(QJsonObject, request);
        QFETCH(QString, error);
        const QJsonObject answer = ask(request);
        QCOMPARE(answer.value("ok").toBool(true), false);
        QVERIFY2(answer.value("error").toString().contains(error),
                 qPrintable(answer.value("error").toString()));
        QCOMPARE(
            m_folder->count("select count(*) from tasks") + m_folder->count("select count(*) from memos"), 0);
    }

    // A failed insert reaches the later process as its error, not as a box nobody asked for.
    void failedInsertIsAnswered()
    {
        m_folder->exec("drop table memos");
        const QJsonObject answer = ask({{"command", "add-memo"}, {"text", "lost?"}});
        QCOMPARE(answer.value("ok").toBool(true), false);
        QVERIFY2(answer.value("error").toString().contains(QLatin1String("memos")),
                 qPrintable(answer.value("error").toString()));
        QVERIFY(MessageSeam::history().isEmpty());
        QCOMPARE(memos()->tree()->totalCount(), 0);
    }
};

QTEST_MAIN(TstHandOff)
#include "tst_handoff.moc"

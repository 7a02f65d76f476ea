// What the task-frame tests share: a fresh program folder, the frame on a test host, and
// helpers that drive the tree and read the stored rows.
#pragma once

#include "Dlg_ColorSet.h"
#include "Dlg_DueSet.h"
#include "Dlg_ReminderSet.h"
#include "Dlg_taskReminder.h"
#include "Fr_zvTasks.h"
#include "ZvIniFile.h"
#include "ZvMessages.h"
#include "ZvSeams.h"
#include "ZvStatusBar.h"
#include "ZvSystem.h"
#include "ZvTestHost.h"
#include "ZvTestSupport.h"
#include "ZvTray.h"
#include "ZvTree.h"
#include "pU_Funcs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <QtTest>

using namespace zv;

namespace {

const QDateTime kNow(QDate(2024, 5, 15), QTime(10, 0, 0));

inline TDateTime dt(const QDateTime& t)
{
    return DateTimeFromQ(t);
}

inline QString num(double v)
{
    return QString::number(v, 'g', 17);
}

inline bool sameTime(const QVariant& stored, TDateTime expected)
{
    return qAbs(stored.toDouble() - expected) < 1e-8; // well under a millisecond
}

enum Add
{
    AddReturn,
    AddKeypad,
    AddAction,
    AddTip,
    AddDoubleClick,
    AddMessage
};
enum Finish
{
    FinishCtrlEnter,
    FinishKeypad,
    FinishEsc,
    FinishTip
};

} // namespace

class TaskFrameFixture : public QObject
{
protected:
    std::unique_ptr<zvtest::TempProgramFolder> m_folder;
    std::unique_ptr<zvtest::TestFrameHost> m_host;
    TzvTasksFrame* m_frame = nullptr;
    int m_plays = 0;

    // A row in plain SQL; `more` adds "column=value" pairs.
    void row(const QString& tid, const QString& pid, const QString& content, bool done = false,
             const QString& more = {})
    {
        QString cols = QStringLiteral("tid,pid,content,checkFlag,dueFlag,alarmFlag,expandFlag,textColor,"
                                      "backgroundColor,createTime,editTime");
        QString vals = QStringLiteral("'%1','%2','%3',%4,0,0,0,0,0,%5,%5")
                           .arg(tid, pid, content, done ? QStringLiteral("1") : QStringLiteral("0"),
                                num(dt(kNow.addDays(-2))));
        m_folder->exec(QStringLiteral("insert into tasks (%1) values (%2)").arg(cols, vals));
        if (!more.isEmpty())
            m_folder->exec(QStringLiteral("update tasks set %1 where tid='%2'").arg(more, tid));
    }

    void start()
    {
        m_host = std::make_unique<zvtest::TestFrameHost>(*m_folder);
        m_frame = new TzvTasksFrame(m_host.get(), m_host->hostWindow());
        auto* layout = new QVBoxLayout(m_host->hostWindow());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_frame);
        m_host->hostWindow()->show();
        m_host->hostWindow()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_host->hostWindow()));
        PostZvMessage(m_frame, WM_FRAME_INIT);
        PostZvMessage(m_frame, WM_FRAME_ACTIVATE);
        settle();
    }

    static void settle()
    {
        for (int i = 0; i < 4; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }

    TZvTree* tree() const { return m_frame->tree(); }

    TZvNode* node(const QString& content) const
    {
        for (TZvNode* n = tree()->firstNode(); n; n = tree()->nextNode(n))
            if (TzvTasksFrame::Info(n)->content == content) return n;
        return nullptr;
    }

    void select(const QStringList& contents)
    {
        tree()->clearNodeSelection();
        for (const QString& c : contents)
            tree()->setSelected(node(c), true);
    }

    QPlainTextEdit* waitEditor() const
    {
        (void)QTest::qWaitFor([this] { return tree()->editor() != nullptr; }, 3000);
        return tree()->editor();
    }

    static void type(QPlainTextEdit* editor, const QString& text)
    {
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0) QTest::keyClick(editor, Qt::Key_Return);
            QTest::keyClicks(editor, lines.at(i));
        }
    }

    static void finish(QPlainTextEdit* editor, Finish how, QLabel* tip)
    {
        if (how == FinishCtrlEnter) QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
        if (how == FinishKeypad)
            QTest::keyClick(editor, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
        if (how == FinishEsc) QTest::keyClick(editor, Qt::Key_Escape);
        if (how == FinishTip) QTest::mouseClick(tip, Qt::LeftButton);
        settle();
    }

    // The loaded tree as text: "A;B[B1,B2];C".
    QString layout() const
    {
        QStringList top;
        for (TZvNode* n = tree()->firstTopLevel(); n; n = tree()->nextSibling(n)) {
            QString s = TzvTasksFrame::Info(n)->content;
            QStringList kids;
            for (int i = 0; i < n->childCount(); ++i)
                kids << TzvTasksFrame::Info(n->child(i))->content;
            if (!kids.isEmpty()) s += QLatin1Char('[') + kids.join(QLatin1Char(',')) + QLatin1Char(']');
            top << s;
        }
        return top.join(QLatin1Char(';'));
    }

    QStringList shown() const
    {
        QStringList out;
        for (TZvNode* n = tree()->firstNode(); n; n = tree()->nextNode(n))
            if (tree()->isShown(n)) out << TzvTasksFrame::Info(n)->content;
        return out;
    }

    void moveFixture()
    {
        row("{A}", "root", "A");
        row("{B}", "root", "B", false, "expandFlag=1");
        row("{B1}", "{B}", "B1");
        row("{B2}", "{B}", "B2");
        row("{C}", "root", "C");
        row("{D}", "root", "D");
    }

    QVariant col(const QString& column, const QString& tid) const
    {
        return m_folder->scalar(QStringLiteral("select %1 from tasks where tid='%2'").arg(column, tid));
    }

    void setUp()
    {
        m_folder = std::make_unique<zvtest::TempProgramFolder>();
        Clock::setFixed(kNow);
        MessageSeam::reset();
        ClipboardSeam::useMemoryClipboard(true);
        m_plays = 0;
        SoundSeam::setHandler([this](const QString&) { ++m_plays; });
    }

    void tearDown()
    {
        delete m_frame;
        m_frame = nullptr;
        m_host.reset();
        m_folder.reset();
        Clock::setFixed(std::nullopt);
        SoundSeam::setHandler({});
    }
};

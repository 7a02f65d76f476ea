// What the task-frame tests share: a fresh program folder, the frame on a test host, and
// helpers that drive the tree and read the stored rows.
#pragma once

#include "ZvFrameFixture.h"
#include "ZvTestHost.h"
#include "ZvTestSupport.h"
#include "components/ZvStatusBar.h"
#include "components/ZvTray.h"
#include "frames/ZvMessages.h"
#include "platform/ZvSystem.h"
#include "platform/ZvTree.h"
#include "store/ZvIniFile.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"
#include "tasks/Dlg_ColorSet.h"
#include "tasks/Dlg_DueSet.h"
#include "tasks/Dlg_ReminderSet.h"
#include "tasks/Dlg_taskReminder.h"
#include "tasks/Fr_zvTasks.h"

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

class TaskFrameFixture : public zvtest::FrameFixture<TzvTasksFrame>
{
protected:
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

    using FrameFixture::finish;
    static void finish(QPlainTextEdit* editor, Finish how, QLabel* tip)
    {
        if (how == FinishCtrlEnter) QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
        if (how == FinishKeypad)
            QTest::keyClick(editor, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
        if (how == FinishEsc) QTest::keyClick(editor, Qt::Key_Escape);
        if (how == FinishTip) QTest::mouseClick(tip, Qt::LeftButton);
        settle();
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
        setUpFolder(kNow);
        m_plays = 0;
        SoundSeam::setHandler([this](const QString&) { ++m_plays; });
    }

    void tearDown()
    {
        tearDownFolder();
        SoundSeam::setHandler({});
    }
};

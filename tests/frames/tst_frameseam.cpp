// The frame factory seam lives with the frames, above the store: the test folder's reset
// still leaves nothing of it behind, and each tab gets the frame of its own kind.
#include "ZvTestSupport.h"
#include "frames/ZvFrame.h"

#include <QtTest>

using namespace zv;

namespace {

QList<TZvFrameKind> g_made; // the factories called, in order

TZvFrame* makeTasks(TZvFrameHost*, QWidget*)
{
    g_made << TZvFrameKind::Tasks;
    return nullptr;
}

TZvFrame* makeMemos(TZvFrameHost*, QWidget*)
{
    g_made << TZvFrameKind::Memos;
    return nullptr;
}

} // namespace

Q_DECLARE_METATYPE(zv::TZvFrameKind)

class TestFrameSeam : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        zvtest::ResetSeams();
        g_made.clear();
    }

    void resetLeavesNothingBehind_data()
    {
        QTest::addColumn<bool>("viaFolder");
        QTest::newRow("ResetSeams") << false;
        QTest::newRow("test folder") << true;
    }
    void resetLeavesNothingBehind()
    {
        QFETCH(bool, viaFolder);
        FrameFactorySeam::Seam& seam = FrameFactorySeam::seam();
        seam.queueAnswer(nullptr);
        FrameFactorySeam::setFactories(&makeTasks, &makeMemos);
        FrameFactorySeam::make(TZvFrameKind::Tasks, nullptr, nullptr);
        QVERIFY(seam.hasHandler() && !seam.history().isEmpty());
        if (viaFolder)
            zvtest::TempProgramFolder folder(false);
        else
            zvtest::ResetSeams();
        QVERIFY(seam.queuedAnswers() == 0 && !seam.hasHandler() && seam.history().isEmpty());
        // and without a factory there is no frame
        QCOMPARE(FrameFactorySeam::make(TZvFrameKind::Memos, nullptr, nullptr), nullptr);
        QVERIFY(g_made.isEmpty());
    }

    // A tab asks for its own kind; a kind without a factory gets none.
    void eachKindItsFactory_data()
    {
        QTest::addColumn<bool>("tasks");
        QTest::addColumn<bool>("memos");
        QTest::addColumn<TZvFrameKind>("asked");
        QTest::addColumn<int>("made"); // the kind made, -1 none
        QTest::newRow("tasks") << true << true << TZvFrameKind::Tasks << int(TZvFrameKind::Tasks);
        QTest::newRow("memos") << true << true << TZvFrameKind::Memos << int(TZvFrameKind::Memos);
        QTest::newRow("memos without their factory") << true << false << TZvFrameKind::Memos << -1;
        QTest::newRow("tasks without theirs") << false << true << TZvFrameKind::Tasks << -1;
    }
    void eachKindItsFactory()
    {
        QFETCH(bool, tasks);
        QFETCH(bool, memos);
        QFETCH(TZvFrameKind, asked);
        QFETCH(int, made);
        FrameFactorySeam::setFactories(tasks ? &makeTasks : nullptr, memos ? &makeMemos : nullptr);
        FrameFactorySeam::make(asked, nullptr, nullptr);
        QCOMPARE(g_made, made < 0 ? QList<TZvFrameKind>{} : QList<TZvFrameKind>{TZvFrameKind(made)});
    }
};

QTEST_MAIN(TestFrameSeam)
#include "tst_frameseam.moc"

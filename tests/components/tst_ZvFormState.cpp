#include "ZvTestSupport.h"
#include "components/ZvFormState.h"
#include "store/ZvIniFile.h"
#include "store/ZvSeams.h"

#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <unistd.h>

using zv::TZvFormState;

namespace {

const QString kSection = QStringLiteral("form");

// A window with its placement component on the folder's settings file.
struct Placed
{
    explicit Placed(const QString& ini)
    {
        state = new TZvFormState(&window);
        state->setSection(kSection);
        state->setIniPath(ini);
    }
    QWidget window;
    TZvFormState* state = nullptr;
};

} // namespace

class TstZvFormState : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void maximizedRoundTrip();
    void cornerOffEveryScreen();
    void fixedSizeWritesNoRightBottom_data();
    void fixedSizeWritesNoRightBottom();
    void writeFailureIsShownAndGoesOn_data();
    void writeFailureIsShownAndGoesOn();
    void nothingSavedLeavesTheWindow();
};

void TstZvFormState::roundTrip_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::newRow("near the corner") << QRect(10, 20, 300, 200);
    QTest::newRow("middle") << QRect(150, 90, 455, 503);
    QTest::newRow("small") << QRect(400, 300, 120, 90);
}

void TstZvFormState::roundTrip()
{
    QFETCH(QRect, rect);
    zvtest::TempProgramFolder folder(false);
    {
        Placed a(folder.iniPath());
        a.window.setGeometry(rect);
        a.window.show();
        a.window.setGeometry(rect);
        QCoreApplication::processEvents();
        a.state->SaveState();
    }
    zv::TIniFile ini(folder.iniPath());
    QCOMPARE(ini.ReadInteger(kSection, "Left", -1), rect.x());
    QCOMPARE(ini.ReadInteger(kSection, "Top", -1), rect.y());
    QCOMPARE(ini.ReadInteger(kSection, "Right", -1), rect.x() + rect.width());
    QCOMPARE(ini.ReadInteger(kSection, "Bottom", -1), rect.y() + rect.height());
    QCOMPARE(ini.ReadBool(kSection, "Maximized", true), false);
    QCOMPARE(ini.ReadBool(kSection, "Saved", false), true);

    // A new window opens where the old one was: the show restores it.
    Placed b(folder.iniPath());
    int restores = 0;
    b.state->OnRestoreState = [&](QObject* sender) {
        QCOMPARE(sender, b.state);
        ++restores;
    };
    b.window.show();
    QCoreApplication::processEvents();
    QCOMPARE(restores, 1);
    QCOMPARE(b.window.geometry(), rect);

    // Saving again without a move writes the same numbers (no creeping by the frame).
    b.state->SaveState();
    QCOMPARE(ini.ReadInteger(kSection, "Left", -1), rect.x());
    QCOMPARE(ini.ReadInteger(kSection, "Top", -1), rect.y());
}

void TstZvFormState::maximizedRoundTrip()
{
    zvtest::TempProgramFolder folder(false);
    const QRect normal(60, 50, 320, 240);
    {
        Placed a(folder.iniPath());
        a.window.setGeometry(normal);
        a.window.show();
        a.window.showMaximized();
        QCoreApplication::processEvents();
        QVERIFY(a.window.isMaximized());
        a.state->SaveState();
    }
    zv::TIniFile ini(folder.iniPath());
    QCOMPARE(ini.ReadBool(kSection, "Maximized", false), true);
    // The rectangle it will return to, not the maximised one.
    QCOMPARE(ini.ReadInteger(kSection, "Left", -1), normal.x());
    QCOMPARE(ini.ReadInteger(kSection, "Right", -1), normal.x() + normal.width());

    Placed b(folder.iniPath());
    b.window.show();
    QCoreApplication::processEvents();
    QVERIFY(b.window.isMaximized());
    QCOMPARE(b.window.normalGeometry(), normal);
    b.window.showNormal();
    QCoreApplication::processEvents();
    QCOMPARE(b.window.geometry(), normal);
}

void TstZvFormState::cornerOffEveryScreen()
{
    zvtest::TempProgramFolder folder(false);
    zv::TIniFile ini(folder.iniPath());
    ini.WriteBool(kSection, "Saved", true);
    ini.WriteInteger(kSection, "Left", 5000);
    ini.WriteInteger(kSection, "Top", 5000);
    ini.WriteInteger(kSection, "Right", 5400);
    ini.WriteInteger(kSection, "Bottom", 5300);
    QVERIFY(!QGuiApplication::screenAt(QPoint(5000, 5000)));

    Placed p(folder.iniPath());
    p.window.show();
    QCoreApplication::processEvents();
    // The window's outer corner at the work area's corner, with its saved size.
    const QPoint corner = QGuiApplication::primaryScreen()->availableGeometry().topLeft();
    QCOMPARE(p.window.frameGeometry().topLeft(), corner);
    QCOMPARE(p.window.size(), QSize(400, 300));
}

void TstZvFormState::fixedSizeWritesNoRightBottom_data()
{
    QTest::addColumn<bool>("byHint");
    QTest::newRow("fixed size") << false;
    QTest::newRow("fixed-size hint") << true;
}

void TstZvFormState::fixedSizeWritesNoRightBottom()
{
    QFETCH(bool, byHint);
    zvtest::TempProgramFolder folder(false);
    zv::TIniFile ini(folder.iniPath());
    // Right and Bottom from a time the window could be resized: a fixed window ignores them.
    ini.WriteInteger(kSection, "Right", 900);
    ini.WriteInteger(kSection, "Bottom", 900);
    ini.WriteInteger(kSection, "Left", 30);
    ini.WriteInteger(kSection, "Top", 40);

    QDialog dialog;
    if (byHint) {
        dialog.resize(250, 150);
        dialog.setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    } else {
        dialog.setFixedSize(250, 150);
    }
    auto* state = new TZvFormState(&dialog);
    state->setSection(kSection);
    state->setIniPath(folder.iniPath());
    QVERIFY(!TZvFormState::IsResizable(&dialog));
    dialog.show();
    QCoreApplication::processEvents();
    QCOMPARE(dialog.geometry(), QRect(30, 40, 250, 150));

    QFile::remove(folder.iniPath());
    state->SaveState();
    QCOMPARE(ini.ReadInteger(kSection, "Left", -1), 30);
    QCOMPARE(ini.ReadInteger(kSection, "Top", -1), 40);
    QVERIFY(!ini.ValueExists(kSection, "Right"));
    QVERIFY(!ini.ValueExists(kSection, "Bottom"));
    QVERIFY(ini.ReadBool(kSection, "Saved", false));
}

void TstZvFormState::writeFailureIsShownAndGoesOn_data()
{
    QTest::addColumn<bool>("readOnlyFile");
    QTest::newRow("missing folder") << false;
    QTest::newRow("read-only file") << true;
}

void TstZvFormState::writeFailureIsShownAndGoesOn()
{
    QFETCH(bool, readOnlyFile);
    zvtest::TempProgramFolder folder(false);
    QString path = folder.path() + "missing/zvConf.ini";
    if (readOnlyFile) {
        if (geteuid() == 0) QSKIP("root writes read-only files");
        path = folder.iniPath();
        zv::TIniFile(path).WriteBool(kSection, "Saved", false);
        QFile(path).setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    QFile before(path);
    const QByteArray oldContent = before.open(QIODevice::ReadOnly) ? before.readAll() : QByteArray();
    before.close();

    Placed p(path);
    p.window.setGeometry(10, 10, 200, 100);
    int saves = 0;
    p.state->OnSaveState = [&](QObject*) { ++saves; };
    zv::MessageSeam::queueAnswer(zv::IdOk);
    p.state->SaveState();

    QCOMPARE(zv::MessageSeam::history().size(), 1);
    const zv::MessageRequest box = zv::MessageSeam::history().at(0);
    QCOMPARE(box.caption, QStringLiteral("Error"));
    QCOMPARE(box.icon, zv::MsgIcon::Error);
    QCOMPARE(box.buttons, zv::MsgButtons::Ok);
    QCOMPARE(box.text, QStringLiteral("Unable to write to %1").arg(path));
    QCOMPARE(saves, 1); // it went on
    // Nothing more was written: "Saved" keeps what it had.
    QFile after(path);
    QCOMPARE(after.open(QIODevice::ReadOnly) ? after.readAll() : QByteArray(), oldContent);
    QCOMPARE(zv::TIniFile(path).ReadBool(kSection, "Saved", false), false);
    if (readOnlyFile) QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

void TstZvFormState::nothingSavedLeavesTheWindow()
{
    zvtest::TempProgramFolder folder(false);
    Placed p(folder.iniPath());
    const QRect rect(70, 80, 330, 220);
    p.window.setGeometry(rect);
    p.window.show();
    QCoreApplication::processEvents();
    QCOMPARE(p.window.geometry(), rect);
    QVERIFY(!p.window.isMaximized());
}

QTEST_MAIN(TstZvFormState)
#include "tst_ZvFormState.moc"

#include "ZvTestSupport.h"
#include "components/ZvTray.h"
#include "store/ZvSeams.h"

#include <QAction>
#include <QMenu>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>

using zv::TZvTrayIcon;

namespace {

QIcon colourIcon(Qt::GlobalColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

// A shown window with a tray icon, with or without a tray host.
struct Fixture
{
    explicit Fixture(bool trayHost)
    {
        TZvTrayIcon::setTrayAvailableOverride(trayHost);
        window.resize(300, 200);
        tray = new TZvTrayIcon(&window);
        tray->setMinimizeToTray(true);
        window.show();
        QCoreApplication::processEvents();
    }
    ~Fixture() { TZvTrayIcon::setTrayAvailableOverride(std::nullopt); }

    zvtest::TempProgramFolder folder{false};
    QWidget window;
    TZvTrayIcon* tray = nullptr;
};

} // namespace

class TstZvTray : public QObject
{
    Q_OBJECT
private slots:
    void hintToolTip_data();
    void hintToolTip();
    void balloon_data();
    void balloon();
    void zeroIntervalBecomes200();
    void animationWraps();
    void activeStopsAndRestartsAnimation();
    void defaultMenu();
    void destroyedPopupMenuLeavesNone();
    void replacedPopupMenuOutlivesTheOld();
    void imageIndexWithoutImages();
    void mouse_data();
    void mouse();
    void minimize_data();
    void minimize();
    void windowManagerMinimize_data();
    void windowManagerMinimize();
    void closeRequest_data();
    void closeRequest();
    void startMinimized_data();
    void startMinimized();
    void trayHostAppearsLater();
    void trayHostGoesAwayWhileHidden();
    void restoreShowsNormalAndHideOnRestore();
};

void TstZvTray::hintToolTip_data()
{
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("showHint");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("short") << "Zorvik Jotboard" << true << "Zorvik Jotboard";
    QTest::newRow("cut at 127") << QString(200, QLatin1Char('x')) << true << QString(127, QLatin1Char('x'));
    QTest::newRow("exactly 127") << QString(127, QLatin1Char('y')) << true << QString(127, QLatin1Char('y'));
    QTest::newRow("CR lines") << "one\rtwo\rthree" << true << "one\ntwo\nthree";
    QTest::newRow("CRLF lines") << "one\r\ntwo" << true << "one\ntwo";
    // The cut counts the characters as handed over, separators included.
    QTest::newRow("cut before conversion")
        << QString(125, QLatin1Char('a')) + "\r\nbc" << true << QString(125, QLatin1Char('a')) + "\n";
    QTest::newRow("hint off") << "hidden" << false << "";
}

void TstZvTray::hintToolTip()
{
    QFETCH(QString, hint);
    QFETCH(bool, showHint);
    QFETCH(QString, toolTip);
    Fixture f(true);
    f.tray->setShowHint(showHint);
    f.tray->setHint(hint);
    QCOMPARE(f.tray->Hint(), hint);
    QCOMPARE(f.tray->systemTrayIcon()->toolTip(), toolTip);
}

void TstZvTray::balloon_data()
{
    QTest::addColumn<bool>("trayHost");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("shownTitle");
    QTest::addColumn<QString>("shownText");

    QTest::newRow("as used") << true << "Zorvik Jotboard"
                             << "Click here to open!" << 10 << true << "Zorvik Jotboard"
                             << "Click here to open!";
    QTest::newRow("long cut") << true << QString(100, QLatin1Char('T')) << QString(300, QLatin1Char('b')) << 3
                              << true << QString(63, QLatin1Char('T')) << QString(255, QLatin1Char('b'));
    QTest::newRow("no tray host") << false << "Zorvik Jotboard"
                                  << "Click here to open!" << 10 << false << ""
                                  << "";
}

void TstZvTray::balloon()
{
    QFETCH(bool, trayHost);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(int, seconds);
    QFETCH(bool, shown);
    QFETCH(QString, shownTitle);
    QFETCH(QString, shownText);
    Fixture f(trayHost);
    QSignalSpy spy(f.tray, &TZvTrayIcon::balloonShown);
    f.tray->ShowBalloonHint(title, text, 1, seconds);
    QCOMPARE(spy.count(), shown ? 1 : 0);
    if (shown) {
        QCOMPARE(spy.at(0).at(0).toString(), shownTitle);
        QCOMPARE(spy.at(0).at(1).toString(), shownText);
        QCOMPARE(spy.at(0).at(3).toInt(), seconds * 1000);
    }
}

void TstZvTray::zeroIntervalBecomes200()
{
    Fixture f(true);
    f.tray->setImages({colourIcon(Qt::red), colourIcon(Qt::green)});
    f.tray->setInterval(0);
    QCOMPARE(f.tray->Interval(), 0);
    f.tray->setAnimate(true);
    QCOMPARE(f.tray->Interval(), 200);
    QVERIFY(f.tray->animating());
    f.tray->setAnimate(false);
    QVERIFY(!f.tray->animating());
}

void TstZvTray::animationWraps()
{
    Fixture f(true);
    const QList<QIcon> images{colourIcon(Qt::red), colourIcon(Qt::green), colourIcon(Qt::blue)};
    f.tray->setImages(images);
    f.tray->setInterval(5);
    f.tray->setAnimate(true);

    // Read the shown icon right after each tick (this connection runs after the tray's own),
    // so that a busy machine that delays the test cannot make it miss a frame.
    QTimer* timer = nullptr;
    for (QTimer* t : f.tray->findChildren<QTimer*>())
        if (t->isActive() && t->interval() == 5) timer = t;
    QVERIFY(timer);
    QList<qint64> seen;
    connect(timer, &QTimer::timeout, this, [&] { seen << f.tray->currentIcon().cacheKey(); });
    QTRY_VERIFY_WITH_TIMEOUT(seen.size() >= 5, 5000);
    for (int i = 0; i < seen.size(); ++i)
        QCOMPARE(seen.at(i), images.at(i % 3).cacheKey());

    // Stopping goes back to the image of ImageIndex.
    f.tray->setImageIndex(1);
    f.tray->setAnimate(false);
    QCOMPARE(f.tray->currentIcon().cacheKey(), images.at(1).cacheKey());
}

void TstZvTray::activeStopsAndRestartsAnimation()
{
    Fixture f(true);
    f.tray->setImages({colourIcon(Qt::red), colourIcon(Qt::green)});
    f.tray->setAnimate(true);
    QVERIFY(f.tray->InTray());
    QVERIFY(f.tray->animating());

    f.tray->setActive(false);
    QVERIFY(!f.tray->InTray());
    QVERIFY(!f.tray->animating());
    QVERIFY(!f.tray->systemTrayIcon()->isVisible());

    f.tray->setActive(true);
    QVERIFY(f.tray->InTray());
    QVERIFY(f.tray->animating());
    QVERIFY(f.tray->systemTrayIcon()->isVisible());
}

void TstZvTray::defaultMenu()
{
    Fixture f(true);
    QMenu* menu = f.tray->PopupMenu();
    QVERIFY(menu);
    QCOMPARE(menu, f.tray->DefaultMenu());
    QCOMPARE(f.tray->systemTrayIcon()->contextMenu(), menu);
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << a->text();
    QCOMPARE(texts, (QStringList{"&Close", "&Restore"}));

    // "&Restore" brings a hidden window back.
    f.window.hide();
    menu->actions().at(1)->trigger();
    QVERIFY(f.window.isVisible());
}

void TstZvTray::destroyedPopupMenuLeavesNone()
{
    Fixture f(true);
    auto* menu = new QMenu;
    f.tray->setPopupMenu(menu);
    QCOMPARE(f.tray->systemTrayIcon()->contextMenu(), menu);
    delete menu;
    QVERIFY(!f.tray->PopupMenu());
    QVERIFY(!f.tray->systemTrayIcon()->contextMenu());
}

void TstZvTray::replacedPopupMenuOutlivesTheOld()
{
    // Destroying a menu the property no longer holds leaves the current one in place.
    Fixture f(true);
    auto* first = new QMenu;
    auto* second = new QMenu;
    f.tray->setPopupMenu(first);
    f.tray->setPopupMenu(second);
    delete first;
    QCOMPARE(f.tray->PopupMenu(), second);
    QCOMPARE(f.tray->systemTrayIcon()->contextMenu(), second);

    // Setting the same menu twice still empties the property once it goes.
    f.tray->setPopupMenu(second);
    delete second;
    QVERIFY(!f.tray->PopupMenu());
    QVERIFY(!f.tray->systemTrayIcon()->contextMenu());
}

void TstZvTray::imageIndexWithoutImages()
{
    Fixture f(true);
    const QIcon before = f.tray->currentIcon();
    zv::MessageSeam::queueAnswer(zv::IdOk);
    f.tray->setImageIndex(2);
    QCOMPARE(zv::MessageSeam::history().size(), 1);
    QCOMPARE(zv::MessageSeam::history().at(0).caption, QStringLiteral("Zorvik TrayIcon Error"));
    QCOMPARE(zv::MessageSeam::history().at(0).text, QStringLiteral("SetImageIndex: No image list assigned"));
    QCOMPARE(f.tray->currentIcon().cacheKey(), before.cacheKey());
}

void TstZvTray::mouse_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("clearRestore");
    QTest::addColumn<QString>("events");
    QTest::addColumn<bool>("restored");

    QTest::newRow("left press") << int(QSystemTrayIcon::Trigger) << false << "click:1" << false;
    QTest::newRow("middle press") << int(QSystemTrayIcon::MiddleClick) << false << "click:4" << false;
    QTest::newRow("right press") << int(QSystemTrayIcon::Context) << false << "" << false;
    QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << false << "dbl:1" << true;
    QTest::newRow("double click, kept hidden")
        << int(QSystemTrayIcon::DoubleClick) << true << "dbl:1" << false;
}

void TstZvTray::mouse()
{
    QFETCH(int, reason);
    QFETCH(bool, clearRestore);
    QFETCH(QString, events);
    QFETCH(bool, restored);
    Fixture f(true);
    f.window.hide();
    QStringList seen;
    f.tray->OnClick = [&](Qt::MouseButton b, Qt::KeyboardModifiers) {
        seen << QStringLiteral("click:%1").arg(b);
    };
    f.tray->OnDblClick = [&](Qt::MouseButton b, Qt::KeyboardModifiers, bool& restoreApp) {
        QVERIFY(restoreApp);
        seen << QStringLiteral("dbl:%1").arg(b);
        if (clearRestore) restoreApp = false;
    };
    emit f.tray->systemTrayIcon()->activated(QSystemTrayIcon::ActivationReason(reason));
    QCOMPARE(seen.join(','), events);
    QCOMPARE(f.window.isVisible(), restored);
}

void TstZvTray::minimize_data()
{
    QTest::addColumn<bool>("trayHost");
    QTest::addColumn<bool>("minimizeToTray");
    QTest::addColumn<bool>("hidden");

    QTest::newRow("to the tray") << true << true << true;
    QTest::newRow("no tray host: task bar") << false << true << false;
    QTest::newRow("minimise-to-tray off") << true << false << false;
}

void TstZvTray::minimize()
{
    QFETCH(bool, trayHost);
    QFETCH(bool, minimizeToTray);
    QFETCH(bool, hidden);
    Fixture f(trayHost);
    f.tray->setMinimizeToTray(minimizeToTray);
    QSignalSpy hides(f.tray, &TZvTrayIcon::hiddenToTray);
    int minimizes = 0;
    f.tray->OnMinimize = [&] { ++minimizes; };

    f.tray->Minimize();
    // Posted: nothing happens before the caller returns to the event loop.
    QVERIFY(f.window.isVisible());
    QVERIFY(!f.window.isMinimized());
    QTRY_COMPARE(minimizes, 1);
    QCoreApplication::processEvents();

    QCOMPARE(minimizes, 1);
    QCOMPARE(hides.count(), hidden ? 1 : 0);
    QCOMPARE(f.window.isVisible(), !hidden);
    if (!hidden) QVERIFY(f.window.isMinimized()); // on the task bar: a way back
    QCOMPARE(f.tray->InTray(), true);
}

void TstZvTray::windowManagerMinimize_data()
{
    QTest::addColumn<bool>("trayHost");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("tray host") << true << true;
    QTest::newRow("no tray host") << false << false;
}

void TstZvTray::windowManagerMinimize()
{
    QFETCH(bool, trayHost);
    QFETCH(bool, hidden);
    Fixture f(trayHost);
    QSignalSpy hides(f.tray, &TZvTrayIcon::hiddenToTray);
    int minimizes = 0;
    f.tray->OnMinimize = [&] { ++minimizes; };

    f.window.setWindowState(Qt::WindowMinimized); // as the title bar's button does
    QCOMPARE(minimizes, 1);
    QCoreApplication::processEvents();
    QCOMPARE(f.window.isVisible(), !hidden);
    QCOMPARE(hides.count(), hidden ? 1 : 0);

    if (hidden) {
        // Back from the tray the window is normal again, not minimised.
        QSignalSpy restores(f.tray, &TZvTrayIcon::restored);
        f.tray->Restore();
        QVERIFY(f.window.isVisible());
        QVERIFY(!f.window.isMinimized());
        QCOMPARE(restores.count(), 1);
        QCOMPARE(restores.at(0).at(0).toBool(), true);
        QCOMPARE(minimizes, 1);
    }
}

void TstZvTray::closeRequest_data()
{
    QTest::addColumn<bool>("trayHost");
    QTest::addColumn<bool>("closeToTray");
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("allowClose");
    QTest::addColumn<bool>("closed");

    QTest::newRow("to the tray") << true << true << true << false << false;
    // Without a host the owner decides: the window must not vanish without a way back.
    QTest::newRow("no tray host") << false << true << true << false << true;
    QTest::newRow("close-to-tray off") << true << false << true << false << true;
    QTest::newRow("inactive icon") << true << true << false << false << true;
    QTest::newRow("the program's own close (Exit)") << true << true << true << true << true;
}

void TstZvTray::closeRequest()
{
    QFETCH(bool, trayHost);
    QFETCH(bool, closeToTray);
    QFETCH(bool, active);
    QFETCH(bool, allowClose);
    QFETCH(bool, closed);
    Fixture f(trayHost);
    f.tray->setCloseToTray(closeToTray);
    f.tray->setActive(active);
    f.tray->setAllowClose(allowClose);
    QSignalSpy hides(f.tray, &TZvTrayIcon::hiddenToTray);

    const bool accepted = f.window.close();
    QCOMPARE(accepted, closed);
    QVERIFY(!f.window.isVisible());
    QCOMPARE(hides.count(), closed ? 0 : 1);
    if (!closed) {
        QVERIFY(f.tray->InTray());
        // A second request while hidden runs no second round of hide steps.
        f.tray->Minimize();
        QTest::qWait(10);
        QCOMPARE(hides.count(), 1);
        QVERIFY(!f.window.isVisible());
    }
}

void TstZvTray::startMinimized_data()
{
    QTest::addColumn<bool>("trayHost");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("tray host: hidden in the tray") << true << true;
    QTest::newRow("no tray host: minimised") << false << false;
}

void TstZvTray::startMinimized()
{
    QFETCH(bool, trayHost);
    QFETCH(bool, hidden);
    zvtest::TempProgramFolder folder(false);
    TZvTrayIcon::setTrayAvailableOverride(trayHost);
    QWidget window;
    auto* tray = new TZvTrayIcon(&window);
    QSignalSpy hides(tray, &TZvTrayIcon::hiddenToTray);
    window.showMinimized();
    QCoreApplication::processEvents();
    QCOMPARE(window.isVisible(), !hidden);
    QCOMPARE(hides.count(), hidden ? 1 : 0);
    if (!hidden) QVERIFY(window.isMinimized());

    // Only the start hides by itself: a later minimised show stays as it is.
    tray->Restore();
    QVERIFY(window.isVisible());
    window.hide();
    window.showMinimized();
    QCoreApplication::processEvents();
    QVERIFY(window.isVisible());
    TZvTrayIcon::setTrayAvailableOverride(std::nullopt);
}

void TstZvTray::trayHostAppearsLater()
{
    Fixture f(false);
    QVERIFY(!f.tray->trayAvailable());
    QVERIFY(f.tray->InTray());
    QVERIFY(!f.tray->systemTrayIcon()->isVisible()); // waiting for a host
    QSignalSpy changes(f.tray, &TZvTrayIcon::trayAvailableChanged);

    TZvTrayIcon::setTrayAvailableOverride(true);
    f.tray->recheckTray();
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.at(0).at(0).toBool(), true);
    QVERIFY(f.tray->trayAvailable());
    QVERIFY(f.tray->systemTrayIcon()->isVisible());
    f.tray->recheckTray();
    QCOMPARE(changes.count(), 1);

    QVERIFY(!f.window.close());
    QVERIFY(!f.window.isVisible());
}

void TstZvTray::trayHostGoesAwayWhileHidden()
{
    Fixture f(true);
    QVERIFY(!f.window.close());
    QVERIFY(!f.window.isVisible());

    TZvTrayIcon::setTrayAvailableOverride(false);
    f.tray->recheckTray();
    // No icon to come back through: the window returns to the task bar.
    QVERIFY(f.window.isVisible());
    QVERIFY(f.window.isMinimized());
}

void TstZvTray::restoreShowsNormalAndHideOnRestore()
{
    Fixture f(true);
    f.tray->setHideOnRestore(true);
    int restores = 0;
    f.tray->OnRestore = [&] {
        ++restores;
        QVERIFY(!f.window.isVisible()); // fired before the window comes back
    };
    QVERIFY(!f.window.close());
    f.tray->Restore();
    QCOMPARE(restores, 1);
    QVERIFY(f.window.isVisible());
    QVERIFY(!f.tray->InTray());
}

QTEST_MAIN(TstZvTray)
#include "tst_ZvTray.moc"

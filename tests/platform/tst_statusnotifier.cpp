// The program's own StatusNotifierItem, the parts a host reads without a bus: the menu as
// com.canonical.dbusmenu lays it out (captions, states, separators, submenus), the events
// that run its commands, the updates a host is told of, and the icon's pixel order.
#include "platform/ZvStatusNotifier.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QSignalSpy>
#include <QtTest>

using namespace zv;

class TstStatusNotifier : public QObject
{
    Q_OBJECT

private slots:
    void labels_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("label");
        QTest::newRow("mnemonic") << "&Add Task"
                                  << "_Add Task";
        QTest::newRow("inside") << "Paste to &Task"
                                << "Paste to _Task";
        QTest::newRow("a real ampersand") << "Salt && &Pepper"
                                          << "Salt & _Pepper";
        QTest::newRow("an underscore") << "snake_case &x"
                                       << "snake__case _x";
        QTest::newRow("none") << "Exit"
                              << "Exit";
        QTest::newRow("trailing &") << "odd&"
                                    << "odd_";
    }
    void labels()
    {
        QFETCH(QString, caption);
        QFETCH(QString, label);
        QCOMPARE(DBusMenuLabel(caption), label);
    }

    void layoutOfTheMenu()
    {
        QMenu menu;
        QAction* open = menu.addAction("&Open Zorvik Jotboard");
        menu.addSeparator();
        QAction* add = menu.addAction("&Add Task");
        add->setEnabled(false);
        QAction* check = menu.addAction("S&tay on top");
        check->setCheckable(true);
        check->setChecked(true);
        QMenu* sub = menu.addMenu("&More");
        QActionGroup group(&menu);
        QAction* radio = sub->addAction("One");
        radio->setCheckable(true);
        group.addAction(radio);
        QAction* hidden = menu.addAction("Hidden");
        hidden->setVisible(false);

        TZvDBusMenuExporter exporter;
        exporter.setMenu(&menu);
        const DBusMenuLayout root = exporter.layout(0, -1, {});
        QCOMPARE(root.id, 0);
        QCOMPARE(root.properties.value("children-display").toString(), QStringLiteral("submenu"));
        QCOMPARE(root.children.size(), 6);
        const auto props = [&](int i) { return root.children.at(i).properties; };
        QCOMPARE(props(0).value("label").toString(), QStringLiteral("_Open Zorvik Jotboard"));
        QCOMPARE(props(0).value("enabled").toBool(), true);
        QCOMPARE(props(1).value("type").toString(), QStringLiteral("separator"));
        QCOMPARE(props(2).value("enabled").toBool(), false);
        QCOMPARE(props(3).value("toggle-type").toString(), QStringLiteral("checkmark"));
        QCOMPARE(props(3).value("toggle-state").toInt(), 1);
        QCOMPARE(props(4).value("children-display").toString(), QStringLiteral("submenu"));
        QCOMPARE(root.children.at(4).children.size(), 1);
        QCOMPARE(root.children.at(4).children.at(0).properties.value("toggle-type").toString(),
                 QStringLiteral("radio"));
        QCOMPARE(props(5).value("visible").toBool(), false);
        // The ids stay the same from one reading to the next, and only the names asked for come.
        const DBusMenuLayout again = exporter.layout(0, 1, {"label"});
        QCOMPARE(again.children.at(0).id, root.children.at(0).id);
        QVERIFY(again.children.at(4).children.isEmpty()); // depth 1
        QCOMPARE(again.children.at(0).properties.keys(), QStringList{"label"});
        QVERIFY(exporter.hasItem(root.children.at(2).id));
        QVERIFY(!exporter.hasItem(999));
        Q_UNUSED(open)
    }

    // A click runs the command after the answer to the host, never a disabled one.
    void clicksRunCommands()
    {
        QMenu menu;
        QAction* add = menu.addAction("&Add Task");
        QAction* off = menu.addAction("Off");
        off->setEnabled(false);
        QSignalSpy added(add, &QAction::triggered);
        QSignalSpy offed(off, &QAction::triggered);
        TZvDBusMenuExporter exporter;
        exporter.setMenu(&menu);
        const DBusMenuLayout root = exporter.layout(0, -1, {});
        QVERIFY(exporter.hostEvent(root.children.at(0).id, "clicked"));
        QCOMPARE(added.size(), 0); // not inside the host's call
        QVERIFY(exporter.hostEvent(root.children.at(1).id, "clicked"));
        QVERIFY(!exporter.hostEvent(12345, "clicked"));
        QTRY_COMPARE(added.size(), 1);
        QTest::qWait(20);
        QCOMPARE(offed.size(), 0);
    }

    // Changes reach the host as one layout update with a new revision.
    void changesAreAnnounced()
    {
        QMenu menu;
        QAction* add = menu.addAction("&Add Task");
        TZvDBusMenuExporter exporter;
        exporter.setMenu(&menu);
        QSignalSpy updates(&exporter, &TZvDBusMenuExporter::layoutUpdated);
        QTRY_COMPARE(updates.size(), 1);
        const uint before = exporter.revision();
        add->setEnabled(false);
        add->setText("Add");
        menu.addAction("New");
        QTRY_COMPARE(updates.size(), 2);
        QTest::qWait(20);
        QCOMPARE(updates.size(), 2);
        QVERIFY(exporter.revision() > before);
        QCOMPARE(exporter.layout(0, -1, {}).children.size(), 2);
        // A destroyed command is no item any more.
        const int id = exporter.layout(0, -1, {}).children.at(1).id;
        delete menu.actions().at(1);
        QVERIFY(!exporter.hasItem(id));
    }

    // IconPixmap: ARGB32 in network byte order, one picture per size.
    void pixmapsAreArgbBigEndian()
    {
        QPixmap red(16, 16);
        red.fill(QColor(255, 0, 0, 255));
        const SniPixmapList list = SniPixmaps(QIcon(red));
        QVERIFY(!list.isEmpty());
        bool has16 = false;
        for (const SniPixmap& p : list) {
            QCOMPARE(p.argb.size(), qsizetype(p.width) * p.height * 4);
            if (p.width == 16) {
                has16 = true;
                QCOMPARE(p.argb.left(4), QByteArray("\xff\xff\x00\x00", 4));
            }
        }
        QVERIFY(has16);
        QVERIFY(SniPixmaps(QIcon()).isEmpty());
    }
};

QTEST_MAIN(TstStatusNotifier)
#include "tst_statusnotifier.moc"

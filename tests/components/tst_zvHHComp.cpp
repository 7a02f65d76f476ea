#include "ZvTestSupport.h"
#include "components/ZvStatusBar.h"
#include "components/zvHHComp.h"
#include "platform/ZvSystem.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextBrowser>
#include <QVBoxLayout>

using zv::TZVHHComp;

namespace {

// Records the F1 keys that reach it.
class KeyRecorder : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;
    QList<QKeyCombination> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() == Qt::Key_F1) keys << e->keyCombination();
        QLineEdit::keyPressEvent(e);
    }
};

// A form with controls that name their help contexts in different ways.
struct HelpForm
{
    explicit HelpForm(const QString& helpFile)
    {
        form.setProperty(TZVHHComp::kContextProperty, "form-top");
        auto* layout = new QVBoxLayout(&form);
        named = new QLineEdit(&form);
        named->setProperty(TZVHHComp::kContextProperty, "edit-anchor");
        group = new QGroupBox(&form);
        group->setProperty(TZVHHComp::kContextProperty, 7);
        auto* inner = new QVBoxLayout(group);
        inGroup = new QSpinBox(group);
        inner->addWidget(inGroup);
        zero = new QPushButton(&form);
        zero->setProperty(TZVHHComp::kContextProperty, 0); // 0: no context of its own
        recorder = new KeyRecorder(&form);
        layout->addWidget(named);
        layout->addWidget(group);
        layout->addWidget(zero);
        layout->addWidget(recorder);
        help = new TZVHHComp(&form);
        help->setHelpFile(helpFile);
        form.show();
    }
    QWidget form;
    QLineEdit* named;
    QGroupBox* group;
    QSpinBox* inGroup;
    QPushButton* zero;
    KeyRecorder* recorder;
    TZVHHComp* help;
};

QString writeHelpPage(const zvtest::TempProgramFolder& folder)
{
    const QString path = folder.path() + "jotboard-help.html";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return QString();
    QByteArray page = "<html><body><h1><a name=\"form-top\">Top</a></h1>";
    for (const char* name : {"edit-anchor", "context-7"}) {
        page += "<h2><a name=\"" + QByteArray(name) + "\">" + name + "</a></h2>";
        for (int i = 0; i < 80; ++i)
            page += "<p>text</p>";
    }
    page += "</body></html>";
    f.write(page);
    return path;
}

} // namespace

class TstZvHHComp : public QObject
{
    Q_OBJECT
private slots:
    void f1ShowsTheContext_data();
    void f1ShowsTheContext();
    void ctrlF1PassesOn();
    void f1WithoutHelpFileIsSwallowed();
    void relativeHelpFileInProgramFolder();
    void actionOwningF1Wins();
    void destructionClosesTheHelpWindow();
    void statusBarPanels();
};

void TstZvHHComp::f1ShowsTheContext_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("anchor");
    QTest::newRow("own context") << "named"
                                 << "edit-anchor";
    QTest::newRow("parent's number") << "inGroup"
                                     << "context-7";
    QTest::newRow("context 0 falls to the form") << "zero"
                                                 << "form-top";
    QTest::newRow("the form itself") << "form"
                                     << "form-top";
}

void TstZvHHComp::f1ShowsTheContext()
{
    QFETCH(QString, widget);
    QFETCH(QString, anchor);
    zvtest::TempProgramFolder folder(false);
    HelpForm f(writeHelpPage(folder));
    QWidget* target = widget == "named"     ? static_cast<QWidget*>(f.named)
                      : widget == "inGroup" ? static_cast<QWidget*>(f.inGroup)
                      : widget == "zero"    ? static_cast<QWidget*>(f.zero)
                                            : &f.form;
    QTest::keyClick(target, Qt::Key_F1);
    QVERIFY(f.help->helpWindow());
    QVERIFY(f.help->helpWindow()->isVisible());
    QCOMPARE(f.help->shownAnchor(), anchor);
    QCOMPARE(f.help->helpBrowser()->source().fragment(), anchor);

    // One help window, reused.
    QWidget* window = f.help->helpWindow();
    QTest::keyClick(f.named, Qt::Key_F1);
    QCOMPARE(f.help->helpWindow(), window);
    QCOMPARE(f.help->shownAnchor(), QStringLiteral("edit-anchor"));
}

void TstZvHHComp::ctrlF1PassesOn()
{
    zvtest::TempProgramFolder folder(false);
    HelpForm f(writeHelpPage(folder));
    QTest::keyClick(f.recorder, Qt::Key_F1, Qt::ControlModifier);
    QCOMPARE(f.recorder->keys.size(), 1);
    QCOMPARE(f.recorder->keys.at(0), QKeyCombination(Qt::ControlModifier, Qt::Key_F1));
    QVERIFY(!f.help->helpWindow());

    // Plain F1 is taken by the component and never reaches the control.
    QTest::keyClick(f.recorder, Qt::Key_F1);
    QCOMPARE(f.recorder->keys.size(), 1);
    QVERIFY(f.help->helpWindow());
}

void TstZvHHComp::f1WithoutHelpFileIsSwallowed()
{
    zvtest::TempProgramFolder folder(false);
    HelpForm f{QString()};
    QTest::keyClick(f.recorder, Qt::Key_F1);
    QVERIFY(f.recorder->keys.isEmpty());
    QVERIFY(!f.help->helpWindow());

    // A missing page shows no empty window.
    f.help->setHelpFile(folder.path() + "absent.html");
    QVERIFY(!f.help->ShowContents());
    QVERIFY(!f.help->helpWindow());
}

void TstZvHHComp::relativeHelpFileInProgramFolder()
{
    zvtest::TempProgramFolder folder(false);
    writeHelpPage(folder);
    HelpForm f(QStringLiteral("jotboard-help.html"));
    QCOMPARE(f.help->HelpPath(), folder.path() + "jotboard-help.html");
    QVERIFY(f.help->ShowHelp(QStringLiteral("context-7")));
    QCOMPARE(f.help->helpBrowser()->source().toLocalFile(), folder.path() + "jotboard-help.html");
}

void TstZvHHComp::actionOwningF1Wins()
{
    zvtest::TempProgramFolder folder(false);
    HelpForm f(writeHelpPage(folder));
    int contents = 0;
    auto* action = new QAction(QStringLiteral("&Contents"), &f.form);
    action->setShortcut(Qt::Key_F1);
    f.form.addAction(action);
    QObject::connect(action, &QAction::triggered, [&] {
        ++contents;
        f.help->ShowContents();
    });
    f.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.form));
    f.named->setFocus();

    QTest::keyClick(f.named, Qt::Key_F1);
    QCOMPARE(contents, 1);
    QCOMPARE(f.help->shownAnchor(), QString()); // the page's top, not the control's context
}

void TstZvHHComp::destructionClosesTheHelpWindow()
{
    zvtest::TempProgramFolder folder(false);
    QPointer<QWidget> window;
    {
        HelpForm f(writeHelpPage(folder));
        QVERIFY(f.help->ShowContents());
        window = f.help->helpWindow();
        QVERIFY(window && window->isVisible());
        // The help window is its own top-level window: hiding the form leaves it open.
        f.form.hide();
        QVERIFY(window->isVisible());
    }
    QVERIFY(window.isNull());
}

void TstZvHHComp::statusBarPanels()
{
    zv::TZvStatusBar bar(nullptr, {21, 50});
    QCOMPARE(bar.panelCount(), 2);
    auto* picture = new QLabel;
    picture->setFixedSize(16, 16);
    bar.addPanelWidget(0, picture);
    QCOMPARE(picture->parentWidget(), bar.panel(0));
    bar.setPanelText(1, QStringLiteral("Tasks: 3"));
    QCOMPARE(bar.panelText(1), QStringLiteral("Tasks: 3"));
    bar.resize(300, 22);
    bar.show();
    QCoreApplication::processEvents();
    QCOMPARE(bar.panel(0)->width(), 21);
    QVERIFY(bar.panel(1)->width() >= 50);
}

QTEST_MAIN(TstZvHHComp)
#include "tst_zvHHComp.moc"

// What every frame test shares, whatever the frame: a fresh program folder, the frame on a
// test host, and helpers that drive the tree through real key and mouse events and read
// the stored rows.
#pragma once

#include "ZvTestHost.h"
#include "ZvTestSupport.h"
#include "frames/ZvMessages.h"
#include "platform/ZvSystem.h"
#include "platform/ZvTree.h"
#include "store/ZvSeams.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

namespace zvtest {

enum class FinishBy
{
    CtrlEnter,
    Keypad,
    Esc,
    Tip
};

template <class Frame> class FrameFixture : public QObject
{
protected:
    std::unique_ptr<TempProgramFolder> m_folder;
    std::unique_ptr<TestFrameHost> m_host;
    Frame* m_frame = nullptr;

    void setUpFolder(const QDateTime& now)
    {
        // The folder resets every seam: a box or file dialog a test did not answer fails it.
        m_folder = std::make_unique<TempProgramFolder>();
        zv::Clock::setFixed(now);
        zv::ClipboardSeam::useMemoryClipboard(true);
    }

    void tearDownFolder()
    {
        delete m_frame;
        m_frame = nullptr;
        m_host.reset();
        m_folder.reset();
        zv::Clock::setFixed(std::nullopt);
    }

    // The frame on its host window, initialised (2024) and activated (2025).
    void start()
    {
        m_host = std::make_unique<TestFrameHost>(*m_folder);
        m_frame = new Frame(m_host.get(), m_host->hostWindow());
        auto* layout = new QVBoxLayout(m_host->hostWindow());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_frame);
        m_host->hostWindow()->show();
        m_host->hostWindow()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_host->hostWindow()));
        zv::PostZvMessage(m_frame, zv::WM_FRAME_INIT);
        zv::PostZvMessage(m_frame, zv::WM_FRAME_ACTIVATE);
        settle();
    }

    static void settle()
    {
        for (int i = 0; i < 4; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }

    zv::TZvTree* tree() const { return m_frame->tree(); }
    static const QString& content(zv::TZvNode* n) { return Frame::Info(n)->content; }

    zv::TZvNode* node(const QString& text) const
    {
        for (zv::TZvNode* n = tree()->firstTopLevel(); n; n = tree()->nextNode(n))
            if (content(n) == text) return n;
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

    void finish(QPlainTextEdit* editor, FinishBy how) const
    {
        if (how == FinishBy::CtrlEnter) QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
        if (how == FinishBy::Keypad)
            QTest::keyClick(editor, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
        if (how == FinishBy::Esc) QTest::keyClick(editor, Qt::Key_Escape);
        if (how == FinishBy::Tip) QTest::mouseClick(m_frame->label_tip, Qt::LeftButton);
        settle();
    }

    // Enter in the tree, the text typed, the edit ended as asked.
    void addByKeys(const QString& text, FinishBy how = FinishBy::CtrlEnter, bool child = false)
    {
        QTest::keyClick(tree(), Qt::Key_Return, child ? Qt::ControlModifier : Qt::NoModifier);
        settle();
        QPlainTextEdit* editor = waitEditor();
        QVERIFY(editor);
        type(editor, text);
        finish(editor, how);
    }

    // The loaded tree as text: "A;B[B1,B2];C".
    QString layout() const
    {
        QStringList top;
        for (zv::TZvNode* n = tree()->firstTopLevel(); n; n = tree()->nextSibling(n)) {
            QString s = content(n);
            QStringList kids;
            for (int i = 0; i < n->childCount(); ++i)
                kids << content(n->child(i));
            if (!kids.isEmpty()) s += QLatin1Char('[') + kids.join(QLatin1Char(',')) + QLatin1Char(']');
            top << s;
        }
        return top.join(QLatin1Char(';'));
    }

    QStringList shown() const
    {
        QStringList out;
        for (zv::TZvNode* n = tree()->firstTopLevel(); n; n = tree()->nextNode(n))
            if (tree()->isShown(n)) out << content(n);
        return out;
    }

    // Building the frame runs no query: the first is InitFrame's on 2024. With the table
    // gone every query fails, so any query (and its error box) fails the calling test.
    void checkNoQueryWhenBuilt(const QString& table)
    {
        m_folder->exec(QStringLiteral("drop table ") + table);
        m_host = std::make_unique<TestFrameHost>(*m_folder);
        auto frame = std::make_unique<Frame>(m_host.get(), m_host->hostWindow());
        frame->show();
        settle();
        QVERIFY(zv::MessageSeam::texts().isEmpty());
        frame.reset();
        m_host.reset();
    }

    // Text typed into the search box, as the user does: the box focused first.
    void search(const QString& text)
    {
        m_frame->Edt_Search->setFocus();
        settle();
        m_frame->Edt_Search->setText(text);
        settle();
    }

    // A menu or a tool bar as its user reads it, item by item: "-" a separator, "title >" a
    // submenu, a disabled item in brackets, a checked one after "(x)", a command without a
    // caption by its hint, the widgets of a tool bar by their kind.
    static QString items(QWidget* menuOrBar)
    {
        QStringList out;
        auto* bar = qobject_cast<QToolBar*>(menuOrBar);
        for (QAction* a : menuOrBar->actions()) {
            QString item;
            bool enabled = a->isEnabled();
            QWidget* widget = bar ? bar->widgetForAction(a) : nullptr;
            auto* button = qobject_cast<QToolButton*>(widget);
            if (a->isSeparator())
                item = QStringLiteral("-");
            else if (qobject_cast<QComboBox*>(widget))
                item = QStringLiteral("<range>");
            else if (qobject_cast<QLineEdit*>(widget))
                item = QStringLiteral("<search>");
            else if (button && button->defaultAction() != a)
                item = QStringLiteral("<button>");
            else if (a->menu())
                item = a->menu()->title() + QStringLiteral(" >");
            else
                item = (a->text().isEmpty() ? a->toolTip() : a->text()).simplified();
            if (widget && !button) enabled = widget->isEnabled();
            if (a->isCheckable() && a->isChecked()) item.prepend(QStringLiteral("(x)"));
            out << (enabled ? item : QLatin1Char('[') + item + QLatin1Char(']'));
        }
        return out.join(QLatin1Char('|'));
    }

    // The first group of the Edit menu (of a pop-up menu) while there is nothing to undo.
    static QString noUndo(bool popup)
    {
        return popup ? QStringLiteral("[U&ndo Ctrl+Z]|[&Redo Ctrl+Shift+Z]|-|")
                     : QStringLiteral("[&Undo Ctrl+Z]|[&Redo Ctrl+Shift+Z]|-|");
    }

    // The File menu on the test host, during an edit or not.
    static QString fileMenu(bool editing)
    {
        const QString output =
            editing ? QStringLiteral("[&Save All...]|[&Print...]") : QStringLiteral("&Save All...|&Print...");
        return QStringLiteral(
                   "Options|-|Backup|Restore|Undo restore|-|&Export...|Export iCa&lendar...|Import|"
                   "Import iCalendar|-|") +
               output + QStringLiteral("|-|On top|-|Close");
    }

    // The edit of an existing item under way, as F2 starts it.
    void startEditing(const QString& text)
    {
        tree()->setFocusedNode(node(text));
        QTest::keyClick(tree(), Qt::Key_F2);
        QVERIFY(waitEditor());
    }

    // Tests fail when an action that must run is disabled: trigger through here.
    void trigger(QAction* action)
    {
        QVERIFY2(action->isEnabled(), qPrintable(action->text()));
        action->trigger();
        settle();
    }
};

} // namespace zvtest

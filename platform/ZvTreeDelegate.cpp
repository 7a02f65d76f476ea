// The tree's in-place editor: a plain text editor over the node's text cell, whose keys end
// the edit (Ctrl+Enter keeps, Esc cancels, Enter breaks the line) and whose leaving keeps
// the text.
#include "platform/ZvTree.h"

#include "store/ZvGuard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>

namespace zv {

TZvTreeDelegate::TZvTreeDelegate(TZvTreeEditing* editing, QObject* parent)
    : QStyledItemDelegate(parent), m_editing(editing)
{}

QWidget* TZvTreeDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const
{
    auto* editor = new QPlainTextEdit(parent);
    editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    editor->setTabChangesFocus(false);
    m_editing->editorMade(editor);
    return editor;
}

void TZvTreeDelegate::setEditorData(QWidget* editor, const QModelIndex&) const
{
    if (auto* ed = qobject_cast<QPlainTextEdit*>(editor)) {
        ed->setPlainText(m_editing->editStartText());
        ed->moveCursor(QTextCursor::End);
    }
}

void TZvTreeDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const
{
    const QRect r = m_editing->editorRect(index, option.rect);
    if (!r.isEmpty()) editor->setGeometry(r);
}

bool TZvTreeDelegate::eventFilter(QObject* object, QEvent* event)
{
    if (!m_editing->isEditorOf(object)) return QStyledItemDelegate::eventFilter(object, event);
    auto* editor = static_cast<QPlainTextEdit*>(object);
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter || ke->key() == Qt::Key_Escape) {
            event->accept();
            return true;
        }
        return false;
    }
    case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
            if (ke->modifiers() & Qt::ControlModifier)
                Guarded([&] { m_editing->finishEditing(true); });
            else
                editor->textCursor().insertText(QStringLiteral("\n"));
            // The editor may be gone with the edit.
            if (m_editing->isEditorOf(object)) editor->ensureCursorVisible();
            return true;
        }
        if (ke->key() == Qt::Key_Escape) {
            Guarded([&] { m_editing->finishEditing(false); });
            return true;
        }
        return false;
    }
    case QEvent::FocusOut: {
        auto* fe = static_cast<QFocusEvent*>(event);
        if (fe->reason() == Qt::PopupFocusReason) return false; // the editor's own context menu
        for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
            if (w == editor) return false;
        Guarded([&] { m_editing->finishEditing(true); });
        return false;
    }
    default:
        return false;
    }
}

} // namespace zv

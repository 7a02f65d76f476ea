#include "frames/ZvSearchBox.h"

#include "platform/ZvColors.h"
#include "store/pU_Funcs.h"

#include <QKeyEvent>
#include <QToolButton>

namespace zv {

TZvSearchBox::TZvSearchBox(const QIcon& idleImage, const QIcon& activeImage, QWidget* parent)
    : QLineEdit(parent), Btn_Search(new QToolButton(parent)), m_idleImage(idleImage),
      m_activeImage(activeImage)
{
    setToolTip(tr("Input search string"));
    setAccessibleName(tr("Input search string"));
    setProperty("helpContext", QStringLiteral("search"));
    // Reached by Tab; the button only by the mouse.
    Btn_Search->setAutoRaise(true);
    Btn_Search->setIcon(m_idleImage);
    Btn_Search->setAccessibleName(tr("Clear search"));
    Btn_Search->setFocusPolicy(Qt::NoFocus);
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& text) { emit searchChanged(TrimBoth(text)); });
    connect(Btn_Search, &QToolButton::clicked, this, &TZvSearchBox::buttonClicked);
}

void TZvSearchBox::setTextColor(int colorNumber)
{
    QPalette p = palette();
    p.setColor(QPalette::Text, ZvSystemColor(colorNumber));
    setPalette(p);
}

void TZvSearchBox::Reset()
{
    searchActive = false;
    setTextColor(kZvColorGrayText);
    setText(tr("  Search..."));
    Btn_Search->setIcon(m_idleImage);
    Btn_Search->setToolTip(QString());
}

void TZvSearchBox::focusInEvent(QFocusEvent* event)
{
    if (!searchActive) {
        // Emptied while still in placeholder mode: the change shows every item.
        clear();
        setTextColor(kZvColorWindowText);
        searchActive = true;
        Btn_Search->setIcon(m_activeImage);
        Btn_Search->setToolTip(tr("Clear search"));
    }
    QLineEdit::focusInEvent(event);
}

void TZvSearchBox::focusOutEvent(QFocusEvent* event)
{
    if (TrimBoth(text()).isEmpty()) Reset();
    QLineEdit::focusOutEvent(event);
}

void TZvSearchBox::buttonClicked()
{
    if (!searchActive) {
        setFocus();
        return;
    }
    clear();
    Reset();
    emit searchLifted();
}

void TZvSearchBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        buttonClicked();
        return;
    }
    if (event->key() == Qt::Key_A && (event->modifiers() & Qt::ControlModifier)) {
        selectAll();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace zv

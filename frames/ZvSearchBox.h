#pragma once

#include <QIcon>
#include <QLineEdit>

class QToolButton;

namespace zv {

// The search box of a frame (Edt_Search) with its button (Btn_Search). It has two modes:
// the placeholder "  Search..." in gray until the box is entered, then the user's text in
// the window-text colour; leaving it empty goes back to the placeholder. Esc and the button
// lift the search; Ctrl+A selects the box's text.
class TZvSearchBox : public QLineEdit
{
    Q_OBJECT
public:
    // The button goes beside the box, in the same parent; its picture tells the mode.
    TZvSearchBox(const QIcon& idleImage, const QIcon& activeImage, QWidget* parent);

    QToolButton* const Btn_Search;

    // The box holds the user's text rather than the placeholder.
    bool SearchActive() const { return searchActive; }
    // Back to the placeholder in gray: the search lifted, without a word to anyone but the
    // text's own change.
    void Reset();

signals:
    // Every change of the text, trimmed; the placeholder's too (the mode tells them apart).
    void searchChanged(const QString& text);
    // The user lifted the search (the button or Esc while searching): the box is back to
    // its placeholder.
    void searchLifted();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buttonClicked();
    void setTextColor(int colorNumber);

    bool searchActive = false;
    const QIcon m_idleImage;
    const QIcon m_activeImage;
};

} // namespace zv

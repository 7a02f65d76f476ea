#pragma once

#include <QFrame>

class QLabel;

namespace zv {

// The tip panel under the tree (Panel_tip): a picture (Image_Tip) and a wrapped, clickable
// text (label_tip) on pale yellow, hidden while no tip is shown. The panel wraps its text to
// the frame's width and grows to fit it.
class TZvTipPanel : public QFrame
{
    Q_OBJECT
public:
    explicit TZvTipPanel(QWidget* frame);

    QLabel* const Image_Tip;
    QLabel* const label_tip;

    // Shows the tip of `kind` with its text and picture; kind 0 hides the panel.
    void Show(int kind, const QString& text, const QPixmap& picture);
    // Wraps the text again for the width the panel has (or will have, while hidden).
    void Relayout();

signals:
    // The text was clicked: the kind of the tip it showed.
    void clicked(int kind);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int m_kind = 0;
};

} // namespace zv

#include "frames/ZvTipPanel.h"

#include "platform/ZvColors.h"

#include <QLabel>
#include <QMouseEvent>

#include <algorithm>

namespace zv {

namespace {

constexpr int kPaleYellow = 0xE1FFFF;

// Blue, underlined and clickable, as a link.
class TTipLabel : public QLabel
{
public:
    TTipLabel(TZvTipPanel* panel, std::function<void()> clicked)
        : QLabel(panel), m_clicked(std::move(clicked))
    {
        move(24, 4);
        setWordWrap(true);
        // The text starts on the image's line: a label taller than its text (measured while
        // the panel was narrower) would otherwise centre it a line lower.
        setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setCursor(Qt::PointingHandCursor);
        QFont f = font();
        f.setUnderline(true);
        setFont(f);
        QPalette p = palette();
        p.setColor(QPalette::WindowText, Qt::blue);
        setPalette(p);
    }

protected:
    void mouseReleaseEvent(QMouseEvent*) override { m_clicked(); }

private:
    std::function<void()> m_clicked;
};

} // namespace

TZvTipPanel::TZvTipPanel(QWidget* frame)
    : QFrame(frame), Image_Tip(new QLabel(this)),
      label_tip(new TTipLabel(this, [this] { emit clicked(m_kind); }))
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, ZvSystemColor(kPaleYellow));
    setPalette(p);
    Image_Tip->setGeometry(4, 4, 16, 16);
    hide();
}

void TZvTipPanel::Show(int kind, const QString& text, const QPixmap& picture)
{
    m_kind = kind;
    if (kind <= 0) {
        hide();
        label_tip->clear();
        return;
    }
    label_tip->setText(text);
    Image_Tip->setPixmap(picture);
    show();
    Relayout();
}

void TZvTipPanel::Relayout()
{
    QWidget* frame = parentWidget();
    if (!isVisible() && !isVisibleTo(frame)) return;
    // A panel laid out while hidden still has its old width: the frame's is the one it gets.
    const int panelWidth = isVisible() ? width() : frame->width();
    const int labelWidth = std::max(40, panelWidth - label_tip->x() - 4);
    label_tip->setFixedWidth(labelWidth);
    // Measured from the text itself: the label's own height-for-width keeps what its last
    // fixed height allowed.
    const int height = label_tip->fontMetrics()
                           .boundingRect(QRect(0, 0, labelWidth, 100000), Qt::TextWordWrap | Qt::AlignLeft,
                                         label_tip->text())
                           .height();
    label_tip->setFixedHeight(height);
    setFixedHeight(height + 8);
}

void TZvTipPanel::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    Relayout();
}

} // namespace zv

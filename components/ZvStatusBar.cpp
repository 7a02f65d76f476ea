#include "components/ZvStatusBar.h"

#include <QHBoxLayout>
#include <QLabel>

namespace zv {

TZvStatusBar::TZvStatusBar(QWidget* parent, const QList<int>& panelWidths) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    for (int width : panelWidths)
        addPanel(width);
}

int TZvStatusBar::addPanel(int width)
{
    // The panel before it stops stretching: only the last one takes the rest.
    if (!m_panels.isEmpty()) {
        Panel& previous = m_panels.last();
        removeWidget(previous.frame);
        previous.frame->setFixedWidth(previous.width);
        addWidget(previous.frame, 0);
        previous.frame->show();
    }
    Panel p;
    p.width = width;
    p.frame = new QWidget(this);
    p.layout = new QHBoxLayout(p.frame);
    p.layout->setContentsMargins(2, 0, 2, 0);
    p.layout->setSpacing(2);
    p.label = new QLabel(p.frame);
    p.layout->addWidget(p.label, 1);
    p.frame->setMinimumWidth(width);
    addWidget(p.frame, 1);
    m_panels.append(p);
    return int(m_panels.size()) - 1;
}

QWidget* TZvStatusBar::panel(int index) const
{
    return index >= 0 && index < m_panels.size() ? m_panels.at(index).frame : nullptr;
}

int TZvStatusBar::panelWidth(int index) const
{
    return index >= 0 && index < m_panels.size() ? m_panels.at(index).width : 0;
}

void TZvStatusBar::setPanelText(int index, const QString& text)
{
    if (index >= 0 && index < m_panels.size()) m_panels[index].label->setText(text);
}

QString TZvStatusBar::panelText(int index) const
{
    return index >= 0 && index < m_panels.size() ? m_panels.at(index).label->text() : QString();
}

void TZvStatusBar::addPanelWidget(int index, QWidget* widget)
{
    if (!widget || index < 0 || index >= m_panels.size()) return;
    Panel& p = m_panels[index];
    widget->setParent(p.frame);
    p.layout->insertWidget(p.layout->count() - 1, widget, 0);
    widget->show();
}

} // namespace zv

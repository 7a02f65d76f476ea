#pragma once

#include <QList>
#include <QStatusBar>
#include <QString>

class QHBoxLayout;
class QLabel;

namespace zv {

// A status bar with fixed-width panels from left to right (the last one takes the rest
// of the width) that can hold child controls, such as a small picture in a panel.
class TZvStatusBar : public QStatusBar
{
    Q_OBJECT
public:
    explicit TZvStatusBar(QWidget* parent = nullptr, const QList<int>& panelWidths = {});

    // Adds a panel of that width; returns its index.
    int addPanel(int width);
    int panelCount() const { return int(m_panels.size()); }
    QWidget* panel(int index) const;
    int panelWidth(int index) const;

    void setPanelText(int index, const QString& text);
    QString panelText(int index) const;
    // Puts a child control into a panel, in front of the panel's text.
    void addPanelWidget(int index, QWidget* widget);

private:
    struct Panel
    {
        QWidget* frame = nullptr;
        QHBoxLayout* layout = nullptr;
        QLabel* label = nullptr;
        int width = 0;
    };
    QList<Panel> m_panels;
};

} // namespace zv

#pragma once

#include <QCoreApplication>
#include <QEvent>

namespace zv {

// The program's posted window messages, as custom event types with the same numbers.
enum ZvMessage : int
{
    WM_FRAME_INIT = 2024,     // initialise: read view settings, count rows, (re)load the tree
    WM_FRAME_ACTIVATE = 2025, // install the frame's menu, sort, focus the first time
    WM_UPDATE_PROMPT = 2027,  // show the update prompt
    WM_ADD_ITEM = 2034,       // start adding a top-level item
    WM_START_EDIT = 2035,     // open the in-place editor on editNode
    WM_REMOVE_NODE = 2036,    // remove a never-stored node (carried by the event)
};

class ZvMessageEvent : public QEvent
{
public:
    explicit ZvMessageEvent(int message, void* wParam = nullptr)
        : QEvent(QEvent::Type(message)), m_wParam(wParam)
    {}
    void* wParam() const { return m_wParam; }

private:
    void* m_wParam;
};

// Always posted, never sent: the work runs after the current event has returned.
inline void PostZvMessage(QObject* target, int message, void* wParam = nullptr)
{
    if (target) QCoreApplication::postEvent(target, new ZvMessageEvent(message, wParam));
}

} // namespace zv

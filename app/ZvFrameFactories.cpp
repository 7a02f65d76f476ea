#include "ZvFrameFactories.h"

#include "Fm_Main.h"
#include "Fr_zvTasks.h"

namespace zv {

void RegisterFrames()
{
    // The memo frame comes with its own unit; until then its tab stays empty and its
    // tray commands stay disabled.
    TmainFm::setFrameFactories(&CreateTasksFrame, nullptr);
}

} // namespace zv

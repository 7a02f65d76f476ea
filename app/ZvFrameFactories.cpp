#include "ZvFrameFactories.h"

#include "Fm_Main.h"
#include "Fr_zvMemos.h"
#include "Fr_zvTasks.h"

namespace zv {

void RegisterFrames()
{
    TmainFm::setFrameFactories(&CreateTasksFrame, &CreateMemosFrame);
}

} // namespace zv

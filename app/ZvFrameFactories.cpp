#include "app/ZvFrameFactories.h"

#include "app/Fm_Main.h"
#include "memos/Fr_zvMemos.h"
#include "tasks/Fr_zvTasks.h"

namespace zv {

void RegisterFrames()
{
    TmainFm::setFrameFactories(&CreateTasksFrame, &CreateMemosFrame);
}

} // namespace zv

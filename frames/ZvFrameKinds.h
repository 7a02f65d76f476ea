#pragma once

#include "frames/ZvItemFrame.h"

namespace zv {

enum class TZvFrameKind
{
    Tasks,
    Memos
};

// The traits of the to-do list and of the memo list, written as one table: every row gives
// the task value and the memo value side by side, so a difference between the two lists is
// spelled once and read at a glance.
TZvFrameTraits FrameTraits(TZvFrameKind kind);

} // namespace zv

#pragma once

namespace zv {

// Hands the main window the makers of the task and memo frames.
void RegisterFrames();

} // namespace zv

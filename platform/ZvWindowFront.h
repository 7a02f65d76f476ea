#pragma once

class QWidget;

namespace zv {

// Brings a shown window to the front. A minimised one comes back from the task bar in the
// state it had before it was minimised (maximised or full screen stay so; showNormal()
// would lose that), then it is raised and made active.
void BringToFront(QWidget* window);

} // namespace zv

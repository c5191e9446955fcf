#include "app/TaskbarProgress.h"

namespace marrowgate {

// The desktops Qt runs on elsewhere have no progress on a window's button
// that Qt can reach.
struct TaskbarProgress::Shell {};

TaskbarProgress::TaskbarProgress(QWidget& window) : window_(window) {}

TaskbarProgress::~TaskbarProgress() = default;

void TaskbarProgress::Show(int) {}

void TaskbarProgress::Clear() {}

} // namespace marrowgate

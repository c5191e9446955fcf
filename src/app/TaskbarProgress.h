#pragma once

#include <memory>

class QWidget;

namespace marrowgate {

// The share of a long task on the window's taskbar button, where the desktop
// shows one (Windows); elsewhere nothing. Qt 6 has no class for it, so each
// system has its own implementation: TaskbarProgressWin32.cpp, which asks the
// shell, and TaskbarProgressNone.cpp.
class TaskbarProgress {
public:
    explicit TaskbarProgress(QWidget& window);
    ~TaskbarProgress();
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    // `percent` of 100 done.
    void Show(int percent);
    // No task: the button as usual.
    void Clear();

private:
    struct Shell;
    // Only where there is a taskbar to show on.
    [[maybe_unused]] QWidget& window_;
    std::unique_ptr<Shell> shell_;
};

} // namespace marrowgate

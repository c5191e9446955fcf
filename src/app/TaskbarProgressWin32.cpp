#include "app/TaskbarProgress.h"

#include <QWidget>

#include <windows.h>
// After windows.h, which it builds on.
#include <shobjidl.h>

namespace marrowgate {

// The shell's taskbar list, taken for the life of the window; without COM
// (as in a test run offscreen) or a taskbar there is none, and nothing shows.
struct TaskbarProgress::Shell {
    ITaskbarList3* list = nullptr;
    ~Shell() {
        if (list != nullptr) {
            list->Release();
        }
    }
};

TaskbarProgress::TaskbarProgress(QWidget& window) : window_(window) {
    ITaskbarList3* list = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&list)))) {
        return;
    }
    shell_ = std::make_unique<Shell>();
    shell_->list = list;
    if (FAILED(list->HrInit())) {
        shell_.reset();
    }
}

TaskbarProgress::~TaskbarProgress() = default;

void TaskbarProgress::Show(int percent) {
    if (shell_ == nullptr || !window_.isVisible()) {
        return;
    }
    const auto button = reinterpret_cast<HWND>(window_.winId());
    shell_->list->SetProgressState(button, TBPF_NORMAL);
    shell_->list->SetProgressValue(button, static_cast<ULONGLONG>(percent), 100);
}

void TaskbarProgress::Clear() {
    if (shell_ != nullptr && window_.isVisible()) {
        shell_->list->SetProgressState(reinterpret_cast<HWND>(window_.winId()), TBPF_NOPROGRESS);
    }
}

} // namespace marrowgate

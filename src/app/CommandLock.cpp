#include "app/CommandLock.h"

namespace marrowgate {

CommandLock::CommandLock(Busy& state, Busy command, std::initializer_list<QWidget*> blocked)
    : state_(state), before_(state) {
    state_ = command;
    for (QWidget* widget : blocked) {
        blocked_.emplace_back(widget, widget->isEnabled());
        widget->setEnabled(false);
    }
}

CommandLock::~CommandLock() {
    for (const auto& [widget, wasEnabled] : blocked_) {
        if (widget) {
            widget->setEnabled(wasEnabled);
        }
    }
    state_ = before_;
}

} // namespace marrowgate

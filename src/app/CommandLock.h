#pragma once

#include <QPointer>
#include <QWidget>

#include <initializer_list>
#include <utility>
#include <vector>

namespace marrowgate {

// What the window is busy with while a command yields to it.
enum class Busy { Idle, Importing, Converting };

// For the life of a command that yields: marks the window busy and disables
// the commands that must not start meanwhile. Both are put back as they were
// on leaving the scope, also when the command ends by an exception.
class CommandLock {
public:
    CommandLock(Busy& state, Busy command, std::initializer_list<QWidget*> blocked);
    ~CommandLock();

    CommandLock(const CommandLock&) = delete;
    CommandLock& operator=(const CommandLock&) = delete;

private:
    Busy& state_;
    Busy before_;
    std::vector<std::pair<QPointer<QWidget>, bool>> blocked_;
};

} // namespace marrowgate

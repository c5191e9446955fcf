#pragma once

#include <functional>
#include <thread>

namespace marrowgate::platform {

// Runs `body` on a thread of its own that leaves the program's signals (a
// Ctrl+C, a kill) to the thread that started it, whose run stops for them.
std::thread StartWorkerThread(std::function<void()> body);

} // namespace marrowgate::platform

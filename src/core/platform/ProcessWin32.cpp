#include "marrowgate/Terminal.h"
#include "platform/Threads.h"

#include <io.h>

#include <cstdio>

namespace marrowgate::platform {

bool ErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

// Windows runs a console's Ctrl+C handler on a thread of the system's own.
std::thread StartWorkerThread(std::function<void()> body) {
    return std::thread(std::move(body));
}

} // namespace marrowgate::platform

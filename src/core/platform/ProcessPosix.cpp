#include "marrowgate/Terminal.h"
#include "platform/Threads.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace marrowgate::platform {
namespace {

// Blocks every signal of the calling thread while it lives; the threads it
// starts meanwhile inherit the mask.
class AllSignalsBlocked {
public:
    AllSignalsBlocked() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous_);
    }
    ~AllSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    AllSignalsBlocked(const AllSignalsBlocked&) = delete;
    AllSignalsBlocked& operator=(const AllSignalsBlocked&) = delete;

private:
    sigset_t previous_{};
};

} // namespace

bool ErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

// The new thread starts with the signals blocked, and so never runs a handler.
std::thread StartWorkerThread(std::function<void()> body) {
    const AllSignalsBlocked blocked;
    return std::thread(std::move(body));
}

} // namespace marrowgate::platform

#include "cli/InterruptSignals.h"

#include <csignal>

namespace marrowgate {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t received = 0;

void OnSignal(int signal) {
    if (received == 0) {
        received = signal;
    }
}

} // namespace

void InterruptSignals::Catch() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // a write in progress goes on; the run stops after it
    for (const int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

int InterruptSignals::Received() {
    return received;
}

} // namespace marrowgate

#include "cli/InterruptSignals.h"

#include <csignal>

namespace marrowgate {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t received = 0;
struct sigaction previous[3];

void OnSignal(int signal) {
    if (received == 0) {
        received = signal;
    }
}

} // namespace

InterruptSignals::InterruptSignals() {
    received = 0;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // a write in progress goes on; the run stops after it
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kSignals[i], &action, &previous[i]);
    }
}

InterruptSignals::~InterruptSignals() {
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kSignals[i], &previous[i], nullptr);
    }
}

int InterruptSignals::Received() {
    return received;
}

} // namespace marrowgate

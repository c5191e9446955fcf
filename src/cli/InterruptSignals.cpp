#include "cli/InterruptSignals.h"

#include <csignal>

namespace marrowgate {
namespace {

#ifdef _WIN32
// Ctrl+C and Ctrl+Break; Windows raises no SIGTERM or SIGHUP.
constexpr int kSignals[] = {SIGINT, SIGBREAK};
#else
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
#endif

volatile std::sig_atomic_t received = 0;

void OnSignal(int signal) {
    if (received == 0) {
        received = signal;
    }
#ifdef _WIN32
    std::signal(signal, OnSignal); // Windows restores the default after each signal
#endif
}

} // namespace

void InterruptSignals::Catch() {
#ifdef _WIN32
    for (const int signal : kSignals) {
        std::signal(signal, OnSignal);
    }
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // a write in progress goes on; the run stops after it
    for (const int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
#endif
}

int InterruptSignals::Received() {
    return received;
}

} // namespace marrowgate

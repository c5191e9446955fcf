#pragma once

namespace marrowgate {

// SIGINT, SIGTERM and SIGHUP, caught for the length of a run so that it can
// end between records instead of in the middle of one. The handler only notes
// the signal; the run asks Received() between messages and between chunks of
// a message. One instance at a time; the previous handlers come back when it
// goes.
class InterruptSignals {
public:
    InterruptSignals();
    ~InterruptSignals();
    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;

    // The first signal received, or 0.
    static int Received();
};

} // namespace marrowgate

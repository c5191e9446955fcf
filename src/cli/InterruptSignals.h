#pragma once

namespace marrowgate {

// SIGINT, SIGTERM and SIGHUP, caught from Catch() to the end of the process,
// so that a run ends between records instead of in the middle of one, and a
// signal that comes while the process exits after a finished run does not
// turn its success into a death by signal. The handler only notes the signal;
// the run asks Received() between messages and between chunks of a message.
class InterruptSignals {
public:
    static void Catch();
    // The first signal received, or 0.
    static int Received();
};

} // namespace marrowgate

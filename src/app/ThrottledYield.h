#pragma once

#include <QElapsedTimer>

namespace marrowgate {

// Lets the window process its pending events during a long command. So that
// a run over a hundred thousand messages is not slowed down by repainting, a
// call returns at once while less than the interval has passed since the last
// call that processed events.
class ThrottledYield {
public:
    static constexpr int kDefaultIntervalMs = 15;

    explicit ThrottledYield(int intervalMs = kDefaultIntervalMs) : intervalMs_(intervalMs) {}

    // 0 makes every call process events.
    void SetInterval(int intervalMs) { intervalMs_ = intervalMs; }

    // True when the next call will process events.
    bool Due() const;

    // True when events were processed.
    bool operator()();

private:
    int intervalMs_;
    QElapsedTimer sinceLastProcessed_;
};

} // namespace marrowgate

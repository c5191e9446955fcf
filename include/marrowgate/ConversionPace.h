#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace marrowgate {

// How far a conversion has come, as a front end counts it.
struct ProgressCounts {
    int done = 0;  // messages (rows) passed, converted or not
    int total = 0; // messages (rows) in all
    // Bytes of the messages converted by this run: they take the time.
    std::uint64_t bytesConverted = 0;
    // Bytes of the messages passed and of all messages, when the front end
    // knows them (0 otherwise).
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
};

// The figures a progress display shows beside the count: the share done,
// the speed, the time taken and the time left. The time left follows the
// bytes still to convert when their total is known (a message is slow in
// proportion to its size, and one already converted costs next to nothing,
// so that there is none to tell before one is converted), else the messages
// still to pass.
class ConversionPace {
public:
    using Clock = std::chrono::steady_clock;

    explicit ConversionPace(Clock::time_point start = Clock::now()) : start_(start) {}

    void Update(const ProgressCounts& progress, Clock::time_point now = Clock::now());

    const ProgressCounts& Progress() const { return progress_; }
    int Percent() const;
    double ElapsedSeconds() const { return elapsed_; }
    double MessagesPerSecond() const;
    // Of the bytes converted, in millions of bytes.
    double MegabytesPerSecond() const;
    // Negative while it cannot be told yet (nothing converted so far).
    double SecondsLeft() const;

    // "m:ss", or "h:mm:ss" from an hour on.
    static std::string Duration(double seconds);

private:
    Clock::time_point start_;
    ProgressCounts progress_;
    double elapsed_ = 0;
};

} // namespace marrowgate

#pragma once

#include "marrowgate/ConversionPace.h"

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace marrowgate {

// One line on a terminal that tells how far a conversion has come: messages
// done of all, percent, messages per second, MB per second, time left.
// Redrawn at most a few times a second; silent when disabled.
class ProgressLine {
public:
    ProgressLine(std::FILE* stream, bool enabled);

    void Update(int done, int total, std::uint64_t bytesRead);
    // Ends the line so that what follows starts on a new one.
    void Done();

private:
    std::FILE* stream_;
    bool enabled_;
    bool drawn_ = false;
    ConversionPace pace_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

} // namespace marrowgate

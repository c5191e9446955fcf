#pragma once

#include <stdexcept>

namespace marrowgate {

// Thrown by the writer between two chunks of a message when the run is asked
// to stop: the record in hand is taken back rather than finished.
class RunInterrupted : public std::runtime_error {
public:
    RunInterrupted() : std::runtime_error("interrupted") {}
};

} // namespace marrowgate

#pragma once

#include <stdexcept>
#include <string>

namespace marrowgate {

// A folder of the walk that could not be listed; what() names it and the reason.
class WalkError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace marrowgate

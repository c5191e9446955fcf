#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace marrowgate::test {

// Ends the run as a finding when `holds` is false: libFuzzer saves the input.
inline void Require(bool holds, std::string_view what) {
    if (!holds) {
        std::fprintf(stderr, "does not hold: %.*s\n", static_cast<int>(what.size()), what.data());
        std::abort();
    }
}

} // namespace marrowgate::test

#pragma once

#include <cstddef>
#include <string_view>

namespace marrowgate {

// Finds line ends (CR or LF bytes) in a piece of a message. Looks at many
// bytes per step where the processor allows: the record encoder asks for
// every line end of every message, so this is the converter's inner loop.
class LineEndScanner {
public:
    // Position of the first CR or LF at or after `from`, or `text.size()`.
    static std::size_t Next(std::string_view text, std::size_t from);
};

} // namespace marrowgate

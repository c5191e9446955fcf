#pragma once

#include "marrowgate/LineEnding.h"

#include <cstddef>
#include <string_view>

namespace marrowgate {

// Finds line ends (CR or LF bytes) in a piece of a message. Looks at many
// bytes per step where the processor allows: the record encoder asks about
// every line of every message, so this is the converter's inner loop.
class LineEndScanner {
public:
    // Position of the first CR or LF at or after `from`, or `text.size()`.
    static std::size_t Next(std::string_view text, std::size_t from);

    // The end of the run of plain lines from `from` on: lines already ended as
    // `ending` wants (CR LF with no lone CR or LF; or a lone LF with no CR at
    // all) whose first byte, for lines that begin after `from`, is neither 'F'
    // nor '>'. Such lines go into a record unchanged. The result is `from` or
    // the start of a line; the line there needs a closer look, or reaches the
    // last few bytes of `text`.
    static std::size_t PlainLinesEnd(std::string_view text, std::size_t from,
                                     LineEnding ending = LineEnding::CrLf);

    // Copies `text` less its CR bytes to `to` and returns the count copied.
    // Writes up to kCopySlack bytes beyond that count: `to` must have room
    // for text.size() + kCopySlack bytes.
    static constexpr std::size_t kCopySlack = 64;
    static std::size_t CopyWithoutCrs(std::string_view text, char* to);

    // The widest vectors the processor has are used. Tests pick each width in
    // turn, so that all are known to agree; not to be called during a run.
    enum class Width { Portable, Sse2, Avx2 };
    // False when this processor lacks `width`.
    static bool Use(Width width);
    static void UseWidest();
};

} // namespace marrowgate

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marrowgate {

// The header fields at the top of a message file, unfolded. Reads the same
// lines the mailbox record will hold: an mbox envelope line at the very top is
// skipped and the first line's leading spaces are dropped. The block ends at
// the first empty line, or at the first line that is not a field (no name and
// colon), as mail readers take it.
class HeaderBlock {
public:
    // True when `start` (the first bytes of a file) certainly holds the whole
    // header block, i.e. it contains an empty line.
    static bool IsComplete(std::string_view start);

    // "From " and anything, as mbox tools put at the top of a message, but not
    // the old field form "From  : ...".
    static bool IsEnvelopeLine(std::string_view line);

    // The block points into `start`, which must outlive it.
    static HeaderBlock Parse(std::string_view start);

    // The value of the first field called `name` (any case), unfolded, with
    // white space at both ends removed.
    std::optional<std::string> First(std::string_view name) const;

    bool Empty() const { return fields_.empty(); }

private:
    struct Field {
        std::string_view name;
        std::string_view value; // as written, with the line ends of any folding
        bool folded;

        std::string Unfolded() const;
    };

    std::vector<Field> fields_;
};

} // namespace marrowgate

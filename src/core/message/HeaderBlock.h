#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marrowgate {

// The header fields at the top of a message file, unfolded. Reads the same
// lines the mailbox record will hold: the message starts at its first line
// with anything but spaces and tabs, without those leading blanks; when that
// line is an mbox envelope line it is skipped, and the message starts at the
// next such line. The block ends at the first empty line, or at the first line
// that is not a field (no name and colon), as mail readers take it.
class HeaderBlock {
public:
    // An envelope line is never longer (its sender and date are short): a
    // longer first line is message text.
    static constexpr std::size_t kLongestEnvelopeLine = 1000;

    // True when `start` (the first bytes of a file) certainly holds the whole
    // header block, i.e. it contains an empty line after the blank lines at
    // its top. May say false for a piece that begins with the end of the block.
    static bool IsComplete(std::string_view start);

    // A line that mbox tools put at the top of a message: "From ", a sender
    // token, and then nothing or a date with a time. That date is a series of
    // words, separated by blanks, in any order: a month name (Jan to Dec), a
    // day of the month (1 or 2 digits), a time (h:mm or h:mm:ss, the hour 1 or
    // 2 digits) and a year of four digits, each once; at most one day name
    // (Sun to Sat, a comma after it allowed) and at most two time zones (+hhmm,
    // -hhmm, or 1 to 5 capital letters such as PST). So ctime's form, with or
    // without a zone before or after the year, and the RFC 5322 form both
    // count. An empty sender ("From  Mon Jul 05 14:03:09 2010") counts too.
    // "From now on, ..." does not, nor the old field form "From  : ...", nor
    // "From " alone, nor a line longer than kLongestEnvelopeLine.
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

#include "message/HeaderBlock.h"

#include "message/LineEndScanner.h"

#include <algorithm>
#include <utility>

namespace marrowgate {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

bool IsFieldName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) > 32 && static_cast<unsigned char>(c) < 127;
    });
}

// Splits at CR LF, lone CR and lone LF.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool Next(std::string_view& line) {
        if (pos_ >= text_.size()) {
            return false;
        }
        const auto end = LineEndScanner::Next(text_, pos_);
        line = text_.substr(pos_, end - pos_);
        pos_ = end;
        if (pos_ < text_.size() && text_[pos_++] == '\r' && pos_ < text_.size() &&
            text_[pos_] == '\n') {
            ++pos_;
        }
        return true;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// The words of a line, split at spaces and tabs.
class Words {
public:
    explicit Words(std::string_view text) : text_(text) {}

    bool Next(std::string_view& word) {
        text_.remove_prefix(std::min(text_.find_first_not_of(" \t"), text_.size()));
        if (text_.empty()) {
            return false;
        }
        const auto end = std::min(text_.find_first_of(" \t"), text_.size());
        word = text_.substr(0, end);
        text_.remove_prefix(end);
        return true;
    }

private:
    std::string_view text_;
};

bool IsDigits(std::string_view text, std::size_t least, std::size_t most) {
    return text.size() >= least && text.size() <= most &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsOneOf(std::string_view word, std::string_view names) {
    for (std::size_t at = 0; at < names.size(); at += 3) {
        if (word == names.substr(at, 3)) {
            return true;
        }
    }
    return false;
}

// "14:03" or "14:03:09".
bool IsTime(std::string_view word) {
    const auto colon = word.find(':');
    if (colon == std::string_view::npos || !IsDigits(word.substr(0, colon), 1, 2)) {
        return false;
    }
    const auto rest = word.substr(colon + 1);
    return rest.size() == 2
               ? IsDigits(rest, 2, 2)
               : rest.size() == 5 && rest[2] == ':' && IsDigits(rest.substr(0, 2), 2, 2) &&
                     IsDigits(rest.substr(3), 2, 2);
}

bool IsZone(std::string_view word) {
    if (word.size() == 5 && (word[0] == '+' || word[0] == '-')) {
        return IsDigits(word.substr(1), 4, 4);
    }
    return !word.empty() && word.size() <= 5 &&
           std::all_of(word.begin(), word.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// Counts the words of an envelope line's date by kind; see IsEnvelopeLine().
class DateWords {
public:
    bool Take(std::string_view word) {
        if (word.ends_with(',')) {
            word.remove_suffix(1);
            return IsOneOf(word, kDays) && ++days_ <= 1;
        }
        if (IsOneOf(word, kDays)) {
            return ++days_ <= 1;
        }
        if (IsOneOf(word, kMonths)) {
            return ++months_ <= 1;
        }
        if (IsDigits(word, 1, 2)) {
            return ++monthDays_ <= 1;
        }
        if (IsDigits(word, 4, 4)) {
            return ++years_ <= 1;
        }
        if (IsTime(word)) {
            return ++times_ <= 1;
        }
        return IsZone(word) && ++zones_ <= 2;
    }

    bool Empty() const { return days_ + months_ + monthDays_ + years_ + times_ + zones_ == 0; }
    bool Whole() const { return months_ == 1 && monthDays_ == 1 && years_ == 1 && times_ == 1; }

private:
    static constexpr std::string_view kDays = "SunMonTueWedThuFriSat";
    static constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";

    int days_ = 0;
    int months_ = 0;
    int monthDays_ = 0;
    int years_ = 0;
    int times_ = 0;
    int zones_ = 0;
};

} // namespace

bool HeaderBlock::IsEnvelopeLine(std::string_view line) {
    if (line.size() > kLongestEnvelopeLine || !line.starts_with("From ")) {
        return false;
    }
    Words words(line.substr(5));
    std::string_view sender;
    if (!words.Next(sender) || sender.front() == ':') {
        return false;
    }
    DateWords date;
    for (std::string_view word; words.Next(word);) {
        if (!date.Take(word)) {
            return false;
        }
    }
    return date.Empty() || date.Whole();
}

bool HeaderBlock::IsComplete(std::string_view start) {
    // An empty line is two line ends in a row ("\n\n", "\r\r" or "\n\r");
    // CR LF counts as one. Blank lines at the top are not the block's end.
    const std::size_t from = std::min(start.find_first_not_of(" \t\r\n"), start.size());
    for (std::size_t at = LineEndScanner::Next(start, from); at + 1 < start.size();
         at = LineEndScanner::Next(start, at + 1)) {
        const char next = start[at + 1];
        if (next == '\r' || (next == '\n' && start[at] == '\n')) {
            return true;
        }
    }
    return false;
}

HeaderBlock HeaderBlock::Parse(std::string_view start) {
    HeaderBlock block;
    LineReader reader(start);
    std::string_view line;
    bool started = false;
    bool envelopeChecked = false;
    while (reader.Next(line)) {
        if (!started) {
            line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
            if (line.empty()) {
                continue; // a blank line at the top
            }
            if (!std::exchange(envelopeChecked, true) && IsEnvelopeLine(line)) {
                continue; // the envelope line of an mbox tool
            }
            started = true;
        }
        if (line.empty()) {
            break;
        }
        if (IsBlank(line.front())) {
            if (!block.fields_.empty()) {
                // The value runs on to the end of this line, line ends and all.
                Field& field = block.fields_.back();
                field.value = std::string_view(field.value.data(),
                                               line.data() + line.size() - field.value.data());
                field.folded = true;
            }
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            break;
        }
        const auto name = TrimBlanks(line.substr(0, colon)); // "From  :" is an old form
        if (!IsFieldName(name)) {
            break;
        }
        block.fields_.push_back({name, line.substr(colon + 1), false});
    }
    return block;
}

std::string HeaderBlock::Field::Unfolded() const {
    if (!folded) {
        return std::string(TrimBlanks(value));
    }
    std::string unfolded;
    unfolded.reserve(value.size());
    for (const char c : value) {
        if (c != '\r' && c != '\n') {
            unfolded.push_back(c);
        }
    }
    return std::string(TrimBlanks(unfolded));
}

std::optional<std::string> HeaderBlock::First(std::string_view name) const {
    for (const Field& field : fields_) {
        if (EqualsIgnoringCase(field.name, name)) {
            return field.Unfolded();
        }
    }
    return std::nullopt;
}

} // namespace marrowgate

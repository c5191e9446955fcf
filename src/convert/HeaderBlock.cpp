#include "convert/HeaderBlock.h"

#include "convert/LineEndScanner.h"

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

} // namespace

bool HeaderBlock::IsEnvelopeLine(std::string_view line) {
    if (!line.starts_with("From ")) {
        return false;
    }
    const auto afterBlanks = line.find_first_not_of(" \t", 4);
    return afterBlanks == std::string_view::npos || line[afterBlanks] != ':';
}

bool HeaderBlock::IsComplete(std::string_view start) {
    // An empty line is two line ends in a row ("\n\n", "\r\r" or "\n\r");
    // CR LF counts as one.
    for (std::size_t at = LineEndScanner::Next(start, 0); at + 1 < start.size();
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
    bool atTop = true;
    bool firstLine = true;
    while (reader.Next(line)) {
        if (std::exchange(atTop, false) && IsEnvelopeLine(line)) {
            continue; // the envelope line of an mbox tool
        }
        if (std::exchange(firstLine, false)) {
            line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
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

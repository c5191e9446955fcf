#include "output/imap/ImapResponse.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace marrowgate {
namespace {

bool SameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// Reads items from `text` at `i` until a ")" (inside a list) or the end.
class ItemReader {
public:
    explicit ItemReader(std::string_view text) : text_(text) {}

    std::vector<ImapItem> ReadList(bool nested) {
        std::vector<ImapItem> items;
        while (true) {
            SkipSpaces();
            if (i_ >= text_.size() || failed_) {
                return items;
            }
            if (text_[i_] == ')') {
                if (nested) {
                    ++i_;
                }
                return items; // a stray ")" at the top ends the reading
            }
            items.push_back(ReadItem());
        }
    }

private:
    void SkipSpaces() {
        while (i_ < text_.size() && (text_[i_] == ' ' || text_[i_] == '\r' || text_[i_] == '\n')) {
            ++i_;
        }
    }

    ImapItem ReadItem() {
        ImapItem item;
        const char c = text_[i_];
        if (c == '(') {
            ++i_;
            item.kind = ImapItem::Kind::List;
            item.items = ReadList(true);
        } else if (c == '"') {
            item.kind = ImapItem::Kind::String;
            item.text = ReadQuoted();
        } else if (c == '{' || (c == '~' && i_ + 1 < text_.size() && text_[i_ + 1] == '{')) {
            item.kind = ImapItem::Kind::String;
            item.text = ReadLiteral();
        } else {
            item.text = ReadAtom();
            if (SameWord(item.text, "NIL")) {
                item.kind = ImapItem::Kind::Nil;
                item.text.clear();
            }
        }
        return item;
    }

    std::string ReadQuoted() {
        std::string text;
        for (++i_; i_ < text_.size(); ++i_) {
            if (text_[i_] == '"') {
                ++i_;
                return text;
            }
            if (text_[i_] == '\\' && i_ + 1 < text_.size()) {
                ++i_;
            }
            text.push_back(text_[i_]);
        }
        failed_ = true;
        return text;
    }

    std::string ReadLiteral() {
        const std::size_t close = text_.find('}', i_);
        const std::size_t open = text_.find('{', i_);
        std::uint64_t size = 0;
        const char* first = text_.data() + open + 1;
        const char* last = text_.data() + (close == std::string_view::npos ? open + 1 : close);
        if (last > first && last[-1] == '+') {
            --last;
        }
        if (close == std::string_view::npos || std::from_chars(first, last, size).ptr != last ||
            close + 3 + size > text_.size() || text_.substr(close + 1, 2) != "\r\n") {
            failed_ = true;
            return {};
        }
        i_ = close + 3 + size;
        return std::string(text_.substr(close + 3, size));
    }

    // An atom runs to a space or a parenthesis; brackets nest inside it
    // (BODY[HEADER.FIELDS (MESSAGE-ID)], [UIDVALIDITY 5]).
    std::string ReadAtom() {
        const std::size_t start = i_;
        int depth = 0;
        for (; i_ < text_.size(); ++i_) {
            const char c = text_[i_];
            if (c == '[') {
                ++depth;
            } else if (c == ']' && depth > 0) {
                --depth;
            } else if (depth == 0 && (c == ' ' || c == '(' || c == ')' || c == '\r')) {
                break;
            }
        }
        if (i_ == start) {
            ++i_; // a character that starts nothing: passed over
        }
        return std::string(text_.substr(start, i_ - start));
    }

    std::string_view text_;
    std::size_t i_ = 0;
    bool failed_ = false;
};

// The word at the start of `text` and what follows its space.
std::pair<std::string_view, std::string_view> FirstWord(std::string_view text) {
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos) {
        return {text, {}};
    }
    return {text.substr(0, space), text.substr(space + 1)};
}

} // namespace

std::string ImapUpper(std::string_view word) {
    std::string upper(word);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

bool ImapItem::IsAtom(std::string_view word) const {
    return kind == Kind::Atom && SameWord(text, word);
}

std::optional<std::uint64_t> ImapItem::Number() const {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    if (kind != Kind::Atom || text.empty() || std::from_chars(text.data(), end, value).ptr != end) {
        return std::nullopt;
    }
    return value;
}

ImapResponse::ImapResponse(std::string raw) : raw_(std::move(raw)) {
    const auto [tag, rest] = FirstWord(raw_);
    tag_ = std::string(tag);
    if (IsContinuation()) {
        text_ = std::string(rest.substr(0, rest.find('\r')));
        return;
    }
    auto [word, afterWord] = FirstWord(rest);
    const std::string upper = ImapUpper(word.substr(0, word.find('\r')));
    if (upper == "OK" || upper == "NO" || upper == "BAD" || upper == "BYE" || upper == "PREAUTH") {
        status_ = upper;
        std::string_view text = afterWord.substr(0, afterWord.find('\r'));
        if (text.starts_with('[')) {
            const std::size_t close = text.find(']');
            code_ = std::string(
                text.substr(1, close == std::string_view::npos ? text.size() - 1 : close - 1));
            text = close == std::string_view::npos ? std::string_view{} : text.substr(close + 1);
            if (text.starts_with(' ')) {
                text.remove_prefix(1);
            }
        }
        text_ = std::string(text);
        return;
    }
    items_ = ParseImapItems(rest);
}

std::vector<ImapItem> ImapResponse::CodeItems() const {
    return ParseImapItems(code_);
}

std::string ImapResponse::FirstLine() const {
    std::string line = raw_.substr(0, raw_.find('\r'));
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return line;
}

std::vector<ImapItem> ParseImapItems(std::string_view text) {
    return ItemReader(text).ReadList(false);
}

std::optional<std::uint64_t> AnnouncedLiteral(std::string_view line) {
    if (!line.ends_with('}')) {
        return std::nullopt;
    }
    const std::size_t open = line.rfind('{');
    if (open == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view digits = line.substr(open + 1, line.size() - open - 2);
    if (digits.ends_with('+')) {
        digits.remove_suffix(1);
    }
    std::uint64_t size = 0;
    const char* end = digits.data() + digits.size();
    if (digits.empty() || std::from_chars(digits.data(), end, size).ptr != end) {
        return std::nullopt;
    }
    return size;
}

std::string QuotedImapString(std::string_view text, bool utf8) {
    const bool quotable = std::none_of(text.begin(), text.end(), [utf8](char c) {
        return c == '\r' || c == '\n' || c == '\0' ||
               (!utf8 && static_cast<unsigned char>(c) >= 0x80);
    });
    if (!quotable) {
        std::string literal = "{";
        literal.append(std::to_string(text.size())).append("+}\r\n").append(text);
        return literal;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted.push_back('\\');
        }
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

} // namespace marrowgate

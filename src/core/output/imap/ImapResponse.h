#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marrowgate {

// IMAP's own words (capabilities, response codes, mailbox attributes, INBOX)
// are ASCII and compared without case: this is the form compared.
std::string ImapUpper(std::string_view word);

// One item of a server response: an atom (a number, a flag, a keyword with
// its section such as BODY[]), a string (quoted or a literal, its bytes as
// they are), NIL, or a parenthesised list.
struct ImapItem {
    enum class Kind { Atom, String, Nil, List };
    Kind kind = Kind::Atom;
    std::string text; // an atom's or a string's bytes
    std::vector<ImapItem> items;

    bool IsAtom(std::string_view word) const; // case-insensitive
    // The atom as a number, or nullopt.
    std::optional<std::uint64_t> Number() const;
};

// One whole response of an IMAP server (RFC 3501 7): its first line and any
// literals that line announced, with the lines after them.
//
//   + ready for literal data          continuation
//   * 3 EXISTS, * LIST (...) "/" x     untagged data
//   * OK [UIDVALIDITY 5] text          untagged status
//   m7 NO [OVERQUOTA] Quota exceeded   the end of the command tagged m7
class ImapResponse {
public:
    // `raw` is the response as read: lines ended by CR LF, each literal's
    // bytes right after the line that announces it ("{5}\r\nhello").
    explicit ImapResponse(std::string raw);

    bool IsContinuation() const { return tag_ == "+"; }
    bool IsUntagged() const { return tag_ == "*"; }
    const std::string& Tag() const { return tag_; }

    // OK, NO, BAD, BYE or PREAUTH (upper case) for a status response; the
    // empty text for data.
    const std::string& Status() const { return status_; }
    // The response code without its brackets ("APPENDUID 38505 3955"), and
    // its items; empty without one.
    const std::string& Code() const { return code_; }
    std::vector<ImapItem> CodeItems() const;
    // The human-readable text of a status response, after the code.
    const std::string& Text() const { return text_; }

    // A data response's items after "*" ("LIST", (...), "/", "Inbox"; or
    // "3", "FETCH", (...)).
    const std::vector<ImapItem>& Items() const { return items_; }

    // The first line for messages to the user, control characters replaced.
    std::string FirstLine() const;

private:
    std::string raw_;
    std::string tag_;
    std::string status_;
    std::string code_;
    std::string text_;
    std::vector<ImapItem> items_;
};

// Splits `text` (as ImapResponse takes it) into items; what cannot be read
// ends the list there.
std::vector<ImapItem> ParseImapItems(std::string_view text);

// Whether `line` (without its CR LF) announces a literal at its end:
// "{12}", "{12+}" or "~{12}". Its size, or nullopt.
std::optional<std::uint64_t> AnnouncedLiteral(std::string_view line);

// `text` as an IMAP string: a quoted string when it can be one (8-bit bytes
// only with `utf8`, a server that accepts UTF-8), else a non-synchronizing
// literal ("{n+}\r\n..."), which only servers with LITERAL+ take.
std::string QuotedImapString(std::string_view text, bool utf8 = false);

} // namespace marrowgate

#pragma once

#include "ledger/LedgerRecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marrowgate {

// One line of the conversion ledger (docs/LEDGER.md), without its LF: how it
// is read and how it is written. Paths are escaped so that any byte but NUL
// may stand in them.
struct LedgerLine {
    enum class Kind { Other, Open, Closed, Record };
    Kind kind = Kind::Other;
    std::uint64_t size = 0; // of "open" and "closed"
    LedgerRecord record;    // the mailbox for every kind but Other; the rest for "record"

    // Other for a line of another kind, or one whose fields cannot be read:
    // a later version's line, or damage, must not stop a run.
    static LedgerLine Parse(std::string_view text);
    // The mailbox field as it stands in the file (escaped) of an "open",
    // "closed" or "record" line; none for any other line. Cheap: lines of
    // one mailbox come together, and are told apart by it unparsed.
    static std::optional<std::string_view> MailboxField(std::string_view text);
    // The source field, as it stands, of a "record" line; none for another.
    static std::optional<std::string_view> SourceField(std::string_view text);
    static std::string Escaped(std::string_view text);
    static std::string Unescaped(std::string_view text);

    // Append the line, LF included, to `out`.
    static void AppendRecord(std::string& out, const LedgerRecord& record);
    static void AppendMailbox(std::string& out, std::string_view kind, std::string_view mailbox,
                              std::uint64_t size);
};

} // namespace marrowgate

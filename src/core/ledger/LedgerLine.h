#pragma once

#include "ledger/LedgerRecord.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marrowgate {

// One line of the conversion ledger (docs/LEDGER.md), without its LF: how it
// is read and how it is written. Text fields are escaped so that any byte but
// NUL may stand in them. Lines are written in version 2, each with its
// checksum; lines of version 1 are read too.
struct LedgerLine {
    enum class Kind { Other, Damaged, Run, Open, Closed, Record, End, Sending, Begun };
    Kind kind = Kind::Other;
    std::uint64_t size = 0;                 // of "open" and "closed"
    std::string target;                     // of "run", "open" and "begun"; empty when not known
    std::vector<std::string> stores;        // of "run"
    std::int64_t time = 0;                  // of "run" and "end"
    std::array<std::uint64_t, 3> figures{}; // of "end": converted, already, failed
    // The mailbox of "open", "closed", "begun"; the rest of "record" and
    // "sending"; the place of "begun".
    LedgerRecord record;

    // Other for a line of another kind or a later version's line; Damaged for
    // a line whose checksum does not match or whose fields cannot be read.
    static LedgerLine Parse(std::string_view text, int version = 2);
    // Whether a version 2 line's checksum matches.
    static bool Intact(std::string_view text);
    // The mailbox field as it stands in the file (escaped) of an "open",
    // "closed", "record", "sending" or "begun" line; none for any other line.
    // Cheap: lines of one mailbox come together, and are told apart by it
    // unparsed.
    static std::optional<std::string_view> MailboxField(std::string_view text);
    // The source field, as it stands, of a "record" line; none for another.
    static std::optional<std::string_view> SourceField(std::string_view text);
    static std::string Escaped(std::string_view text);
    static std::string Unescaped(std::string_view text);

    // Append the line, checksum and LF included, to `out`.
    static void AppendRecord(std::string& out, const LedgerRecord& record);
    // A message about to go to a store that answers later (an IMAP upload):
    // a record's fields, its place as far as it is known.
    static void AppendSending(std::string& out, const LedgerRecord& record);
    // Where the ledger's account of a store's mailbox begins (`place`), for
    // `target`.
    static void AppendBegun(std::string& out, std::string_view mailbox, std::string_view place,
                            std::string_view target);
    static void AppendMailbox(std::string& out, std::string_view kind, std::string_view mailbox,
                              std::uint64_t size);
    static void AppendOpen(std::string& out, std::string_view mailbox, std::uint64_t size,
                           std::string_view target);
    static void AppendRun(std::string& out, std::int64_t time, std::string_view target,
                          const std::vector<std::string>& stores);
    static void AppendEnd(std::string& out, std::int64_t time,
                          const std::array<std::uint64_t, 3>& figures);
};

} // namespace marrowgate

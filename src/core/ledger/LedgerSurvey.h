#pragma once

#include "ledger/LedgerLineStore.h"
#include "ledger/LedgerRecord.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace marrowgate {

// What a run keeps of a mailbox while its records are not at hand.
struct LedgerMailboxLines {
    std::vector<LedgerSpan> spans; // where its lines lie, in order
    std::uint64_t sizeAtStart = 0; // the mailbox file's size when this run began
    bool open = false;             // an "open" without its "closed"
    std::string target;            // of its last "open"; empty when not known
    bool openedByThisRun = false;
    std::uint64_t sizeBefore = 0; // its size when this run first opened it, cut back

    // A line of the mailbox at [begin, end): joins the span it follows.
    void Add(std::uint64_t begin, std::uint64_t end);
};

// A mailbox as its own lines leave it, the size it has now left aside.
struct ReplayedMailbox {
    struct Line {
        LedgerRecord record;
        std::uint64_t offset = 0; // of its line
    };
    std::vector<Line> records; // standing, in file order
    std::uint64_t openedAt = 0;
    std::uint64_t closedAt = 0;
    bool open = false;
    std::string target;
    // A store's mailbox (a maildir, an IMAP mailbox): its records have places
    // of their own, which only the store can tell standing or not.
    bool ofStore = false;

    static ReplayedMailbox Of(const LedgerMailboxLines& lines, const LedgerLineStore& store);
};

// One pass over the ledger: where each mailbox's lines lie, whether a run
// left it open and for which target, and what a compaction would drop.
// Lines of other kinds are not kept but for the last run's.
struct LedgerSurvey {
    std::unordered_map<std::string, LedgerMailboxLines> mailboxes;
    std::vector<std::string> order; // the mailboxes in the order the ledger met them
    std::string lastRunLines;       // the last run's "run" and "end" lines
    std::uint64_t damaged = 0;      // lines whose checksum does not match
    std::uint64_t spentBytes = 0;   // of lines a compaction would drop

    // Reads the ledger's file through. A line cut short at its end (a full
    // disk, a power cut) is no line: it is cut off, so that the next one
    // starts on a line of its own. Throws ConversionError.
    static LedgerSurvey Of(LedgerLineStore& store);
    // Notes each mailbox's size now, from the files under `outputRoot`.
    void MeasureMailboxes(const std::string& outputRoot);
    bool AnyOpen() const;
};

// The target whose line ends the record at `begin` of the mailbox at `path`
// has ("entourage", or "lf" for the others): what a mailbox of a version 1
// ledger was written for, as far as can be told. Empty when it cannot be.
std::string TargetByLineEnds(const std::string& path, std::uint64_t begin);

} // namespace marrowgate

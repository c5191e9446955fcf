#pragma once

#include "ledger/LedgerMailboxIndex.h"
#include "ledger/LedgerRecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace marrowgate {

// The conversion ledger: a line-oriented file at the output root
// (kFileName) that tells which messages were converted into which mailbox and
// where their records lie, so that a later run skips them and an interrupted
// run can be finished without doubling anything. The format is described in
// docs/LEDGER.md. Lines, each ended by LF, fields split by TAB:
//
//   marrowgate-ledger 1                       first line
//   run     <unix seconds>                    a run began
//   open    <mailbox> <size>                  a run is about to append to the mailbox,
//                                             which now ends at <size>
//   record  <mailbox> <begin> <end> <source> <size> <mtime-ns> <device> <inode>
//   closed  <mailbox> <size>                  the run closed the mailbox cleanly at <size>
//
// Between an "open" and its "closed" the mailbox's bytes past the last known
// end are the ledger's own (a record cut short by a kill): they may be taken
// back. After a "closed", whatever follows belongs to someone else. An "open"
// at a size below earlier records' ends means those records are gone (the
// mailbox was cut or removed): their messages count as not converted.
//
// An object holds the ledger open and locked (flock) for the whole run: one
// writer per output folder. "record" lines are gathered and written some at a
// time; "open" and "closed" lines are written at once, with those gathered
// before them, and Opening() flushes the ledger to disk too: the guarantees
// above rest on an "open" line being on disk before the mailbox grows, and
// on a "closed" line being written before the mailbox's lock is let go. A
// record whose line a kill lost lies past the last record the ledger knows of
// a mailbox still open, and is taken back.
//
// Memory does not grow with the ledger: on opening, the ledger is read
// through once to learn, per mailbox, where its lines lie and whether it was
// left open; the records of a mailbox are read (its lines only) when a run
// asks about that mailbox, and let go when it asks about another. A run
// writes one mailbox at a time, so each is read once per run, and again
// when some of its sources have records (see LedgerMailboxIndex).
class ConversionLedger {
public:
    static constexpr std::string_view kFileName = ".marrowgate-ledger";

    // The records of the ledger at `ledgerPath` that still stand, in file
    // order (records dropped by a later "open" left out). A missing file has
    // none; a torn last line is ignored. Throws ConversionError when the
    // file exists but cannot be read.
    static std::vector<LedgerRecord> ReadRecords(const std::string& ledgerPath);

    // Opens (creating it when missing) and locks the ledger in `outputRoot`,
    // an existing folder ending with a separator, and reads it. Throws
    // ConversionError naming the folder when another run holds it, or when
    // it cannot be opened or read.
    explicit ConversionLedger(const std::string& outputRoot);
    // Writes the lines gathered, if it can.
    ~ConversionLedger();
    ConversionLedger(const ConversionLedger&) = delete;
    ConversionLedger& operator=(const ConversionLedger&) = delete;

    using Seen = LedgerMailboxIndex::Seen;
    // Whether `source` was converted into `mailbox` already, by this run or
    // (unless ForgetEarlierRuns()) an earlier one; Changed when it was, but
    // the file's size or time differ now.
    Seen Lookup(const std::string& mailbox, const LedgerSource& source);
    // Records of earlier runs no longer count as converted (converting again
    // on purpose); the ledger keeps them.
    void ForgetEarlierRuns();

    // `mailbox` is open and ends at `size`. Returns the size it must be cut
    // back to: less than `size` only when the bytes past it are an
    // interrupted run's. Writes the "open" line and syncs the ledger.
    std::uint64_t Opening(const std::string& mailbox, std::uint64_t size);
    void Recorded(const LedgerRecord& record);
    void Closed(const std::string& mailbox, std::uint64_t size);
    // The mailboxes an earlier run opened and never closed (it was killed),
    // nor this run since.
    std::vector<std::string> UnsettledMailboxes() const;
    // Writes the lines gathered. Throws ConversionError on failure.
    void Flush();
    // Writes the lines gathered and flushes the ledger to disk. Throws
    // ConversionError on failure.
    void Sync();
    // The ledger file did not exist before this object.
    bool Created() const { return created_; }

private:
    // Lines [begin, end) of the ledger.
    struct Span {
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
    };
    // What is kept of a mailbox while its records are not at hand.
    struct MailboxLines {
        std::vector<Span> spans;       // where its lines lie, in order
        std::uint64_t sizeAtStart = 0; // the mailbox file's size when this run began
        bool open = false;             // an "open" without its "closed"
    };

    void Survey();
    void DropRecordsOfMissingBytes();
    LedgerMailboxIndex& Select(const std::string& mailbox, bool full = false);
    void Replay(const MailboxLines& lines, LedgerMailboxIndex& index) const;
    bool HasRecordLine(const std::string& mailbox, const std::string& sourcePath) const;
    template <typename Each> void ForEachLineOf(Span span, Each each) const;
    std::string SourceAt(std::uint64_t lineOffset) const;
    void Append(const std::string& line);
    // Appends a line of `mailbox` and returns where it begins.
    std::uint64_t AppendOf(const std::string& mailbox, const std::string& line);

    std::string root_;
    std::string path_;
    int fd_ = -1;
    bool created_ = false;
    std::uint64_t size_ = 0;       // the ledger file's length, less the lines gathered
    std::uint64_t earlierEnd_ = 0; // the lines before it are earlier runs'
    std::string pending_;          // lines gathered, not yet written
    bool forgetEarlier_ = false;
    std::unordered_map<std::string, MailboxLines> mailboxes_;
    std::string selectedName_;
    std::optional<LedgerMailboxIndex> selected_; // the records of selectedName_
    std::string line_;
};

} // namespace marrowgate

#pragma once

#include "ledger/LedgerLineStore.h"
#include "ledger/LedgerMailboxIndex.h"
#include "ledger/LedgerRecord.h"
#include "ledger/LedgerSurvey.h"
#include "ledger/MailboxContent.h"
#include "record/ContentHash.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marrowgate {

// What a run tells the ledger of itself in its "run" line.
struct LedgerRun {
    std::string target = "entourage";
    std::vector<std::string> stores;
};

// The conversion ledger: a line-oriented file at the output root
// (kFileName) that tells which records are in which mailbox, what their
// content is and which message file each came from, so that a later run
// skips them and an interrupted run can be finished without doubling
// anything. The format is described in docs/LEDGER.md.
//
// Between an "open" and its "closed" the mailbox's bytes past the last known
// end are most likely the ledger's own (records whose lines a kill lost, and
// a record cut short): the records among them stay, found again by their
// content, and the record cut short is taken back once the record written in
// its place proves it (MailboxTail). After a "closed", whatever follows
// belongs to someone else. An "open"
// at a size below earlier records' ends means those records are gone (the
// mailbox was cut or removed): their messages count as not converted.
//
// An object holds the ledger open and locked (LedgerFile) for the whole run:
// one writer per output folder. "record" lines are gathered and written some
// at a time; "open" and "closed" lines are written at once, with those
// gathered before them, and Opening() flushes the ledger to disk too: the
// guarantees above rest on an "open" line being on disk before the mailbox
// grows, and on a "closed" line being written before the mailbox's lock is
// let go. A record whose line a kill lost lies past the last record the
// ledger knows of a mailbox still open, and is found there by its content.
//
// Memory does not grow with the ledger: on opening, the ledger is read
// through once to learn, per mailbox, where its lines lie and whether it was
// left open; the records of a mailbox are read (its lines only) when a run
// asks about that mailbox, and let go when it asks about another. A mailbox's
// content (MailboxContent) is read only when a message is not known by its
// path and the mailbox held records before this run.
class ConversionLedger {
public:
    static constexpr std::string_view kFileName = ".marrowgate-ledger";

    // The records of the ledger at `ledgerPath` that still stand, in file
    // order (see LedgerReader::ReadRecords).
    static std::vector<LedgerRecord> ReadRecords(const std::string& ledgerPath);

    // Opens (creating it when missing) and locks the ledger in `outputRoot`,
    // an existing folder ending with a separator, reads it, compacts it when
    // that is due, and writes the run's line. Throws ConversionError naming
    // the folder when another run holds it, or the file when it cannot be
    // used (not a ledger, a link) or read.
    explicit ConversionLedger(const std::string& outputRoot, const LedgerRun& run = {});
    // Writes the lines gathered, if it can.
    ~ConversionLedger();
    ConversionLedger(const ConversionLedger&) = delete;
    ConversionLedger& operator=(const ConversionLedger&) = delete;

    using Seen = LedgerMailboxIndex::Seen;
    // Whether `source` was converted into `mailbox` already, by this run or
    // (unless ForgetEarlierRuns()) an earlier one; Changed when it was, but
    // the file's size or time differ now. Throws ConversionError when the
    // ledger shows the mailbox written for another target.
    Seen Lookup(const std::string& mailbox, const LedgerSource& source);
    // Records of earlier runs no longer count as converted (converting again
    // on purpose); the ledger keeps them.
    void ForgetEarlierRuns();

    // `mailbox` is open (as `fd`) and ends at `size`. Returns the size it must
    // be cut back to: less than `size` when the bytes past it are an
    // interrupted run's separator, or the part of a record the ledger knows
    // that is left after the mailbox was cut short (`cutRecord` then set).
    // Writes the "open" line with `target` (the run's when empty) and syncs
    // the ledger.
    std::uint64_t Opening(const std::string& mailbox, std::uint64_t size, int fd, bool& cutRecord,
                          const std::string& target = {});
    // Where the record cut short begins that the mailbox opened last ends
    // with, when it may be a killed run's (MailboxTail) and is not yet proved
    // to be.
    std::optional<std::uint64_t> UnprovedTail(const std::string& mailbox) const;
    // A record is about to be written into `mailbox` (at `fd`), `record`
    // being its first bytes (all of them when `whole`). When they prove the
    // record cut short at the mailbox's end to be an earlier try at this
    // one, returns the size to cut the mailbox back to, the "open" line for
    // it written and synced first.
    std::optional<std::uint64_t> ProveTail(const std::string& mailbox, int fd,
                                           std::span<const std::string_view> record, bool whole);
    // A record stays in `mailbox` after a tail that was not proved: the tail
    // stays too, for good.
    void KeepTail() { unproved_.reset(); }
    // A record of the mailbox opened last, at `fd`, that holds the content
    // `hash` and may be the message at `sourcePath`'s: taken, its line
    // written with `source`. Only for mailboxes that held records before this
    // run; never after ForgetEarlierRuns().
    std::optional<LedgerRecord> TakeByContent(const std::string& mailbox, int fd,
                                              const ContentHash& hash, const LedgerSource& source);
    // Whether the mailbox opened last, at `fd`, may hold the record whose
    // first bytes, from its From_ line on, are `start` (a record larger than
    // is held at once) of the message at `sourcePath`: one of the records it
    // held before this run that this message may take begins with them. Its
    // content then decides.
    bool MayHoldStartOf(const std::string& mailbox, int fd, std::span<const std::string_view> start,
                        const std::string& sourcePath);
    void Recorded(const LedgerRecord& record);
    void Closed(const std::string& mailbox, std::uint64_t size);
    // The run went through all its rows: the "end" line, with its figures
    // (converted, already converted, failed).
    void Finished(const std::array<std::uint64_t, 3>& figures);
    // The mailboxes an earlier run opened and never closed (it was killed),
    // nor this run since, with the target they were opened for.
    std::vector<std::pair<std::string, std::string>> UnsettledMailboxes() const;
    // Messages whose record lines are not yet written: after a failed Flush(),
    // those the ledger does not know of (a next run converts them again).
    std::uint64_t PendingRecords() const { return store_.PendingRecords(); }
    // Lines of the ledger that were damaged (their checksum did not match).
    std::uint64_t DamagedLines() const { return damaged_; }
    // Writes the lines gathered. Throws ConversionError on failure.
    void Flush() { store_.Flush(); }
    // Writes the lines gathered and flushes the ledger to disk, after
    // checking that it is still the file at its path. Throws ConversionError.
    void Sync() { store_.Sync(); }
    // The ledger file did not exist before this object.
    bool Created() const { return store_.File().Created(); }

private:
    using MailboxLines = LedgerMailboxLines;
    // A mailbox's record cut short, not yet proved ours.
    struct TailToProve {
        std::string mailbox;
        std::uint64_t at = 0;
    };

    void CheckTarget(const std::string& mailbox);
    LedgerMailboxIndex& Select(const std::string& mailbox, bool full = false);
    void Replay(const MailboxLines& lines, LedgerMailboxIndex& index) const;
    std::uint64_t WholeRecordsEnd(const MailboxLines& lines, int fd, std::uint64_t size) const;
    std::uint64_t TailEnd(const std::string& mailbox, int fd, std::uint64_t from,
                          std::uint64_t size);
    void WriteOpen(const std::string& mailbox, std::uint64_t size, const std::string& target);
    void RecordLine(const LedgerRecord& record);
    bool HasRecordLine(const std::string& mailbox, const std::string& sourcePath) const;
    std::string SourceAt(std::uint64_t lineOffset) const;
    // Appends a line of `mailbox` and returns where it begins.
    std::uint64_t AppendOf(const std::string& mailbox, const std::string& line,
                           bool ofMessage = false);

    std::string root_;
    LedgerLineStore store_;
    LedgerRun run_;
    LedgerSurvey survey_;
    std::uint64_t earlierEnd_ = 0; // the lines before it are earlier runs'
    std::uint64_t damaged_ = 0;    // found on opening, before any compaction
    bool forgetEarlier_ = false;
    std::string selectedName_;
    std::optional<LedgerMailboxIndex> selected_; // the records of selectedName_
    MailboxContent* ContentOf(const std::string& mailbox, int fd);
    std::string contentName_;
    std::optional<MailboxContent> content_; // the content of the mailbox opened last, once read
    std::optional<TailToProve> unproved_;
    std::string line_;
};

} // namespace marrowgate

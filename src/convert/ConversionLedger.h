#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace marrowgate {

// The file a message was converted from, as the ledger knows it.
struct LedgerSource {
    std::string path; // canonical: every link and "." or ".." step resolved
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0; // modification time, nanoseconds since 1970
    std::uint64_t device = 0;    // device and inode; 0 where the system has none
    std::uint64_t inode = 0;
};

// One converted message: bytes [begin, end) of `mailbox` hold its record.
struct LedgerRecord {
    std::string mailbox; // path relative to the output root
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    LedgerSource source;
};

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

    enum class Seen { New, Converted, Changed };
    // Whether `source` was converted into `mailbox` already, by this run or
    // (unless ForgetEarlierRuns()) an earlier one; Changed when it was, but
    // the file's size or time differ now.
    Seen Lookup(const std::string& mailbox, const LedgerSource& source) const;
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
    struct ReadOnly {};
    ConversionLedger(const std::string& ledgerPath, ReadOnly);

    // The latest record of a mailbox and source pair.
    struct Known {
        std::uint64_t size = 0;
        std::int64_t modifiedNs = 0;
        std::uint64_t end = 0;
        bool standing = true;
        bool earlierRun = false;
    };
    struct MailboxState {
        std::uint64_t knownEnd = 0; // the end of what the ledger accounts for
        std::uint64_t openedAt = 0; // the size at the last "open" or "closed"
        bool open = false;          // an "open" without its "closed"
    };

    void Read(std::string_view data);
    static std::string ReadWhole(int fd, const std::string& path);
    void Apply(std::string_view line);
    void Add(LedgerRecord record);
    void DropRecordsBeyond(const std::string& mailbox, std::uint64_t size);
    void DropRecordsOfMissingBytes();
    void Append(const std::string& line);
    void AppendMailboxLine(std::string_view kind, const std::string& mailbox, std::uint64_t size);

    std::string root_;
    std::string path_;
    int fd_ = -1;
    bool created_ = false;
    std::uint64_t size_ = 0; // the ledger file's length, less the lines gathered
    std::string pending_;    // lines gathered, not yet written
    std::unordered_map<std::string, Known> index_;
    std::unordered_map<std::string, MailboxState> mailboxes_;
    std::string line_;
    // Every record, in file order, for ReadRecords() only.
    bool keepRecords_ = false;
    std::vector<LedgerRecord> records_;
    std::vector<bool> standing_;
};

} // namespace marrowgate

#include "ledger/ResumableOutput.h"

#include "marrowgate/ConversionError.h"
#include "marrowgate/NativePaths.h"
#include "output/MailboxFile.h"
#include "output/OutputTree.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace marrowgate {
namespace {

void SyncFolder(const std::string& folder) {
    const int fd = platform::Open(folder, platform::kFolder);
    if (fd < 0) {
        throw ConversionError::FromErrno("Cannot open folder", folder, errno);
    }
    const int failed = platform::Sync(fd) != 0 ? errno : 0;
    platform::Close(fd);
    if (failed != 0) {
        throw ConversionError::FromErrno("Cannot write folder", folder, failed);
    }
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind(Separator(NativeSyntax()));
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

ConversionLedger OpenLedger(const std::string& outputRoot, const LedgerRun& run) {
    OutputTree(outputRoot).EnsureFolder(outputRoot); // throws naming the cause
    return ConversionLedger(outputRoot, run);
}

} // namespace

ResumableOutput::ResumableOutput(const std::string& outputRoot, bool convertAgain,
                                 const LedgerRun& run)
    : root_(outputRoot), ledger_(OpenLedger(outputRoot, run)) {
    if (convertAgain) {
        ledger_.ForgetEarlierRuns();
    }
    if (ledger_.Created()) {
        foldersToSync_.insert(root_);
    }
}

std::string ResumableOutput::Relative(const std::string& mailboxPath) const {
    return mailboxPath.starts_with(root_) ? mailboxPath.substr(root_.size()) : mailboxPath;
}

ConversionLedger::Seen ResumableOutput::Consult(const std::string& sourcePath,
                                                const std::string& mailboxPath) {
    pending_ = sources_.Identify(sourcePath);
    if (!pending_) {
        return ConversionLedger::Seen::New; // the writer reports why it cannot be read
    }
    return ledger_.Lookup(Relative(mailboxPath), *pending_);
}

// A mailbox opened again while its flush is under way waits for it: two
// descriptors of one file in one process share its lock, which the first
// one's close would let go.
void ResumableOutput::AboutToOpen(const std::string& path) {
    platform::FileStatus info;
    if ((parked_ || flusher_.Holds()) && platform::Status(path, info) == 0) {
        const FileIdentity identity{info.device, info.inode};
        if (parked_ && parked_->Identity() == identity) {
            HandParked();
        }
        flusher_.WaitFor(identity);
        SettleFlushed();
    }
}

void ResumableOutput::Opened(MailboxFile& mailbox) {
    if (auto merged = merges_.Opened(mailbox.Path(), mailbox.Identity())) {
        merged_.push_back(std::move(*merged));
    }
    Open(mailbox, {});
    HandParked();
}

void ResumableOutput::Open(MailboxFile& mailbox, const std::string& target) {
    bool cutRecord = false;
    const std::uint64_t size = mailbox.End();
    const std::uint64_t keep =
        ledger_.Opening(Relative(mailbox.Path()), size, mailbox.Fd(), cutRecord, target);
    mailbox.CutBackTo(keep);
    if (cutRecord) {
        cutBack_.push_back(mailbox.Path() +
                           ": it ended inside a record (another program cut it "
                           "short); cut back from " +
                           std::to_string(size) + " to " + std::to_string(keep) +
                           " bytes, the end of its last whole record");
    }
    if (mailbox.Created()) {
        foldersToSync_.insert(FolderOf(mailbox.Path()));
    }
}

// Once this record is written after a tail still to be proved, the tail
// stays for good: the other messages of the mailbox are its last chance.
void ResumableOutput::Beginning(MailboxFile& mailbox, std::span<const std::string_view> start,
                                bool whole) {
    const std::string name = Relative(mailbox.Path());
    std::optional<std::uint64_t> cut = ledger_.ProveTail(name, mailbox.Fd(), start, whole);
    if (!cut && ledger_.UnprovedTail(name) && otherStarts_) {
        otherStarts_([&](std::string_view other, bool otherWhole) {
            const std::string_view pieces[] = {other};
            cut = ledger_.ProveTail(name, mailbox.Fd(), pieces, otherWhole);
            return cut.has_value();
        });
    }
    if (cut) {
        mailbox.CutBackTo(*cut);
    }
}

bool ResumableOutput::MayHoldStartOf(MailboxFile& mailbox,
                                     std::span<const std::string_view> start) {
    return pending_ &&
           ledger_.MayHoldStartOf(Relative(mailbox.Path()), mailbox.Fd(), start, pending_->path);
}

bool ResumableOutput::AlreadyHolds(MailboxFile& mailbox, const ContentHash& hash) {
    return pending_ &&
           ledger_.TakeByContent(Relative(mailbox.Path()), mailbox.Fd(), hash, *pending_);
}

void ResumableOutput::Written(const MailboxFile& mailbox, std::uint64_t begin, std::uint64_t end,
                              const ContentHash& hash) {
    LedgerRecord record;
    record.mailbox = Relative(mailbox.Path());
    record.begin = begin;
    record.end = end;
    record.hash = hash;
    if (pending_) {
        record.source = *pending_;
    }
    if (const auto tail = ledger_.UnprovedTail(record.mailbox)) {
        ledger_.KeepTail();
        tailsKept_.push_back(mailbox.Path() + ": bytes " + std::to_string(*tail) + " to " +
                             std::to_string(mailbox.RecordStart()) +
                             ", a record cut short past the records the ledger knows, are not "
                             "provably this program's (another program's, or the ledger lost "
                             "lines): kept as they were");
    }
    ledger_.Recorded(record);
}

// A mailbox whose tail is still to be proved stays open in the ledger: the
// next run that writes into it decides.
//
// One mailbox is flushed while the next is written: the one before is waited
// for first. So the ledger's lines come in the same order whatever the
// disk's pace (the "closed" line of a mailbox after the next one's records).
//
// Its flush begins only once the next mailbox's "open" line is on disk: on a
// file system that writes a file's new blocks before the metadata that
// names them (ext4), flushing the ledger would otherwise wait for this
// mailbox's bytes too.
void ResumableOutput::Closing(std::unique_ptr<MailboxFile> mailbox) {
    HandParked();
    flusher_.WaitForAll();
    SettleFlushed();
    parkedClose_ = !ledger_.UnprovedTail(Relative(mailbox->Path()));
    parked_ = std::move(mailbox);
}

void ResumableOutput::HandParked() {
    if (parked_) {
        flusher_.Hand(std::move(parked_), parkedClose_);
    }
}

// The "closed" line only once the mailbox is on disk, and the lock let go
// only after it: until then the ledger shows the mailbox open, and a tail
// past its records is looked at as a killed run's.
void ResumableOutput::SettleFlushed() {
    for (MailboxFlusher::Flushed& flushed : flusher_.TakeFlushed()) {
        MailboxFile& mailbox = *flushed.mailbox;
        if (flushed.error != 0) {
            flushFailures_.emplace_back(mailbox.Path(),
                                        ConversionError::FromErrno("Cannot write mailbox file",
                                                                   mailbox.Path(), flushed.error)
                                            .what());
            continue; // closed unnoted: the next run looks at it again
        }
        if (flushed.note) {
            ledger_.Closed(Relative(mailbox.Path()), mailbox.End());
        }
        try {
            mailbox.Close();
        } catch (const ConversionError& error) {
            flushFailures_.emplace_back(mailbox.Path(), error.what());
        }
    }
}

void ResumableOutput::Settle(const std::string& mailbox, const std::string& target) {
    const std::string path = root_ + mailbox;
    platform::FileStatus info;
    if (platform::LinkStatus(path, info) != 0 && errno == ENOENT) {
        ledger_.Closed(mailbox, 0);
        return;
    }
    // Reached as the run reaches it: through no link below the root.
    OutputTree tree(root_, OutputTree::Root::MustExist);
    auto file = std::make_unique<MailboxFile>(path, tree);
    Open(*file, target);
    HandParked();
    Closing(std::move(file));
}

void ResumableOutput::Finish(bool allRows, const std::array<std::uint64_t, 3>& figures) {
    for (const auto& [mailbox, target] : ledger_.UnsettledMailboxes()) {
        try {
            Settle(mailbox, target);
        } catch (const ConversionError&) {
            // Left as it is: the next run settles it. The messages are safe.
        }
    }
    HandParked();
    flusher_.WaitForAll();
    SettleFlushed();
    if (allRows) {
        ledger_.Finished(figures);
    }
    ledger_.Sync();
    for (const std::string& folder : foldersToSync_) {
        SyncFolder(folder);
    }
    foldersToSync_.clear();
}

} // namespace marrowgate

#include "marrowgate/ConversionRun.h"

#include "ledger/OutputRefused.h"
#include "ledger/ResumableOutput.h"
#include "marrowgate/ConversionError.h"
#include "marrowgate/PathDerivation.h"
#include "marrowgate/PathParts.h"
#include "output/MailboxWriter.h"
#include "output/OutputTree.h"
#include "output/RunInterrupted.h"
#include "output/imap/ImapError.h"
#include "output/modMain.h"
#include "platform/FileSystem.h"
#include "run/ReadAheadMessage.h"
#include "run/ReadAheadThread.h"
#include "run/StoreOutput.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <unordered_set>
#include <utility>

namespace marrowgate {
namespace {

// How many rows past the one being converted are asked to be read ahead; the
// reader's buffers bound how far it really gets.
constexpr int kRowsAhead = 32;

// Whether the file read ahead is the one the ledger will record: the one
// found when the row was consulted, unchanged since.
bool SameFile(const ReadAheadMessage& message, const std::optional<LedgerSource>& consulted) {
    if (!message.Opened() || !consulted) {
        return false;
    }
    return message.Size() == consulted->size &&
           LedgerTime(message.ModificationTime(), message.ModificationNanoseconds()) ==
               consulted->modifiedNs &&
           message.Identity() == FileIdentity{consulted->device, consulted->inode};
}

// Mail programs that keep subfolders beside a mailbox file show them only
// when that file is there: the folders above a mailbox get an empty one.
void EnsureMailboxFiles(const std::vector<std::string>& mailboxes) {
    for (const auto& path : mailboxes) {
        int fd = platform::Open(path, platform::kWrite | platform::kAppend | platform::kNoFollow);
        if (fd < 0 && errno == ENOENT) {
            fd = platform::Open(path, platform::kWrite | platform::kAppend | platform::kCreateNew);
        }
        if (fd >= 0) {
            platform::Close(fd);
        }
    }
}

// One run over the rows; see RunConversion().
class Run {
public:
    Run(const MessageRows& rows, const std::string& outputRoot, const RunHooks& hooks,
        const RunOptions& options)
        : rows_(rows), hooks_(hooks), options_(options),
          root_(NormaliseOutputRoot(outputRoot, options.syntax)),
          store_(options, outputRoot, root_, [this] { return StopRequested(); }),
          writer_(options.target, &tree_) {}

    RunResult Go();

private:
    bool StopRequested() const { return hooks_.stopRequested && hooks_.stopRequested(); }
    void StartOutput();
    // False when the run ends at this row.
    bool ConvertRow(int row, const std::string& source);
    // The same for a target that keeps messages apart (store_).
    bool StoreRow(int row, const std::string& source);
    // Messages counted as converted that the store refused since: their
    // failures. False when the run ends there.
    bool SettleRefusals();
    const std::string& StoreMailboxOf(const std::string& source);
    bool GoOnAfter(const RowFailure& failure);
    void Converted(const AppendStats& stats);
    void Finish();
    void TakeOutputReports();
    void FinishStore();

    // The per-folder bookkeeping: which mailbox the rows of the current source
    // folder go to, and whether it has been counted as created or appended.
    const std::string& MailboxOf(const std::string& source);
    void EnterFolder(const std::string& source, std::string directory);
    void CountMailbox(bool created);

    // A failed close or ledger flush, charged to the last message converted.
    void CloseFailed(const ConversionError& error);

    // The message of `row` as read ahead, when it is the file consulted;
    // asks for the rows after it.
    std::unique_ptr<ReadAheadMessage> ReadAhead(int row, const std::string& source);

    const MessageRows& rows_;
    const RunHooks& hooks_;
    const RunOptions& options_;
    const std::string root_;
    RunResult result_;
    std::unique_ptr<ResumableOutput> output_; // made at the first message
    StoreOutput store_;                       // instead, for the maildir and imap targets
    std::unique_ptr<ReadAheadThread> readAhead_;
    int requestedThrough_ = -1; // the last row asked to be read ahead
    OutputTree tree_{root_};
    MailboxWriter writer_;
    std::optional<RowFailure> lastConverted_; // answers for a failed ledger flush
    // The last message converted into each mailbox answers for its flush.
    std::unordered_map<std::string, RowFailure> lastInMailbox_;

    // The rows of a folder come one after another: the mirrored folder and the
    // mailbox of one row serve the next while its folder is the same.
    std::unordered_set<std::string> ensuredFolders_;
    std::unordered_set<std::string> mailboxesSeen_;
    std::string sourceFolder_;
    std::string mailbox_;
    bool mailboxCounted_ = false;

    std::unordered_set<std::string> emptySeen_;
    bool keepGoing_ = options_.keepGoing;
    bool stoppedAtFailure_ = false;
};

RunResult Run::Go() {
    CallYield(hooks_.yield);
    const int rowCount = rows_.RowCount();
    for (int row = 0; row < rowCount; ++row) {
        if (StopRequested()) {
            result_.stopped = true;
            result_.notReached = rowCount - row;
            break;
        }
        if (hooks_.rowStarting) {
            hooks_.rowStarting(row);
        }
        CallYield(hooks_.yield);
        if (row >= rows_.RowCount()) {
            break; // the list was emptied meanwhile: there is nothing left to read
        }
        const std::string source = SourcePathOfRow(rows_.RowText(row));
        if (source.empty()) {
            ++result_.emptyRowsSkipped;
        } else if (!ConvertRow(row, source)) {
            // A stop in the middle of the row takes its record back: the row
            // is not reached. A failed row that ends the run is counted failed.
            result_.notReached = rowCount - row - (result_.stopped ? 0 : 1);
            break;
        }
        if (hooks_.progress) {
            hooks_.progress(row + 1, rows_.RowCount());
        }
    }
    Finish();
    result_.nothingToConvert = result_.messagesConverted == 0 && result_.failures.empty() &&
                               result_.emptyRowsSkipped == rowCount;
    return result_;
}

// The output is set up at the first message, so that a list of empty rows
// leaves no trace; a run that cannot have it converts nothing.
void Run::StartOutput() {
    LedgerRun run{std::string(options_.target.Name()), options_.stores};
    output_ = std::make_unique<ResumableOutput>(root_, options_.convertAgain, run);
    result_.damagedLedgerLines = output_->DamagedLedgerLines();
    writer_.SetEvents(output_.get());
    writer_.SetInterruption([this] { return StopRequested(); });
    if (options_.readAhead) {
        readAhead_ = std::make_unique<ReadAheadThread>();
    }
}

// Rows are asked for only past a row being converted, so a run over messages
// converted before reads nothing ahead.
std::unique_ptr<ReadAheadMessage> Run::ReadAhead(int row, const std::string& source) {
    if (!readAhead_) {
        return nullptr;
    }
    const int last = std::min(rows_.RowCount() - 1, row + kRowsAhead);
    for (int next = std::max(requestedThrough_, row) + 1; next <= last; ++next) {
        const std::string path = SourcePathOfRow(rows_.RowText(next));
        if (!path.empty()) {
            readAhead_->Request(next, path);
        }
        requestedThrough_ = next;
    }
    std::unique_ptr<ReadAheadMessage> message = readAhead_->Take(row, source);
    if (message && !SameFile(*message, output_->Consulted())) {
        message.reset(); // read again here, as the ledger found it
    }
    return message;
}

const std::string& Run::MailboxOf(const std::string& source) {
    std::string directory = DirectoryPart(source, options_.syntax);
    if (mailbox_.empty() || directory != sourceFolder_) {
        EnterFolder(source, std::move(directory));
    }
    return mailbox_;
}

// The mailbox switch, at the first row of another source folder: its mailbox
// is derived, and its mirrored folder made the first time the run comes to it.
// The writer closes the previous mailbox when the next record goes elsewhere.
void Run::EnterFolder(const std::string& source, std::string directory) {
    mailbox_.clear(); // stays empty should the derivation fail
    const MailboxPlace place = options_.target.PlaceOf(
        source, InnermostStore(source, options_.stores, options_.syntax), root_, options_.syntax);
    if (!ensuredFolders_.contains(place.folder)) {
        EnsureDirectoryPath(tree_, place.folder);
        EnsureMailboxFiles(place.parentMailboxes);
        ensuredFolders_.insert(place.folder);
    }
    mailbox_ = place.mailbox;
    sourceFolder_ = std::move(directory);
    mailboxCounted_ = false;
}

// A mailbox counts once, as created or appended, by what its first record
// found; a folder met again later in the list does not count it again.
void Run::CountMailbox(bool created) {
    if (!std::exchange(mailboxCounted_, true) && mailboxesSeen_.insert(mailbox_).second) {
        ++(created ? result_.mailboxesCreated : result_.mailboxesAppended);
    }
}

bool Run::ConvertRow(int row, const std::string& source) {
    if (options_.target.KeepsMessagesApart()) {
        return StoreRow(row, source);
    }
    if (!output_) {
        StartOutput();
    }
    try {
        const std::string& mailbox = MailboxOf(source);
        const ConversionLedger::Seen seen = output_->Consult(source, mailbox);
        if (seen == ConversionLedger::Seen::Converted ||
            seen == ConversionLedger::Seen::ListedTwice) {
            if (readAhead_) {
                readAhead_->DropThrough(row);
            }
            ++result_.alreadyConverted;
            result_.listedTwice += seen == ConversionLedger::Seen::ListedTwice ? 1 : 0;
            return true;
        }
        // The window handles its events in a yield, and the writer yields only
        // before a record begins and after it is whole, so nothing the window
        // does there (a stop, an emptied list) ever meets half a record.
        CallYield(hooks_.yield);
        const std::unique_ptr<ReadAheadMessage> early = ReadAhead(row, source);
        const AppendStats stats = early ? writer_.Append(*early, source, mailbox, hooks_.yield)
                                        : writer_.Append(source, mailbox, hooks_.yield);
        TakeOutputReports();
        if (stats.empty) {
            if (emptySeen_.insert(source).second) { // a file listed twice is listed once
                result_.emptyMessages.push_back(source);
            }
            return true;
        }
        if (stats.found) {
            ++result_.alreadyConverted;
            ++result_.foundByContent;
            return true;
        }
        if (seen == ConversionLedger::Seen::Changed) {
            result_.changedSinceConverted.push_back(source);
        }
        lastConverted_ = RowFailure{row, source, mailbox, {}};
        lastInMailbox_[mailbox] = *lastConverted_;
        Converted(stats);
    } catch (const RunInterrupted&) {
        result_.stopped = true;
        return false;
    } catch (const OutputRefused& error) {
        result_.failures.push_back({row, source, mailbox_, error.what()});
        result_.refused = true;
        return false;
    } catch (const ConversionError& error) {
        TakeOutputReports();
        result_.failures.push_back({row, source, mailbox_, error.what()});
        return GoOnAfter(result_.failures.back());
    }
    return true;
}

bool Run::GoOnAfter(const RowFailure& failure) {
    if (keepGoing_) {
        return true;
    }
    const FailureChoice choice = hooks_.failed ? hooks_.failed(failure) : FailureChoice::Stop;
    keepGoing_ = choice == FailureChoice::SkipAll;
    stoppedAtFailure_ = choice == FailureChoice::Stop;
    return !stoppedAtFailure_;
}

void Run::Converted(const AppendStats& stats) {
    ++result_.messagesConverted;
    result_.bytesRead += stats.bytesRead;
    result_.bytesWritten += stats.bytesWritten;
    result_.fieldsAdded += stats.fieldsAdded ? 1 : 0;
    if (hooks_.messageConverted) {
        hooks_.messageConverted(stats.bytesRead);
    }
    CountMailbox(stats.createdMailbox);
}

// Closing the last mailbox and flushing the ledger are part of the last
// message's conversion: their failure is that message's.
void Run::Finish() {
    try {
        writer_.Close();
        if (output_) {
            const bool allRows = !result_.stopped && !result_.refused && !stoppedAtFailure_;
            output_->Finish(allRows, {static_cast<std::uint64_t>(result_.messagesConverted),
                                      static_cast<std::uint64_t>(result_.alreadyConverted),
                                      static_cast<std::uint64_t>(result_.failures.size())});
        }
    } catch (const ConversionError& error) {
        CloseFailed(error);
    }
    TakeOutputReports();
    FinishStore();
}

// The messages a store took but had not stored yet go now; those it then
// refuses (or cannot be known stored) are named each, any other failure is
// the last message's.
void Run::FinishStore() {
    const std::size_t failuresBefore = result_.failures.size();
    try {
        store_.Finish();
    } catch (const ConversionError& error) {
        SettleRefusals();
        if (result_.failures.size() == failuresBefore) {
            CloseFailed(error);
        }
        return;
    }
    SettleRefusals();
}

const std::string& Run::StoreMailboxOf(const std::string& source) {
    std::string directory = DirectoryPart(source, options_.syntax);
    if (mailbox_.empty() || directory != sourceFolder_) {
        mailbox_.clear(); // stays empty should the store refuse the mailbox
        bool created = false;
        mailbox_ = store_.Mailbox(source, created);
        sourceFolder_ = std::move(directory);
        mailboxCounted_ = false;
        if (created) {
            CountMailbox(true);
        }
    }
    return mailbox_;
}

// The store is opened at the first message, as an output is; one that cannot
// be reached (a refused login) ends the run before anything is converted.
bool Run::SettleRefusals() {
    bool goOn = true;
    for (const StoreOutput::Refused& refused : store_.TakeRefusals()) {
        --result_.messagesConverted;
        result_.bytesRead -= refused.stored.bytesRead;
        result_.bytesWritten -= refused.stored.bytesStored;
        result_.failures.push_back(refused.failure);
        goOn = goOn && GoOnAfter(result_.failures.back());
    }
    return goOn;
}

bool Run::StoreRow(int row, const std::string& source) {
    bool opened = false;
    try {
        store_.Open();
        opened = true;
        const std::string& mailbox = StoreMailboxOf(source);
        CallYield(hooks_.yield);
        const StoreOutput::Stored stored = store_.Put(row, source, mailbox);
        if (stored.empty) {
            if (emptySeen_.insert(source).second) {
                result_.emptyMessages.push_back(source);
            }
        } else if (stored.outcome == MessageStore::Outcome::AlreadyThere) {
            ++result_.alreadyConverted;
        } else {
            lastConverted_ = RowFailure{row, source, mailbox, {}};
            Converted({stored.bytesRead, stored.bytesStored, false, false, false});
            CallYield(hooks_.yield);
        }
        return SettleRefusals();
    } catch (const RunInterrupted&) {
        result_.stopped = true;
        return false;
    } catch (const ImapError& error) {
        if (!opened) {
            throw;
        }
        // Still cut off after every try: the rest would fare no better.
        const bool goOn = SettleRefusals();
        result_.failures.push_back({row, source, mailbox_, error.what()});
        return goOn && !error.ConnectionLost() && GoOnAfter(result_.failures.back());
    } catch (const ConversionError& error) {
        if (!opened) {
            throw; // the store itself cannot be had: nothing can be converted
        }
        const bool goOn = SettleRefusals();
        result_.failures.push_back({row, source, mailbox_, error.what()});
        return goOn && GoOnAfter(result_.failures.back());
    }
    return true;
}

void Run::TakeOutputReports() {
    if (output_) {
        for (std::string& line : output_->TakeCutBack()) {
            result_.mailboxesCutBack.push_back(std::move(line));
        }
        for (std::string& line : output_->TakeTailsKept()) {
            result_.tailsKept.push_back(std::move(line));
        }
        for (std::string& line : output_->TakeMerged()) {
            result_.mailboxesMerged.push_back(std::move(line));
        }
        for (auto& [mailbox, reason] : output_->TakeFlushFailures()) {
            const auto last = lastInMailbox_.find(mailbox);
            RowFailure failure = last != lastInMailbox_.end() ? last->second : RowFailure{};
            failure.reason = std::move(reason);
            result_.failures.push_back(std::move(failure));
        }
    }
}

// Messages whose ledger lines were not written are not converted for good:
// the next run takes their records back and converts them again.
void Run::CloseFailed(const ConversionError& error) {
    RowFailure failure = lastConverted_.value_or(RowFailure{});
    failure.reason = error.what();
    const auto unrecorded = static_cast<int>(
        std::min<std::uint64_t>(output_ ? output_->UnrecordedMessages() : 0,
                                static_cast<std::uint64_t>(result_.messagesConverted)));
    if (unrecorded > 0) {
        result_.messagesConverted -= unrecorded;
        failure.reason += "; " + std::to_string(unrecorded) +
                          " message(s) converted before it are not recorded, and the next run "
                          "converts them again";
    }
    result_.failures.push_back(failure);
}

} // namespace

RunResult RunConversion(const MessageRows& rows, const std::string& outputRoot,
                        const RunHooks& hooks, const RunOptions& options) {
    return Run(rows, outputRoot, hooks, options).Go();
}

} // namespace marrowgate

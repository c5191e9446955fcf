#include "marrowgate/ConversionRun.h"

#include "ledger/OutputRefused.h"
#include "ledger/ResumableOutput.h"
#include "marrowgate/ConversionError.h"
#include "marrowgate/PathDerivation.h"
#include "marrowgate/PathParts.h"
#include "output/MailboxWriter.h"
#include "output/OutputTree.h"
#include "output/RunInterrupted.h"
#include "output/modMain.h"
#include "platform/FileSystem.h"
#include "run/ReadAheadMessage.h"
#include "run/ReadAheadThread.h"
#include "run/RunOverRows.h"
#include "run/StoreRun.h"

#include <algorithm>
#include <functional>
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

// A run into mbox mailboxes; see RunConversion().
class MboxRun : public RunOverRows {
public:
    MboxRun(const MessageRows& rows, const std::string& outputRoot, const RunHooks& hooks,
            const RunOptions& options)
        : RunOverRows(rows, hooks, options), root_(NormaliseOutputRoot(outputRoot, options.syntax)),
          writer_(options.target, &tree_) {}

private:
    bool ConvertRow(int row, const std::string& source) override;
    void Finish() override;
    void StartOutput();
    void Converted(const AppendStats& stats);
    void TakeOutputReports();

    // The mailbox switch, at the first row of another source folder.
    const std::string& MailboxOf(const std::string& source);
    void EnterFolder(const std::string& source, std::string directory);

    // Hands the record starts of the other messages of the source folder
    // being converted to `proves` until it returns true.
    void OtherStarts(const std::function<bool(std::string_view, bool)>& proves);

    // The message of `row` as read ahead, when it is the file consulted;
    // asks for the rows after it.
    std::unique_ptr<ReadAheadMessage> ReadAhead(int row, const std::string& source);

    const std::string root_;
    std::unique_ptr<ResumableOutput> output_; // made at the first message
    std::unique_ptr<ReadAheadThread> readAhead_;
    int requestedThrough_ = -1; // the last row asked to be read ahead
    OutputTree tree_{root_};
    MailboxWriter writer_;
    std::unique_ptr<MailboxWriter> starts_; // makes other messages' record starts
    int row_ = 0;                           // being converted
    // The last message converted into each mailbox answers for its flush.
    std::unordered_map<std::string, RowFailure> lastInMailbox_;
    // The mirrored folders made so far.
    std::unordered_set<std::string> ensuredFolders_;
};

// The output is set up at the first message, so that a list of empty rows
// leaves no trace; a run that cannot have it converts nothing.
void MboxRun::StartOutput() {
    LedgerRun run{std::string(options_.target.Name()), options_.stores};
    output_ = std::make_unique<ResumableOutput>(root_, options_.convertAgain, run);
    result_.damagedLedgerLines = output_->DamagedLedgerLines();
    writer_.SetEvents(output_.get());
    output_->SetOtherStarts([this](const auto& proves) { OtherStarts(proves); });
    writer_.SetInterruption([this] { return StopRequested(); });
    if (options_.readAhead) {
        readAhead_ = std::make_unique<ReadAheadThread>();
    }
}

// Rows are asked for only past a row being converted, so a run over messages
// converted before reads nothing ahead.
std::unique_ptr<ReadAheadMessage> MboxRun::ReadAhead(int row, const std::string& source) {
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

// Rare (a killed run's record cut short, then another message to write), so
// each message's start is read again; the part in hand proves as much as the
// writer's own proof does.
void MboxRun::OtherStarts(const std::function<bool(std::string_view, bool)>& proves) {
    constexpr std::size_t kStartBytes = 256 * 1024;
    if (!starts_) {
        starts_ = std::make_unique<MailboxWriter>(options_.target);
    }
    const auto inFolder = [&](int row) {
        const std::string path = SourcePathOfRow(rows_.RowText(row));
        return !path.empty() && DirectoryPart(path, options_.syntax) == sourceFolder_;
    };
    int first = row_;
    while (first > 0 && inFolder(first - 1)) {
        --first;
    }
    for (int row = first; row < rows_.RowCount(); ++row) {
        if (row == row_) {
            continue;
        }
        if (row > row_ && !inFolder(row)) {
            return;
        }
        bool whole = false;
        try {
            const std::optional<std::string> start =
                starts_->RecordStart(SourcePathOfRow(rows_.RowText(row)), kStartBytes, whole);
            if (start && proves(*start, whole)) {
                return;
            }
        } catch (const ConversionError&) {
            // That one cannot prove anything; its own row reports it.
        }
    }
}

const std::string& MboxRun::MailboxOf(const std::string& source) {
    std::string directory = DirectoryPart(source, options_.syntax);
    if (mailbox_.empty() || directory != sourceFolder_) {
        EnterFolder(source, std::move(directory));
    }
    return mailbox_;
}

// The mailbox switch, at the first row of another source folder: its mailbox
// is derived, and its mirrored folder made the first time the run comes to it.
// The writer closes the previous mailbox when the next record goes elsewhere.
void MboxRun::EnterFolder(const std::string& source, std::string directory) {
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

bool MboxRun::ConvertRow(int row, const std::string& source) {
    if (!output_) {
        StartOutput();
    }
    row_ = row;
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
            NoteEmpty(source);
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

void MboxRun::Converted(const AppendStats& stats) {
    result_.fieldsAdded += stats.fieldsAdded ? 1 : 0;
    Counted(stats.bytesRead, stats.bytesWritten, stats.createdMailbox);
}

// Closing the last mailbox and flushing the ledger are part of the last
// message's conversion: their failure is that message's.
void MboxRun::Finish() {
    try {
        writer_.Close();
        if (output_) {
            output_->Finish(AllRows(), {static_cast<std::uint64_t>(result_.messagesConverted),
                                        static_cast<std::uint64_t>(result_.alreadyConverted),
                                        static_cast<std::uint64_t>(result_.failures.size())});
        }
    } catch (const ConversionError& error) {
        CloseFailed(error, output_ ? output_->UnrecordedMessages() : 0);
    }
    TakeOutputReports();
}

void MboxRun::TakeOutputReports() {
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

} // namespace

RunResult RunConversion(const MessageRows& rows, const std::string& outputRoot,
                        const RunHooks& hooks, const RunOptions& options) {
    if (options.target.KeepsMessagesApart()) {
        return RunIntoStore(rows, outputRoot, hooks, options);
    }
    return MboxRun(rows, outputRoot, hooks, options).Go();
}

} // namespace marrowgate

#include "run/StoreRun.h"

#include "marrowgate/PathDerivation.h"
#include "marrowgate/PathParts.h"
#include "output/RunInterrupted.h"
#include "output/imap/ImapError.h"
#include "run/RunOverRows.h"
#include "run/StoreOutput.h"

#include <utility>

namespace marrowgate {
namespace {

class StoreRun : public RunOverRows {
public:
    StoreRun(const MessageRows& rows, const std::string& output, const RunHooks& hooks,
             const RunOptions& options)
        : RunOverRows(rows, hooks, options),
          store_(options, output, NormaliseOutputRoot(output, options.syntax),
                 [this] { return StopRequested(); }) {}

private:
    bool ConvertRow(int row, const std::string& source) override;
    void Finish() override;
    const std::string& MailboxOf(const std::string& source);
    void Tally(int row, const std::string& source, const StoreOutput::Stored& stored);
    // Messages counted as converted that the store refused since: their
    // failures. False when the run ends there.
    bool SettleRefusals();

    StoreOutput store_;
    bool opened_ = false;
};

const std::string& StoreRun::MailboxOf(const std::string& source) {
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

void StoreRun::Tally(int row, const std::string& source, const StoreOutput::Stored& stored) {
    if (stored.empty) {
        NoteEmpty(source);
        return;
    }
    if (stored.outcome != StoreOutput::Outcome::Stored) {
        ++result_.alreadyConverted;
        result_.listedTwice += stored.listedTwice ? 1 : 0;
        result_.foundByContent += stored.outcome == StoreOutput::Outcome::Found ? 1 : 0;
        return;
    }
    if (stored.changed) {
        result_.changedSinceConverted.push_back(source);
    }
    lastConverted_ = RowFailure{row, source, mailbox_, {}};
    Counted(stored.bytesRead, stored.bytesStored, false);
}

// The store is opened at the first message, as an output is; one that cannot
// be reached (a refused login, another upload holding the ledger) ends the
// run before anything is converted.
bool StoreRun::ConvertRow(int row, const std::string& source) {
    if (!opened_) {
        store_.Open();
        result_.damagedLedgerLines = store_.DamagedLedgerLines();
        opened_ = true;
    }
    try {
        const std::string& mailbox = MailboxOf(source);
        CallYield(hooks_.yield);
        Tally(row, source, store_.Put(row, source, mailbox));
        CallYield(hooks_.yield);
        return SettleRefusals();
    } catch (const RunInterrupted&) {
        result_.stopped = true;
        return false;
    } catch (const ImapError& error) {
        // Still cut off after every try: the rest would fare no better.
        const bool goOn = SettleRefusals();
        result_.failures.push_back({row, source, mailbox_, error.what()});
        return goOn && !error.ConnectionLost() && GoOnAfter(result_.failures.back());
    } catch (const ConversionError& error) {
        const bool goOn = SettleRefusals();
        result_.failures.push_back({row, source, mailbox_, error.what()});
        return goOn && GoOnAfter(result_.failures.back());
    }
}

bool StoreRun::SettleRefusals() {
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

// The messages the store took but had not stored yet go now; those it then
// refuses (or cannot be known stored) are named each, any other failure is
// the last message's. The ledger's end comes after, with the figures.
void StoreRun::Finish() {
    const std::size_t failuresBefore = result_.failures.size();
    try {
        store_.Finish();
    } catch (const ConversionError& error) {
        SettleRefusals();
        if (result_.failures.size() == failuresBefore) {
            CloseFailed(error, 0);
        }
    }
    SettleRefusals();
    try {
        store_.Close(AllRows() && result_.failures.size() == failuresBefore,
                     {static_cast<std::uint64_t>(result_.messagesConverted),
                      static_cast<std::uint64_t>(result_.alreadyConverted),
                      static_cast<std::uint64_t>(result_.failures.size())});
    } catch (const ConversionError& error) {
        CloseFailed(error, 0);
    }
}

} // namespace

RunResult RunIntoStore(const MessageRows& rows, const std::string& output, const RunHooks& hooks,
                       const RunOptions& options) {
    return StoreRun(rows, output, hooks, options).Go();
}

} // namespace marrowgate

#pragma once

#include "marrowgate/ConversionError.h"
#include "marrowgate/ConversionRun.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

namespace marrowgate {

// What every run over a list of rows shares, whatever its target: the rows
// taken first to last with a stop between them, what a failed row asks, the
// mailbox of each source folder counted once, the run's figures. A target
// converts each row (ConvertRow) and makes its output durable at the end
// (Finish).
class RunOverRows {
public:
    RunOverRows(const MessageRows& rows, const RunHooks& hooks, const RunOptions& options);
    virtual ~RunOverRows() = default;
    RunOverRows(const RunOverRows&) = delete;
    RunOverRows& operator=(const RunOverRows&) = delete;

    RunResult Go();

protected:
    // False when the run ends at this row.
    virtual bool ConvertRow(int row, const std::string& source) = 0;
    virtual void Finish() = 0;

    bool StopRequested() const { return hooks_.stopRequested && hooks_.stopRequested(); }
    // Whether to go on after `failure`: asks hooks.failed unless keeping on.
    bool GoOnAfter(const RowFailure& failure);
    // The run went through every row: nothing stopped it.
    bool AllRows() const { return !result_.stopped && !result_.refused && !stoppedAtFailure_; }
    // A file with nothing but white space: named once however often listed.
    void NoteEmpty(const std::string& source);
    // A message converted into mailbox_: its figures, and the mailbox counted
    // once, as created or appended, by what its first message found.
    void Counted(std::uint64_t bytesRead, std::uint64_t bytesWritten, bool createdMailbox);
    void CountMailbox(bool created);
    // A failed close or ledger flush, charged to the last message converted;
    // `unrecorded` messages converted before it are not recorded, and the
    // next run converts them again.
    void CloseFailed(const ConversionError& error, std::uint64_t unrecorded);

    const MessageRows& rows_;
    const RunHooks& hooks_;
    const RunOptions& options_;
    RunResult result_;
    std::optional<RowFailure> lastConverted_;
    // The rows of a folder come one after another: the mailbox of one row
    // serves the next while its folder is the same.
    std::string sourceFolder_;
    std::string mailbox_;
    bool mailboxCounted_ = false;

private:
    std::unordered_set<std::string> mailboxesSeen_;
    std::unordered_set<std::string> emptySeen_;
    bool keepGoing_;
    bool stoppedAtFailure_ = false;
};

} // namespace marrowgate

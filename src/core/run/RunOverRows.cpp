#include "run/RunOverRows.h"

#include "marrowgate/PathDerivation.h"

#include <algorithm>
#include <utility>

namespace marrowgate {

RunOverRows::RunOverRows(const MessageRows& rows, const RunHooks& hooks, const RunOptions& options)
    : rows_(rows), hooks_(hooks), options_(options), keepGoing_(options.keepGoing) {}

RunResult RunOverRows::Go() {
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

bool RunOverRows::GoOnAfter(const RowFailure& failure) {
    if (keepGoing_) {
        return true;
    }
    const FailureChoice choice = hooks_.failed ? hooks_.failed(failure) : FailureChoice::Stop;
    keepGoing_ = choice == FailureChoice::SkipAll;
    stoppedAtFailure_ = choice == FailureChoice::Stop;
    return !stoppedAtFailure_;
}

void RunOverRows::NoteEmpty(const std::string& source) {
    if (emptySeen_.insert(source).second) {
        result_.emptyMessages.push_back(source);
    }
}

void RunOverRows::Counted(std::uint64_t bytesRead, std::uint64_t bytesWritten,
                          bool createdMailbox) {
    ++result_.messagesConverted;
    result_.bytesRead += bytesRead;
    result_.bytesWritten += bytesWritten;
    if (hooks_.messageConverted) {
        hooks_.messageConverted(bytesRead);
    }
    CountMailbox(createdMailbox);
}

// A folder met again later in the list does not count its mailbox again.
void RunOverRows::CountMailbox(bool created) {
    if (!std::exchange(mailboxCounted_, true) && mailboxesSeen_.insert(mailbox_).second) {
        ++(created ? result_.mailboxesCreated : result_.mailboxesAppended);
    }
}

void RunOverRows::CloseFailed(const ConversionError& error, std::uint64_t unrecorded) {
    RowFailure failure = lastConverted_.value_or(RowFailure{});
    failure.reason = error.what();
    const auto taken = static_cast<int>(
        std::min<std::uint64_t>(unrecorded, static_cast<std::uint64_t>(result_.messagesConverted)));
    if (taken > 0) {
        result_.messagesConverted -= taken;
        failure.reason += "; " + std::to_string(taken) +
                          " message(s) converted before it are not recorded, and the next run "
                          "converts them again";
    }
    result_.failures.push_back(failure);
}

} // namespace marrowgate

#include "cli/StoreConversion.h"

#include "cli/CommandLine.h"

#include <utility>
#include <vector>

namespace marrowgate {

namespace {

// Adds the figures of a later run, whose rows follow `rowsBefore` rows.
void AddRun(RunResult& total, RunResult more, int rowsBefore) {
    total.messagesConverted += more.messagesConverted;
    total.alreadyConverted += more.alreadyConverted;
    for (auto list : {&RunResult::changedSinceConverted, &RunResult::emptyMessages}) {
        (total.*list).insert((total.*list).end(), (more.*list).begin(), (more.*list).end());
    }
    total.emptyRowsSkipped += more.emptyRowsSkipped;
    total.stopped = more.stopped;
    total.mailboxesCreated += more.mailboxesCreated;
    total.mailboxesAppended += more.mailboxesAppended;
    total.bytesRead += more.bytesRead;
    total.bytesWritten += more.bytesWritten;
    total.fieldsAdded += more.fieldsAdded;
    for (RowFailure& failure : more.failures) {
        failure.row += rowsBefore;
        total.failures.push_back(std::move(failure));
    }
}

} // namespace

StoreConversion::StoreConversion(const CommandLine& command)
    : command_(command), rows_(command.stores) {}

RunResult StoreConversion::Run(const Progress& progress,
                               const std::function<bool()>& stopRequested) {
    RunHooks hooks;
    hooks.messageConverted = [this](std::uint64_t bytes) { bytesRead_ += bytes; };
    hooks.progress = [this, &progress](int rowsDone, int /*total*/) {
        done_ = rowsBefore_ + rowsDone;
        progress(done_, RowCount(), bytesRead_);
    };
    hooks.stopRequested = stopRequested;
    RunOptions options;
    options.keepGoing = command_.keepGoing;
    options.target = command_.target;
    options.stores = command_.stores;
    options.convertAgain = command_.reconvert;
    options.readAhead = !command_.noReadAhead;
    options.markSeen = command_.seen;
    options.imap.login = command_.login;
    options.imap.specialFolders = command_.specialFolders;

    RunResult result = RunConversion(rows_, command_.output, hooks, options);
    if (!result.stopped && (options.keepGoing || result.failures.empty())) {
        if (std::vector<std::string> rest = rows_.TakeRest(); !rest.empty()) {
            rowsBefore_ = rows_.RowCount();
            extraRows_ = static_cast<int>(rest.size());
            AddRun(result,
                   RunConversion(VectorRows(std::move(rest)), command_.output, hooks, options),
                   rowsBefore_);
        }
    }
    return result;
}

} // namespace marrowgate

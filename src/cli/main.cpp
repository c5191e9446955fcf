// marrowgate-convert: the command-line face of the converter. Everything it
// does is done by the core, exactly as for the window.
#include "cli/CommandLine.h"
#include "cli/ProgressLine.h"
#include "cli/Utf8Arguments.h"
#include "convert/ConversionRun.h"
#include "list/WalkError.h"
#include "list/WalkedRows.h"
#include "platform/FileSystem.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

using namespace marrowgate;

namespace {

void PrintSummary(const RunResult& result, double seconds) {
    std::printf("Converted %d message%s into %d mailbox%s (%d created, %d appended to); "
                "read %.1f MB, wrote %.1f MB in %.2f s.\n",
                result.messagesConverted, result.messagesConverted == 1 ? "" : "s",
                result.mailboxesCreated + result.mailboxesAppended,
                result.mailboxesCreated + result.mailboxesAppended == 1 ? "" : "es",
                result.mailboxesCreated, result.mailboxesAppended, result.bytesRead / 1e6,
                result.bytesWritten / 1e6, seconds);
}

// Adds the figures of a later run, whose rows follow `rowsBefore` rows.
void AddRun(RunResult& total, RunResult more, int rowsBefore) {
    total.messagesConverted += more.messagesConverted;
    total.emptyRowsSkipped += more.emptyRowsSkipped;
    total.stopped = more.stopped;
    total.mailboxesCreated += more.mailboxesCreated;
    total.mailboxesAppended += more.mailboxesAppended;
    total.bytesRead += more.bytesRead;
    total.bytesWritten += more.bytesWritten;
    for (RowFailure& failure : more.failures) {
        failure.row += rowsBefore;
        total.failures.push_back(std::move(failure));
    }
}

} // namespace

int main(int argc, char** argv) {
    Utf8Arguments arguments(argc, argv);
    CommandLine command;
    if (const auto exitCode = command.Parse(arguments.Count(), arguments.Values())) {
        return *exitCode;
    }
    const auto start = std::chrono::steady_clock::now();

    // The stores are walked while they are converted, so memory does not grow
    // with their size; a first walk only counts, for the progress line.
    std::unique_ptr<WalkedRows> rows;
    try {
        rows = std::make_unique<WalkedRows>(command.stores);
    } catch (const WalkError& error) {
        std::cerr << "marrowgate-convert: " << error.what() << "\n";
        return 1;
    }
    if (rows->RowCount() == 0) {
        std::cerr << "marrowgate-convert: no .eml files found; nothing to convert\n";
        return 0;
    }

    ProgressLine progress(stderr, !command.quiet && platform::ErrorIsTerminal());
    std::uint64_t bytesRead = 0;
    int rowsBefore = 0; // rows of the runs before this one
    int extraRows = 0;  // rows found beyond the count
    RunHooks hooks;
    hooks.messageConverted = [&](std::uint64_t bytes) { bytesRead += bytes; };
    hooks.progress = [&](int done, int /*total*/) {
        progress.Update(rowsBefore + done, rows->RowCount() + extraRows, bytesRead);
    };
    RunOptions options;
    options.keepGoing = command.keepGoing;

    RunResult result = RunConversion(*rows, command.output, hooks, options);
    // Files added to the stores since the count follow, in walk order.
    if (!result.stopped && (options.keepGoing || result.failures.empty())) {
        if (std::vector<std::string> rest = rows->TakeRest(); !rest.empty()) {
            rowsBefore = rows->RowCount();
            extraRows = static_cast<int>(rest.size());
            AddRun(result,
                   RunConversion(VectorRows(std::move(rest)), command.output, hooks, options),
                   rowsBefore);
        }
    }
    progress.Done();

    for (const auto& failure : result.failures) {
        std::cerr << "marrowgate-convert: " << failure.Describe() << "\n";
    }
    // Rows left empty are files counted at the start that the walk did not
    // meet again: say so, unless the walk's failure already explains it.
    const bool filesGone = result.emptyRowsSkipped > 0 && rows->WalkFailure().empty();
    if (filesGone) {
        std::cerr << "marrowgate-convert: Could not convert " << result.emptyRowsSkipped
                  << " message file(s) counted at the start: they had gone when the walk"
                     " reached their folder\n";
    }
    if (!rows->WalkFailure().empty()) {
        std::cerr << "marrowgate-convert: " << rows->WalkFailure() << "\n";
    }
    PrintSummary(result,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return result.failures.empty() && rows->WalkFailure().empty() && !filesGone ? 0 : 1;
}

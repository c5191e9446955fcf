// marrowgate-convert: the command-line face of the converter. Everything it
// does is done by the core, exactly as for the window.
#include "cli/CommandLine.h"
#include "cli/InterruptSignals.h"
#include "cli/ProgressLine.h"
#include "cli/Utf8Arguments.h"
#include "convert/ConversionError.h"
#include "convert/ConversionRun.h"
#include "convert/OutputVerifier.h"
#include "convert/PathDerivation.h"
#include "list/WalkError.h"
#include "list/WalkedRows.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string_view>

using namespace marrowgate;

namespace {

void PrintSummary(const RunResult& result, double seconds) {
    std::printf("Converted %d message%s into %d mailbox%s (%d created, %d appended to); "
                "read %.1f MB, wrote %.1f MB in %.2f s.\n",
                result.messagesConverted, result.messagesConverted == 1 ? "" : "s",
                result.mailboxesCreated + result.mailboxesAppended,
                result.mailboxesCreated + result.mailboxesAppended == 1 ? "" : "es",
                result.mailboxesCreated, result.mailboxesAppended,
                static_cast<double>(result.bytesRead) / 1e6,
                static_cast<double>(result.bytesWritten) / 1e6, seconds);
    const auto plural = [](std::size_t n) { return n == 1 ? "" : "s"; };
    if (result.alreadyConverted > 0) {
        std::printf("Already converted: %d message%s, skipped.\n", result.alreadyConverted,
                    plural(result.alreadyConverted));
    }
    if (!result.changedSinceConverted.empty()) {
        std::printf("Changed since converted, converted again: %zu message%s.\n",
                    result.changedSinceConverted.size(),
                    plural(result.changedSinceConverted.size()));
    }
    if (!result.emptyMessages.empty()) {
        std::printf("Empty, nothing to convert: %zu file%s.\n", result.emptyMessages.size(),
                    plural(result.emptyMessages.size()));
    }
}

void ListPaths(const char* what, const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        std::printf("%s: %s\n", what, path.c_str());
    }
}

void PrintImportSteps(const OutputTarget& target, const RunResult& result) {
    if (result.fieldsAdded > 0) {
        std::printf("%d message%s did not start with two header fields and got X-Marrowgate- "
                    "fields at the top, so that mail programs read %s as messages.\n",
                    result.fieldsAdded, result.fieldsAdded == 1 ? "" : "s",
                    result.fieldsAdded == 1 ? "it" : "them");
    }
    if (target.GetKind() == OutputTarget::Kind::Entourage || result.messagesConverted == 0) {
        return;
    }
    std::printf("To import into %s:\n", std::string(target.Name()).c_str());
    int step = 0;
    for (const auto& line : target.ImportSteps()) {
        std::printf("  %d. %s\n", ++step, line.c_str());
    }
}

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

// Characters on screen: UTF-8 continuation bytes take no column.
std::size_t Columns(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// Checks the output against the stores; false on any problem, each one a line
// on stderr after the table.
bool Verify(const CommandLine& command) {
    VerifyReport report;
    try {
        report = VerifyOutput(command.stores, NormaliseOutputRoot(command.output), command.target);
    } catch (const std::exception& error) {
        std::cerr << "marrowgate-convert: cannot verify: " << error.what() << "\n";
        return false;
    }
    constexpr std::string_view kFolder = "Folder";
    std::size_t width = kFolder.size();
    for (const auto& folder : report.folders) {
        width = std::max(width, Columns(folder.folder));
    }
    std::printf("Verification against the output's records:\n  %-*s  %8s  %8s  %8s\n",
                static_cast<int>(width), kFolder.data(), "Messages", "Verified", "Problems");
    for (const auto& folder : report.folders) {
        std::printf("  %s%*s  %8d  %8d  %8d\n", folder.folder.c_str(),
                    static_cast<int>(width - Columns(folder.folder)), "", folder.messages,
                    folder.verified, folder.problems);
    }
    std::printf("%d of %d message%s verified%s; %zu problem%s.\n", report.verified, report.messages,
                report.messages == 1 ? "" : "s",
                report.empty > 0 ? " (empty files need no record)" : "", report.problems.size(),
                report.problems.size() == 1 ? "" : "s");
    std::fflush(stdout);
    for (const auto& problem : report.problems) {
        std::cerr << "marrowgate-convert: " << problem.Describe() << "\n";
    }
    return report.Passed();
}

} // namespace

static int Convert(int argc, char** argv) {
    CommandLine command;
    if (const auto exitCode = command.Parse(argc, argv)) {
        return *exitCode;
    }
    const auto start = std::chrono::steady_clock::now();
    // From here on a signal ends the program between records, with its line.
    InterruptSignals::Catch();

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
    int done = 0;       // rows done, in all runs
    RunHooks hooks;
    hooks.messageConverted = [&](std::uint64_t bytes) { bytesRead += bytes; };
    hooks.progress = [&](int rowsDone, int /*total*/) {
        done = rowsBefore + rowsDone;
        progress.Update(done, rows->RowCount() + extraRows, bytesRead);
    };
    hooks.stopRequested = [] { return InterruptSignals::Received() != 0; };
    RunOptions options;
    options.keepGoing = command.keepGoing;
    options.target = command.target;
    options.stores = command.stores;
    options.convertAgain = command.reconvert;

    RunResult result;
    try {
        result = RunConversion(*rows, command.output, hooks, options);
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
    } catch (const ConversionError& error) {
        progress.Done();
        std::cerr << "marrowgate-convert: " << error.what() << "\n";
        return 1;
    }
    progress.Done();
    if (const int signal = InterruptSignals::Received(); signal != 0 && result.stopped) {
        for (const auto& failure : result.failures) {
            std::cerr << "marrowgate-convert: " << failure.Describe() << "\n";
        }
        std::cerr << "Interrupted after " << done << " of " << rows->RowCount() + extraRows
                  << " messages; run the same command again to continue\n";
        return 128 + signal;
    }

    for (const auto& failure : result.failures) {
        std::cerr << "marrowgate-convert: " << failure.Describe() << "\n";
    }
    ListPaths("Changed since converted, converted again", result.changedSinceConverted);
    ListPaths("Empty, nothing to convert", result.emptyMessages);
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
    PrintImportSteps(command.target, result);
    const bool verified = !command.verify || Verify(command);
    return result.failures.empty() && rows->WalkFailure().empty() && !filesGone && verified ? 0 : 1;
}

// Whatever escapes the run ends it with one line, not an abort.
int main(int argc, char** argv) {
    try {
        Utf8Arguments arguments(argc, argv);
        return Convert(arguments.Count(), arguments.Values());
    } catch (const std::exception& error) {
        std::cerr << "marrowgate-convert: " << error.what() << "\n";
    } catch (...) {
        std::cerr << "marrowgate-convert: stopped by an unexpected error\n";
    }
    return 1;
}

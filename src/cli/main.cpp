// marrowgate-convert: the command-line face of the converter. Everything it
// does is done by the core, exactly as for the window.
#include "cli/CommandLine.h"
#include "cli/InterruptSignals.h"
#include "cli/ProgressLine.h"
#include "convert/ConversionError.h"
#include "convert/ConversionRun.h"
#include "list/StoreScan.h"
#include "list/WalkError.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <iterator>

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

} // namespace

int main(int argc, char** argv) {
    CommandLine command;
    if (const auto exitCode = command.Parse(argc, argv)) {
        return *exitCode;
    }
    const auto start = std::chrono::steady_clock::now();
    // From here on a signal ends the program between records, with its line.
    InterruptSignals::Catch();

    std::vector<std::string> messages;
    for (const auto& store : command.stores) {
        try {
            auto found = CollectMessageFiles(store);
            messages.insert(messages.end(), std::make_move_iterator(found.begin()),
                            std::make_move_iterator(found.end()));
        } catch (const WalkError& error) {
            std::cerr << "marrowgate-convert: " << error.what() << "\n";
            return 1;
        }
    }
    if (messages.empty()) {
        std::cerr << "marrowgate-convert: no .eml files found; nothing to convert\n";
        return 0;
    }

    ProgressLine progress(stderr, !command.quiet && ::isatty(STDERR_FILENO));
    std::uint64_t bytesRead = 0;
    int done = 0;
    RunHooks hooks;
    hooks.messageConverted = [&](std::uint64_t bytes) { bytesRead += bytes; };
    hooks.progress = [&](int rowsDone, int total) {
        done = rowsDone;
        progress.Update(rowsDone, total, bytesRead);
    };
    hooks.stopRequested = [] { return InterruptSignals::Received() != 0; };
    RunOptions options;
    options.keepGoing = command.keepGoing;
    options.convertAgain = command.reconvert;

    const VectorRows rows(std::move(messages));
    RunResult result;
    try {
        result = RunConversion(rows, command.output, hooks, options);
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
        std::cerr << "Interrupted after " << done << " of " << rows.RowCount()
                  << " messages; run the same command again to continue\n";
        return 128 + signal;
    }

    for (const auto& failure : result.failures) {
        std::cerr << "marrowgate-convert: " << failure.Describe() << "\n";
    }
    ListPaths("Changed since converted, converted again", result.changedSinceConverted);
    ListPaths("Empty, nothing to convert", result.emptyMessages);
    PrintSummary(result,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return result.failures.empty() ? 0 : 1;
}

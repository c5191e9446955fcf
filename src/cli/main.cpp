// marrowgate-convert: the command-line face of the converter. Everything it
// does is done by the core, exactly as for the window.
#include "cli/CommandLine.h"
#include "cli/ProgressLine.h"
#include "cli/Utf8Arguments.h"
#include "convert/ConversionRun.h"
#include "list/StoreScan.h"
#include "list/WalkError.h"
#include "platform/FileSystem.h"

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
}

} // namespace

int main(int argc, char** argv) {
    Utf8Arguments arguments(argc, argv);
    CommandLine command;
    if (const auto exitCode = command.Parse(arguments.Count(), arguments.Values())) {
        return *exitCode;
    }
    const auto start = std::chrono::steady_clock::now();

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

    ProgressLine progress(stderr, !command.quiet && platform::ErrorIsTerminal());
    std::uint64_t bytesRead = 0;
    RunHooks hooks;
    hooks.messageConverted = [&](std::uint64_t bytes) { bytesRead += bytes; };
    hooks.progress = [&](int done, int total) { progress.Update(done, total, bytesRead); };
    RunOptions options;
    options.keepGoing = command.keepGoing;

    const VectorRows rows(std::move(messages));
    const RunResult result = RunConversion(rows, command.output, hooks, options);
    progress.Done();

    for (const auto& failure : result.failures) {
        std::cerr << "marrowgate-convert: " << failure.Describe() << "\n";
    }
    PrintSummary(result,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return result.failures.empty() ? 0 : 1;
}

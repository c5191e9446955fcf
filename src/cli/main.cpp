// marrowgate-convert: the command-line face of the converter. Everything it
// does is done by the core, exactly as for the window; this only reads the
// command line, shows the progress and says how the run went.
#include "cli/AccountLogin.h"
#include "cli/CommandLine.h"
#include "cli/InterruptSignals.h"
#include "cli/ProgressLine.h"
#include "cli/RunReport.h"
#include "cli/Utf8Arguments.h"
#include "cli/VerificationTable.h"
#include "marrowgate/ConversionError.h"
#include "marrowgate/StoreConversion.h"
#include "marrowgate/Terminal.h"
#include "marrowgate/WalkError.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

using namespace marrowgate;

namespace {

int Convert(int argc, char** argv) {
    CommandLine command;
    if (const auto exitCode = command.Parse(argc, argv)) {
        return *exitCode;
    }
    if (const auto exitCode = GatherAccountLogin(command)) {
        return *exitCode;
    }
    const auto start = std::chrono::steady_clock::now();
    // From here on a signal ends the program between records, with its line.
    InterruptSignals::Catch();

    std::unique_ptr<StoreConversion> conversion;
    try {
        conversion = std::make_unique<StoreConversion>(command.output, command.Options());
    } catch (const WalkError& error) {
        std::cerr << "marrowgate-convert: " << error.what() << "\n";
        return 1;
    }
    if (conversion->RowCount() == 0) {
        std::cerr << "marrowgate-convert: no .eml files found; nothing to convert\n";
        return 0;
    }

    ProgressLine progress(stderr, !command.quiet && platform::ErrorIsTerminal());
    RunResult result;
    try {
        result = conversion->Run(
            [&progress](int done, int total, std::uint64_t bytesRead) {
                progress.Update(done, total, bytesRead);
            },
            [] { return InterruptSignals::Received() != 0; });
    } catch (const ConversionError& error) {
        progress.Done();
        std::cerr << "marrowgate-convert: " << error.what() << "\n";
        return 1;
    }
    progress.Done();

    const RunReport report(result, conversion->WalkFailure());
    if (const int signal = InterruptSignals::Received(); signal != 0 && result.stopped) {
        report.PrintInterrupted(conversion->Done(), conversion->RowCount());
        return 128 + signal;
    }
    report.Print(command.target,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    const bool verified = !command.verify || PrintVerificationTable(command);
    return report.Succeeded() && verified ? 0 : 1;
}

} // namespace

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

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
#include "marrowgate/LastRun.h"
#include "marrowgate/PathDerivation.h"
#include "marrowgate/StoreConversion.h"
#include "marrowgate/Terminal.h"
#include "marrowgate/WalkError.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

using namespace marrowgate;

namespace {

// --verify-only: the output checked, nothing converted or written. The
// target is the one the output's last run wrote for, unless given.
int VerifyOnly(CommandLine& command) {
    if (!command.targetGiven) {
        try {
            const auto last = ReadLastRun(NormaliseOutputRoot(command.output));
            if (last && OutputTarget::Named(last->target)) {
                command.target = *OutputTarget::Named(last->target);
            }
        } catch (const ConversionError&) {
            // The default target, as without a ledger.
        }
    }
    return PrintVerificationTable(command) ? 0 : 1;
}

int Convert(int argc, char** argv) {
    CommandLine command;
    if (const auto exitCode = command.Parse(argc, argv)) {
        return *exitCode;
    }
    if (const auto exitCode = GatherAccountLogin(command)) {
        return *exitCode;
    }
    if (command.verifyOnly) {
        return VerifyOnly(command);
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

    const RunReport report(result, conversion->WalkFailure(), conversion->PassedOver());
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

// What could not be written to standard output (a full disk, a closed
// pipe) makes the run fail, as GNU tools do: its report was lost.
int Reported(int exitCode) {
    std::cout.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout) {
        const int error = errno;
        std::cerr << "marrowgate-convert: cannot write to standard output: " << std::strerror(error)
                  << "\n";
        exitCode = exitCode == 0 ? 1 : exitCode;
    }
    std::cerr.flush();
    if (!std::cerr || std::fflush(stderr) != 0 || std::ferror(stderr)) {
        exitCode = exitCode == 0 ? 1 : exitCode;
    }
    return exitCode;
}

// Whatever escapes the run ends it with one line, not an abort.
int main(int argc, char** argv) {
    try {
        Utf8Arguments arguments(argc, argv);
        return Reported(Convert(arguments.Count(), arguments.Values()));
    } catch (const std::exception& error) {
        std::cerr << "marrowgate-convert: " << error.what() << "\n";
    } catch (...) {
        std::cerr << "marrowgate-convert: stopped by an unexpected error\n";
    }
    return 1;
}

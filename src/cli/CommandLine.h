#pragma once

#include "marrowgate/ConversionRun.h"
#include "marrowgate/ImapOptions.h"
#include "marrowgate/OutputTarget.h"

#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace marrowgate {

// The converter's command line: marrowgate-convert [options] -o OUTPUT STORE...
class CommandLine {
public:
    // Reads the arguments. Returns the exit code when the program should stop
    // here: 0 after --help or --version, 0 or 1 after --find-store, 2 on bad
    // usage (the reason printed).
    std::optional<int> Parse(int argc, char** argv);

    // Absolute, as the file system resolves them (links followed), without a
    // final separator. The output folder may not exist yet.
    std::string output;
    std::vector<std::string> stores;
    bool quiet = false;
    bool keepGoing = false;
    OutputTarget target;
    bool verify = false;
    bool verifyOnly = false;
    bool targetGiven = false; // --target was on the command line
    bool reconvert = false;
    bool noReadAhead = false;
    bool findStore = false; // answered by Parse()

    // The maildir and imap targets.
    bool seen = false;
    // The imap target: OUTPUT is the account's URL, unchanged.
    std::string passwordFile;
    std::string tokenCommand;
    std::string mechanism;
    std::string caFile;
    bool insecurePlaintext = false;
    bool specialFolders = false;
    std::string ledgerFolder;
    // Filled by GatherAccountLogin().
    ImapLogin login;

    // What the run is asked to do.
    RunOptions Options() const;

private:
    void AddStoreOptions(CLI::App& app);
    std::optional<int> CheckStoreTarget();
    std::optional<int> ResolvePaths();
};

} // namespace marrowgate

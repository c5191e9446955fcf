#include "cli/CommandLine.h"

#include "Version.h"
#include "shell/registry.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>

namespace marrowgate {
namespace {

namespace fs = std::filesystem;

// Path text made absolute and normal as text: the system's extended form of
// a path (NativePath) would keep its prefix through lexically_normal().
std::string AbsoluteAndNormal(const std::string& text) {
    fs::path path = fs::absolute(fs::path(std::u8string(text.begin(), text.end())));
    path = path.lexically_normal();
    if (!path.has_filename() && path != path.root_path()) {
        path = path.parent_path();
    }
    return PathText(path);
}

} // namespace

std::optional<int> CommandLine::Parse(int argc, char** argv) {
    // The README shows this help as it stands; a test compares the two.
    CLI::App app{"Converts folders of .eml message files into mbox mailboxes, one per folder,\n"
                 "in a folder tree under OUTPUT that mirrors the stores.",
                 "marrowgate-convert"};
    app.set_version_flag("--version", MARROWGATE_DISPLAY_VERSION);
    // On Windows CLI11 would read "/name" as an option; a path may start so.
    app.allow_windows_style_options(false);
    // Type names rather than option texts, so that the help marks both REQUIRED.
    app.add_option("-o,--output", output,
                   "Folder that receives the mailboxes (created when missing)")
        ->required()
        ->type_name("OUTPUT");
    app.add_option("STORE", stores, "Store folders whose .eml files are converted")
        ->required()
        ->type_name("");
    app.add_flag("-q,--quiet", quiet, "Show no progress line");
    app.add_flag("-k,--keep-going", keepGoing,
                 "After a failed message, convert the rest and list every failure at the end");
    std::string targetName{target.Name()};
    std::vector<std::string> names(OutputTarget::Names().begin(), OutputTarget::Names().end());
    app.add_option("-t,--target", targetName,
                   "Mail program the mailboxes are for: entourage (the default), thunderbird, "
                   "apple-mail or mboxrd")
        ->check(CLI::IsMember(names))
        ->option_text("NAME");
    app.add_flag("--verify", verify,
                 "After the run, check every message of the stores against its record in the "
                 "output; exit 1 when one is missing, doubled or not as the rules make it");
    app.add_flag("--reconvert", reconvert,
                 "Convert again messages that the output's ledger shows as converted by an "
                 "earlier run (they are appended once more)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& error) {
        std::cerr << "marrowgate-convert: " << error.what() << " (see --help)\n";
        return 2;
    }

    target = *OutputTarget::Named(targetName);

    std::error_code problem;
    for (auto& store : stores) {
        if (!fs::is_directory(NativePath(store), problem)) {
            std::cerr << "marrowgate-convert: " << store << ": not a folder\n";
            return 2;
        }
        store = AbsoluteAndNormal(store);
    }
    if (fs::exists(NativePath(output), problem) && !fs::is_directory(NativePath(output), problem)) {
        std::cerr << "marrowgate-convert: " << output << ": not a folder\n";
        return 2;
    }
    output = AbsoluteAndNormal(output);
    return std::nullopt;
}

} // namespace marrowgate

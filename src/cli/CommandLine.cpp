#include "cli/CommandLine.h"

#include "shell/registry.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>

namespace marrowgate {
namespace {

namespace fs = std::filesystem;

std::string AbsoluteAndNormal(const std::string& text) {
    fs::path path = fs::absolute(NativePath(text)).lexically_normal();
    if (!path.has_filename() && path != path.root_path()) {
        path = path.parent_path();
    }
    return PathText(path);
}

} // namespace

std::optional<int> CommandLine::Parse(int argc, char** argv) {
    CLI::App app{"Converts folders of .eml message files into mbox mailboxes, one per folder, "
                 "in a folder tree under OUTPUT that mirrors the stores.",
                 "marrowgate-convert"};
    app.set_version_flag("--version", MARROWGATE_DISPLAY_VERSION);
    app.add_option("-o,--output", output, "Folder that receives the mailboxes")
        ->required()
        ->option_text("OUTPUT");
    app.add_option("STORE", stores, "Store folders whose .eml files are converted")
        ->required()
        ->option_text("STORE...");
    app.add_flag("-q,--quiet", quiet, "Show no progress line");
    app.add_flag("-k,--keep-going", keepGoing,
                 "After a failed message, convert the rest and list every failure at the end");
    std::string targetName{target.Name()};
    std::vector<std::string> names(OutputTarget::Names().begin(), OutputTarget::Names().end());
    app.add_option("-t,--target", targetName,
                   "Mail program the mailboxes are for: entourage (CR LF, the whole source path), "
                   "thunderbird (Local Folders files and .sbd folders), apple-mail (Name.mbox "
                   "folders), mboxrd (plain RFC 4155 files); the last three are LF and start at "
                   "each store folder")
        ->check(CLI::IsMember(names))
        ->option_text("NAME");
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

#include "cli/CommandLine.h"

#include "Version.h"
#include "marrowgate/ConversionError.h"
#include "marrowgate/FoundStore.h"
#include "marrowgate/ImapAccount.h"
#include "marrowgate/NativePaths.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <filesystem>
#include <iostream>

namespace marrowgate {
namespace {

namespace fs = std::filesystem;

// The path in the form users write it. On Windows NativePath() gives the
// system's extended form, which std::filesystem cannot resolve.
fs::path UserFormPath(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

int Usage(const std::string& what, const std::string& reason) {
    std::cerr << "marrowgate-convert: " << what << ": " << reason << "\n";
    return 2;
}

// The store as the system resolves it: "here/link/../Mail" is the Mail beside
// the link's target, not here/Mail.
std::optional<int> ResolveStore(std::string& store) {
    if (store.empty()) {
        return Usage("STORE", "the folder name is empty");
    }
    std::error_code problem;
    const fs::path resolved = fs::canonical(UserFormPath(store), problem);
    if (problem) {
        return Usage(store, problem.message());
    }
    if (!fs::is_directory(resolved, problem)) {
        return Usage(store, "not a folder");
    }
    store = PathText(resolved);
    return std::nullopt;
}

// The output folder as the system resolves the part of it that exists; the
// rest is made by the run. What exists of it must be a folder.
std::optional<int> ResolveOutput(std::string& output) {
    if (output.empty()) {
        return Usage("-o", "the folder name is empty");
    }
    std::error_code problem;
    const fs::path resolved = fs::weakly_canonical(fs::absolute(UserFormPath(output)), problem);
    if (problem) {
        return Usage(output, problem.message());
    }
    fs::path existing = resolved;
    while (!fs::exists(existing, problem) && existing.has_relative_path()) {
        existing = existing.parent_path();
    }
    if (!fs::is_directory(existing, problem)) {
        return Usage(output, existing == resolved ? "not a folder"
                                                  : PathText(existing) + " is not a folder");
    }
    output = PathText(resolved);
    if (output.size() > 1 && output.back() == Separator(NativeSyntax())) {
        output.pop_back();
    }
    return std::nullopt;
}

// Where the store the user wants converted is likely to be: Windows hides it.
int PrintFoundStore() {
    const auto found = FindMailStore();
    if (!found) {
        std::cerr << "marrowgate-convert: found no Windows Live Mail or Windows Mail store for "
                     "this user\n";
        return 1;
    }
    std::cout << found->folder << "\n";
    return 0;
}

} // namespace

void CommandLine::AddStoreOptions(CLI::App& app) {
    app.add_flag("--seen", seen,
                 "maildir, imap: mark the messages read (.eml files do not say whether they were)");
    app.add_option("--password-file", passwordFile,
                   "imap: read the password from the first line of FILE (else from "
                   "$MARROWGATE_IMAP_PASSWORD, else it is asked for)")
        ->option_text("FILE");
    app.add_option("--oauth-command", tokenCommand,
                   "imap: log in with the OAuth token that COMMAND prints (XOAUTH2, or "
                   "OAUTHBEARER with --auth)")
        ->option_text("COMMAND");
    app.add_option("--auth", mechanism,
                   "imap: the login to use: PLAIN, LOGIN, XOAUTH2 or "
                   "OAUTHBEARER (default: the best the server offers)")
        ->check(CLI::IsMember({"PLAIN", "LOGIN", "XOAUTH2", "OAUTHBEARER"}, CLI::ignore_case))
        ->option_text("NAME");
    app.add_option("--ca-file", caFile,
                   "imap: trust the server certificates in FILE (PEM) instead of the system's")
        ->option_text("FILE");
    app.add_flag("--insecure-plaintext", insecurePlaintext,
                 "imap: with imap://, go on without TLS when the server offers no STARTTLS");
    app.add_option("--ledger-folder", ledgerFolder,
                   "imap: keep the upload's ledger in FOLDER (default: one per account under "
                   "$XDG_STATE_HOME/marrowgate/imap, %LOCALAPPDATA%\\Marrowgate\\imap on "
                   "Windows)")
        ->option_text("FOLDER");
    app.add_flag("--special-folders", specialFolders,
                 "imap: Inbox, Sent Items, Deleted Items, Drafts and Junk E-mail into the "
                 "account's own folders rather than under the store's name");
}

// The maildir and imap targets: an account only for imap, and for imap
// only an account.
std::optional<int> CommandLine::CheckStoreTarget() {
    if (!ledgerFolder.empty() && target.GetKind() != OutputTarget::Kind::Imap) {
        return Usage("--ledger-folder", "is for --target imap (a maildir keeps its ledger in it)");
    }
    const bool url = ImapAccount::LooksLikeUrl(output);
    if (url != (target.GetKind() == OutputTarget::Kind::Imap)) {
        return Usage(output, url ? "an IMAP account needs --target imap"
                                 : "--target imap needs an account: imaps://USER@HOST/");
    }
    if (!url) {
        return ResolvePaths();
    }
    try {
        ImapAccount::Parse(output);
    } catch (const ConversionError& error) {
        return Usage("-o", error.what());
    }
    for (auto& store : stores) {
        if (const auto exitCode = ResolveStore(store)) {
            return exitCode;
        }
    }
    if (!ledgerFolder.empty()) {
        if (const auto exitCode = ResolveOutput(ledgerFolder)) {
            return exitCode;
        }
    }
    for (char& c : mechanism) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return std::nullopt;
}

std::optional<int> CommandLine::Parse(int argc, char** argv) {
    // The README shows this help as it stands; a test compares the two.
    CLI::App app{"Converts folders of .eml message files into mbox mailboxes, one per folder,\n"
                 "in a folder tree under OUTPUT that mirrors the stores; or into a Maildir\n"
                 "tree, or up into the folders of an IMAP account.",
                 "marrowgate-convert"};
    app.set_version_flag("--version", MARROWGATE_DISPLAY_VERSION);
    // On Windows CLI11 would read "/name" as an option; a path may start so.
    app.allow_windows_style_options(false);
    // Type names rather than option texts, so that the help marks both REQUIRED.
    app.add_option("-o,--output", output,
                   "Folder that receives the mailboxes (created when missing); for --target "
                   "imap, the account: imaps://USER@HOST[:PORT]/[FOLDER]")
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
                   "apple-mail, mboxrd, maildir, or imap (uploads into an IMAP account)")
        ->check(CLI::IsMember(names))
        ->option_text("NAME");
    app.add_flag("--verify", verify,
                 "After the run, read the output's mailboxes record by record (a maildir's or "
                 "an account's message by message) and check that every message of the stores "
                 "is there once, as the rules make it; exit 1 when one is missing, doubled or "
                 "cut short");
    app.add_flag("--verify-only", verifyOnly,
                 "Check the output as --verify does without converting anything; writes "
                 "nothing, so it serves on read-only media and on a copied output (the target "
                 "is the last run's unless --target says)");
    app.add_flag("--reconvert", reconvert,
                 "Convert again messages that the output's ledger shows as converted by an "
                 "earlier run (they are appended once more)");
    // Answered as soon as it is read, like --version: no STORE or OUTPUT needed.
    app.add_flag_callback(
           "--find-store",
           [this] {
               findStore = true;
               throw CLI::Success();
           },
           "Print the folder of the Windows Live Mail (or Windows Mail) store found for this "
           "user and exit; exit 1 when none is found")
        ->trigger_on_parse();
    AddStoreOptions(app);
    // Left out of the help: for the benchmark and the tests, which set the
    // converter on one thread beside the one that reads ahead.
    app.add_flag("--no-read-ahead", noReadAhead, "Read each message only when it is written")
        ->group("");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return findStore ? PrintFoundStore() : app.exit(done);
    } catch (const CLI::ParseError& error) {
        std::cerr << "marrowgate-convert: " << error.what() << " (see --help)\n";
        return 2;
    }

    target = *OutputTarget::Named(targetName);
    targetGiven = app.count("--target") > 0;
    if (target.KeepsMessagesApart() || ImapAccount::LooksLikeUrl(output)) {
        return CheckStoreTarget();
    }

    return ResolvePaths();
}

std::optional<int> CommandLine::ResolvePaths() {
    for (auto& store : stores) {
        if (const auto exitCode = ResolveStore(store)) {
            return exitCode;
        }
    }
    if (const auto exitCode = ResolveOutput(output)) {
        return exitCode;
    }
    std::error_code problem;
    if (verifyOnly && !fs::is_directory(UserFormPath(output), problem)) {
        return Usage(output, "no such folder: --verify-only checks an output that exists");
    }
    return std::nullopt;
}

RunOptions CommandLine::Options() const {
    RunOptions options;
    options.keepGoing = keepGoing;
    options.target = target;
    options.stores = stores;
    options.convertAgain = reconvert;
    options.readAhead = !noReadAhead;
    options.markSeen = seen;
    options.imap.login = login;
    options.imap.specialFolders = specialFolders;
    options.imap.ledgerFolder = ledgerFolder;
    return options;
}

} // namespace marrowgate

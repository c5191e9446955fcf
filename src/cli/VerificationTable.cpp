#include "cli/VerificationTable.h"

#include "cli/CommandLine.h"
#include "cli/PrintableText.h"
#include "marrowgate/OutputVerifier.h"
#include "marrowgate/PathDerivation.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string_view>

namespace marrowgate {

namespace {

// Characters on screen: UTF-8 continuation bytes take no column.
std::size_t Columns(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

} // namespace

bool PrintVerificationTable(const CommandLine& command) {
    VerifyReport report;
    try {
        const bool account = command.target.GetKind() == OutputTarget::Kind::Imap;
        report = VerifyOutput(command.stores,
                              account ? command.output : NormaliseOutputRoot(command.output),
                              command.target, command.Options().imap);
    } catch (const std::exception& error) {
        std::cerr << "marrowgate-convert: cannot verify: " << error.what() << "\n";
        return false;
    }
    constexpr std::string_view kFolder = "Folder";
    std::size_t width = kFolder.size();
    for (auto& folder : report.folders) {
        folder.folder = PrintableText(folder.folder);
        width = std::max(width, Columns(folder.folder));
    }
    std::printf("Verification of the output's mailboxes, read %s by %s:\n  %-*s  %8s  %8s  %8s\n",
                command.target.KeepsMessagesApart() ? "message" : "record",
                command.target.KeepsMessagesApart() ? "message" : "record", static_cast<int>(width),
                kFolder.data(), "Messages", "Verified", "Problems");
    for (const auto& folder : report.folders) {
        std::printf("  %s%*s  %8d  %8d  %8d\n", folder.folder.c_str(),
                    static_cast<int>(width - Columns(folder.folder)), "", folder.messages,
                    folder.verified, folder.problems);
    }
    std::printf("%d of %d message%s verified%s; %zu problem%s.\n", report.verified, report.messages,
                report.messages == 1 ? "" : "s",
                report.empty > 0 ? " (empty files need no record)" : "", report.problems.size(),
                report.problems.size() == 1 ? "" : "s");
    for (const auto& foreign : report.foreign) {
        std::printf("Other mail, kept: %d %s%s in %s match%s no message of the stores.\n",
                    foreign.records, command.target.KeepsMessagesApart() ? "message" : "record",
                    foreign.records == 1 ? "" : "s", PrintableText(foreign.mailbox).c_str(),
                    foreign.records == 1 ? "es" : "");
    }
    std::fflush(stdout);
    for (const auto& problem : report.problems) {
        std::cerr << "marrowgate-convert: " << PrintableText(problem.Describe()) << "\n";
    }
    return report.Passed();
}

} // namespace marrowgate

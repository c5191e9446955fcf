#include "cli/RunReport.h"

#include "cli/PrintableText.h"
#include "marrowgate/OutputTarget.h"

#include <cstdio>
#include <iostream>
#include <utility>
#include <vector>

namespace marrowgate {

namespace {

const char* Plural(std::size_t n) {
    return n == 1 ? "" : "s";
}

void ListPaths(const char* what, const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        std::printf("%s: %s\n", what, PrintableText(path).c_str());
    }
}

} // namespace

RunReport::RunReport(const RunResult& result, std::string walkFailure,
                     std::vector<std::string> passedOver)
    : result_(result), walkFailure_(std::move(walkFailure)), passedOver_(std::move(passedOver)) {}

void RunReport::PrintFailures() const {
    for (const auto& failure : result_.failures) {
        std::cerr << "marrowgate-convert: " << PrintableText(failure.Describe()) << "\n";
    }
}

void RunReport::PrintInterrupted(int done, int total) const {
    PrintFailures();
    std::cerr << "Interrupted after " << done << " of " << total
              << " messages; run the same command again to continue\n";
}

// Rows left empty are files counted at the start that the walk did not meet
// again: said so, unless the walk's failure already explains it.
bool RunReport::FilesGone() const {
    return result_.emptyRowsSkipped > 0 && walkFailure_.empty();
}

void RunReport::Print(const OutputTarget& target, double seconds) const {
    PrintFailures();
    ListPaths("Changed since converted, converted again", result_.changedSinceConverted);
    ListPaths("Empty, nothing to convert", result_.emptyMessages);
    ListPaths("Passed over, an output folder inside the store", passedOver_);
    ListPaths("Merged into one mailbox by the output's file system", result_.mailboxesMerged);
    for (const std::string& line : result_.mailboxesCutBack) {
        std::cerr << "marrowgate-convert: Cut back " << PrintableText(line) << "\n";
    }
    for (const std::string& line : result_.tailsKept) {
        std::cerr << "marrowgate-convert: Kept " << PrintableText(line) << "\n";
    }
    if (result_.damagedLedgerLines > 0) {
        std::cerr << "marrowgate-convert: " << result_.damagedLedgerLines
                  << " line(s) of the output's ledger were damaged and not trusted; the "
                     "mailboxes they described were read instead\n";
    }
    if (FilesGone()) {
        std::cerr << "marrowgate-convert: Could not convert " << result_.emptyRowsSkipped
                  << " message file(s) counted at the start: they had gone when the walk"
                     " reached their folder\n";
    }
    if (!walkFailure_.empty()) {
        std::cerr << "marrowgate-convert: " << walkFailure_ << "\n";
    }
    PrintFigures(seconds);
    PrintImportSteps(target);
}

bool RunReport::Succeeded() const {
    return result_.failures.empty() && walkFailure_.empty() && !FilesGone();
}

void RunReport::PrintFigures(double seconds) const {
    const RunResult& r = result_;
    const int mailboxes = r.mailboxesCreated + r.mailboxesAppended;
    std::printf("Converted %d message%s into %d mailbox%s (%d created, %d appended to); "
                "read %.1f MB, wrote %.1f MB in %.2f s.\n",
                r.messagesConverted, r.messagesConverted == 1 ? "" : "s", mailboxes,
                mailboxes == 1 ? "" : "es", r.mailboxesCreated, r.mailboxesAppended,
                static_cast<double>(r.bytesRead) / 1e6, static_cast<double>(r.bytesWritten) / 1e6,
                seconds);
    if (r.alreadyConverted > 0) {
        std::printf("Already converted: %d message%s, skipped.\n", r.alreadyConverted,
                    Plural(static_cast<std::size_t>(r.alreadyConverted)));
    }
    if (r.listedTwice > 0) {
        std::printf("Listed twice (a store given twice, or inside another): %d message%s, "
                    "converted once.\n",
                    r.listedTwice, Plural(static_cast<std::size_t>(r.listedTwice)));
    }
    if (r.foundByContent > 0) {
        std::printf("Found in their mailboxes by their content (moved, touched, or not in the "
                    "ledger): %d message%s, not appended again.\n",
                    r.foundByContent, Plural(static_cast<std::size_t>(r.foundByContent)));
    }
    if (!r.changedSinceConverted.empty()) {
        std::printf("Changed since converted, converted again: %zu message%s.\n",
                    r.changedSinceConverted.size(), Plural(r.changedSinceConverted.size()));
    }
    if (!r.emptyMessages.empty()) {
        std::printf("Empty, nothing to convert: %zu file%s.\n", r.emptyMessages.size(),
                    Plural(r.emptyMessages.size()));
    }
}

void RunReport::PrintImportSteps(const OutputTarget& target) const {
    const RunResult& r = result_;
    if (r.fieldsAdded > 0) {
        std::printf("%d message%s did not start with two header fields and got X-Marrowgate- "
                    "fields at the top, so that mail programs read %s as messages.\n",
                    r.fieldsAdded, r.fieldsAdded == 1 ? "" : "s",
                    r.fieldsAdded == 1 ? "it" : "them");
    }
    if (target.GetKind() == OutputTarget::Kind::Entourage || r.messagesConverted == 0) {
        return;
    }
    std::printf("To import into %s:\n", std::string(target.Name()).c_str());
    int step = 0;
    for (const auto& line : target.ImportSteps()) {
        std::printf("  %d. %s\n", ++step, line.c_str());
    }
}

} // namespace marrowgate

#include "marrowgate/OutputVerifier.h"

#include "marrowgate/PathDerivation.h"
#include "marrowgate/StoreScan.h"
#include "run/MboxVerifier.h"
#include "run/StoreOutput.h"
#include "run/StoreVerifier.h"

namespace marrowgate {
namespace {

// Fills a check of the output's kind with what `add` is given, and runs it.
template <typename Fill>
VerifyReport Verify(const std::vector<std::string>& stores, const std::string& outputRoot,
                    const OutputTarget& target, const ImapUploadOptions& imap, const Fill& fill,
                    const YieldFn& yield, const std::function<bool()>& stopRequested,
                    const std::function<void(int, int)>& progress) {
    VerifyReport report;
    if (target.KeepsMessagesApart()) {
        StoreVerifier verifier(
            stores, OpenMessageStore(target, outputRoot, outputRoot, imap, false), report);
        fill([&](const std::string& path) { verifier.Add(path); });
        verifier.Check(yield, stopRequested, progress);
    } else {
        MboxVerifier verifier(stores, outputRoot, target, report);
        fill([&](const std::string& path) { verifier.Add(path); });
        verifier.Check(yield, stopRequested, progress);
    }
    return report;
}

} // namespace

void VerifyReport::Count(std::size_t folderRow, const std::string& messagePath,
                         const std::optional<std::string>& problem, bool isEmpty) {
    VerifiedFolder& line = folders[folderRow];
    ++line.messages;
    ++messages;
    if (problem) {
        ++line.problems;
        problems.push_back({messagePath, *problem});
        return;
    }
    empty += isEmpty ? 1 : 0;
    ++line.verified;
    ++verified;
}

VerifyReport VerifyOutput(const std::vector<std::string>& stores, const std::string& outputRoot,
                          const OutputTarget& target, const ImapUploadOptions& imap) {
    const auto fill = [&](const auto& add) {
        for (const std::string& store : stores) {
            for (const std::string& path : CollectMessageFiles(store)) {
                add(path);
            }
        }
    };
    return Verify(stores, outputRoot, target, imap, fill, {}, {}, {});
}

VerifyReport VerifyRows(const MessageRows& rows, const std::vector<std::string>& stores,
                        const std::string& outputRoot, const OutputTarget& target,
                        const YieldFn& yield, const std::function<bool()>& stopRequested,
                        const std::function<void(int checked, int count)>& progress,
                        const ImapUploadOptions& imap) {
    const auto fill = [&](const auto& add) {
        for (int row = 0; row < rows.RowCount(); ++row) {
            const std::string path = SourcePathOfRow(rows.RowText(row));
            if (!path.empty()) {
                add(path);
            }
        }
    };
    return Verify(stores, outputRoot, target, imap, fill, yield, stopRequested, progress);
}

} // namespace marrowgate

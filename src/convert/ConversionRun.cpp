#include "convert/ConversionRun.h"

#include "convert/ConversionError.h"
#include "convert/MailboxWriter.h"
#include "convert/PathDerivation.h"
#include "convert/modMain.h"
#include "shell/registry.h"

#include <optional>
#include <unordered_set>
#include <utility>

namespace marrowgate {

std::string RowFailure::Describe() const {
    const std::string into = mailboxPath.empty() ? "" : " into " + mailboxPath;
    return "Could not convert " + messagePath + into + ": " + reason;
}

RunResult RunConversion(const MessageRows& rows, const std::string& outputRoot,
                        const RunHooks& hooks, const RunOptions& options) {
    RunResult result;
    const std::string root = NormaliseOutputRoot(outputRoot, options.syntax);
    CallYield(hooks.yield);

    MailboxWriter writer;
    std::optional<RowFailure> lastConverted; // answers for the open mailbox's close
    std::unordered_set<std::string> ensuredFolders;
    std::unordered_set<std::string> mailboxesSeen;
    // The rows of a folder come one after another: the mirrored folder and the
    // mailbox of one row serve the next while its folder is the same.
    std::string sourceFolder;
    std::string mailbox;
    bool mailboxCounted = false;
    const int rowCount = rows.RowCount();
    bool keepGoing = options.keepGoing;
    for (int row = 0; row < rowCount; ++row) {
        if (hooks.stopRequested && hooks.stopRequested()) {
            result.stopped = true;
            break;
        }
        if (hooks.rowStarting) {
            hooks.rowStarting(row);
        }
        CallYield(hooks.yield);
        if (row >= rows.RowCount()) {
            break; // the list was emptied meanwhile: there is nothing left to read
        }
        const std::string source = SourcePathOfRow(rows.RowText(row), options.syntax);
        if (source.empty()) {
            ++result.emptyRowsSkipped;
        } else {
            std::string directory = DirectoryPart(source, options.syntax);
            try {
                if (mailbox.empty() || directory != sourceFolder) {
                    mailbox.clear(); // stays empty should the derivation fail
                    const std::string folder = MirroredFolder(source, root, options.syntax);
                    // A folder that could not be made shows up as the mailbox's open error.
                    if (ensuredFolders.insert(folder).second) {
                        EnsureDirectoryPath(folder);
                    }
                    mailbox = MailboxPath(folder, options.syntax);
                    sourceFolder = std::move(directory);
                    mailboxCounted = false;
                }
                CallYield(hooks.yield);
                const AppendStats stats = writer.Append(source, mailbox, hooks.yield);
                if (!lastConverted) {
                    lastConverted.emplace();
                }
                lastConverted->row = row;
                lastConverted->messagePath = source;
                lastConverted->mailboxPath = mailbox;
                ++result.messagesConverted;
                result.bytesRead += stats.bytesRead;
                result.bytesWritten += stats.bytesWritten;
                if (hooks.messageConverted) {
                    hooks.messageConverted(stats.bytesRead);
                }
                if (!std::exchange(mailboxCounted, true) && mailboxesSeen.insert(mailbox).second) {
                    ++(stats.createdMailbox ? result.mailboxesCreated : result.mailboxesAppended);
                }
            } catch (const ConversionError& error) {
                result.failures.push_back({row, source, mailbox, error.what()});
                if (!keepGoing) {
                    const FailureChoice choice =
                        hooks.failed ? hooks.failed(result.failures.back()) : FailureChoice::Stop;
                    if (choice == FailureChoice::Stop) {
                        break;
                    }
                    keepGoing = choice == FailureChoice::SkipAll;
                }
            }
        }
        if (hooks.progress) {
            hooks.progress(row + 1, rows.RowCount());
        }
    }
    try {
        writer.Close();
    } catch (const ConversionError& error) {
        lastConverted->reason = error.what();
        result.failures.push_back(*lastConverted);
    }
    result.nothingToConvert = result.messagesConverted == 0 && result.failures.empty() &&
                              result.emptyRowsSkipped == rowCount;
    return result;
}

} // namespace marrowgate

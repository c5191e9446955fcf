#include "convert/ConversionRun.h"

#include "convert/ConversionError.h"
#include "convert/MailboxWriter.h"
#include "convert/PathDerivation.h"
#include "convert/modMain.h"

#include <unordered_set>

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

    std::unordered_set<std::string> ensuredFolders;
    std::unordered_set<std::string> mailboxesSeen;
    const int rowCount = rows.RowCount();
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
            std::string mailbox;
            try {
                const std::string folder = MirroredFolder(source, root, options.syntax);
                // A folder that could not be made shows up as the mailbox's open error.
                if (ensuredFolders.insert(folder).second) {
                    EnsureDirectoryPath(folder);
                }
                CallYield(hooks.yield);
                mailbox = MailboxPath(folder, options.syntax);
                const AppendStats stats = AppendMessageToMailbox(source, mailbox, hooks.yield);
                ++result.messagesConverted;
                result.bytesRead += stats.bytesRead;
                result.bytesWritten += stats.bytesWritten;
                if (hooks.messageConverted) {
                    hooks.messageConverted(stats.bytesRead);
                }
                if (mailboxesSeen.insert(mailbox).second) {
                    ++(stats.createdMailbox ? result.mailboxesCreated : result.mailboxesAppended);
                }
            } catch (const ConversionError& error) {
                result.failures.push_back({row, source, mailbox, error.what()});
                if (!options.keepGoing) {
                    break;
                }
            }
        }
        if (hooks.progress) {
            hooks.progress(row + 1, rows.RowCount());
        }
    }
    result.nothingToConvert = result.messagesConverted == 0 && result.failures.empty() &&
                              result.emptyRowsSkipped == rowCount;
    return result;
}

} // namespace marrowgate

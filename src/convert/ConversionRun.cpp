#include "convert/ConversionRun.h"

#include "convert/ConversionError.h"
#include "convert/MailboxWriter.h"
#include "convert/PathDerivation.h"
#include "convert/modMain.h"
#include "shell/registry.h"

#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <unordered_set>
#include <utility>

namespace marrowgate {
namespace {

// The innermost of `stores` that holds `source`; empty when none does.
std::string StoreOf(const std::string& source, const std::vector<std::string>& stores,
                    PathSyntax syntax) {
    const std::string* best = nullptr;
    for (const auto& store : stores) {
        const bool holds =
            source.size() > store.size() && source.starts_with(store) &&
            (store.ends_with(Separator(syntax)) || source[store.size()] == Separator(syntax));
        if (holds && (!best || store.size() > best->size())) {
            best = &store;
        }
    }
    return best ? *best : std::string();
}

// Mail programs that keep subfolders beside a mailbox file show them only
// when that file is there: the folders above a mailbox get an empty one.
void EnsureMailboxFiles(const std::vector<std::string>& mailboxes) {
    for (const auto& path : mailboxes) {
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

} // namespace

std::string RowFailure::Describe() const {
    const std::string into = mailboxPath.empty() ? "" : " into " + mailboxPath;
    return "Could not convert " + messagePath + into + ": " + reason;
}

RunResult RunConversion(const MessageRows& rows, const std::string& outputRoot,
                        const RunHooks& hooks, const RunOptions& options) {
    RunResult result;
    const std::string root = NormaliseOutputRoot(outputRoot, options.syntax);
    CallYield(hooks.yield);

    MailboxWriter writer(options.target);
    std::optional<RowFailure> lastConverted; // answers for the open mailbox's close
    std::unordered_set<std::string> ensuredFolders;
    std::unordered_set<std::string> mailboxesSeen;
    // The rows of a folder come one after another: the mirrored folder and the
    // mailbox of one row serve the next while its folder is the same.
    std::string sourceFolder;
    std::string mailbox;
    bool mailboxCounted = false;
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
            std::string directory = DirectoryPart(source, options.syntax);
            try {
                if (mailbox.empty() || directory != sourceFolder) {
                    mailbox.clear(); // stays empty should the derivation fail
                    const MailboxPlace place = options.target.PlaceOf(
                        source, StoreOf(source, options.stores, options.syntax), root,
                        options.syntax);
                    // A folder that could not be made shows up as the mailbox's open error.
                    if (ensuredFolders.insert(place.folder).second) {
                        EnsureDirectoryPath(place.folder);
                        EnsureMailboxFiles(place.parentMailboxes);
                    }
                    mailbox = place.mailbox;
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
                result.fieldsAdded += stats.fieldsAdded ? 1 : 0;
                if (hooks.messageConverted) {
                    hooks.messageConverted(stats.bytesRead);
                }
                if (!std::exchange(mailboxCounted, true) && mailboxesSeen.insert(mailbox).second) {
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

#include "run/StoreVerifier.h"

#include "marrowgate/ConversionError.h"
#include "marrowgate/NativePaths.h"
#include "marrowgate/PathDerivation.h"
#include "marrowgate/PathParts.h"
#include "message/MessageFile.h"
#include "message/MessageFileInput.h"
#include "output/BareMessage.h"

#include <algorithm>
#include <set>
#include <utility>

namespace marrowgate {

StoreVerifier::StoreVerifier(std::vector<std::string> stores, std::unique_ptr<MessageStore> store,
                             VerifyReport& report)
    : stores_(std::move(stores)), store_(std::move(store)), report_(report) {}

StoreVerifier::~StoreVerifier() {
    try {
        store_->Finish(); // says goodbye to a server; writes nothing
    } catch (const ConversionError&) {
        // What was read is read.
    }
}

// The mailbox of the message's folder, asked once per folder.
std::optional<std::string> StoreVerifier::MailboxOf(const std::string& path) {
    const std::string folder = DirectoryPart(path, NativeSyntax());
    const auto known = mailboxOfFolder_.find(folder);
    if (known != mailboxOfFolder_.end()) {
        return known->second;
    }
    const std::vector<std::string> names =
        FolderNamesFromStore(path, InnermostStore(path, stores_), NativeSyntax());
    return mailboxOfFolder_.emplace(folder, store_->ExistingMailbox(names)).first->second;
}

void StoreVerifier::Add(const std::string& path) {
    if (!seen_.insert(path).second) {
        return; // a file listed twice
    }
    const std::string folder = DirectoryPart(path, NativeSyntax());
    auto [row, added] = folderRows_.emplace(folder, report_.folders.size());
    if (added) {
        report_.folders.push_back({folder});
    }
    Source source;
    source.path = path;
    source.folderRow = row->second;
    const std::optional<std::string> mailbox = MailboxOf(path);
    if (!mailbox) {
        source.problem = "not in the output: there is no mailbox for its folder";
        Tally(source);
        return;
    }
    auto [box, fresh] = byMailbox_.try_emplace(*mailbox);
    if (fresh) {
        mailboxes_.push_back(*mailbox);
    }
    box->second.push_back(std::move(source));
    ++toCheck_;
}

void StoreVerifier::Encode(Source& source) {
    try {
        std::vector<char> buffer(MessageFile::kStartLimit);
        MessageFileInput input(source.path, buffer.data(), buffer.size());
        BareMessage message = BareMessage::Read(input, store_->LineEnd());
        source.empty = message.empty;
        store_->Prepare(message);
        source.size = message.bytes.size();
        source.hash = ContentHash::Of(message.bytes);
    } catch (const ConversionError& error) {
        source.problem = error.what();
    }
}

void StoreVerifier::Check(const YieldFn& yield, const std::function<bool()>& stopRequested,
                          const std::function<void(int, int)>& progress) {
    int checked = 0;
    for (const std::string& mailbox : mailboxes_) {
        std::vector<Source>& sources = byMailbox_[mailbox];
        for (Source& source : sources) {
            CallYield(yield);
            Encode(source);
            if (progress) {
                progress(++checked, toCheck_);
            }
            if (stopRequested && stopRequested()) {
                report_.stopped = true;
                return;
            }
        }
        try {
            CheckMailbox(mailbox, sources);
        } catch (const ConversionError& error) {
            report_.problems.push_back({mailbox, std::string("cannot read it: ") + error.what()});
        }
        for (const Source& source : sources) {
            Tally(source);
        }
        sources = {};
    }
}

// Only the copies of a size some message has are read: the rest are
// others' mail whatever their bytes.
void StoreVerifier::CheckMailbox(const std::string& mailbox, std::vector<Source>& sources) {
    std::set<std::uint64_t> sizes;
    std::unordered_map<std::uint64_t, std::vector<Source*>> byHash;
    for (Source& source : sources) {
        if (!source.problem && !source.empty) {
            sizes.insert(source.size);
            byHash[source.hash.low].push_back(&source);
        }
    }
    const std::vector<MessageStore::Copy> all = store_->Copies(mailbox);
    std::vector<MessageStore::Copy> wanted;
    for (const MessageStore::Copy& copy : all) {
        if (sizes.contains(copy.size)) {
            wanted.push_back(copy);
        }
    }
    std::unordered_map<std::uint64_t, std::vector<ContentHash>> copies; // by the hash's low half
    store_->ReadCopies(mailbox, wanted, [&](const std::string&, std::string_view bytes) {
        const ContentHash hash = ContentHash::Of(bytes);
        copies[hash.low].push_back(hash);
    });
    std::size_t matched = 0;
    for (auto& [low, group] : byHash) {
        std::vector<ContentHash>& held = copies[low];
        for (Source* source : group) {
            const auto copy = std::find(held.begin(), held.end(), source->hash);
            if (copy == held.end()) {
                source->problem = "not in the output: no copy of it in " + mailbox;
                continue;
            }
            held.erase(copy);
            ++matched;
        }
        const auto again = std::count(held.begin(), held.end(), group.front()->hash);
        if (again > 0 && !group.front()->problem) {
            group.front()->problem =
                "doubled: it is in " + mailbox + " " + std::to_string(again + 1) + " times";
        }
        matched += static_cast<std::size_t>(again);
    }
    const int foreign = static_cast<int>(all.size() - matched);
    if (foreign > 0) {
        report_.foreign.push_back({mailbox, foreign});
    }
}

void StoreVerifier::Tally(const Source& source) {
    report_.Count(source.folderRow, source.path, source.problem, source.empty);
}

} // namespace marrowgate

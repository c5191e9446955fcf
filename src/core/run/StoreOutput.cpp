#include "run/StoreOutput.h"

#include "marrowgate/ImapAccount.h"
#include "marrowgate/PathDerivation.h"
#include "message/MessageFile.h"
#include "message/MessageFileInput.h"
#include "output/BareMessage.h"
#include "output/MaildirStore.h"
#include "output/imap/ImapStore.h"

namespace marrowgate {

StoreOutput::StoreOutput(const RunOptions& options, std::string output, std::string root,
                         std::function<bool()> stopRequested)
    : options_(options), output_(std::move(output)), root_(std::move(root)),
      stopRequested_(std::move(stopRequested)) {}

StoreOutput::~StoreOutput() = default;

void StoreOutput::Open() {
    if (store_) {
        return;
    }
    if (options_.target.GetKind() == OutputTarget::Kind::Imap) {
        ImapUploadOptions imap = options_.imap;
        imap.seen = options_.markSeen;
        imap.stopRequested = stopRequested_;
        store_ = std::make_unique<ImapStore>(ImapAccount::Parse(output_), std::move(imap));
    } else {
        store_ = std::make_unique<MaildirStore>(root_, options_.markSeen);
    }
    buffer_.resize(MessageFile::kStartLimit);
}

std::string StoreOutput::Mailbox(const std::string& source, bool& created) {
    const std::string store = InnermostStore(source, options_.stores, options_.syntax);
    return store_->Mailbox(FolderNamesFromStore(source, store, options_.syntax), created);
}

StoreOutput::Stored StoreOutput::Put(int row, const std::string& source,
                                     const std::string& mailbox) {
    MessageFileInput input(source, buffer_.data(), buffer_.size());
    const FileIdentity file = input.Identity();
    const BareMessage message = BareMessage::Read(input, store_->LineEnd(), stopRequested_);
    Stored stored{MessageStore::Outcome::AlreadyThere, message.bytesRead, message.bytes.size(),
                  message.empty};
    const bool metBefore = file.inode != 0 && !filesMet_.insert({file.device, file.inode}).second;
    if (!message.empty && !metBefore) {
        stored.outcome = store_->Store(mailbox, message, static_cast<std::uint64_t>(row));
    }
    if (stored.outcome == MessageStore::Outcome::Stored) {
        // A refusal comes at most a batch later: a few of them are kept.
        constexpr std::size_t kKept = 1024;
        recent_.push_back({RowFailure{row, source, mailbox, {}}, stored});
        if (recent_.size() > kKept) {
            recent_.pop_front();
        }
    }
    return stored;
}

std::vector<StoreOutput::Refused> StoreOutput::TakeRefusals() {
    std::vector<Refused> refused;
    if (!store_) {
        return refused;
    }
    for (const MessageStore::Refusal& refusal : store_->TakeRefusals()) {
        for (const Refused& put : recent_) {
            if (static_cast<std::uint64_t>(put.failure.row) == refusal.ticket) {
                refused.push_back(put);
                refused.back().failure.reason = refusal.reason;
            }
        }
    }
    return refused;
}

void StoreOutput::Finish() {
    if (store_) {
        store_->Finish();
    }
}

} // namespace marrowgate

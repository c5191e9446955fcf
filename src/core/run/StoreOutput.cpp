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

StoreOutput::Stored StoreOutput::Put(const std::string& source, const std::string& mailbox) {
    MessageFileInput input(source, buffer_.data(), buffer_.size());
    const FileIdentity file = input.Identity();
    const BareMessage message = BareMessage::Read(input, store_->LineEnd(), stopRequested_);
    Stored stored{MessageStore::Outcome::AlreadyThere, message.bytesRead, message.bytes.size(),
                  message.empty};
    const bool metBefore = file.inode != 0 && !filesMet_.insert({file.device, file.inode}).second;
    if (!message.empty && !metBefore) {
        stored.outcome = store_->Store(mailbox, message);
    }
    return stored;
}

void StoreOutput::Finish() {
    if (store_) {
        store_->Finish();
    }
}

} // namespace marrowgate

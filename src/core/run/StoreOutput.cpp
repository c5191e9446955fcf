#include "run/StoreOutput.h"

#include "ledger/LedgerFile.h"
#include "marrowgate/ImapAccount.h"
#include "marrowgate/NativePaths.h"
#include "marrowgate/PathDerivation.h"
#include "message/MessageFile.h"
#include "message/MessageFileInput.h"
#include "output/BareMessage.h"
#include "output/MaildirStore.h"
#include "output/OutputTree.h"
#include "output/imap/ImapStore.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"

#include <cerrno>

namespace marrowgate {
namespace {

// Makes the folders of `path` (ending with a separator) that are missing.
void MakeFolders(const std::string& path) {
    const char separator = Separator(NativeSyntax());
    for (std::size_t at = path.find(separator, 1); at != std::string::npos;
         at = path.find(separator, at + 1)) {
        // A root ("C:", a share) cannot be made: only the whole path must be.
        platform::MakeFolder(path.substr(0, at));
    }
    platform::FileStatus info;
    if (platform::Status(path, info) != 0 || !info.folder) {
        throw ConversionError::FromErrno("Cannot make the folder", path,
                                         errno != 0 ? errno : ENOTDIR);
    }
}

std::string WithSeparator(std::string folder) {
    if (!folder.ends_with(Separator(NativeSyntax()))) {
        folder += Separator(NativeSyntax());
    }
    return folder;
}

} // namespace

std::unique_ptr<MessageStore> OpenMessageStore(const OutputTarget& target,
                                               const std::string& output, const std::string& root,
                                               ImapUploadOptions imap, bool seen) {
    if (target.GetKind() == OutputTarget::Kind::Imap) {
        imap.seen = seen;
        return std::make_unique<ImapStore>(ImapAccount::Parse(output), std::move(imap));
    }
    return std::make_unique<MaildirStore>(root, seen);
}

StoreOutput::StoreOutput(const RunOptions& options, std::string output, std::string root,
                         std::function<bool()> stopRequested)
    : options_(options), output_(std::move(output)), root_(std::move(root)),
      stopRequested_(std::move(stopRequested)) {}

StoreOutput::~StoreOutput() = default;

// A maildir's ledger is in it; an account's, under the user's state folder,
// one per account (special folders make mailboxes of other folders meet), or
// where the user said.
std::string StoreOutput::LedgerFolder() const {
    if (options_.target.GetKind() != OutputTarget::Kind::Imap) {
        OutputTree(root_).EnsureFolder(root_);
        return root_;
    }
    std::string folder = options_.imap.ledgerFolder;
    if (folder.empty()) {
        const std::optional<std::string> state = platform::StateFolder();
        if (!state) {
            throw ConversionError("There is no folder to keep the upload's ledger in (neither "
                                  "XDG_STATE_HOME nor HOME is set): give one with --ledger-folder");
        }
        folder =
            *state + "imap" + Separator(NativeSyntax()) + ImapAccount::Parse(output_).FileName();
    }
    folder = WithSeparator(folder);
    MakeFolders(folder);
    return folder;
}

void StoreOutput::Open() {
    if (store_) {
        return;
    }
    const bool imap = options_.target.GetKind() == OutputTarget::Kind::Imap;
    const LedgerRun run{std::string(options_.target.Name()), options_.stores};
    const std::string folder = LedgerFolder();
    try {
        ledger_ = std::make_unique<StoreLedger>(folder, run);
    } catch (const LedgerBusy&) {
        if (!imap) {
            throw;
        }
        throw ConversionError("Another upload into " + ImapAccount::Parse(output_).Display() +
                              " is running (its ledger in " + folder +
                              " is locked); run this one again when it has ended");
    }
    if (options_.convertAgain) {
        ledger_->ForgetEarlierRuns();
    }
    ImapUploadOptions upload = options_.imap;
    upload.stopRequested = stopRequested_;
    store_ =
        OpenMessageStore(options_.target, output_, root_, std::move(upload), options_.markSeen);
    // A message that may be in the store is in the ledger first.
    store_->SetBeforeSending([this] { ledger_->Sync(); });
    buffer_.resize(MessageFile::kStartLimit);
}

std::string StoreOutput::Mailbox(const std::string& source, bool& created) {
    const std::string store = InnermostStore(source, options_.stores, options_.syntax);
    return store_->Mailbox(FolderNamesFromStore(source, store, options_.syntax), created);
}

// The ledger's account of the mailbox, and the store's: which records still
// stand, and where what the ledger vouches for begins.
void StoreOutput::Enter(const std::string& mailbox) {
    ledgerMailbox_ = store_->LedgerName(mailbox);
    ledger_->Select(ledgerMailbox_);
    if (const auto begun = store_->Enter(mailbox, ledger_->Begun())) {
        ledger_->Begin(*begun, std::string(options_.target.Name()));
    }
    ledger_->Settle([this](const std::string& place) { return store_->Holds(place); });
    entered_ = mailbox;
}

bool StoreOutput::AlreadyThere(const BareMessage& message, const ContentHash& hash,
                               const LedgerSource& source) {
    if (options_.convertAgain) {
        return false;
    }
    const auto search =
        ledger_->WasSending(source) ? MessageStore::Search::Sent : MessageStore::Search::Earlier;
    if (const auto place = store_->Find(message, search)) {
        ledger_->Recorded(ledgerMailbox_, *place, hash, source);
        return true;
    }
    return ledger_->TakeByContent(hash, source).has_value();
}

StoreOutput::Stored StoreOutput::Put(int row, const std::string& source,
                                     const std::string& mailbox) {
    if (mailbox != entered_) {
        TakeConfirmed();
        Enter(mailbox);
    }
    Stored stored{Outcome::AlreadyThere};
    const std::optional<LedgerSource> known = sources_.Identify(source);
    const StoreLedger::Seen seen = known ? ledger_->Lookup(*known) : StoreLedger::Seen::New;
    if (seen == StoreLedger::Seen::Converted || seen == StoreLedger::Seen::ListedTwice) {
        stored.listedTwice = seen == StoreLedger::Seen::ListedTwice;
        return stored;
    }
    MessageFileInput input(source, buffer_.data(), buffer_.size());
    const FileIdentity file = input.Identity();
    BareMessage message = BareMessage::Read(input, store_->LineEnd(), stopRequested_);
    stored.bytesRead = message.bytesRead;
    stored.bytesStored = message.bytes.size();
    stored.empty = message.empty;
    if (message.empty) {
        return stored;
    }
    if (file.inode != 0 && !filesMet_.insert({file.device, file.inode}).second) {
        stored.listedTwice = true;
        return stored;
    }
    store_->Prepare(message);
    const ContentHash hash = ContentHash::Of(message.bytes);
    const LedgerSource identity = known.value_or(LedgerSource{source});
    stored.changed = seen == StoreLedger::Seen::Changed;
    if (AlreadyThere(message, hash, identity)) {
        stored.outcome = Outcome::Found;
        return stored;
    }
    if (store_->AnswersLater()) {
        ledger_->Sending(store_->SendingPlace(), hash, identity);
    }
    stored.outcome = Outcome::Stored;
    const auto ticket = static_cast<std::uint64_t>(row);
    pending_[ticket] = {
        {RowFailure{row, source, mailbox, {}}, stored}, ledgerMailbox_, hash, identity};
    try {
        store_->Store(mailbox, message, ticket);
    } catch (const ConversionError&) {
        pending_.erase(ticket); // this row's own failure
        throw;
    }
    TakeConfirmed();
    return stored;
}

void StoreOutput::TakeConfirmed() {
    if (!store_) {
        return;
    }
    for (const MessageStore::Confirmed& confirmed : store_->TakeConfirmed()) {
        const auto found = pending_.find(confirmed.ticket);
        if (found != pending_.end()) {
            const Pending& taken = found->second;
            ledger_->Recorded(taken.ledgerMailbox, confirmed.place, taken.hash, taken.source);
            pending_.erase(found);
        }
    }
}

std::vector<StoreOutput::Refused> StoreOutput::TakeRefusals() {
    std::vector<Refused> refused;
    if (!store_) {
        return refused;
    }
    TakeConfirmed();
    for (const MessageStore::Refusal& refusal : store_->TakeRefusals()) {
        const auto found = pending_.find(refusal.ticket);
        if (found != pending_.end()) {
            refused.push_back(found->second.refused);
            refused.back().failure.reason = refusal.reason;
            pending_.erase(found);
        }
    }
    return refused;
}

void StoreOutput::Finish() {
    if (store_) {
        store_->Finish();
    }
}

void StoreOutput::Close(bool allRows, const std::array<std::uint64_t, 3>& figures) {
    if (!ledger_) {
        return;
    }
    TakeConfirmed();
    if (allRows) {
        ledger_->Finished(figures);
    }
    ledger_->Sync();
}

} // namespace marrowgate

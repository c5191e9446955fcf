#include "ledger/StoreLedger.h"

#include "ledger/LedgerCompaction.h"
#include "ledger/LedgerLine.h"
#include "platform/FileSystem.h"

#include <ctime>

namespace marrowgate {

StoreLedger::StoreLedger(const std::string& folder, const LedgerRun& run)
    : folder_(folder), store_(folder + std::string(ConversionLedger::kFileName), folder),
      survey_(LedgerSurvey::Of(store_)) {
    damaged_ = survey_.damaged;
    // A ledger of version 1 (an mbox output's) is rewritten first, as an
    // mbox run would; the lines of stores' mailboxes are copied as they are.
    if (store_.File().Version() == 1) {
        survey_.MeasureMailboxes(folder_);
        LedgerCompaction::Run(store_, survey_, folder_);
    }
    earlierEnd_ = store_.FileSize();
    if (earlierEnd_ == 0) {
        store_.Append(LedgerFile::kFirstLine);
    }
    LedgerLine::AppendRun(line_, static_cast<std::int64_t>(std::time(nullptr)), run.target,
                          run.stores);
    store_.Append(line_);
}

StoreLedger::~StoreLedger() {
    try {
        store_.Flush();
    } catch (const ConversionError&) {
        // The messages not recorded are found in their mailboxes next time.
    }
}

void StoreLedger::Append(const std::string& mailbox, const std::string& line, bool ofMessage) {
    const std::uint64_t at = store_.Append(line, ofMessage);
    auto [lines, added] = survey_.mailboxes.try_emplace(mailbox);
    if (added) {
        survey_.order.push_back(mailbox);
    }
    lines->second.Add(at, at + line.size());
}

void StoreLedger::Select(const std::string& mailbox) {
    selected_ = mailbox;
    begun_.reset();
    entries_.clear();
    byPlace_.clear();
    bySource_.clear();
    byHash_.clear();
    sending_.clear();
    const auto found = survey_.mailboxes.find(mailbox);
    if (found == survey_.mailboxes.end()) {
        return;
    }
    for (const LedgerSpan span : found->second.spans) {
        store_.ForEach(span, [&](std::string_view text, std::uint64_t offset) {
            Apply(LedgerLine::Parse(text), offset < earlierEnd_);
        });
    }
}

// A record of a place named before takes it over: the later line tells its
// source (a message found by its content after its file moved).
void StoreLedger::Apply(const LedgerLine& line, bool earlier) {
    const LedgerRecord& record = line.record;
    if (line.kind == LedgerLine::Kind::Begun) {
        begun_ = record.place;
        return;
    }
    if (line.kind == LedgerLine::Kind::Sending) {
        sending_.insert(record.source.path);
        return;
    }
    if (line.kind != LedgerLine::Kind::Record || record.place.empty()) {
        return; // an mbox record: not a store's
    }
    const auto [place, added] = byPlace_.try_emplace(record.place, entries_.size());
    if (added) {
        entries_.emplace_back();
        byHash_.emplace(record.hash.low, place->second);
    }
    Entry& entry = entries_[place->second];
    if (!added) {
        const auto owner = bySource_.find(entry.source.path);
        if (owner != bySource_.end() && owner->second == place->second) {
            bySource_.erase(owner);
        }
    }
    entry = {record.place, record.hash, record.source, earlier, true};
    if (!record.source.path.empty()) {
        bySource_[record.source.path] = place->second;
        sending_.erase(record.source.path);
    }
}

void StoreLedger::Begin(const std::string& place, const std::string& target) {
    line_.clear();
    LedgerLine::AppendBegun(line_, selected_, place, target);
    Append(selected_, line_);
    begun_ = place;
}

void StoreLedger::Settle(const std::function<bool(const std::string& place)>& stands) {
    for (Entry& entry : entries_) {
        entry.standing = stands(entry.place);
    }
}

StoreLedger::Seen StoreLedger::Lookup(const LedgerSource& source) const {
    const auto found = bySource_.find(source.path);
    if (found == bySource_.end()) {
        return Seen::New;
    }
    const Entry& entry = entries_[found->second];
    if (!entry.standing || (entry.earlier && forgetEarlier_)) {
        return Seen::New;
    }
    if (!entry.earlier) {
        return Seen::ListedTwice;
    }
    return entry.source.size == source.size && entry.source.modifiedNs == source.modifiedNs
               ? Seen::Converted
               : Seen::Changed;
}

bool StoreLedger::WasSending(const LedgerSource& source) const {
    return sending_.contains(source.path);
}

std::optional<std::string> StoreLedger::TakeByContent(const ContentHash& hash,
                                                      const LedgerSource& source) {
    if (forgetEarlier_) {
        return std::nullopt;
    }
    // The first recorded goes first, as the messages come in their order.
    std::optional<std::size_t> taken;
    const auto [first, last] = byHash_.equal_range(hash.low);
    for (auto it = first; it != last; ++it) {
        const Entry& entry = entries_[it->second];
        platform::FileStatus info;
        const bool ownerless = entry.source.path.empty() || entry.source.path == source.path ||
                               platform::LinkStatus(entry.source.path, info) != 0;
        if (entry.standing && entry.earlier && entry.hash == hash && ownerless &&
            (!taken || it->second < *taken)) {
            taken = it->second;
        }
    }
    if (!taken) {
        return std::nullopt;
    }
    const std::string place = entries_[*taken].place; // the entry changes with its new line
    Recorded(selected_, place, hash, source);
    return place;
}

void StoreLedger::Sending(const std::string& place, const ContentHash& hash,
                          const LedgerSource& source) {
    line_.clear();
    LedgerRecord record{selected_, 0, 0, hash, source, place};
    LedgerLine::AppendSending(line_, record);
    Append(selected_, line_);
    sending_.insert(source.path);
}

void StoreLedger::Recorded(const std::string& mailbox, const std::string& place,
                           const ContentHash& hash, const LedgerSource& source) {
    LedgerLine line;
    line.kind = LedgerLine::Kind::Record;
    line.record = {mailbox, 0, 0, hash, source, place};
    line_.clear();
    LedgerLine::AppendRecord(line_, line.record);
    Append(mailbox, line_, true);
    if (mailbox == selected_) {
        Apply(line, false);
    }
}

void StoreLedger::Finished(const std::array<std::uint64_t, 3>& figures) {
    line_.clear();
    LedgerLine::AppendEnd(line_, static_cast<std::int64_t>(std::time(nullptr)), figures);
    store_.Append(line_);
}

} // namespace marrowgate

#include "ledger/LedgerMailboxIndex.h"

#include <algorithm>
#include <string_view>

namespace marrowgate {
namespace {

std::uint64_t HashOf(const std::string& path) {
    return static_cast<std::uint64_t>(std::hash<std::string_view>{}(path));
}

std::uint32_t ShortHashOf(const std::string& path) {
    return static_cast<std::uint32_t>(HashOf(path) >> 32);
}

} // namespace

void LedgerMailboxIndex::Apply(const LedgerLine& line, std::uint64_t lineOffset) {
    switch (line.kind) {
    case LedgerLine::Kind::Open:
        DropBeyond(line.size);
        state = {line.size, line.size, true};
        break;
    case LedgerLine::Kind::Closed:
        state = {line.size, line.size, false};
        break;
    case LedgerLine::Kind::Record:
        Add(line.record, lineOffset);
        break;
    default:
        break;
    }
}

LedgerMailboxIndex::Known LedgerMailboxIndex::Of(const LedgerRecord& record,
                                                 std::uint64_t lineOffset) {
    return {record.source.size, record.source.modifiedNs, record.end, lineOffset, true, false};
}

void LedgerMailboxIndex::Add(const LedgerRecord& record, std::uint64_t lineOffset) {
    state.knownEnd = std::max(state.knownEnd, record.end);
    const std::string& path = record.source.path;
    if (!full_) {
        hashes_.Add(ShortHashOf(path));
        return;
    }
    if (!collided_.empty()) {
        const auto whole = collided_.find(path);
        if (whole != collided_.end()) {
            whole->second = Of(record, lineOffset);
            return;
        }
    }
    const auto [entry, added] = byHash_.try_emplace(HashOf(path), Of(record, lineOffset));
    if (added) {
        return;
    }
    // The same source again (converted again, or met twice), or another
    // path with the same hash.
    if (sourceAt_(entry->second.lineOffset) == path) {
        entry->second = Of(record, lineOffset);
    } else {
        collided_[path] = Of(record, lineOffset);
    }
}

void LedgerMailboxIndex::Drop(Known& known, std::uint64_t size, std::uint64_t& end) {
    if (!known.standing) {
        return;
    }
    if (known.end > size) {
        known.standing = false;
    } else {
        end = std::max(end, known.end);
    }
}

void LedgerMailboxIndex::DropBeyond(std::uint64_t size) {
    if (state.knownEnd <= size) {
        return;
    }
    if (!full_) {
        wantsFull_ = true;
        return;
    }
    // What stands is accounted for; what lies past it, up to `size`, is a
    // record cut short.
    std::uint64_t end = std::min(state.openedAt, size);
    for (auto& [hash, known] : byHash_) {
        Drop(known, size, end);
    }
    for (auto& [path, known] : collided_) {
        Drop(known, size, end);
    }
    state.knownEnd = end;
}

// A light index forgets the hashes: a record that no longer counts can
// count again only through a later record, which brings its hash back.
void LedgerMailboxIndex::ForgetAll() {
    hashes_.Clear();
    for (auto& [hash, known] : byHash_) {
        known.earlierRun = true;
    }
    for (auto& [path, known] : collided_) {
        known.earlierRun = true;
    }
}

bool LedgerMailboxIndex::MayHave(const std::string& path) const {
    return hashes_.MayHold(ShortHashOf(path));
}

const LedgerMailboxIndex::Known* LedgerMailboxIndex::Find(const std::string& path) const {
    if (!collided_.empty()) {
        const auto whole = collided_.find(path);
        if (whole != collided_.end()) {
            return &whole->second;
        }
    }
    const auto entry = byHash_.find(HashOf(path));
    return entry == byHash_.end() ? nullptr : &entry->second;
}

LedgerMailboxIndex::Seen LedgerMailboxIndex::Lookup(const LedgerSource& source,
                                                    std::uint64_t thisRunFrom) const {
    const Known* known = Find(source.path);
    // Only an entry that counts is worth reading back to confirm.
    if (known == nullptr || !known->standing || known->earlierRun ||
        sourceAt_(known->lineOffset) != source.path) {
        return Seen::New;
    }
    if (known->size != source.size || known->modifiedNs != source.modifiedNs) {
        return Seen::Changed;
    }
    return known->lineOffset >= thisRunFrom ? Seen::ListedTwice : Seen::Converted;
}

} // namespace marrowgate

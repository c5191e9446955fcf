#include "ledger/LedgerLineStore.h"

#include "marrowgate/ConversionError.h"
#include "platform/FileSystem.h"

#include <cerrno>

namespace marrowgate {

LedgerLineStore::LedgerLineStore(const std::string& path, const std::string& outputRoot)
    : path_(path), file_(path, outputRoot) {}

std::uint64_t LedgerLineStore::Append(std::string_view line, bool ofMessage) {
    constexpr std::size_t kGathered = 64 * 1024;
    const std::uint64_t begin = size_ + pending_.size();
    pending_ += line;
    pendingRecords_ += ofMessage ? 1 : 0;
    if (pending_.size() >= kGathered) {
        try {
            Flush();
        } catch (const ConversionError&) {
            // The line's record is taken back: the line must never be written.
            pending_.resize(pending_.size() - line.size());
            pendingRecords_ -= ofMessage ? 1 : 0;
            throw;
        }
    }
    return begin;
}

std::string LedgerLineStore::LineAt(std::uint64_t offset) const {
    if (offset >= size_) {
        const std::string_view gathered(pending_);
        const auto from = static_cast<std::size_t>(offset - size_);
        return std::string(gathered.substr(from, gathered.find('\n', from) - from));
    }
    return LedgerFileLines::LineAt(file_.Fd(), path_, offset);
}

// A failed or short write (a full disk) is taken back, and the lines kept
// for the next try, so that every line starts on its own.
void LedgerLineStore::Flush() {
    if (pending_.empty()) {
        return;
    }
    std::uint64_t written = 0;
    const std::string_view lines[] = {pending_};
    if (!platform::WriteAll(file_.Fd(), lines, written)) {
        const int error = errno;
        [[maybe_unused]] const int cut = platform::Truncate(file_.Fd(), size_);
        throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, error);
    }
    size_ += pending_.size();
    pending_.clear();
    pendingRecords_ = 0;
}

void LedgerLineStore::Sync() {
    file_.CheckStillAtItsPath();
    Flush();
    if (platform::Sync(file_.Fd()) != 0) {
        throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, errno);
    }
}

} // namespace marrowgate

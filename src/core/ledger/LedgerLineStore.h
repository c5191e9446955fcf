#pragma once

#include "ledger/LedgerFile.h"
#include "ledger/LedgerFileLines.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace marrowgate {

// Lines [begin, end) of the ledger.
struct LedgerSpan {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

// The lines of the ledger a run holds (LedgerFile): those in its file and
// those gathered since, which are written some at a time, whole, in one
// write each, so that a kill never tears a line. Lines are read back by
// where they begin, wherever they are.
class LedgerLineStore {
public:
    // Opens and locks the ledger at `path` (see LedgerFile).
    LedgerLineStore(const std::string& path, const std::string& outputRoot);

    LedgerFile& File() { return file_; }
    const LedgerFile& File() const { return file_; }
    const std::string& Path() const { return path_; }
    // The bytes in the file; the lines gathered follow.
    std::uint64_t FileSize() const { return size_; }
    // The file is `size` long (its torn end taken off, or rewritten).
    void SetFileSize(std::uint64_t size) { size_ = size; }

    // Gathers a whole line (LF included) and returns where it begins.
    // `ofMessage`: the line makes a message's record count. Throws
    // ConversionError when the lines gathered had to be written and could
    // not be; the line is then not kept.
    std::uint64_t Append(std::string_view line, bool ofMessage = false);
    // Calls each(line, offset) for every line of `span`, LF left off.
    template <typename Each> void ForEach(LedgerSpan span, Each each) const;
    // The line that begins at `offset`, LF left off.
    std::string LineAt(std::uint64_t offset) const;

    // Messages whose record lines are gathered and not yet written.
    std::uint64_t PendingRecords() const { return pendingRecords_; }
    // Writes the lines gathered. Throws ConversionError, the file as before.
    void Flush();
    // Flush(), then the file to disk, after checking that it is still the
    // file at its path. Throws ConversionError.
    void Sync();

private:
    std::string path_;
    LedgerFile file_;
    std::uint64_t size_ = 0;
    std::string pending_;
    std::uint64_t pendingRecords_ = 0;
};

template <typename Each> void LedgerLineStore::ForEach(LedgerSpan span, Each each) const {
    if (span.begin < size_) {
        LedgerFileLines::ForEach(file_.Fd(), path_, span.begin, std::min(span.end, size_), each);
    }
    const std::string_view gathered(pending_);
    for (std::uint64_t offset = std::max(span.begin, size_); offset < span.end;) {
        const auto from = static_cast<std::size_t>(offset - size_);
        const std::size_t lf = gathered.find('\n', from);
        if (lf == std::string_view::npos) {
            return; // never: lines are gathered whole
        }
        each(gathered.substr(from, lf - from), offset);
        offset = size_ + lf + 1;
    }
}

} // namespace marrowgate

#pragma once

#include "marrowgate/ConversionError.h"
#include "platform/FileDescriptor.h"

#include <functional>
#include <string>
#include <string_view>

namespace marrowgate {

// Another run holds the ledger's lock.
class LedgerBusy : public ConversionError {
public:
    using ConversionError::ConversionError;
};

// The ledger file of an output folder, opened for a run: checked to be one
// (a regular file with one name and a ledger's first line, reached without a
// link), locked, and known to be the file its path names. Failures throw
// ConversionError naming it; nothing is then written.
class LedgerFile {
public:
    // The first line of a ledger of the version this program writes.
    static constexpr std::string_view kFirstLine = "marrowgate-ledger 2\n";

    // Opens (creating it when missing) and locks `path`. `outputRoot` names
    // the folder in the message when another run holds it.
    LedgerFile(const std::string& path, const std::string& outputRoot);
    LedgerFile(const LedgerFile&) = delete;
    LedgerFile& operator=(const LedgerFile&) = delete;

    int Fd() const { return fd_.Get(); }
    // The version its first line gives; 0 for a file without one (new).
    int Version() const { return version_; }
    bool Created() const { return created_; }

    // Throws ConversionError when the path no longer names the file locked:
    // it was removed or replaced, and another run may have locked the new one.
    void CheckStillAtItsPath() const;

    // Replaces the file with what `write` hands its sink, in order (written
    // beside it, flushed, locked, renamed over it, the folder flushed); this
    // object then holds the new one. Throws ConversionError, the old file
    // left as it was.
    using Sink = std::function<void(std::string_view)>;
    void Replace(const std::function<void(const Sink&)>& write);

private:
    FileDescriptor OpenAndLock();
    void CheckFirstLine();

    std::string path_;
    std::string root_;
    FileDescriptor fd_;
    int version_ = 0;
    bool created_ = false;
};

} // namespace marrowgate

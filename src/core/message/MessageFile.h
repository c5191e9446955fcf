#pragma once

#include "marrowgate/ConversionError.h"
#include "platform/FileIdentity.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace marrowgate {

// A message file open for reading. Only regular files (or links to them) are
// opened, so that a pipe or a device never blocks or floods a run. The file is
// read up to the size it had when opened, and no further; when its size or
// modification time is found changed, or it ends early, the read fails with
// "it changed while it was being read": what was read may be half old, half new.
class MessageFile {
public:
    // Throws ConversionError naming the file when it cannot be opened.
    explicit MessageFile(const std::string& path);
    ~MessageFile();
    MessageFile(const MessageFile&) = delete;
    MessageFile& operator=(const MessageFile&) = delete;

    // Reads up to `size` more bytes of the file into `data`; 0 at the end.
    // Throws ConversionError on a read error, and when the read that reaches
    // the end finds the file changed since it was opened.
    std::size_t Read(char* data, std::size_t size);

    // The largest start ReadStart() reads: a file without a header block is
    // not read whole for it.
    static constexpr std::size_t kStartLimit = 4 * 1024 * 1024;

    // Reads the first bytes of the file into `buffer`, and returns how many:
    // at least its whole header block when it has one, within `capacity`. The
    // rest of the file is left for Read().
    std::size_t ReadStart(char* buffer, std::size_t capacity);
    // The same into a string, up to kStartLimit bytes.
    std::string ReadStart();

    // True once a read has met the end of the file.
    bool AtEnd() const { return atEnd_; }

    std::chrono::sys_seconds ModificationTime() const { return modified_; }
    long ModificationNanoseconds() const { return modifiedNanoseconds_; }
    const std::string& Path() const { return path_; }
    std::uint64_t Size() const { return sizeAtOpen_; }
    FileIdentity Identity() const { return identity_; }

private:
    void CheckUnchanged() const;
    ConversionError Changed() const;

    std::string path_;
    int fd_ = -1;
    std::chrono::sys_seconds modified_{};
    long modifiedNanoseconds_ = 0;
    FileIdentity identity_;
    std::uint64_t sizeAtOpen_ = 0;
    std::uint64_t offset_ = 0;
    bool atEnd_ = false;
};

} // namespace marrowgate

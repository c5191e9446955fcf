#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace marrowgate {

// A message file open for reading. Only regular files (or links to them) are
// opened, so that a pipe or a device never blocks or floods a run.
class MessageFile {
public:
    // Throws ConversionError naming the file when it cannot be opened.
    explicit MessageFile(const std::string& path);
    ~MessageFile();
    MessageFile(const MessageFile&) = delete;
    MessageFile& operator=(const MessageFile&) = delete;

    // Reads up to `size` more bytes of the file into `data`; 0 at the end.
    // Throws ConversionError on a read error.
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
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
    std::chrono::sys_seconds modified_{};
    std::uint64_t sizeAtOpen_ = 0;
    std::uint64_t offset_ = 0;
    bool atEnd_ = false;
};

} // namespace marrowgate

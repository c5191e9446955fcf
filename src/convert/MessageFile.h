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

    // The first bytes of the file: at least its whole header block when it has
    // one, within a bound, so that a file without one is not read whole.
    std::string ReadStart();

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

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace marrowgate {

// A mailbox file open for appending one record. Unless Commit() succeeds, the
// file is put back exactly as it was: cut back to its former length, or
// removed when this object created it. A mailbox thus only holds whole records.
class MailboxFile {
public:
    // Opens `path` for appending, creating it when missing. Throws
    // ConversionError naming the file when it cannot be opened.
    explicit MailboxFile(const std::string& path);
    ~MailboxFile();
    MailboxFile(const MailboxFile&) = delete;
    MailboxFile& operator=(const MailboxFile&) = delete;

    // Throws ConversionError on a write error (a full disk, say).
    void Write(std::string_view bytes);
    // Closes the file, keeping what was written. Throws ConversionError (and
    // rolls back) when the close reports an error.
    void Commit();

    bool Created() const { return created_; }
    std::uint64_t BytesWritten() const { return written_; }

private:
    void RollBack() noexcept;

    std::string path_;
    int fd_ = -1;
    bool created_ = false;
    std::uint64_t formerSize_ = 0;
    std::uint64_t written_ = 0;
};

} // namespace marrowgate

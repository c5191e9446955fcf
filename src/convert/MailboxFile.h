#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace marrowgate {

// A mailbox file open for appending records, one after another. A record is
// written with Write() calls and ended with EndRecord(); a record that is not
// ended (a write failed, or the object goes away first) is taken back: the file
// is cut back to where the record began, or removed when this object created
// it and holds nothing else. A mailbox thus only ever holds whole records.
class MailboxFile {
public:
    // Opens `path` for appending, creating it when missing. Throws
    // ConversionError naming the file when it cannot be opened.
    explicit MailboxFile(const std::string& path);
    ~MailboxFile();
    MailboxFile(const MailboxFile&) = delete;
    MailboxFile& operator=(const MailboxFile&) = delete;

    // Appends bytes of the current record, given as pieces to write in order.
    // On a write error (a full disk, say) the record is taken back, the file
    // closed, and ConversionError thrown.
    void Write(std::span<const std::string_view> pieces);
    // The current record is whole: it stays, whatever happens later.
    void EndRecord();
    // Closes the file, taking back a record that was not ended. Throws
    // ConversionError when the close reports an error.
    void Close();

    // False once the file has been removed while open: records written to it
    // then would reach no one.
    bool StillLinked() const;
    bool IsOpen() const { return fd_ >= 0; }
    // The file did not exist before this object opened it.
    bool Created() const { return created_; }
    const std::string& Path() const { return path_; }
    std::uint64_t RecordBytes() const { return end_ - recordStart_; }

private:
    void TakeBackRecord() noexcept;

    std::string path_;
    int fd_ = -1;
    bool created_ = false;
    std::uint64_t recordStart_ = 0; // where the current record began
    std::uint64_t end_ = 0;         // where the next byte goes
};

} // namespace marrowgate

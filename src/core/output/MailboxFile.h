#pragma once

#include "platform/FileDescriptor.h"
#include "platform/FileIdentity.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace marrowgate {

class OutputTree;

// A mailbox file open for appending records, one after another. A record is
// written with Write() calls and ended with EndRecord(); a record that is not
// ended (a write failed, or the object goes away first) is taken back: the file
// is cut back to where the record began, or removed when this object created
// it and holds nothing else. A mailbox thus only ever holds whole records.
//
// The file is locked (fcntl) while open. A record appended to a file that
// does not end with a line end and an empty line (a torn or foreign tail)
// starts with the line ends it lacks, so that its From_ line starts a line of
// its own; the bytes already there are never changed.
class MailboxFile {
public:
    // Opens `path` for appending, creating it when missing; its folder must
    // exist. Throws ConversionError naming the file when it cannot be opened.
    // A symbolic link, or a file with more than one hard link, is refused:
    // appending to it would write wherever its other names lead.
    explicit MailboxFile(const std::string& path);
    // The same for a mailbox in a folder below the tree's root, which is made
    // when missing and reached without following links.
    MailboxFile(const std::string& path, OutputTree& tree);
    ~MailboxFile();
    MailboxFile(const MailboxFile&) = delete;
    MailboxFile& operator=(const MailboxFile&) = delete;

    // Appends bytes of the current record, given as pieces to write in order.
    // On a write error (a full disk, say) the record is taken back, the file
    // closed, and ConversionError thrown.
    void Write(std::span<const std::string_view> pieces);
    // The current record is whole: it stays, whatever happens later.
    void EndRecord();
    // Takes back the current record, if any.
    void TakeBack() noexcept { TakeBackRecord(); }
    // Cuts the file back to `size` (at most its length) before a record is
    // written: the tail of an interrupted run. Throws ConversionError.
    void CutBackTo(std::uint64_t size);
    // Flushes the file to disk. Throws ConversionError on failure.
    void Sync();
    // Starts writing to disk what was written and is not on its way yet,
    // without waiting (records are written back a few megabytes at a time
    // as they are written, so that a flush at the close has little left).
    void StartWriteBack();
    // Closes the file, taking back a record that was not ended. Throws
    // ConversionError when the close reports an error.
    void Close();

    // False once the file has been removed while open: records written to it
    // then would reach no one.
    bool StillLinked() const;
    bool IsOpen() const { return fd_.IsOpen(); }
    // The file did not exist before this object opened it.
    bool Created() const { return created_; }
    const std::string& Path() const { return path_; }
    FileIdentity Identity() const { return identity_; }
    std::uint64_t RecordBytes() const { return end_ - recordStart_; }
    // Where the current record begins (its lead included), where its From_
    // line begins, and the file's end.
    std::uint64_t RecordStart() const { return recordStart_; }
    std::uint64_t RecordBegin() const { return recordStart_ + leadWritten_; }
    int Fd() const { return fd_.Get(); }
    std::uint64_t End() const { return end_; }

private:
    void Open(OutputTree& tree);
    void TakeBackRecord() noexcept;
    void FindLead();

    std::string path_;
    FileDescriptor folder_; // the folder it lies in, for taking it back
    std::string name_;      // its name there
    FileIdentity identity_;
    FileDescriptor fd_;
    bool created_ = false;
    bool removed_ = false;          // the file this object made was taken back whole
    std::uint64_t recordStart_ = 0; // where the current record began
    std::uint64_t end_ = 0;         // where the next byte goes
    std::uint64_t writtenBack_ = 0; // bytes before it are on their way to disk
    std::string_view lead_;         // line ends a record needs before its From_ line
    std::uint64_t leadWritten_ = 0; // of the current record
};

} // namespace marrowgate

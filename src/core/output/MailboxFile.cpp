#include "output/MailboxFile.h"

#include "marrowgate/ConversionError.h"
#include "marrowgate/NativePaths.h"
#include "output/MailboxLock.h"
#include "output/OutputTree.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>

#include <string>
#include <vector>

namespace marrowgate {

MailboxFile::MailboxFile(const std::string& path) : path_(path) {
    OutputTree folder(DirectoryPart(path, NativeSyntax()), OutputTree::Root::MustExist);
    Open(folder);
}

MailboxFile::MailboxFile(const std::string& path, OutputTree& tree) : path_(path) {
    Open(tree);
}

void MailboxFile::Open(OutputTree& tree) {
    const std::string folder = DirectoryPart(path_, NativeSyntax());
    folder_ = tree.OpenFolder(folder.empty() ? "." : folder);
    name_ = LastPathComponent(path_, NativeSyntax());
    if (name_.empty() || name_.find('\0') != std::string::npos) {
        throw ConversionError("Cannot open mailbox file " + path_ + ": not a file name");
    }
    if (const std::string name = platform::UnstorableName(path_); !name.empty()) {
        throw ConversionError("Cannot open mailbox file " + path_ +
                              ": the system reserves the name \"" + name + "\"");
    }
    if (path_.size() >= platform::kPathLimit) {
        throw ConversionError::FromErrno("Cannot open mailbox file", path_, ENAMETOOLONG);
    }
    // Never through a link: one planted here would aim the mail at its target.
    constexpr unsigned kFlags =
        platform::kRead | platform::kWrite | platform::kAppend | platform::kNoFollow;
    // Most opens are of a mailbox an earlier message created: try that first.
    FileDescriptor fd(platform::OpenAt(folder_.Get(), name_, kFlags));
    if (!fd.IsOpen() && errno == ENOENT) {
        fd = FileDescriptor(platform::OpenAt(folder_.Get(), name_, kFlags | platform::kCreateNew));
        created_ = fd.IsOpen();
    }
    if (!fd.IsOpen()) {
        const int error = errno;
        if (error == ELOOP) {
            throw ConversionError("Cannot open mailbox file " + path_ + ": it is a symbolic link");
        }
        throw ConversionError::FromErrno("Cannot open mailbox file", path_, error);
    }
    platform::FileStatus info;
    std::string refusal;
    if (platform::Status(fd.Get(), info) != 0 || !info.regular) {
        refusal = "not a regular file";
    } else if (info.links > 1) {
        // Another name of the same file may lie anywhere on the device.
        refusal = "it has " + std::to_string(info.links) + " hard links";
    }
    if (!refusal.empty()) {
        throw ConversionError("Cannot open mailbox file " + path_ + ": " + refusal);
    }
    identity_ = {info.device, info.inode};
    LockMailbox(fd.Get(), path_);
    // The size may have changed while the lock was waited for.
    if (platform::Status(fd.Get(), info) != 0) {
        info.size = 0;
    }
    fd_ = std::move(fd);
    recordStart_ = end_ = writtenBack_ = info.size;
    FindLead();
}

void MailboxFile::FindLead() {
    lead_ = {};
    if (end_ == 0) {
        return;
    }
    // The last three bytes tell: an empty line ends in LF LF or LF CR LF.
    char tail[3] = {'\n', '\n', '\n'};
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(end_, 3));
    const long long got = platform::ReadAt(fd_.Get(), tail + 3 - want, want, end_ - want);
    const std::string_view last(tail, 3);
    if (got != static_cast<long long>(want) || last.back() != '\n') {
        lead_ = "\r\n\r\n"; // what cannot be read is taken as torn: an empty line more is harmless
    } else if (!last.ends_with("\n\n") && last != "\n\r\n") {
        lead_ = "\r\n"; // a line end, but no empty line before the next record
    }
}

void MailboxFile::CutBackTo(std::uint64_t size) {
    if (size < end_) {
        if (platform::Truncate(fd_.Get(), size) != 0) {
            throw ConversionError::FromErrno("Cannot write mailbox file", path_, errno);
        }
        recordStart_ = end_ = size;
        writtenBack_ = std::min(writtenBack_, size);
        FindLead();
    }
}

void MailboxFile::StartWriteBack() {
    if (fd_.IsOpen() && end_ > writtenBack_) {
        // Only a hint: a failure shows at the flush, which waits for the bytes.
        [[maybe_unused]] const int started =
            platform::StartWriteBack(fd_.Get(), writtenBack_, end_ - writtenBack_);
        writtenBack_ = end_;
    }
}

void MailboxFile::Sync() {
    if (fd_.IsOpen() && platform::Sync(fd_.Get()) != 0) {
        throw ConversionError::FromErrno("Cannot write mailbox file", path_, errno);
    }
}

MailboxFile::~MailboxFile() {
    if (fd_.IsOpen()) {
        TakeBackRecord();
    }
}

void MailboxFile::Write(std::span<const std::string_view> pieces) {
    std::vector<std::string_view> all;
    if (end_ == recordStart_) {
        leadWritten_ = lead_.size();
    }
    if (end_ == recordStart_ && !lead_.empty()) {
        all.reserve(pieces.size() + 1);
        all.push_back(lead_);
        all.insert(all.end(), pieces.begin(), pieces.end());
        pieces = all;
    }
    std::uint64_t written = 0;
    const bool whole = platform::WriteAll(fd_.Get(), pieces, written);
    end_ += written;
    if (!whole) {
        const int error = errno;
        TakeBackRecord();
        fd_.Reset();
        throw ConversionError::FromErrno("Cannot write mailbox file", path_, error);
    }
    constexpr std::uint64_t kWriteBackEvery = 4 * 1024 * 1024;
    if (end_ - writtenBack_ >= kWriteBackEvery) {
        StartWriteBack();
    }
}

void MailboxFile::EndRecord() {
    if (end_ > recordStart_) {
        lead_ = {}; // a record ends with an empty line
    }
    recordStart_ = end_;
}

void MailboxFile::Close() {
    if (!fd_.IsOpen()) {
        return;
    }
    TakeBackRecord();
    if (platform::Close(fd_.Release()) != 0) {
        throw ConversionError::FromErrno("Cannot write mailbox file", path_, errno);
    }
}

bool MailboxFile::StillLinked() const {
    platform::FileStatus info;
    return fd_.IsOpen() && platform::Status(fd_.Get(), info) == 0 && info.links > 0;
}

void MailboxFile::TakeBackRecord() noexcept {
    if (created_ && recordStart_ == 0) {
        // No record was finished in the file this object made: it goes, even
        // when nothing was written yet (a run stopped between opening it and
        // writing), so that no empty mailbox is left behind.
        if (!removed_) {
            platform::RemoveAt(folder_.Get(), name_);
            removed_ = true;
        }
        end_ = recordStart_;
        return;
    }
    if (end_ == recordStart_) {
        return;
    }
    if (platform::Truncate(fd_.Get(), recordStart_) != 0) {
        // Nothing more can be done: the error that brought us here is reported.
    }
    end_ = recordStart_;
    writtenBack_ = std::min(writtenBack_, end_);
}

} // namespace marrowgate

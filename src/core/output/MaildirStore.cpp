#include "output/MaildirStore.h"

#include "marrowgate/ConversionError.h"
#include "marrowgate/NativePaths.h"
#include "output/BareMessage.h"
#include "output/ModifiedUtf7.h"
#include "platform/Environment.h"
#include "platform/FileDescriptor.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace marrowgate {
namespace {

constexpr std::string_view kParts[] = {"cur", "new", "tmp"};

std::string Sub(const std::string& folder, std::string_view part) {
    return folder + std::string(part) + Separator(NativeSyntax());
}

// The host name as Maildir writers put it into names: "/" and ":" escaped.
std::string NameSafeHost() {
    std::string host;
    for (const char c : platform::HostName()) {
        host += c == '/' ? "\\057" : c == ':' ? "\\072" : std::string(1, c);
    }
    return host;
}

// The size a name carries (",S=1234"), or nullopt.
std::optional<std::uint64_t> SizeInName(std::string_view name) {
    const std::size_t at = name.find(",S=");
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::uint64_t size = 0;
    std::size_t i = at + 3;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        size = size * 10 + static_cast<std::uint64_t>(name[i] - '0');
    }
    return i > at + 3 ? std::optional(size) : std::nullopt;
}

} // namespace

MaildirStore::MaildirStore(const std::string& root, bool seen) : tree_(root), seen_(seen) {}

std::string MaildirStore::FolderName(const std::vector<std::string>& folderNames) {
    std::string name;
    for (const std::string& level : folderNames) {
        std::string encoded = EncodeModifiedUtf7(level);
        std::replace(encoded.begin(), encoded.end(), '.', '_');
        name += "." + encoded;
    }
    return name;
}

bool MaildirStore::EnsureMaildir(const std::string& folder) {
    if (made_.contains(folder)) {
        return false;
    }
    platform::FileStatus info;
    const bool existed = platform::LinkStatus(Sub(folder, "cur"), info) == 0;
    for (const std::string_view part : kParts) {
        tree_.EnsureFolder(Sub(folder, part));
    }
    if (folder != tree_.RootPath()) {
        // Maildir++ marks a folder's maildir so.
        const FileDescriptor here = tree_.OpenFolder(folder);
        const FileDescriptor mark(
            platform::OpenAt(here.Get(), "maildirfolder", platform::kWrite | platform::kCreateNew));
    }
    made_.insert(folder);
    return !existed;
}

std::string MaildirStore::Mailbox(const std::vector<std::string>& folderNames, bool& created) {
    EnsureMaildir(tree_.RootPath());
    std::string folder;
    for (std::size_t levels = 1; levels <= folderNames.size(); ++levels) {
        const std::vector<std::string> upper(folderNames.begin(),
                                             folderNames.begin() + static_cast<long>(levels));
        folder = tree_.RootPath() + FolderName(upper) + Separator(NativeSyntax());
        created = EnsureMaildir(folder);
    }
    return folder;
}

// The messages of the maildir, by the size their name carries (or their
// file's) and their modification time.
StoredCopies& MaildirStore::CopiesOf(const std::string& folder) {
    if (copies_ && listed_ == folder) {
        return *copies_;
    }
    StoredCopies copies;
    for (const std::string_view part : {kParts[0], kParts[1]}) {
        const std::string path = Sub(folder, part);
        const int listed =
            platform::ListFolder(path, [&](std::string_view name, platform::EntryKind kind) {
                platform::FileStatus info;
                const std::string file = path + std::string(name);
                if (kind == platform::EntryKind::File && platform::LinkStatus(file, info) == 0 &&
                    info.regular) {
                    copies.Add(SizeInName(name).value_or(info.size), info.modified, file);
                }
            });
        if (listed != 0) {
            throw ConversionError::FromErrno("Cannot list folder", path, errno);
        }
    }
    copies_ = std::move(copies);
    listed_ = folder;
    return *copies_;
}

bool MaildirStore::Holds(const std::string& file, const std::string& bytes) {
    const FileDescriptor fd(platform::Open(file, platform::kRead | platform::kNoFollow));
    std::string held(bytes.size() + 1, '\0');
    const long long got =
        fd.IsOpen() ? platform::ReadAt(fd.Get(), held.data(), held.size(), 0) : -1;
    return got == static_cast<long long>(bytes.size()) && held.compare(0, bytes.size(), bytes) == 0;
}

// Dovecot's form: seconds.M<microseconds>P<process>Q<count>.<host>,S=<size>.
std::string MaildirStore::UniqueName(std::uint64_t size) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now);
    const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(now - seconds);
    return std::to_string(seconds.count()) + ".M" + std::to_string(micro.count()) + "P" +
           std::to_string(platform::ProcessId()) + "Q" + std::to_string(++counter_) + "." +
           NameSafeHost() + ",S=" + std::to_string(size);
}

void MaildirStore::Write(const std::string& folder, const std::string& name,
                         const BareMessage& message) {
    const std::string tmp = Sub(folder, "tmp");
    const FileDescriptor tmpFolder = tree_.OpenFolder(tmp);
    const FileDescriptor file(
        platform::OpenAt(tmpFolder.Get(), name, platform::kWrite | platform::kCreateNew));
    const std::string_view pieces[] = {message.bytes};
    std::uint64_t written = 0;
    if (!file.IsOpen() || !platform::WriteAll(file.Get(), pieces, written) ||
        platform::SetModificationTime(file.Get(), message.date) != 0 ||
        platform::Sync(file.Get()) != 0) {
        const int error = errno;
        platform::RemoveAt(tmpFolder.Get(), name);
        throw ConversionError::FromErrno("Cannot write message file", tmp + name, error);
    }
}

MessageStore::Outcome MaildirStore::Store(const std::string& mailbox, const BareMessage& message,
                                          std::uint64_t /*ticket*/) {
    StoredCopies& copies = CopiesOf(mailbox);
    for (const std::string& file : copies.Candidates(message.bytes.size(), message.date)) {
        if (Holds(file, message.bytes)) {
            copies.Claim(message.bytes.size(), message.date, file);
            return Outcome::AlreadyThere;
        }
    }
    const std::string name = UniqueName(message.bytes.size());
    Write(mailbox, name, message);
    std::string final = name + (seen_ ? ":2,S" : ":2,");
    if (!platform::StorableName(final)) {
        final = name;
    }
    const FileDescriptor tmpFolder = tree_.OpenFolder(Sub(mailbox, "tmp"));
    const FileDescriptor curFolder = tree_.OpenFolder(Sub(mailbox, "cur"));
    if (platform::RenameAt(tmpFolder.Get(), name, curFolder.Get(), final) != 0) {
        const int error = errno;
        platform::RemoveAt(tmpFolder.Get(), name);
        throw ConversionError::FromErrno("Cannot move message file into", Sub(mailbox, "cur"),
                                         error);
    }
    toSync_.insert(Sub(mailbox, "cur"));
    return Outcome::Stored;
}

void MaildirStore::Finish() {
    for (const std::string& folder : toSync_) {
        const FileDescriptor fd = tree_.OpenFolder(folder);
        if (platform::Sync(fd.Get()) != 0) {
            throw ConversionError::FromErrno("Cannot write folder", folder, errno);
        }
    }
    toSync_.clear();
}

} // namespace marrowgate

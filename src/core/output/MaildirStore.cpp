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
#include <functional>
#include <utility>
#include <vector>

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

// A message's place: its file's name without the flags (":2,S"), which
// mail programs change as it is read.
std::string_view PlaceOf(std::string_view name) {
    return name.substr(0, name.find(':'));
}

// Whether the file at `path` holds `bytes` and nothing more.
bool SameBytes(const std::string& path, const std::string& bytes) {
    const FileDescriptor fd(platform::Open(path, platform::kRead | platform::kNoFollow));
    std::string held(bytes.size() + 1, '\0');
    const long long got =
        fd.IsOpen() ? platform::ReadAt(fd.Get(), held.data(), held.size(), 0) : -1;
    return got == static_cast<long long>(bytes.size()) && held.compare(0, bytes.size(), bytes) == 0;
}

// Calls each(name, path) for every message file of the maildir `mailbox`
// (in its cur/ and new/).
void ForEachMessageFile(const std::string& mailbox,
                        const std::function<void(std::string_view, const std::string&)>& each) {
    for (const std::string_view part : {kParts[0], kParts[1]}) {
        const std::string path = Sub(mailbox, part);
        const int listed =
            platform::ListFolder(path, [&](std::string_view name, platform::EntryKind kind) {
                if (kind == platform::EntryKind::File) {
                    each(name, path + std::string(name));
                }
            });
        if (listed != 0) {
            throw ConversionError::FromErrno("Cannot list folder", path, errno);
        }
    }
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

std::string MaildirStore::LedgerName(const std::string& mailbox) const {
    std::string name = mailbox.substr(std::min(mailbox.size(), tree_.RootPath().size()));
    if (!name.empty() && name.back() == Separator(NativeSyntax())) {
        name.pop_back();
    }
    return name;
}

// The files of its cur/ and new/, by their places; and what a killed run of
// ours left in its tmp/, removed.
std::optional<std::string> MaildirStore::Enter(const std::string& mailbox,
                                               const std::optional<std::string>& /*begun*/) {
    present_.clear();
    claimed_.clear();
    unclaimed_.reset();
    ForEachMessageFile(mailbox, [&](std::string_view name, const std::string& path) {
        present_.emplace(std::string(PlaceOf(name)), path);
    });
    RemoveUnfinished(mailbox);
    return std::nullopt;
}

void MaildirStore::RemoveUnfinished(const std::string& mailbox) {
    const std::string tmp = Sub(mailbox, "tmp");
    std::vector<std::string> ours;
    const int listed =
        platform::ListFolder(tmp, [&](std::string_view name, platform::EntryKind kind) {
            if (kind == platform::EntryKind::File && name.ends_with(kUnfinished)) {
                ours.emplace_back(name);
            }
        });
    if (listed != 0) {
        throw ConversionError::FromErrno("Cannot list folder", tmp, errno);
    }
    if (ours.empty()) {
        return;
    }
    const FileDescriptor folder = tree_.OpenFolder(tmp);
    for (const std::string& name : ours) {
        platform::FileStatus info;
        if (platform::StatusAt(folder.Get(), name, info) == 0 && info.regular &&
            platform::RemoveAt(folder.Get(), name) != 0 && errno != ENOENT) {
            throw ConversionError::FromErrno("Cannot remove", tmp + name, errno);
        }
    }
}

bool MaildirStore::Holds(const std::string& place) {
    if (!present_.contains(place)) {
        return false;
    }
    claimed_.insert(place);
    return true;
}

// The messages no record claims, by the size their name carries (or their
// file's) and their modification time.
StoredCopies& MaildirStore::Unclaimed() {
    if (unclaimed_) {
        return *unclaimed_;
    }
    StoredCopies copies;
    for (const auto& [place, file] : present_) {
        platform::FileStatus info;
        if (!claimed_.contains(place) && platform::LinkStatus(file, info) == 0 && info.regular) {
            copies.Add(SizeInName(place).value_or(info.size), info.modified, place);
        }
    }
    unclaimed_ = std::move(copies);
    return *unclaimed_;
}

std::optional<std::string> MaildirStore::Find(const BareMessage& message, Search /*search*/) {
    StoredCopies& copies = Unclaimed();
    for (const std::string& place : copies.Candidates(message.bytes.size(), message.date)) {
        if (SameBytes(present_.at(place), message.bytes)) {
            copies.Claim(message.bytes.size(), message.date, place);
            claimed_.insert(place);
            return place;
        }
    }
    return std::nullopt;
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

void MaildirStore::Store(const std::string& mailbox, const BareMessage& message,
                         std::uint64_t ticket) {
    const std::string name = UniqueName(message.bytes.size());
    const std::string unfinished = name + std::string(kUnfinished);
    Write(mailbox, unfinished, message);
    std::string final = name + (seen_ ? ":2,S" : ":2,");
    if (!platform::StorableName(final)) {
        final = name;
    }
    const FileDescriptor tmpFolder = tree_.OpenFolder(Sub(mailbox, "tmp"));
    const FileDescriptor curFolder = tree_.OpenFolder(Sub(mailbox, "cur"));
    if (platform::RenameAt(tmpFolder.Get(), unfinished, curFolder.Get(), final) != 0) {
        const int error = errno;
        platform::RemoveAt(tmpFolder.Get(), unfinished);
        throw ConversionError::FromErrno("Cannot move message file into", Sub(mailbox, "cur"),
                                         error);
    }
    toSync_.insert(Sub(mailbox, "cur"));
    confirmed_.push_back({ticket, name});
}

std::vector<MessageStore::Confirmed> MaildirStore::TakeConfirmed() {
    return std::exchange(confirmed_, {});
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

std::optional<std::string>
MaildirStore::ExistingMailbox(const std::vector<std::string>& folderNames) {
    const std::string folder =
        tree_.RootPath() + FolderName(folderNames) + Separator(NativeSyntax());
    platform::FileStatus info;
    if (platform::LinkStatus(Sub(folder, "cur"), info) != 0 || !info.folder) {
        return std::nullopt;
    }
    return folder;
}

std::vector<MessageStore::Copy> MaildirStore::Copies(const std::string& mailbox) {
    std::vector<Copy> copies;
    ForEachMessageFile(mailbox, [&](std::string_view, const std::string& path) {
        platform::FileStatus info;
        if (platform::LinkStatus(path, info) == 0 && info.regular) {
            copies.push_back({path, info.size, info.modified});
        }
    });
    return copies;
}

void MaildirStore::ReadCopies(const std::string& /*mailbox*/, const std::vector<Copy>& copies,
                              const EachCopy& each) {
    std::string bytes;
    for (const Copy& copy : copies) {
        const FileDescriptor fd(platform::Open(copy.handle, platform::kRead | platform::kNoFollow));
        bytes.assign(copy.size + 1, '\0');
        std::uint64_t held = 0;
        long long got = 0;
        while (fd.IsOpen() && (got = platform::ReadAt(fd.Get(), bytes.data() + held,
                                                      bytes.size() - held, held)) > 0) {
            held += static_cast<std::uint64_t>(got);
            if (held == bytes.size()) {
                bytes.resize(bytes.size() * 2); // it grew since it was listed
            }
        }
        if (fd.IsOpen() && got == 0) {
            bytes.resize(static_cast<std::size_t>(held));
            each(copy.handle, bytes);
        }
    }
}

} // namespace marrowgate

#include "list/FolderListing.h"

#include "list/OutputFolders.h"
#include "marrowgate/NativePaths.h"
#include "marrowgate/WalkError.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace marrowgate {
namespace {

unsigned char Folded(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'a' && byte <= 'z' ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

[[noreturn]] void ThrowCannotList(const std::string& folder, const std::error_code& error) {
    throw WalkError("Cannot list the folder " + folder + ": " + error.message());
}

void SortListing(FolderListing& listing) {
    listing.subfolders.Sort();
    listing.files.Sort();
}

} // namespace

bool NameOrder(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char x = Folded(a[i]);
        const unsigned char y = Folded(b[i]);
        if (x != y) {
            return x < y;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b;
}

void NameList::Add(std::string_view name) {
    constexpr std::uint32_t kBlock = 1u << kBlockBits;
    const std::size_t size = name.size();
    if (size >= kBlock) {
        throw std::length_error("a file name longer than any file system allows");
    }
    if (used_.empty() || used_.back() + size + 1 > kBlock) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlock));
        used_.push_back(0);
    }
    char* const place = blocks_.back().get() + used_.back();
    std::memcpy(place, name.data(), size);
    place[size] = '\0';
    used_.back() += static_cast<std::uint32_t>(size + 1);
    ++count_;
}

void NameList::Sort() {
    places_.clear();
    places_.reserve(count_);
    for (std::uint32_t block = 0; block < blocks_.size(); ++block) {
        const char* const start = blocks_[block].get();
        for (std::uint32_t offset = 0; offset < used_[block];) {
            places_.push_back(block << kBlockBits | offset);
            offset += static_cast<std::uint32_t>(std::strlen(start + offset) + 1);
        }
    }
    std::sort(places_.begin(), places_.end(),
              [this](std::uint32_t a, std::uint32_t b) { return NameOrder(At(a), At(b)); });
}

std::string WithTrailingSeparator(const std::string& path) {
    const char separator = Separator(NativeSyntax());
    if (!path.empty() && path.back() == separator) {
        return path;
    }
    return path + separator;
}

namespace {

// Calls `each` with the name and kind of every file and subfolder of `folder`.
void ListEntries(const std::string& folder, const platform::EachEntry& each) {
    if (platform::ListFolder(folder, each) != 0) {
        ThrowCannotList(folder, std::error_code(errno, std::generic_category()));
    }
}

// The first `count` names of a sorted list.
NameList FirstOf(const NameList& names, std::size_t count) {
    NameList first;
    for (std::size_t i = 0; i < count && i < names.size(); ++i) {
        first.Add(names[i]);
    }
    return first;
}

} // namespace

FolderListing ListFolder(const std::string& folder) {
    FolderListing listing;
    ListEntries(folder, [&](std::string_view name, platform::EntryKind kind) {
        if (kind != platform::EntryKind::Other) {
            (kind == platform::EntryKind::Folder ? listing.subfolders : listing.files).Add(name);
        }
        listing.holdsLedger = listing.holdsLedger || (kind == platform::EntryKind::File &&
                                                      name == OutputFolders::kLedgerName);
    });
    SortListing(listing);
    return listing;
}

// The names kept are at most twice the part: whenever they reach that, they
// are sorted and cut back to the part, and the last kept bounds what comes.
FolderListing ListFolderPart(const std::string& folder, const std::string* after, std::size_t limit,
                             std::size_t* fileCount) {
    FolderListing listing;
    NameList kept;
    std::string bound; // names from here on are past the part; empty: none yet
    std::size_t files = 0;
    ListEntries(folder, [&](std::string_view name, platform::EntryKind kind) {
        if (kind == platform::EntryKind::Other) {
            return;
        }
        if (kind == platform::EntryKind::Folder) {
            if (after == nullptr) {
                listing.subfolders.Add(name);
            }
            return;
        }
        listing.holdsLedger = listing.holdsLedger || name == OutputFolders::kLedgerName;
        ++files;
        if ((after != nullptr && !NameOrder(*after, name)) ||
            (!bound.empty() && !NameOrder(name, bound))) {
            return;
        }
        kept.Add(name);
        if (kept.size() == 2 * limit) {
            kept.Sort();
            bound = std::string(kept[limit - 1]);
            kept = FirstOf(kept, limit);
        }
    });
    kept.Sort();
    if (kept.size() > limit) {
        kept = FirstOf(kept, limit);
        kept.Sort();
    }
    listing.files = std::move(kept);
    listing.subfolders.Sort();
    listing.holdsLedger = listing.holdsLedger && after == nullptr;
    if (fileCount != nullptr) {
        *fileCount = files;
    }
    return listing;
}

FolderCount CountFolder(const std::string& folder, bool (*counts)(std::string_view name)) {
    FolderCount count;
    ListEntries(folder, [&](std::string_view name, platform::EntryKind kind) {
        if (kind == platform::EntryKind::Folder) {
            count.subfolders.Add(name);
        } else if (kind == platform::EntryKind::File) {
            count.holdsLedger = count.holdsLedger || name == OutputFolders::kLedgerName;
            count.files += counts(name) ? 1 : 0;
        }
    });
    count.subfolders.Sort();
    return count;
}

} // namespace marrowgate

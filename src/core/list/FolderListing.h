#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace marrowgate {

// The order in which a walk visits the entries of one folder, the same on
// every system and in both front ends: names compared byte by byte with the
// ASCII letters a-z taken as A-Z (as Windows lists an NTFS folder, where
// "Inbox" and "inbox" sit together and "_x" follows "a"); names equal but
// for case are then ordered by their bytes, so the order is total. Letters
// beyond ASCII are compared by their UTF-8 bytes, that is by code point.
bool NameOrder(std::string_view a, std::string_view b);

// `path` with the system's separator at its end (unchanged when it has one).
std::string WithTrailingSeparator(const std::string& path);

// Names kept in blocks of 64 KiB, each ended by a NUL (which no file name
// holds), 5 bytes each beyond their own: a folder of 100,000 files costs
// little more than its names, and growing never copies what is kept. The
// index of the names is made once, at Sort(), to the size it needs.
class NameList {
public:
    // Throws std::length_error for a name of 64 KiB or more, which no file
    // system allows.
    void Add(std::string_view name);
    // Into NameOrder; the names can be read by number only after it.
    void Sort();
    std::size_t size() const { return count_; }
    std::string_view operator[](std::size_t i) const { return At(places_[i]); }

private:
    static constexpr std::uint32_t kBlockBits = 16;
    const char* At(std::uint32_t place) const {
        return blocks_[place >> kBlockBits].get() + (place & ((1u << kBlockBits) - 1));
    }

    std::vector<std::unique_ptr<char[]>> blocks_;
    std::vector<std::uint32_t> used_; // bytes of each block
    std::size_t count_ = 0;
    std::vector<std::uint32_t> places_; // block number, then offset
};

// One folder's entries, each list in NameOrder.
struct FolderListing {
    NameList subfolders;
    NameList files;
    bool holdsLedger = false; // among its files is an output folder's ledger (OutputFolders)
};

// Lists `folder` (path text; a final separator is optional). Regular files
// count, and links to them; folders are listed as subfolders, links to folders
// are not (so a link loop cannot make a walk endless). Pipes, devices and
// sockets are left out, and links to them, as reading them could block or
// never end. A link whose target cannot be looked at (dangling, a loop)
// counts as a file, so that the conversion reports it. Throws WalkError
// naming the folder when it cannot be listed.
FolderListing ListFolder(const std::string& folder);

// Part of ListFolder(folder): at most `limit` files (limit > 0), the first in
// NameOrder that come after `after`, or the first of all when `after` is null;
// the subfolders (and holdsLedger) only with the first part. A walk lists a
// large folder part by part, so as not to hold all its names. `fileCount`,
// when given, receives how many files the folder holds in all.
FolderListing ListFolderPart(const std::string& folder, const std::string* after, std::size_t limit,
                             std::size_t* fileCount = nullptr);

// The folder's subfolders (in NameOrder) and how many of its files pass
// `counts`, from one listing that keeps no file name; `holdsLedger` told.
struct FolderCount {
    NameList subfolders;
    std::size_t files = 0;
    bool holdsLedger = false;
};
FolderCount CountFolder(const std::string& folder, bool (*counts)(std::string_view name));

} // namespace marrowgate

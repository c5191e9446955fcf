#pragma once

#include <cstdint>
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

// Names kept in one block of text, 8 bytes each beyond their own, so that a
// folder of 100,000 files costs little more than its names.
class NameList {
public:
    void Add(std::string_view name);
    void Sort(); // into NameOrder
    std::size_t size() const { return spans_.size(); }
    std::string_view operator[](std::size_t i) const {
        return std::string_view(text_).substr(spans_[i].start, spans_[i].length);
    }

private:
    struct Span {
        std::uint32_t start;
        std::uint32_t length;
    };
    std::string text_;
    std::vector<Span> spans_;
};

// One folder's entries, each list in NameOrder.
struct FolderListing {
    NameList subfolders;
    NameList files;
};

// Lists `folder` (path text; a final separator is optional). Regular files
// count, and links to them; folders are listed as subfolders, links to folders
// are not (so a link loop cannot make a walk endless). Pipes, devices and
// sockets are left out, and links to them, as reading them could block or
// never end. A link whose target cannot be looked at (dangling, a loop)
// counts as a file, so that the conversion reports it. Throws WalkError
// naming the folder when it cannot be listed.
FolderListing ListFolder(const std::string& folder);

} // namespace marrowgate

#include "list/FolderListing.h"

#include "list/WalkError.h"
#include "shell/registry.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace marrowgate {
namespace {

namespace fs = std::filesystem;

unsigned char Folded(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'a' && byte <= 'z' ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

[[noreturn]] void ThrowCannotList(const std::string& folder, const std::error_code& error) {
    throw WalkError("Cannot list the folder " + folder + ": " + error.message());
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

std::string WithTrailingSeparator(const std::string& path) {
    const char separator = Separator(NativeSyntax());
    if (!path.empty() && path.back() == separator) {
        return path;
    }
    return path + separator;
}

FolderListing ListFolder(const std::string& folder) {
    FolderListing listing;
    std::error_code error;
    // The entry's type comes from the listing itself where the file system
    // gives it, so that only links cost a look at their target.
    fs::directory_iterator it(NativePath(folder), error);
    if (error) {
        ThrowCannotList(folder, error);
    }
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            ThrowCannotList(folder, error);
        }
        std::error_code statusError;
        if (it->is_symlink(statusError)) {
            const auto target = fs::status(it->path(), statusError);
            if (fs::is_regular_file(target) || !fs::exists(target)) {
                listing.files.push_back(PathText(it->path().filename()));
            }
        } else if (it->is_directory(statusError)) {
            listing.subfolders.push_back(PathText(it->path().filename()));
        } else if (it->is_regular_file(statusError)) {
            listing.files.push_back(PathText(it->path().filename()));
        }
    }
    if (error) {
        ThrowCannotList(folder, error);
    }
    std::sort(listing.subfolders.begin(), listing.subfolders.end(), NameOrder);
    std::sort(listing.files.begin(), listing.files.end(), NameOrder);
    return listing;
}

} // namespace marrowgate

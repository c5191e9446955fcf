#include "platform/FileSystem.h"

#include "platform/Win32Support.h"

#include <memory>

namespace marrowgate::platform {
namespace {

struct FindCloser {
    void operator()(HANDLE find) const { FindClose(find); }
};
// Closed however the listing ends, a caller's exception included.
using FindHandle = std::unique_ptr<void, FindCloser>;

EntryKind KindOf(DWORD attributes) {
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!folder) {
        return EntryKind::File; // a link to a file, or to nothing, too
    }
    return link ? EntryKind::Other : EntryKind::Folder;
}

} // namespace

// The system's own listing, by the path's extended form: std::filesystem
// cannot list a folder whose name ends in a dot or a space.
int ListFolder(const std::string& path, const EachEntry& each) {
    std::wstring pattern = win32::LongPath(path);
    if (!pattern.ends_with(L'\\')) {
        pattern += L'\\';
    }
    pattern += L'*';
    WIN32_FIND_DATAW entry{};
    FindHandle find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, 0));
    if (find.get() == INVALID_HANDLE_VALUE) {
        find.release();
        return win32::Fail();
    }
    do {
        const std::wstring_view name(entry.cFileName);
        if (name != L"." && name != L"..") {
            each(win32::Narrow(name), KindOf(entry.dwFileAttributes));
        }
    } while (FindNextFileW(find.get(), &entry));
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? 0 : win32::Fail(error);
}

} // namespace marrowgate::platform

#include "marrowgate/PathDerivation.h"

#include "marrowgate/ConversionError.h"
#include "pathtext/WindowsPaths.h"

#include <string_view>
#include <vector>

namespace marrowgate {
namespace {

std::size_t PosixRootLength(std::string_view folder) {
    const auto firstName = folder.find_first_not_of('/');
    return firstName == std::string_view::npos ? folder.size() : firstName;
}

// The folder's names below its root, with "." and ".." resolved and empty
// names dropped, so that joining them to the output root stays inside it.
std::vector<std::string_view> NamesBelowRoot(std::string_view folder, PathSyntax syntax) {
    const std::string_view separators = syntax == PathSyntax::Windows ? kWindowsSeparators : "/";
    const auto rootLength =
        syntax == PathSyntax::Windows ? WindowsRootLength(folder) : PosixRootLength(folder);
    std::vector<std::string_view> names;
    auto rest = folder.substr(rootLength);
    while (!rest.empty()) {
        const auto end = rest.find_first_of(separators);
        const auto name = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (name.empty() || name == ".") {
            continue;
        }
        if (name == "..") {
            if (!names.empty()) {
                names.pop_back();
            }
            continue;
        }
        names.push_back(name);
    }
    return names;
}

} // namespace

std::string SourcePathOfRow(const std::string& rowText) {
    return rowText;
}

std::string NormaliseOutputRoot(const std::string& outputRoot, PathSyntax syntax) {
    const char separator = Separator(syntax);
    if (!outputRoot.empty() && outputRoot.back() == separator) {
        return outputRoot;
    }
    return outputRoot + separator;
}

namespace {

void RefuseNul(const std::string& sourcePath) {
    // The system would read the path only up to a NUL: "..\0x" would become "..".
    if (sourcePath.find('\0') != std::string::npos) {
        throw ConversionError("Cannot derive a mailbox for the path " + sourcePath +
                              ": it holds a NUL character");
    }
}

std::string_view WithoutFinalSeparators(std::string_view path, PathSyntax syntax) {
    while (path.size() > 1 && path.back() == Separator(syntax)) {
        path.remove_suffix(1);
    }
    return path;
}

} // namespace

std::string MirroredFolder(const std::string& sourcePath, const std::string& outputRoot,
                           PathSyntax syntax) {
    RefuseNul(sourcePath);
    const char separator = Separator(syntax);
    const std::string folder = DirectoryPart(sourcePath, syntax);
    std::string mirrored = outputRoot;
    for (const auto name : NamesBelowRoot(folder, syntax)) {
        mirrored.append(name);
        mirrored.push_back(separator);
    }
    return mirrored;
}

std::vector<std::string> FolderNamesFromStore(const std::string& sourcePath,
                                              const std::string& storeFolder, PathSyntax syntax) {
    RefuseNul(sourcePath);
    const std::string folder = DirectoryPart(sourcePath, syntax);
    std::string_view store = WithoutFinalSeparators(storeFolder, syntax);
    std::string_view below;
    if (!store.empty() && folder.size() > store.size() && folder.starts_with(store) &&
        (folder[store.size()] == Separator(syntax) || store.back() == Separator(syntax))) {
        below = std::string_view(folder).substr(store.size());
    } else {
        store = WithoutFinalSeparators(folder, syntax); // not below the store: its own folder
    }
    std::string storeName = LastPathComponent(std::string(store), syntax);
    if (syntax == PathSyntax::Windows && IsDriveDesignation(storeName) && storeName.size() == 2) {
        storeName.pop_back();
    }
    std::vector<std::string> names{storeName.empty() ? "Mailbox" : storeName};
    // Taken as rooted, ".." cannot climb above the store: its name stays first.
    const std::string rooted = std::string(1, Separator(syntax)).append(below);
    for (const auto name : NamesBelowRoot(rooted, syntax)) {
        names.emplace_back(name);
    }
    return names;
}

std::string InnermostStore(const std::string& sourcePath, const std::vector<std::string>& stores,
                           PathSyntax syntax) {
    const std::string* best = nullptr;
    for (const auto& store : stores) {
        const bool holds =
            sourcePath.size() > store.size() && sourcePath.starts_with(store) &&
            (store.ends_with(Separator(syntax)) || sourcePath[store.size()] == Separator(syntax));
        if (holds && (!best || store.size() > best->size())) {
            best = &store;
        }
    }
    return best ? *best : std::string();
}

std::string MailboxPath(const std::string& mirroredFolder, PathSyntax syntax) {
    std::string withoutSeparator = mirroredFolder;
    if (!withoutSeparator.empty() && withoutSeparator.back() == Separator(syntax)) {
        withoutSeparator.pop_back();
    }
    std::string name = LastPathComponent(withoutSeparator, syntax);
    if (syntax == PathSyntax::Windows && name.size() == 2 && IsDriveDesignation(name)) {
        name.pop_back(); // "D:" is no file name; "D" is
    }
    if (name.empty()) {
        name = "Mailbox"; // the output root is the file system's root
    }
    return mirroredFolder + name + ".mbox";
}

} // namespace marrowgate

#include "marrowgate/PathParts.h"

#include "pathtext/WindowsPaths.h"

namespace marrowgate {

char Separator(PathSyntax syntax) {
    return syntax == PathSyntax::Windows ? '\\' : '/';
}

std::string LastPathComponent(const std::string& path, PathSyntax syntax) {
    const auto cut =
        syntax == PathSyntax::Windows ? path.find_last_of(kWindowsSeparators) : path.rfind('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string DirectoryPart(const std::string& path, PathSyntax syntax) {
    return path.substr(0, path.size() - LastPathComponent(path, syntax).size());
}

} // namespace marrowgate

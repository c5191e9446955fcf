#include "convert/registry.h"

#include "platform/FileSystem.h"

namespace marrowgate {

PathSyntax NativeSyntax() {
#ifdef _WIN32
    return PathSyntax::Windows;
#else
    return PathSyntax::Posix;
#endif
}

char Separator(PathSyntax syntax) {
    return syntax == PathSyntax::Windows ? '\\' : '/';
}

std::string LastPathComponent(const std::string& path, PathSyntax syntax) {
    const auto cut = path.rfind(Separator(syntax));
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string DirectoryPart(const std::string& path, PathSyntax syntax) {
    return path.substr(0, path.size() - LastPathComponent(path, syntax).size());
}

std::filesystem::path NativePath(const std::string& text) {
#ifdef _WIN32
    const std::string native = platform::SystemPath(text);
    return std::filesystem::path(std::u8string(native.begin(), native.end()));
#else
    return std::filesystem::path(text);
#endif
}

std::string PathText(const std::filesystem::path& path) {
#ifdef _WIN32
    const auto u8 = path.u8string();
    return platform::UserPath(std::string(u8.begin(), u8.end()));
#else
    return path.native();
#endif
}

} // namespace marrowgate

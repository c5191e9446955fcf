#include "marrowgate/NativePaths.h"

#include "platform/FileSystem.h"

namespace marrowgate {

PathSyntax NativeSyntax() {
#ifdef _WIN32
    return PathSyntax::Windows;
#else
    return PathSyntax::Posix;
#endif
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

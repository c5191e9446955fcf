#include "shell/registry.h"

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

#ifdef _WIN32
namespace {

// Windows takes paths of any length only in the extended form "\\?\C:\..."
// (or "\\?\UNC\server\share\..."), which it does not reinterpret: so only
// absolute paths without "/", "." or ".." parts get it, and only when they
// need it.
constexpr std::size_t kClassicLimit = 248; // a folder's, less room for a name
constexpr std::string_view kLong = "\\\\?\\";
constexpr std::string_view kLongUnc = "\\\\?\\UNC\\";

bool NeedsLongForm(const std::string& text) {
    if (text.size() < kClassicLimit || text.starts_with(kLong) ||
        text.find('/') != std::string::npos || text.find("\\.") != std::string::npos) {
        return false;
    }
    const bool drive = text.size() > 2 && text[1] == ':' && text[2] == '\\';
    return drive || text.starts_with("\\\\");
}

} // namespace
#endif

std::filesystem::path NativePath(const std::string& text) {
#ifdef _WIN32
    std::string native = text;
    if (NeedsLongForm(text)) {
        native = text.starts_with("\\\\") ? std::string(kLongUnc) + text.substr(2)
                                          : std::string(kLong) + text;
    }
    return std::filesystem::path(std::u8string(native.begin(), native.end()));
#else
    return std::filesystem::path(text);
#endif
}

std::string PathText(const std::filesystem::path& path) {
#ifdef _WIN32
    const auto u8 = path.u8string();
    std::string text(u8.begin(), u8.end());
    if (text.starts_with(kLongUnc)) {
        return "\\\\" + text.substr(kLongUnc.size());
    }
    if (text.starts_with(kLong)) {
        return text.substr(kLong.size());
    }
    return text;
#else
    return path.native();
#endif
}

} // namespace marrowgate

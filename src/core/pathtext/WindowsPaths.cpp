#include "pathtext/WindowsPaths.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace marrowgate {
namespace {

constexpr std::string_view kExtended = "\\\\?\\";
constexpr std::string_view kExtendedUnc = "\\\\?\\UNC\\";

bool TakesExtendedForm(const std::string& path) {
    if (path.starts_with(kExtended) || path.find('/') != std::string::npos) {
        return false;
    }
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        const std::string_view name(path.data() + start, end - start);
        if (name == "." || name == "..") {
            return false;
        }
        start = end + 1;
    }
    const bool drive = path.size() > 2 && path[1] == ':' && path[2] == '\\';
    return drive || path.starts_with("\\\\");
}

bool IsDeviceName(std::string_view name) {
    // With or without an extension: "con", "NUL.txt", "COM1".
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    std::transform(stem.begin(), stem.end(), stem.begin(), [](char c) {
        return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    });
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" ||
        stem == "CONOUT$") {
        return true;
    }
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
           stem[3] >= '0' && stem[3] <= '9';
}

// How many leading characters of an absolute classic path name its root,
// whose names are never resolved: "C:\", or "\\server\share\".
std::size_t AbsoluteRootLength(std::string_view path) {
    if (!path.starts_with("\\\\")) {
        return std::min<std::size_t>(3, path.size());
    }
    std::size_t end = path.find('\\', 2);
    end = end == std::string_view::npos ? end : path.find('\\', end + 1);
    return end == std::string_view::npos ? path.size() : end + 1;
}

bool SameDrive(std::string_view a, std::string_view b) {
    return IsDriveDesignation(a) && IsDriveDesignation(b) &&
           std::toupper(static_cast<unsigned char>(a[0])) ==
               std::toupper(static_cast<unsigned char>(b[0]));
}

} // namespace

bool IsDriveDesignation(std::string_view text) {
    return text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
}

std::size_t WindowsRootLength(std::string_view path) {
    std::size_t cut = 0;
    if (path.starts_with(kExtended) || path.starts_with("\\\\.\\")) {
        cut = kExtended.size();
        if (path.substr(cut).starts_with("UNC\\")) {
            return kExtendedUnc.size();
        }
    } else if (path.size() >= 2 && IsWindowsSeparator(path[0]) && IsWindowsSeparator(path[1])) {
        return 2;
    }
    const auto rest = path.substr(cut);
    if (IsDriveDesignation(rest)) {
        return cut + (rest.size() > 2 && IsWindowsSeparator(rest[2]) ? 3 : 2);
    }
    return !rest.empty() && IsWindowsSeparator(rest[0]) ? cut + 1 : cut;
}

std::string AbsoluteWindowsPath(const std::string& path, const std::string& currentFolder) {
    if (path.starts_with(kExtended)) {
        return path;
    }
    std::string text = path;
    std::replace(text.begin(), text.end(), '/', '\\');
    std::string folder = WithoutExtendedPrefix(currentFolder);
    std::replace(folder.begin(), folder.end(), '/', '\\');
    std::string absolute;
    if (text.starts_with("\\\\") ||
        (IsDriveDesignation(text) && text.size() > 2 && text[2] == '\\')) {
        absolute = text;
    } else if (IsDriveDesignation(text)) {
        if (!SameDrive(text, folder)) {
            return path; // the current folder of another drive is the system's to know
        }
        absolute = folder + "\\" + text.substr(2);
    } else if (text.starts_with('\\')) {
        absolute = folder.substr(0, AbsoluteRootLength(folder)) + text.substr(1);
    } else {
        absolute = folder + "\\" + text;
    }
    const std::size_t root = AbsoluteRootLength(absolute);
    std::string resolved = absolute.substr(0, root);
    std::vector<std::string_view> names;
    for (std::size_t start = root; start < absolute.size();) {
        const std::size_t end = std::min(absolute.find('\\', start), absolute.size());
        const std::string_view name(absolute.data() + start, end - start);
        if (name == "..") {
            if (!names.empty()) {
                names.pop_back();
            }
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = end + 1;
    }
    for (const std::string_view name : names) {
        if (!resolved.empty() && resolved.back() != '\\') {
            resolved += '\\';
        }
        resolved += name;
    }
    if (!names.empty() && text.ends_with('\\')) {
        resolved += '\\';
    }
    return resolved;
}

std::string ExtendedWindowsPath(const std::string& path) {
    if (!TakesExtendedForm(path)) {
        return path;
    }
    return path.starts_with("\\\\") ? std::string(kExtendedUnc) + path.substr(2)
                                    : std::string(kExtended) + path;
}

std::string WithoutExtendedPrefix(const std::string& path) {
    if (path.starts_with(kExtendedUnc)) {
        return "\\\\" + path.substr(kExtendedUnc.size());
    }
    if (path.starts_with(kExtended)) {
        return path.substr(kExtended.size());
    }
    return path;
}

bool StorableWindowsName(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    const bool forbidden = std::any_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 32 ||
               std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
    });
    return !forbidden && !IsDeviceName(name);
}

std::string FirstUnstorableWindowsName(const std::string& path) {
    std::size_t start = 0;
    // Past the drive ("C:"), or the server and share of \\server\share.
    const int rootNames = path.find_first_not_of(kWindowsSeparators) == 2 ? 4 : 1;
    for (int i = 0; i < rootNames && start != std::string::npos; ++i) {
        start = path.find_first_of(kWindowsSeparators, start);
        start = start == std::string::npos ? start : start + 1;
    }
    while (start != std::string::npos && start < path.size()) {
        const std::size_t end = path.find_first_of(kWindowsSeparators, start);
        const std::string name = path.substr(start, end - start);
        if (!name.empty() && name != "." && name != ".." && !StorableWindowsName(name)) {
            return name;
        }
        start = end == std::string::npos ? end : end + 1;
    }
    return {};
}

} // namespace marrowgate

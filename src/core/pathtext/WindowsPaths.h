#pragma once

// Windows path text, one rule for all of it, compiled on every system so that
// it is tested everywhere. Windows separates names with "\" and takes "/" for
// one too, so both end a name wherever a Windows path is cut; the program
// itself only ever adds "\".

#include <cstddef>
#include <string>
#include <string_view>

namespace marrowgate {

// The characters that separate the names of a Windows path.
inline constexpr std::string_view kWindowsSeparators = "\\/";

inline bool IsWindowsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Whether the text starts with a drive's letter and colon ("C:").
bool IsDriveDesignation(std::string_view text);

// How many leading characters name the root: "C:\", the "\\" of
// "\\server\share\", the "\\?\" (and "UNC\") of an extended path, a lone "\".
std::size_t WindowsRootLength(std::string_view path);

// The extended form of an absolute path ("\\?\C:\...", "\\?\UNC\server\..."),
// which the system takes at any length and with every name as it stands
// ("CON" a folder, not the console; "Inbox." not "Inbox"). A path that is not
// absolute, is extended already, or holds a "." or ".." name or a "/" keeps
// its classic form, which the system resolves.
std::string ExtendedWindowsPath(const std::string& path);
// The form users know: without the extended form's prefix.
std::string WithoutExtendedPrefix(const std::string& path);

// Whether Windows keeps `name` as it stands in a folder: not "CON" and the
// other device names, no final dot or space, none of <>:"/\|?* or a control
// character.
bool StorableWindowsName(std::string_view name);
// The first name of `path`, below its root, that StorableWindowsName()
// refuses; the empty text when there is none.
std::string FirstUnstorableWindowsName(const std::string& path);

} // namespace marrowgate

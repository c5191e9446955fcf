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

// The absolute form of `path`, made as the system makes it, but for one thing:
// no name is changed. A path relative to the current folder, or to the root
// of its drive ("\Store"), is joined to `currentFolder` (absolute), "/" is read
// as "\", and "." and ".." names are resolved by name, never above the root.
// The system's own resolution (GetFullPathName) also drops the final dots and
// spaces of every name, so that "Inbox." and "Sent " would be other folders.
// An extended path, and one relative to the current folder of another drive
// ("D:Store"), are returned as they are.
std::string AbsoluteWindowsPath(const std::string& path, const std::string& currentFolder);

// The extended form of an absolute path ("\\?\C:\...", "\\?\UNC\server\..."),
// which the system takes at any length and with every name as it stands
// ("CON" a folder, not the console; "Inbox." not "Inbox"). A path that is not
// absolute, is extended already, or holds a "." or ".." name or a "/" keeps
// its classic form, which the system resolves.
std::string ExtendedWindowsPath(const std::string& path);
// The form users know: without the extended form's prefix.
std::string WithoutExtendedPrefix(const std::string& path);

// Whether the program makes an entry of this name on Windows: not "CON" and
// the other device names, which other programs would open as the device, and
// none of <>:"/\|?* or a control character, which no Windows name holds. A
// final dot or space is kept: every entry is made in the extended form, which
// takes it as it stands, so that a store folder "Inbox." or "Sent " has a
// mailbox folder of the same name, as on other systems.
bool StorableWindowsName(std::string_view name);
// The first name of `path`, below its root, that StorableWindowsName()
// refuses; the empty text when there is none.
std::string FirstUnstorableWindowsName(const std::string& path);

} // namespace marrowgate

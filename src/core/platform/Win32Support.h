#pragma once

// What the Windows implementations of the platform share: errors as errno
// values, UTF-8 and UTF-16 text, paths in their extended form, and the
// system's handles of open descriptors. Compiled for Windows only.

#include <windows.h>

#include <string>
#include <string_view>

namespace marrowgate::platform::win32 {

// Sets errno to the value that says the same as `error`; returns -1.
int Fail(DWORD error = GetLastError());

std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view wide);

// The path in the extended form, made absolute first when it is not (every
// name kept as it stands, see AbsoluteWindowsPath).
std::wstring LongPath(const std::string& path);
// The path of an open file or folder, in the extended form; empty on failure.
std::wstring PathOf(HANDLE handle);
HANDLE HandleOf(int fd);

} // namespace marrowgate::platform::win32

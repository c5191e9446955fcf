#include "platform/UserRegistry.h"

#include "platform/Win32Support.h"

namespace marrowgate::platform {
namespace {

// `text` with the environment variables it names put in.
std::wstring Expanded(const std::wstring& text) {
    const DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (size == 0) {
        return text;
    }
    std::wstring expanded(size, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size);
    if (written == 0 || written > size) {
        return text;
    }
    expanded.resize(written - 1); // less the terminating NUL
    return expanded;
}

} // namespace

std::optional<std::string> UserRegistryText(const std::string& key, const std::string& value) {
    const std::wstring wideKey = win32::Wide(key);
    const std::wstring wideValue = win32::Wide(value);
    // Read as written: a REG_EXPAND_SZ is expanded below, and so is a REG_SZ
    // that names a variable, as the programs that write these do not agree.
    constexpr DWORD kFlags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, wideKey.c_str(), wideValue.c_str(), kFlags, nullptr,
                     nullptr, &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, wideKey.c_str(), wideValue.c_str(), kFlags, nullptr,
                     text.data(), &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(wcsnlen(text.c_str(), text.size()));
    if (text.empty()) {
        return std::nullopt;
    }
    return win32::Narrow(Expanded(text));
}

} // namespace marrowgate::platform

#include "platform/Environment.h"

#include "marrowgate/Terminal.h"

#include <windows.h>

#include <cstdio>
#include <process.h>
#include <string_view>

namespace marrowgate::platform {
namespace {

std::wstring Wide(std::string_view text) {
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

// A console handle, closed however the reading ends.
class ConsoleHandle {
public:
    explicit ConsoleHandle(const wchar_t* name)
        : handle_(CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr)) {}
    ~ConsoleHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    ConsoleHandle(const ConsoleHandle&) = delete;
    ConsoleHandle& operator=(const ConsoleHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

} // namespace

std::optional<std::string> ReadHiddenLine(const std::string& prompt) {
    const ConsoleHandle input(L"CONIN$");
    const ConsoleHandle output(L"CONOUT$");
    DWORD mode = 0;
    if (input.Get() == INVALID_HANDLE_VALUE || !GetConsoleMode(input.Get(), &mode)) {
        return std::nullopt;
    }
    const std::wstring widePrompt = Wide(prompt);
    DWORD done = 0;
    WriteConsoleW(output.Get(), widePrompt.data(), static_cast<DWORD>(widePrompt.size()), &done,
                  nullptr);
    SetConsoleMode(input.Get(), mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::wstring typed;
    wchar_t c = 0;
    bool ended = false;
    while (ReadConsoleW(input.Get(), &c, 1, &done, nullptr) && done == 1) {
        if (c == L'\n') {
            ended = true;
            break;
        }
        if (c != L'\r') {
            typed.push_back(c);
        }
    }
    SetConsoleMode(input.Get(), mode);
    WriteConsoleW(output.Get(), L"\r\n", 2, &done, nullptr);
    return ended ? std::optional<std::string>(Narrow(typed)) : std::nullopt;
}

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const wchar_t* value = _wgetenv(Wide(name).c_str());
    return value ? std::optional<std::string>(Narrow(value)) : std::nullopt;
}

std::optional<std::string> CommandOutput(const std::string& command, int& exitStatus) {
    exitStatus = -1;
    FILE* pipe = _wpopen(Wide(command).c_str(), L"rb");
    if (!pipe) {
        return std::nullopt;
    }
    std::string output;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    exitStatus = _pclose(pipe);
    return output;
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? Narrow(std::wstring_view(name, size)) : "localhost";
}

long ProcessId() {
    return static_cast<long>(_getpid());
}

} // namespace marrowgate::platform

#include "platform/Environment.h"

#include "marrowgate/Terminal.h"

#include <windows.h>

#include <cstdio>
#include <process.h>
#include <string_view>
#include <utility>

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

// A handle, closed when this goes away.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }

private:
    HANDLE handle_;
};

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

// cmd.exe /c COMMAND with its output into a pipe of ours. (_wpopen needs a
// console, which the window has not.)
std::optional<std::string> CommandOutput(const std::string& command, int& exitStatus) {
    exitStatus = -1;
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
        return std::nullopt;
    }
    const OwnedHandle reader(readEnd);
    OwnedHandle writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring line = L"cmd.exe /d /s /c \"" + Wide(command) + L"\"";
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &started)) {
        return std::nullopt;
    }
    const OwnedHandle process(started.hProcess);
    const OwnedHandle thread(started.hThread);
    writer = OwnedHandle(nullptr); // the child holds the only write end now
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        output.append(buffer, got);
    }
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(started.hProcess, &code)) {
        exitStatus = static_cast<int>(code);
    }
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

std::optional<std::string> StateFolder() {
    const auto local = EnvironmentValue("LOCALAPPDATA");
    if (!local || local->empty()) {
        return std::nullopt;
    }
    return *local + (local->ends_with('\\') ? "" : "\\") + "Marrowgate\\";
}

} // namespace marrowgate::platform

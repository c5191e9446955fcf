#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace marrowgate::test {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path of `relative` inside the folder, as text.
    std::string operator/(std::string_view relative) const;

private:
    std::filesystem::path path_;
};

// Writes `bytes` to `path`, making its folders, and sets its modification time.
void WriteFile(const std::string& path, std::string_view bytes,
               std::chrono::sys_seconds modified = std::chrono::sys_seconds{});
std::string ReadFile(const std::string& path);

// Every file below `root`, by path relative to it, with its bytes; the
// ledger without its "run" and "end" lines, which hold the second they were written.
std::map<std::string, std::string> Tree(const std::string& root);

// True for the Windows build run under wine, which keeps a removed file's
// name until its last handle closes (Windows drops it at once).
bool RunningUnderWine();

// 2010-07-05 14:03:09 UTC, a Monday.
std::chrono::sys_seconds ExampleTime();

} // namespace marrowgate::test

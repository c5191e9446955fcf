#include "support/TestFiles.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace marrowgate::test {

TempDir::TempDir() {
    std::random_device random;
    const auto temp = std::filesystem::temp_directory_path();
    do {
        path_ = temp / ("marrowgate-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_));
}

TempDir::~TempDir() {
#ifndef _WIN32
    // rm copes with trees too deep for one path, which some tests build.
    const std::string command = "rm -rf '" + path_.string() + "'";
    if (std::system(command.c_str()) == 0) {
        return;
    }
#endif
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::operator/(std::string_view relative) const {
    // With the system's separator, as the core writes paths.
    return (path_ / std::filesystem::path(relative).make_preferred()).string();
}

void WriteFile(const std::string& path, std::string_view bytes, std::chrono::sys_seconds modified) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    if (modified != std::chrono::sys_seconds{}) {
        std::filesystem::last_write_time(path, std::chrono::file_clock::from_sys(modified));
    }
}

std::string ReadFile(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

bool RunningUnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

std::chrono::sys_seconds ExampleTime() {
    using namespace std::chrono;
    return sys_days{2010y / July / 5} + hours(14) + minutes(3) + seconds(9);
}

std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            std::string bytes = ReadFile(entry.path().string());
            if (entry.path().filename() == ".marrowgate-ledger") {
                std::istringstream lines(bytes);
                bytes.clear();
                for (std::string line; std::getline(lines, line);) {
                    // "run" and "end" lines carry the time they were written.
                    if (!line.starts_with("run\t") && !line.starts_with("end\t")) {
                        bytes += line + '\n';
                    }
                }
            }
            files[std::filesystem::relative(entry.path(), root).string()] = std::move(bytes);
        }
    }
    return files;
}

} // namespace marrowgate::test

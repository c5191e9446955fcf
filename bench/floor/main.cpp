// marrowgate-bench-floor STORE OUTPUT
//     Reads every .eml file below STORE once and appends its bytes, unchanged,
//     to one file per folder under OUTPUT (OUTPUT/<folder>/<name>.mbox). No
//     parsing, no From_ lines, no quoting: the least work any converter must do
//     in one process, so its time is the floor for the benchmarks.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool IsMessageFile(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".eml";
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put <= 0) {
            return false;
        }
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: marrowgate-bench-floor STORE OUTPUT\n");
        return 2;
    }
    const fs::path store = argv[1];
    const fs::path output = argv[2];
    std::map<fs::path, std::vector<fs::path>> folders;
    for (const auto& entry : fs::recursive_directory_iterator(store)) {
        if (entry.is_regular_file() && IsMessageFile(entry.path())) {
            folders[entry.path().parent_path()].push_back(entry.path());
        }
    }
    constexpr size_t kChunk = 1 << 20;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
    for (auto& [folder, files] : folders) {
        std::sort(files.begin(), files.end());
        const fs::path target = output / fs::relative(folder, store);
        fs::create_directories(target);
        const fs::path mailbox = target / (folder.filename().string() + ".mbox");
        const int out = ::open(mailbox.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
        if (out < 0) {
            std::perror(mailbox.c_str());
            return 1;
        }
        for (const fs::path& file : files) {
            const int in = ::open(file.c_str(), O_RDONLY);
            if (in < 0) {
                std::perror(file.c_str());
                return 1;
            }
            ssize_t got;
            while ((got = ::read(in, buffer.get(), kChunk)) > 0) {
                if (!WriteAll(out, buffer.get(), static_cast<size_t>(got))) {
                    std::perror(mailbox.c_str());
                    return 1;
                }
            }
            ::close(in);
        }
        ::close(out);
    }
    return 0;
}

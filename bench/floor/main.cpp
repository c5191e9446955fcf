// marrowgate-bench-floor [--method read|copy_file_range|sendfile] [--buffer KIB]
//                        [--order directory|name|inode] [--fsync] STORE OUTPUT
//     Reads every .eml file below STORE once and appends its bytes, unchanged,
//     to one file per folder under OUTPUT (OUTPUT/<folder>/<name>.mbox). No
//     parsing, no From_ lines, no quoting, no sorting: folders and files in the
//     order the file system lists them, each file opened by name within its
//     folder, no allocation per file. The least work any converter must do in
//     one process, so its time is the floor for the benchmarks.
//
//     --fsync flushes each output file to the disk before closing it, as a
//     converter that promises durable mailboxes must. --order reads each
//     folder's files in the order the file system lists them (the default),
//     sorted by name (as the converter's walk goes), or by inode number (the
//     order their data most likely lies on the disk): what the order costs
//     from a cold disk. The defaults are the
//     fastest measured here (see the README's performance section).
#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

enum class Method { Read, CopyFileRange, Sendfile };
enum class Order { Directory, Name, Inode };

struct Options {
    Method method = Method::Read;
    Order order = Order::Directory;
    std::size_t buffer = 256 * 1024;
    bool fsync = false;
};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "marrowgate-bench-floor: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

bool IsMessageName(const char* name) {
    const std::size_t length = std::strlen(name);
    return length >= 4 && strcasecmp(name + length - 4, ".eml") == 0;
}

void MakeFolders(std::string path) {
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const char saved = path[i];
            path[i] = '\0';
            if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
                Fail("mkdir " + path);
            }
            path[i] = saved;
        }
    }
}

class Copier {
public:
    explicit Copier(const Options& options)
        : options_(options), buffer_(new char[options.buffer]) {}

    // Appends the file `name` of the folder `folder` to `out`, whose end is at `end`.
    void Append(int folder, const char* name, int out, off_t& end) {
        const int in = ::openat(folder, name, O_RDONLY | O_CLOEXEC);
        if (in < 0) {
            Fail(name);
        }
        switch (options_.method) {
        case Method::Read:
            for (ssize_t got; (got = ::read(in, buffer_.get(), options_.buffer)) != 0;) {
                if (got < 0) {
                    Fail(name);
                }
                for (ssize_t put = 0; put < got;) {
                    const ssize_t n = ::write(out, buffer_.get() + put, got - put);
                    if (n <= 0) {
                        Fail("write");
                    }
                    put += n;
                }
                end += got;
            }
            break;
        case Method::CopyFileRange:
            for (ssize_t n; (n = ::copy_file_range(in, nullptr, out, &end, 1 << 30, 0)) != 0;) {
                if (n < 0) {
                    Fail("copy_file_range");
                }
            }
            break;
        case Method::Sendfile:
            for (ssize_t n; (n = ::sendfile(out, in, nullptr, 1 << 30)) != 0;) {
                if (n < 0) {
                    Fail("sendfile");
                }
                end += n;
            }
            break;
        }
        ::close(in);
    }

private:
    const Options& options_;
    std::unique_ptr<char[]> buffer_;
};

void Append(Copier& copier, int folder, const char* name, const std::string& store,
            const std::string& output, const std::string& relative, int& out, off_t& end);

// Walks `relative` below `store` depth first, each folder's files in the
// order asked for.
void Walk(const std::string& store, const std::string& output, const std::string& relative,
          Copier& copier, const Options& options) {
    const std::string path = store + relative;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        Fail("opendir " + path);
    }
    const int folder = ::dirfd(dir);
    std::vector<std::string> subfolders;
    int out = -1;
    off_t end = 0;
    std::vector<std::pair<ino_t, std::string>> files; // when sorted
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (entry->d_type == DT_DIR) {
            if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
                subfolders.emplace_back(name);
            }
            continue;
        }
        if (entry->d_type != DT_REG || !IsMessageName(name)) {
            continue;
        }
        if (options.order == Order::Directory) {
            Append(copier, folder, name, store, output, relative, out, end);
        } else {
            files.emplace_back(entry->d_ino, name);
        }
    }
    std::sort(files.begin(), files.end(), [&](const auto& a, const auto& b) {
        return options.order == Order::Inode ? a.first < b.first : a.second < b.second;
    });
    for (const auto& [inode, name] : files) {
        Append(copier, folder, name.c_str(), store, output, relative, out, end);
    }
    ::closedir(dir);
    if (out >= 0) {
        if (options.fsync && ::fsync(out) != 0) {
            Fail("fsync");
        }
        if (::close(out) != 0) {
            Fail("close");
        }
    }
    for (const std::string& name : subfolders) {
        Walk(store, output, relative + name + "/", copier, options);
    }
}

// Appends the file `name` of `folder` to the folder's output file, made at
// its first file.
void Append(Copier& copier, int folder, const char* name, const std::string& store,
            const std::string& output, const std::string& relative, int& out, off_t& end) {
    if (out < 0) {
        const std::string path = store + relative;
        const std::string target = output + relative;
        MakeFolders(target);
        const std::size_t slash = path.find_last_of('/', path.size() - 2);
        const std::string mailbox =
            target + path.substr(slash + 1, path.size() - slash - 2) + ".mbox";
        // copy_file_range refuses files open for appending: the end is kept here.
        out = ::open(mailbox.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (out < 0) {
            Fail(mailbox);
        }
        end = ::lseek(out, 0, SEEK_END);
    }
    copier.Append(folder, name, out, end);
}

int Usage() {
    std::fprintf(stderr, "usage: marrowgate-bench-floor [--method read|copy_file_range|sendfile]"
                         " [--buffer KIB] [--order directory|name|inode] [--fsync] STORE OUTPUT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        const std::string flag = argv[i];
        if (flag == "--fsync") {
            options.fsync = true;
        } else if (flag == "--order" && i + 1 < argc) {
            const std::string order = argv[++i];
            options.order = order == "directory" ? Order::Directory
                            : order == "name"    ? Order::Name
                            : order == "inode"   ? Order::Inode
                                                 : (std::exit(Usage()), Order::Directory);
        } else if (flag == "--buffer" && i + 1 < argc) {
            options.buffer = std::strtoul(argv[++i], nullptr, 10) * 1024;
        } else if (flag == "--method" && i + 1 < argc) {
            const std::string method = argv[++i];
            options.method = method == "read"              ? Method::Read
                             : method == "copy_file_range" ? Method::CopyFileRange
                             : method == "sendfile"        ? Method::Sendfile
                                                           : (std::exit(Usage()), Method::Read);
        } else {
            return Usage();
        }
    }
    if (argc - i != 2 || options.buffer == 0) {
        return Usage();
    }
    std::string store = argv[i];
    std::string output = argv[i + 1];
    for (std::string* folder : {&store, &output}) {
        if (folder->empty() || folder->back() != '/') {
            *folder += '/';
        }
    }
    MakeFolders(output);
    Copier copier(options);
    Walk(store, output, "", copier, options);
    return 0;
}

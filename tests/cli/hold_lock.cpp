// Test helper for Windows: holds files as other programs do, until its input
// ends.
//     hold_lock FILE            the whole-file lock of a mailbox, as a mail
//                               program takes it; says "locked"
//     hold_lock --open FILE...  the files open and shared with no one, as a
//                               mail program that is still running keeps its
//                               message files; says "held"
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

// The handles held, closed when the helper ends.
class Held {
public:
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        for (const HANDLE handle : handles_) {
            CloseHandle(handle);
        }
    }
    bool Open(const wchar_t* path, DWORD access, DWORD share) {
        const HANDLE handle = CreateFileW(path, access, share, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return false;
        }
        handles_.push_back(handle);
        return true;
    }
    HANDLE Last() const { return handles_.back(); }

private:
    std::vector<HANDLE> handles_;
};

int Fail() {
    std::fprintf(stderr, "hold_lock: error %lu\n", GetLastError());
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool open = argc >= 3 && std::wcscmp(argv[1], L"--open") == 0;
    if (!open && argc != 2) {
        std::fputs("usage: hold_lock FILE | hold_lock --open FILE...\n", stderr);
        return 2;
    }
    Held held;
    if (open) {
        for (int i = 2; i < argc; ++i) {
            if (!held.Open(argv[i], GENERIC_READ, 0)) {
                return Fail();
            }
        }
    } else {
        OVERLAPPED whole{};
        if (!held.Open(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE) ||
            !LockFileEx(held.Last(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
            return Fail();
        }
    }
    std::puts(open ? "held" : "locked");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}

#include "platform/FileSystem.h"

#include "marrowgate/NativePaths.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

namespace marrowgate::test {
namespace {

namespace fs = std::filesystem;
using namespace platform;

std::string Joined(const std::string& folder, const std::string& name) {
    return folder + (folder.ends_with('/') || folder.ends_with('\\') ? "" : "/") + name;
}

// Line ends and every other byte pass unchanged both ways, and a read at an
// offset leaves the file's offset where it was.
TEST(FileSystemTest, BytesPassUnchanged) {
    TempDir dir;
    const std::string path = dir / "m.mbox";
    const int fd = Open(path, kRead | kWrite | kAppend | kCreateNew);
    ASSERT_GE(fd, 0) << errno;
    const std::string_view pieces[] = {"a\nb\r\n", std::string_view("\0\x1a\r", 3), "", "end\n"};
    std::uint64_t written = 0;
    ASSERT_TRUE(WriteAll(fd, pieces, written));
    EXPECT_EQ(written, 12u);
    char tail[4] = {};
    EXPECT_EQ(ReadAt(fd, tail, 4, 8), 4);
    EXPECT_EQ(std::string_view(tail, 4), "end\n");
    ASSERT_TRUE(WriteAll(fd, std::vector<std::string_view>{"more"}, written));
    EXPECT_EQ(Truncate(fd, 5), 0);
    FileStatus status;
    ASSERT_EQ(Status(fd, status), 0);
    EXPECT_TRUE(status.regular);
    EXPECT_EQ(status.size, 5u);
    EXPECT_EQ(Close(fd), 0);
    EXPECT_EQ(ReadFile(path), "a\nb\r\n");

    EXPECT_EQ(Open(path, kWrite | kCreateNew), -1);
    EXPECT_EQ(errno, EEXIST);
    const int reader = Open(path, kRead);
    char all[16];
    EXPECT_EQ(Read(reader, all, sizeof all), 5);
    EXPECT_EQ(Read(reader, all, sizeof all), 0);
    Close(reader);
}

// The names under which a file is known: more than one is a hard link; none
// once it is removed while open.
TEST(FileSystemTest, NamesOfAnOpenFile) {
    TempDir dir;
    const std::string path = dir / "box.mbox";
    WriteFile(path, "x");
    const int fd = Open(path, kWrite | kAppend);
    ASSERT_GE(fd, 0);
    FileStatus status;
    ASSERT_EQ(Status(fd, status), 0);
    EXPECT_EQ(status.links, 1u);
    fs::create_hard_link(path, dir / "other.mbox");
    ASSERT_EQ(Status(fd, status), 0);
    EXPECT_EQ(status.links, 2u);
    FileStatus other;
    ASSERT_EQ(Status(dir / "other.mbox", other), 0);
    EXPECT_EQ(std::pair(other.device, other.inode), std::pair(status.device, status.inode));
    EXPECT_EQ(Remove(dir / "other.mbox"), 0);
    EXPECT_EQ(Remove(path), 0);
    ASSERT_EQ(Status(fd, status), 0);
    if (!RunningUnderWine()) {
        EXPECT_EQ(status.links, 0u);
    }
    Close(fd);
    EXPECT_FALSE(fs::exists(path));
}

// Folders opened and made name by name, at any depth: far past the 260
// characters of a classic Windows path.
TEST(FileSystemTest, FoldersNameByName) {
    TempDir dir;
    int folder = Open(dir.Path().string(), kFolder);
    ASSERT_GE(folder, 0) << errno;
    std::string path = dir.Path().string();
    for (int level = 0; level < 6; ++level) {
        const std::string name = "folder " + std::string(60, static_cast<char>('a' + level));
        ASSERT_EQ(MakeFolderAt(folder, name), 0) << level << " " << errno;
        EXPECT_EQ(MakeFolderAt(folder, name), -1);
        EXPECT_EQ(errno, EEXIST);
        const int next = OpenAt(folder, name, kFolder | kNoFollow);
        ASSERT_GE(next, 0) << level << " " << errno;
        Close(folder);
        folder = next;
        path = Joined(path, name);
    }
    EXPECT_GT(path.size(), 380u);
    const int fd = OpenAt(folder, "deep.mbox", kWrite | kAppend | kCreateNew);
    ASSERT_GE(fd, 0) << errno;
    Close(fd);
    FileStatus status;
    EXPECT_EQ(StatusAt(folder, "deep.mbox", status), 0);
    EXPECT_TRUE(status.regular);
    EXPECT_EQ(Status(Joined(path, "deep.mbox"), status), 0);
    EXPECT_EQ(OpenAt(folder, "deep.mbox", kFolder), -1);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(RemoveAt(folder, "deep.mbox"), 0);
    EXPECT_EQ(StatusAt(folder, "deep.mbox", status), -1);
    EXPECT_EQ(errno, ENOENT);
    Close(folder);
    const auto real = RealPath(path);
    ASSERT_TRUE(real.has_value()) << errno;
    EXPECT_TRUE(real->ends_with(std::string(60, 'f')));
}

// The Windows rule itself is tested as text, in WindowsPathsTest.
TEST(FileSystemTest, StorableNames) {
    EXPECT_FALSE(StorableName(""));
    EXPECT_FALSE(StorableName("a/b"));
    EXPECT_TRUE(StorableName("Inbox"));
    EXPECT_TRUE(StorableName("Inbox."));
    EXPECT_TRUE(StorableName("Sent "));
    EXPECT_EQ(StorableName("CON"), NativeSyntax() == PathSyntax::Posix);
}

#ifndef _WIN32
// POSIX systems only: creating a link takes a privilege on Windows.
TEST(FileSystemTest, LinksAreNotFollowedWhenAsked) {
    TempDir dir;
    WriteFile(dir / "target", "x");
    fs::create_symlink(dir / "target", dir / "link");
    EXPECT_EQ(Open(dir / "link", kWrite | kAppend | kNoFollow), -1);
    EXPECT_EQ(errno, ELOOP);
    FileStatus status;
    ASSERT_EQ(LinkStatus(dir / "link", status), 0);
    EXPECT_TRUE(status.link);
    ASSERT_EQ(Status(dir / "link", status), 0);
    EXPECT_TRUE(status.regular);
}
#endif

} // namespace
} // namespace marrowgate::test

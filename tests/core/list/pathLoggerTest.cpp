#include "list/pathLogger.h"
#include "marrowgate/WalkError.h"

#include "support/ErrorOf.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace marrowgate::test {
namespace {

class pathLoggerTest : public ::testing::Test {
protected:
    // R: r1, r2, A/a1, B/b1, B/C/c1
    void SetUp() override {
        for (const char* file : {"R/r1", "R/r2", "R/A/a1", "R/B/b1", "R/B/C/c1"}) {
            WriteFile(dir / file, "x");
        }
        root = dir / "R";
    }

    TempDir dir;
    std::string root;
};

TEST_F(pathLoggerTest, WalksBreadthFirstAndHandsOverItsList) {
    pathLogger walker;
    walker.PathLogInit();
    walker.LogPath(root);
    EXPECT_EQ(walker.Count(), 6);

    // Breadth first, each folder's entries by name: R, A, B, then C.
    const pathLogger::FileList files = walker.fullFileNames();
    walker.Terminate();
    EXPECT_EQ(*files, (std::vector<std::string>{root + "/r1", root + "/r2", root + "/A/a1",
                                                root + "/B/b1", root + "/B/C/c1"}))
        << "the list handed out outlives Terminate";
    EXPECT_TRUE(walker.fullFileNames()->empty());

    walker.PathLogInit();
    walker.LogPath(dir / "missing");
    EXPECT_EQ(walker.Count(), 6) << "a missing folder changes nothing";
    EXPECT_TRUE(walker.fullFileNames()->empty());
}

// POSIX only: pipes, sockets and links to them; paths too long to open.
// On Windows neither arises (FileSystemTest opens paths of any length).
#ifndef _WIN32

// Nothing that could block a reader, or never end, is collected: no pipe,
// socket or device, nor a link to one. Links to folders are not entered.
TEST_F(pathLoggerTest, CollectsRegularFilesAndLinksToThemOnly) {
    std::filesystem::create_directory_symlink(root, root + "/B/C/loop");
    std::filesystem::create_symlink(root + "/r1", root + "/A/link-to-r1");
    std::filesystem::create_symlink(root + "/gone", root + "/A/dangling.eml");
    ::mkfifo((root + "/A/pipe.eml").c_str(), 0600);
    std::filesystem::create_symlink(root + "/A/pipe.eml", root + "/A/link-to-pipe.eml");
    std::filesystem::create_symlink("/dev/zero", root + "/A/zero.eml");
    const int unixSocket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = root + "/A/socket.eml";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(unixSocket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    pathLogger walker;
    walker.PathLogInit();
    walker.LogPath(root);
    ::close(unixSocket);
    auto files = *walker.fullFileNames();
    std::sort(files.begin(), files.end());
    // A dangling link is kept, for the conversion to report it.
    EXPECT_EQ(files, (std::vector<std::string>{root + "/A/a1", root + "/A/dangling.eml",
                                               root + "/A/link-to-r1", root + "/B/C/c1",
                                               root + "/B/b1", root + "/r1", root + "/r2"}));
}

TEST_F(pathLoggerTest, AFolderThatCannotBeListedFailsTheWalk) {
    // A tree deeper than the longest path the system takes: listing its lowest
    // folder fails even for root, for whom permissions would not.
    const auto home = std::filesystem::current_path();
    std::string deep = dir / "deep";
    std::filesystem::create_directory(deep);
    ASSERT_EQ(::chdir(deep.c_str()), 0);
    const std::string name(200, 'd');
    for (int level = 0; level < 25; ++level) {
        std::filesystem::create_directory(name);
        ASSERT_EQ(::chdir(name.c_str()), 0);
    }
    std::ofstream("m.eml") << "x";
    std::filesystem::current_path(home);
    WriteFile(deep + "/top.eml", "x");

    pathLogger walker;
    walker.PathLogInit();
    EXPECT_NE(ErrorOf<WalkError>([&] { walker.LogPath(deep); }).find(name), std::string::npos);
    EXPECT_EQ(*walker.fullFileNames(), std::vector<std::string>{deep + "/top.eml"});
    EXPECT_EQ(walker.Count(), 2);
}
#endif

} // namespace
} // namespace marrowgate::test

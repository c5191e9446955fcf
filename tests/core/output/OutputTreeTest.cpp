// Where mail may be written: only inside the output root, never through a link
// planted below it.
#include "output/OutputTree.h"
#include "marrowgate/ConversionError.h"
#include "marrowgate/NativePaths.h"
#include "output/MailboxFile.h"

#include "support/ErrorOf.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

namespace fs = std::filesystem;

class OutputTreeTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(OutputTreeTest, MakesFoldersFromTheRootDownAndFollowsTheRootItself) {
    fs::create_directories(dir.Path() / "real");
    fs::create_directory_symlink(dir.Path() / "real", dir.Path() / "named");
    OutputTree tree(dir / "named/Out");
    tree.EnsureFolder(dir / "named/Out/a/b/c/");
    EXPECT_TRUE(fs::is_directory(dir.Path() / "real/Out/a/b/c"));
    MailboxFile mailbox(dir / "named/Out/a/b/c/c.mbox", tree);
    EXPECT_TRUE(mailbox.Created());
    EXPECT_TRUE(fs::is_regular_file(dir.Path() / "real/Out/a/b/c/c.mbox"));

    EXPECT_NE(ErrorOf([&] {
                  tree.EnsureFolder(dir / "elsewhere/x/");
              }).find("not inside the output folder"),
              std::string::npos);
}

// Links and files planted where folders and mailboxes go: nothing outside is
// written, each is an error naming the planted path and what it is.
TEST_F(OutputTreeTest, NeverWritesThroughWhatIsPlantedBelowTheRoot) {
    const std::string outside = dir / "outside";
    const std::string out = dir / "Out/Store";
    WriteFile(outside + "/.bashrc", "# mine\n");
    fs::create_directories(out);
    fs::create_directory_symlink(outside, fs::path(out + "/Linked"));
    fs::create_directories(fs::path(out + "/Inbox"));
    fs::create_symlink(outside + "/.bashrc", fs::path(out + "/Inbox/Inbox.mbox"));
    fs::create_directories(fs::path(out + "/Hard"));
    fs::create_hard_link(outside + "/.bashrc", fs::path(out + "/Hard/Hard.mbox"));
    WriteFile(out + "/File", "a file where a folder goes");

    OutputTree tree(dir / "Out");
    const std::pair<std::string, std::string> cases[] = {
        {"Linked/Linked.mbox", "Cannot open folder " + out + "/Linked: it is a symbolic link"},
        {"Linked/Sub/Sub.mbox", "Cannot open folder " + out + "/Linked: it is a symbolic link"},
        {"Inbox/Inbox.mbox",
         "Cannot open mailbox file " + out + "/Inbox/Inbox.mbox: it is a symbolic link"},
        {"Hard/Hard.mbox",
         "Cannot open mailbox file " + out + "/Hard/Hard.mbox: it has 2 hard links"},
        {"File/Sub/Sub.mbox", "Cannot create folder " + out + "/File: Not a directory"},
    };
    for (const auto& [mailbox, error] : cases) {
        const std::string path = out + "/" + mailbox;
        EXPECT_EQ(ErrorOf([&] { MailboxFile(path, tree); }), error);
        EXPECT_EQ(ErrorOf([&] { tree.EnsureFolder(DirectoryPart(path, NativeSyntax())); }).empty(),
                  mailbox.starts_with("Inbox") || mailbox.starts_with("Hard"))
            << mailbox;
    }
    EXPECT_EQ(ReadFile(outside + "/.bashrc"), "# mine\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
}

} // namespace
} // namespace marrowgate::test

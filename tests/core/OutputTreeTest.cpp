// Where mail may be written: only inside the output root, never through a link
// planted below it, and a message is read as it was when opened.
#include "convert/OutputTree.h"
#include "convert/ConversionError.h"
#include "convert/MailboxFile.h"
#include "convert/MailboxWriter.h"
#include "convert/MessageFile.h"
#include "convert/registry.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <fstream>

namespace marrowgate::test {
namespace {

namespace fs = std::filesystem;

// The error `body` throws, or "" when it throws none.
template <typename Body> std::string ErrorOf(Body body) {
    try {
        body();
    } catch (const ConversionError& error) {
        return error.what();
    }
    return {};
}

class OutputTreeTest : public ::testing::Test {
protected:
    std::string Message(const std::string& relative, const std::string& text) {
        const std::string path = dir / ("Store/" + relative);
        WriteFile(path, "From: a@x.org\r\n\r\n" + text + "\r\n", ExampleTime());
        return path;
    }

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
        EXPECT_EQ(ErrorOf([&] { tree.EnsureFolder(DirectoryPart(path)); }).empty(),
                  mailbox.starts_with("Inbox") || mailbox.starts_with("Hard"))
            << mailbox;
    }
    EXPECT_EQ(ReadFile(outside + "/.bashrc"), "# mine\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
}

TEST_F(OutputTreeTest, AMessageIsReadAsItWasWhenOpened) {
    const std::string path = dir / "m.eml";
    const std::string text(300'000, 'x');
    char buffer[1000];
    std::uint64_t total = 0;
    const auto readAll = [&](MessageFile& file) {
        while (const std::size_t got = file.Read(buffer, sizeof buffer)) {
            total += got;
        }
    };

    // Grown while read: never read past the size at open, and refused.
    WriteFile(path, text);
    MessageFile grown(path);
    EXPECT_EQ(grown.Read(buffer, sizeof buffer), sizeof buffer);
    std::ofstream(path, std::ios::app) << std::string(500'000, 'y');
    total = sizeof buffer;
    const std::string error = ErrorOf([&] { readAll(grown); });
    EXPECT_EQ(error, "Cannot read message file " + path + ": it changed while it was being read");
    EXPECT_LE(total, text.size());

    // Cut short while read.
    WriteFile(path, text);
    MessageFile truncated(path);
    EXPECT_EQ(truncated.Read(buffer, sizeof buffer), sizeof buffer);
    fs::resize_file(path, 5000);
    EXPECT_NE(ErrorOf([&] { readAll(truncated); }).find("changed while it was being read"),
              std::string::npos);

    // Rewritten in place, same size: the modification time tells.
    WriteFile(path, text, ExampleTime());
    MessageFile rewritten(path);
    EXPECT_EQ(rewritten.Read(buffer, sizeof buffer), sizeof buffer);
    WriteFile(path, std::string(text.size(), 'z'));
    EXPECT_NE(ErrorOf([&] { readAll(rewritten); }).find("changed while it was being read"),
              std::string::npos);

    // Left alone, it reads whole.
    WriteFile(path, text);
    MessageFile unchanged(path);
    total = 0;
    readAll(unchanged);
    EXPECT_EQ(total, text.size());
}

TEST_F(OutputTreeTest, AMessageThatIsTheMailboxOrChangesIsTakenBack) {
    const std::string mailbox = dir / "Out/Inbox.mbox";
    MailboxWriter writer;
    fs::create_directories(dir.Path() / "Out");
    writer.Append(Message("Inbox/a.eml", "first"), mailbox);
    const std::string link = dir / "Store/Inbox/self.eml";
    fs::create_symlink(mailbox, link);
    EXPECT_EQ(ErrorOf([&] { writer.Append(link, mailbox); }),
              "Cannot convert message file " + link + ": it is the mailbox file being written");
    writer.Close();
    const std::string before = ReadFile(mailbox);
    EXPECT_EQ(ErrorOf([&] { AppendMessageToMailbox(link, mailbox); }),
              "Cannot convert message file " + link + ": it is the mailbox file being written");
    EXPECT_EQ(ReadFile(mailbox), before);
}

} // namespace
} // namespace marrowgate::test

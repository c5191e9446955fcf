#include "marrowgate/ConversionRun.h"
#include "marrowgate/OutputVerifier.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace marrowgate::test {
namespace {

namespace fs = std::filesystem;

// The maildir target through the ledger: what a run records, what the next
// run makes of it, and the check of the maildir.
class StoreRunTest : public ::testing::Test {
protected:
    std::string Message(const std::string& relative, const std::string& body) const {
        const std::string path = dir / ("C/" + relative);
        WriteFile(path, "From: " + body + "@x.org\r\n\r\n" + body + "\r\n", ExampleTime());
        return path;
    }

    RunResult Run(const std::vector<std::string>& paths, const std::string& store) const {
        RunOptions options;
        options.target = OutputTarget(OutputTarget::Kind::Maildir);
        options.stores = {store};
        return RunConversion(VectorRows(paths), Out(), {}, options);
    }

    VerifyReport Verify(const std::string& store) const {
        return VerifyOutput({store}, Out(), OutputTarget(OutputTarget::Kind::Maildir));
    }

    std::string Out() const { return dir / "Out/"; }
    std::string Cur() const { return dir / "Out/.Store.Inbox/cur/"; }

    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Cur())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
};

// A second run knows every message by the ledger; without the ledger it
// finds them by their content; a store moved elsewhere is known by the
// records of its files, gone from where they were. Nothing is doubled.
TEST_F(StoreRunTest, EachMessageOnceWithTheLedgerWithoutItAndAfterAMove) {
    const std::vector<std::string> paths = {Message("Store/Inbox/a.eml", "a"),
                                            Message("Store/Inbox/b.eml", "b"),
                                            Message("Store/Inbox/c.eml", "a")};
    const RunResult first = Run(paths, dir / "C/Store");
    EXPECT_TRUE(first.Succeeded());
    EXPECT_EQ(first.messagesConverted, 3);
    const std::vector<std::string> stored = Files();
    ASSERT_EQ(stored.size(), 3u);

    const RunResult second = Run(paths, dir / "C/Store");
    EXPECT_EQ(second.alreadyConverted, 3);
    EXPECT_EQ(second.foundByContent, 0) << "known by the ledger, not looked for";

    fs::remove(Out() + ".marrowgate-ledger");
    const RunResult third = Run(paths, dir / "C/Store");
    EXPECT_EQ(third.messagesConverted, 0);
    EXPECT_EQ(third.foundByContent, 3) << "two identical files are two messages";

    fs::rename(dir / "C/Store", dir / "Moved");
    fs::create_directories(dir / "D");
    fs::rename(dir / "Moved", dir / "D/Store");
    std::vector<std::string> moved;
    for (const char* name : {"a", "b", "c"}) {
        moved.push_back(dir / ("D/Store/Inbox/" + std::string(name) + ".eml"));
    }
    const RunResult fourth = Run(moved, dir / "D/Store");
    EXPECT_EQ(fourth.messagesConverted, 0);
    EXPECT_EQ(fourth.foundByContent, 3);
    EXPECT_EQ(Files(), stored);
    EXPECT_TRUE(Verify(dir / "D/Store").Passed());
}

// A file a killed run left in cur/ without its record is the message's, and
// what a run left half written in tmp/ is removed.
TEST_F(StoreRunTest, AKilledRunsFilesAreTakenOrRemoved) {
    const std::vector<std::string> paths = {Message("Store/Inbox/a.eml", "a")};
    ASSERT_TRUE(Run(paths, dir / "C/Store").Succeeded());
    const std::string later = Message("Store/Inbox/b.eml", "b");
    WriteFile(Cur() + "1720000000.M1P2Q3.host,S=17:2,", "From: b@x.org\n\nb\n", ExampleTime());
    WriteFile(dir / "Out/.Store.Inbox/tmp/1720000000.M1P2Q4.host,S=17.marrowgate-part", "From");
    const RunResult again = Run({paths.front(), later}, dir / "C/Store");
    EXPECT_EQ(again.messagesConverted, 0);
    EXPECT_EQ(again.foundByContent, 1);
    EXPECT_EQ(Files().size(), 2u);
    EXPECT_TRUE(fs::is_empty(dir / "Out/.Store.Inbox/tmp"));
}

// The check names a message missing and one doubled, and counts another
// program's mail without calling it a problem.
TEST_F(StoreRunTest, TheCheckNamesMissingAndDoubledMessages) {
    const std::vector<std::string> paths = {Message("Store/Inbox/a.eml", "a"),
                                            Message("Store/Inbox/b.eml", "b"),
                                            Message("Store/Inbox/c.eml", "c")};
    ASSERT_TRUE(Run(paths, dir / "C/Store").Succeeded());
    const VerifyReport clean = Verify(dir / "C/Store");
    EXPECT_TRUE(clean.Passed());
    EXPECT_EQ(clean.verified, 3);

    for (const std::string& name : Files()) {
        const std::string bytes = ReadFile(Cur() + name);
        if (bytes.find("\n\na\n") != std::string::npos) {
            fs::remove(Cur() + name);
        } else if (bytes.find("\n\nb\n") != std::string::npos) {
            WriteFile(Cur() + "copy-of-b", bytes);
        }
    }
    WriteFile(Cur() + "someone-else", "From: z@x.org\n\nz\n");
    const VerifyReport report = Verify(dir / "C/Store");
    ASSERT_EQ(report.problems.size(), 2u);
    EXPECT_EQ(report.verified, 1);
    for (const VerifyProblem& problem : report.problems) {
        const bool a = problem.messagePath.ends_with("a.eml");
        EXPECT_NE(problem.what.find(a ? "not in the output" : "doubled"), std::string::npos)
            << problem.Describe();
    }
    ASSERT_EQ(report.foreign.size(), 1u);
    EXPECT_EQ(report.foreign.front().records, 1);

    fs::remove_all(dir / "Out/.Store.Inbox");
    const VerifyReport gone = Verify(dir / "C/Store");
    EXPECT_EQ(gone.problems.size(), 3u);
    EXPECT_NE(gone.problems.front().what.find("no mailbox"), std::string::npos);
}

} // namespace
} // namespace marrowgate::test

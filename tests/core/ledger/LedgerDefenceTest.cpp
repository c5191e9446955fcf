#include "ledger/ConversionLedger.h"
#include "ledger/LedgerLine.h"
#include "ledger/LedgerReader.h"
#include "output/MailboxScanner.h"
#include "platform/FileSystem.h"

#include "support/ErrorOf.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <optional>

#include <filesystem>
#include <fstream>

namespace marrowgate::test {
namespace {

class LedgerDefenceTest : public ::testing::Test {
protected:
    std::string Root() const { return dir / "Out/"; }
    std::string LedgerPath() const { return Root() + std::string(ConversionLedger::kFileName); }
    void SetUp() override { std::filesystem::create_directories(Root()); }

    TempDir dir;
};

std::vector<MailboxScanner::Record> Split(const std::string& bytes) {
    std::vector<MailboxScanner::Record> records;
    MailboxScanner scanner(0, [&](const MailboxScanner::Record& r) { records.push_back(r); });
    // Fed a byte at a time, so that every line start falls on a piece's edge.
    for (const char c : bytes) {
        scanner.Feed(std::string_view(&c, 1));
    }
    scanner.Finish();
    return records;
}

std::vector<MailboxScanner::Record> SplitInPieces(const std::string& bytes, std::size_t piece) {
    std::vector<MailboxScanner::Record> records;
    MailboxScanner scanner(100, [&](const MailboxScanner::Record& r) { records.push_back(r); });
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        scanner.Feed(std::string_view(bytes).substr(at, piece));
    }
    scanner.Finish();
    return records;
}

// Whole pieces are split as bytes fed one at a time are: every line start
// and line end may fall on a piece's edge, and the records, their hashes and
// From_ lines must not change with where.
TEST(MailboxScannerTest, SplitsAlikeWhateverThePieces) {
    std::string bytes = "From a Mon Jul 05 14:03:09 2010\r\n";
    const char* const lines[] = {"From a Mon Jul 05 14:03:09 2010\r\n",
                                 "\r\n",
                                 "\n",
                                 "From ",
                                 "Fro\n",
                                 ">From x\r\n",
                                 "body text that runs on\r\n",
                                 "\r",
                                 "From b\n",
                                 "From c Tue Jul 06 2010\n",
                                 "x\n"};
    std::uint32_t state = 7;
    for (int i = 0; i < 3000; ++i) {
        state = state * 1103515245 + 12345;
        bytes += lines[(state >> 16) % std::size(lines)];
    }
    const auto same = [](const std::vector<MailboxScanner::Record>& a,
                         const std::vector<MailboxScanner::Record>& b) {
        if (a.size() != b.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i].begin != b[i].begin || a[i].end != b[i].end || a[i].hash != b[i].hash ||
                a[i].fromLine != b[i].fromLine || a[i].leading != b[i].leading ||
                a[i].endsWithEmptyLine != b[i].endsWithEmptyLine) {
                return false;
            }
        }
        return true;
    };
    const std::vector<MailboxScanner::Record> byte = SplitInPieces(bytes, 1);
    EXPECT_GT(byte.size(), 100u);
    EXPECT_EQ(byte.front().begin, 100u); // where the part starts
    EXPECT_EQ(byte.front().fromLine, "From a Mon Jul 05 14:03:09 2010");
    for (const std::size_t piece : {2u, 3u, 4u, 5u, 6u, 7u, 64u, 1000u, 1u << 20}) {
        EXPECT_TRUE(same(SplitInPieces(bytes, piece), byte)) << "pieces of " << piece;
    }
}

// A record begins at "From " after an empty line only; its hash leaves its
// From_ line out, so two records differing in that line alone are the same;
// a last record without its empty line was cut short.
TEST(MailboxScannerTest, SplitsAsReadersDoAndHashesPastTheFromLine) {
    const std::string body = "Subject: x\r\n\r\n>From here\r\nFrom there\r\n\r\n";
    const std::string one = "From a Mon Jul 05 14:03:09 2010\r\n" + body;
    const std::string two = "From b Tue Jul 06 14:03:09 2010\r\n" + body;
    const std::vector<MailboxScanner::Record> records =
        Split("junk\r\n\r\n" + one + two + "From c x\nSubject: cut");
    ASSERT_EQ(records.size(), 4u);
    EXPECT_TRUE(records[0].leading);
    EXPECT_EQ(records[1].fromLine, "From a Mon Jul 05 14:03:09 2010");
    EXPECT_EQ(records[1].hash, records[2].hash);
    EXPECT_TRUE(records[1].hash.known);
    EXPECT_EQ(records[2].begin, records[1].end);
    EXPECT_EQ(records[2].end - records[2].begin, two.size());
    EXPECT_TRUE(records[2].endsWithEmptyLine);
    EXPECT_FALSE(records[3].endsWithEmptyLine);
    // "From there" follows no empty line: no record begins there.
    EXPECT_EQ(Split(one).size(), 1u);
}

// A line whose checksum no longer matches is damaged, never trusted; the
// text fields survive any byte but NUL.
TEST(LedgerLineTest, ChecksumsFindDamage) {
    LedgerRecord record{
        "In\tbox/In.mbox", 10, 99, ContentHash{1, 2, true}, {"/s/a\nb.eml", 5, 6, 7, 8}};
    std::string line;
    LedgerLine::AppendRecord(line, record);
    line.pop_back();
    const LedgerLine read = LedgerLine::Parse(line);
    ASSERT_EQ(read.kind, LedgerLine::Kind::Record);
    EXPECT_EQ(read.record.mailbox, record.mailbox);
    EXPECT_EQ(read.record.source.path, record.source.path);
    EXPECT_EQ(read.record.hash, record.hash);
    EXPECT_EQ(read.record.end, 99u);
    std::string damaged = line;
    damaged[12] = 'X';
    EXPECT_EQ(LedgerLine::Parse(damaged).kind, LedgerLine::Kind::Damaged);
    EXPECT_EQ(LedgerLine::Parse("hello").kind, LedgerLine::Kind::Damaged);
    std::string run;
    LedgerLine::AppendRun(run, 7, "mboxrd", {"/a", "/b\tc"});
    run.pop_back();
    EXPECT_EQ(LedgerLine::Parse(run).stores, (std::vector<std::string>{"/a", "/b\tc"}));
}

// Not a ledger, a link, a second name: refused with the file named, and
// nothing written to it.
TEST_F(LedgerDefenceTest, RefusesWhatIsNotItsOwn) {
    WriteFile(LedgerPath(), "hello\nworld\n");
    std::string error = ErrorOf([&] { ConversionLedger ledger(Root()); });
    EXPECT_NE(error.find(LedgerPath()), std::string::npos) << error;
    EXPECT_NE(error.find("\"hello\""), std::string::npos) << error;
    EXPECT_EQ(ReadFile(LedgerPath()), "hello\nworld\n");

    std::filesystem::remove(LedgerPath());
    WriteFile(dir / "elsewhere", "marrowgate-ledger 2\n");
    std::filesystem::create_hard_link(dir / "elsewhere", LedgerPath());
    error = ErrorOf([&] { ConversionLedger ledger(Root()); });
    EXPECT_NE(error.find("2 hard links"), std::string::npos) << error;
#ifndef _WIN32 // making a link takes a privilege there
    std::filesystem::remove(LedgerPath());
    std::filesystem::create_symlink(dir / "elsewhere", LedgerPath());
    error = ErrorOf([&] { ConversionLedger ledger(Root()); });
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
#endif
    EXPECT_EQ(ReadFile(dir / "elsewhere"), "marrowgate-ledger 2\n");
}

// A ledger removed while a run holds it: the run fails loudly at its next
// flush rather than report success for a file nobody reads. (Windows keeps
// the name of a file that is still open, so there the second run is refused
// instead.)
TEST_F(LedgerDefenceTest, ALedgerReplacedUnderARunFailsIt) {
    ConversionLedger ledger(Root());
    ledger.Sync();
    std::filesystem::remove(LedgerPath());
    std::optional<ConversionLedger> second;
    const std::string refused = ErrorOf([&] { second.emplace(Root()); });
    if (!refused.empty()) {
        EXPECT_NE(refused.find("Another conversion"), std::string::npos) << refused;
        return;
    }
    EXPECT_NE(ErrorOf([&] { ledger.Sync(); }).find("removed or replaced"), std::string::npos);
}

// A version 1 ledger is read, rewritten as version 2 by the first run, and
// its records still count; the last run is what ReadLastRun tells.
TEST_F(LedgerDefenceTest, AVersionOneLedgerIsCarriedOver) {
    WriteFile(LedgerPath(),
              "marrowgate-ledger 1\nrun\t5\nopen\tA/A.mbox\t0\n"
              "record\tA/A.mbox\t0\t40\t/s/1.eml\t10\t3\t1\t2\nclosed\tA/A.mbox\t40\n");
    WriteFile(Root() + "A/A.mbox",
              "From x Mon Jul 05 14:03:09 2010\r\n\r\nbody\r\n\r\n" + std::string(0, 'x'));
    ASSERT_EQ(LedgerReader::ReadRecords(LedgerPath()).size(), 1u);
    {
        ConversionLedger ledger(Root(), {"entourage", {"/s"}});
        EXPECT_EQ(ledger.Lookup("A/A.mbox", {"/s/1.eml", 10, 3, 1, 2}),
                  ConversionLedger::Seen::Converted);
        ledger.Finished({0, 1, 0});
    }
    EXPECT_TRUE(ReadFile(LedgerPath()).starts_with("marrowgate-ledger 2\n"));
    const std::optional<LastRun> last = ReadLastRun(Root());
    ASSERT_TRUE(last);
    EXPECT_TRUE(last->finished);
    EXPECT_EQ(last->stores, std::vector<std::string>{"/s"});
    EXPECT_EQ(last->alreadyConverted, 1u);
    // The mailbox's target was told by its line ends: another one is refused.
    const std::string refused = ErrorOf([&] {
        ConversionLedger(Root(), {"mboxrd", {}}).Lookup("A/A.mbox", {"/s/2.eml"});
    });
    EXPECT_NE(refused.find("entourage"), std::string::npos) << refused;
    EXPECT_NE(refused.find("mboxrd"), std::string::npos) << refused;
}

// A check reads only what stands of the mailboxes it asks for, however many
// lines a later "open" took away, and a record cut off by the mailbox's
// size since still counts (the check names it cut short).
TEST_F(LedgerDefenceTest, OnlyStandingRecordsAreRead) {
    const auto record = [](const std::string& mailbox, std::uint64_t begin, const char* source) {
        return LedgerRecord{mailbox, begin, begin + 10, ContentHash{}, {source, 10, 3, 1, 2}};
    };
    {
        ConversionLedger ledger(Root());
        bool cut = false;
        ledger.Opening("A/A.mbox", 0, -1, cut);
        for (std::uint64_t i = 0; i < 500; ++i) {
            ledger.Recorded(record("A/A.mbox", i * 10, "/s/old.eml"));
        }
        ledger.Closed("A/A.mbox", 5000);
        ledger.Opening("A/A.mbox", 20, -1, cut); // the mailbox was cut to its first two
        ledger.Recorded(record("A/A.mbox", 20, "/s/new.eml"));
        ledger.Opening("B/B.mbox", 0, -1, cut);
        ledger.Recorded(record("B/B.mbox", 0, "/s/b.eml"));
        ledger.Sync();
    }
    std::vector<std::string> read;
    LedgerReader::ForEachStandingRecord(
        LedgerPath(), {"A/A.mbox", "C/C.mbox"}, [&](const LedgerRecord& r) {
            read.push_back(r.mailbox + " " + std::to_string(r.begin) + " " + r.source.path);
        });
    EXPECT_EQ(read, (std::vector<std::string>{"A/A.mbox 0 /s/old.eml", "A/A.mbox 10 /s/old.eml",
                                              "A/A.mbox 20 /s/new.eml"}));
    read.clear();
    LedgerReader::ForEachStandingRecord(dir / "nowhere", {"A/A.mbox"},
                                        [&](const LedgerRecord&) { read.push_back("?"); });
    EXPECT_TRUE(read.empty());
}

} // namespace
} // namespace marrowgate::test

#include "ledger/StoreLedger.h"

#include "ledger/LedgerCompaction.h"
#include "ledger/LedgerLine.h"
#include "ledger/LedgerReader.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace marrowgate::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t lf = text.find('\n', at);
        lines.push_back(text.substr(at, lf - at));
        at = lf == std::string::npos ? text.size() : lf + 1;
    }
    return lines;
}

class StoreLedgerTest : public ::testing::Test {
protected:
    std::string Root() const { return dir / "Out/"; }
    std::string LedgerPath() const { return Root() + std::string(ConversionLedger::kFileName); }

    void SetUp() override { std::filesystem::create_directories(Root()); }

    // A message file that exists, as the ledger knows it.
    LedgerSource Existing(const std::string& name, std::uint64_t size = 10) const {
        const std::string path = dir / ("Store/" + name);
        WriteFile(path, std::string(size, 'm'));
        return {path, size, 1'278'338'589'000'000'123, 2049, 77};
    }
    LedgerSource Gone(const std::string& name) const {
        return {dir / ("Moved/" + name), 10, 1'278'338'589'000'000'123, 2049, 78};
    }
    static ContentHash Hash(std::uint64_t low) { return {7, low, true}; }
    static bool All(const std::string&) { return true; }

    TempDir dir;
};

// Places in a store's terms are read back as text, beside mbox records, and
// the lines of both kinds of output keep apart.
TEST_F(StoreLedgerTest, PlacesAreTextAndLinesRoundTrip) {
    const LedgerRecord stored{
        ".Store.Inbox", 0, 0, Hash(1), Existing("a.eml"), "1720000000.M1P2Q3.host-1,S=10"};
    std::string lines;
    LedgerLine::AppendRecord(lines, stored);
    LedgerLine::AppendSending(lines, {"ann@host/INBOX", 0, 0, Hash(2), stored.source, "38505"});
    LedgerLine::AppendBegun(lines, "ann@host/INBOX", "38505,12", "imap");
    LedgerLine::AppendRecord(lines, {"Store/Inbox.mbox", 5, 95, Hash(3), stored.source});
    std::vector<LedgerLine> parsed;
    for (const std::string& line : Lines(lines)) {
        parsed.push_back(LedgerLine::Parse(line));
    }
    ASSERT_EQ(parsed.size(), 4u);
    EXPECT_EQ(parsed[0].kind, LedgerLine::Kind::Record);
    EXPECT_EQ(parsed[0].record.place, stored.place);
    EXPECT_EQ(parsed[0].record.end, 0u);
    EXPECT_EQ(parsed[1].kind, LedgerLine::Kind::Sending);
    EXPECT_EQ(parsed[1].record.place, "38505");
    EXPECT_EQ(parsed[1].record.hash, Hash(2));
    EXPECT_EQ(parsed[2].kind, LedgerLine::Kind::Begun);
    EXPECT_EQ(parsed[2].record.place, "38505,12");
    EXPECT_EQ(parsed[2].target, "imap");
    EXPECT_EQ(parsed[3].record.place, "");
    EXPECT_EQ(parsed[3].record.begin, 5u);
    EXPECT_EQ(parsed[3].record.end, 95u);
}

// A later run knows what an earlier one stored, by path, size and time; a
// record whose place the store no longer holds does not count; converting
// again on purpose sets them all aside.
TEST_F(StoreLedgerTest, LaterRunsKnowWhatStandsInTheStore) {
    const LedgerSource a = Existing("a.eml");
    const LedgerSource b = Existing("b.eml");
    {
        StoreLedger ledger(Root(), {"maildir", {dir / "Store"}});
        ledger.Select(".Store");
        ledger.Recorded(".Store", "one", Hash(1), a);
        ledger.Recorded(".Store", "two", Hash(2), b);
        EXPECT_EQ(ledger.Lookup(a), StoreLedger::Seen::ListedTwice);
        ledger.Sync();
    }
    EXPECT_EQ(LedgerReader::ReadRecords(LedgerPath()).size(), 2u);
    StoreLedger again(Root(), {"maildir", {}});
    again.Select(".Store");
    again.Settle([](const std::string& place) { return place != "two"; });
    EXPECT_EQ(again.Lookup(a), StoreLedger::Seen::Converted);
    LedgerSource touched = a;
    ++touched.modifiedNs;
    EXPECT_EQ(again.Lookup(touched), StoreLedger::Seen::Changed);
    EXPECT_EQ(again.Lookup(b), StoreLedger::Seen::New) << "its file is gone from the store";
    again.Select(".Other");
    EXPECT_EQ(again.Lookup(a), StoreLedger::Seen::New);
    again.Select(".Store");
    again.ForgetEarlierRuns();
    EXPECT_EQ(again.Lookup(a), StoreLedger::Seen::New);
}

// A message that went out without an answer is known to have gone until its
// record comes, in this run or the next; where the mailbox's account begins
// is kept per mailbox.
TEST_F(StoreLedgerTest, SendingLinesAndWhereTheAccountBegins) {
    const LedgerSource a = Existing("a.eml");
    const LedgerSource b = Existing("b.eml");
    {
        StoreLedger ledger(Root(), {"imap", {}});
        ledger.Select("ann@host/Store");
        EXPECT_FALSE(ledger.Begun());
        ledger.Begin("5,1", "imap");
        ledger.Sending("5", Hash(1), a);
        ledger.Sending("5", Hash(2), b);
        EXPECT_TRUE(ledger.WasSending(a));
        ledger.Recorded("ann@host/Store", "5,1", Hash(2), b);
        EXPECT_FALSE(ledger.WasSending(b));
        ledger.Select("ann@host/Other");
        ledger.Begin("9,4", "imap");
    } // ended without a sync: what was gathered is written all the same
    StoreLedger again(Root(), {"imap", {}});
    again.Select("ann@host/Store");
    again.Settle(All);
    EXPECT_EQ(again.Begun(), std::optional<std::string>("5,1"));
    EXPECT_TRUE(again.WasSending(a));
    EXPECT_FALSE(again.WasSending(b));
    EXPECT_EQ(again.Lookup(a), StoreLedger::Seen::New);
    EXPECT_EQ(again.Lookup(b), StoreLedger::Seen::Converted);
    again.Select("ann@host/Other");
    EXPECT_EQ(again.Begun(), std::optional<std::string>("9,4"));
}

// A store moved: its messages take the records of files that are gone, by
// their content, one record each; a file that still exists keeps its own.
TEST_F(StoreLedgerTest, RecordsOfFilesGoneAreTakenByContent) {
    const LedgerSource stays = Existing("stays.eml");
    {
        StoreLedger ledger(Root(), {"maildir", {}});
        ledger.Select(".Store");
        ledger.Recorded(".Store", "p1", Hash(1), Gone("x.eml"));
        ledger.Recorded(".Store", "p2", Hash(1), Gone("y.eml"));
        ledger.Recorded(".Store", "p3", Hash(3), stays);
        ledger.Sync();
    }
    const LedgerSource x = Existing("x.eml");
    const LedgerSource y = Existing("y.eml");
    {
        StoreLedger again(Root(), {"maildir", {}});
        again.Select(".Store");
        again.Settle(All);
        const LedgerSource z = Existing("z.eml");
        EXPECT_EQ(again.TakeByContent(Hash(1), x), std::optional<std::string>("p1"));
        EXPECT_EQ(again.TakeByContent(Hash(1), y), std::optional<std::string>("p2"));
        EXPECT_EQ(again.TakeByContent(Hash(1), z), std::nullopt) << "each record is taken once";
        EXPECT_EQ(again.TakeByContent(Hash(3), z), std::nullopt) << "its file is still there";
        EXPECT_EQ(again.Lookup(x), StoreLedger::Seen::ListedTwice);
        again.Sync();
    }
    StoreLedger third(Root(), {"maildir", {}});
    third.Select(".Store");
    third.Settle(All);
    EXPECT_EQ(third.Lookup(y), StoreLedger::Seen::Converted);
}

// An mbox run's compaction of a ledger it shares with a store's mailboxes
// keeps their lines as they are: it cannot tell which of them stand.
TEST_F(StoreLedgerTest, CompactionKeepsTheLinesOfStoresMailboxes) {
    {
        StoreLedger ledger(Root(), {"maildir", {}});
        ledger.Select(".Store");
        ledger.Recorded(".Store", "p1", Hash(1), Existing("a.eml"));
        ledger.Recorded(".Store", "p2", Hash(2), Existing("b.eml"));
        ledger.Select("ann@host/INBOX");
        ledger.Begin("5,1", "imap");
        ledger.Sending("5", Hash(3), Existing("c.eml"));
        ledger.Sync();
    }
    const auto storeLines = [this] {
        std::string kept;
        for (const std::string& line : Lines(ReadFile(LedgerPath()))) {
            if (!line.starts_with("run\t") && !line.starts_with("end\t")) {
                kept += line + "\n";
            }
        }
        return kept;
    };
    const std::string before = storeLines();
    LedgerLineStore store(LedgerPath(), Root());
    LedgerSurvey survey = LedgerSurvey::Of(store);
    survey.MeasureMailboxes(Root());
    LedgerCompaction::Run(store, survey, Root());
    EXPECT_EQ(storeLines(), before);
}

// One run at a time: the second is refused while the first holds the ledger.
TEST_F(StoreLedgerTest, OneRunAtATime) {
    StoreLedger first(Root(), {"maildir", {}});
    EXPECT_THROW(StoreLedger(Root(), {"maildir", {}}), LedgerBusy);
}

} // namespace
} // namespace marrowgate::test

#include "ledger/ConversionLedger.h"

#include "support/ErrorOf.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace marrowgate::test {
namespace {

class ConversionLedgerTest : public ::testing::Test {
protected:
    std::string Root() const { return dir / "Out/"; }
    std::string LedgerPath() const { return Root() + std::string(ConversionLedger::kFileName); }

    // Opens the mailbox in the ledger as a run does (no mailbox file at hand).
    static std::uint64_t Open(ConversionLedger& ledger, const std::string& mailbox,
                              std::uint64_t size) {
        bool cut = false;
        return ledger.Opening(mailbox, size, -1, cut);
    }

    static LedgerSource Source(const std::string& path, std::uint64_t size = 10) {
        return {path, size, 1'278'338'589'000'000'123, 2049, 18'446'744'073'709'551'557u};
    }

    void SetUp() override { std::filesystem::create_directories(Root()); }

    // A mailbox file of `size` bytes, as the ledger's records expect it.
    void Mailbox(const std::string& relative, std::size_t size) {
        WriteFile(Root() + relative, std::string(size, 'x'));
    }

    TempDir dir;
};

// What is written is read back, paths holding the separators included, and
// a later run finds it converted, or changed when the file is no longer the same.
TEST_F(ConversionLedgerTest, RecordsRoundTripAndAreFoundByLaterRuns) {
    const std::string odd = "/store/tab\there/new\nline/back\\slash\r.eml";
    {
        ConversionLedger ledger(Root());
        EXPECT_EQ(Open(ledger, "A/A.mbox", 0), 0u);
        ledger.Recorded({"A/A.mbox", 0, 40, ContentHash{}, Source("/store/A/1.eml")});
        ledger.Recorded({"A/A.mbox", 40, 95, ContentHash{}, Source(odd)});
        ledger.Closed("A/A.mbox", 95);
        ledger.Sync();
    }
    Mailbox("A/A.mbox", 95);
    const std::vector<LedgerRecord> records = ConversionLedger::ReadRecords(LedgerPath());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].mailbox, "A/A.mbox");
    EXPECT_EQ(records[1].source.path, odd);
    EXPECT_EQ(records[1].begin, 40u);
    EXPECT_EQ(records[1].end, 95u);
    EXPECT_EQ(records[1].source.modifiedNs, 1'278'338'589'000'000'123);
    EXPECT_EQ(records[1].source.device, 2049u);
    EXPECT_EQ(records[1].source.inode, 18'446'744'073'709'551'557u); // past INT64_MAX

    ConversionLedger again(Root());
    EXPECT_EQ(again.Lookup("A/A.mbox", Source(odd)), ConversionLedger::Seen::Converted);
    EXPECT_EQ(again.Lookup("A/A.mbox", Source(odd, 11)), ConversionLedger::Seen::Changed);
    EXPECT_EQ(again.Lookup("B/B.mbox", Source(odd)), ConversionLedger::Seen::New);
    EXPECT_EQ(again.Lookup("A/A.mbox", Source("/store/A/2.eml")), ConversionLedger::Seen::New);
    again.ForgetEarlierRuns();
    EXPECT_EQ(again.Lookup("A/A.mbox", Source(odd)), ConversionLedger::Seen::New);
    again.Recorded({"A/A.mbox", 95, 150, ContentHash{}, Source(odd)});
    EXPECT_EQ(again.Lookup("A/A.mbox", Source(odd)), ConversionLedger::Seen::ListedTwice);
}

// The bytes past the last record of a run that never closed the mailbox are
// its own, to be taken back; after a clean close they are someone else's. A
// mailbox cut shorter than its records takes them with it.
TEST_F(ConversionLedgerTest, TellsWhoseTheTailIs) {
    {
        ConversionLedger killed(Root());
        Open(killed, "A/A.mbox", 0);
        killed.Recorded({"A/A.mbox", 0, 40, ContentHash{}, Source("/s/1.eml")});
        Open(killed, "B/B.mbox", 7); // a foreign mailbox
        killed.Recorded({"B/B.mbox", 7, 50, ContentHash{}, Source("/s/2.eml")});
        killed.Closed("B/B.mbox", 50);
        Open(killed, "C/C.mbox", 0);
        killed.Recorded({"C/C.mbox", 0, 30, ContentHash{}, Source("/s/3.eml")});
        killed.Recorded({"C/C.mbox", 30, 60, ContentHash{}, Source("/s/4.eml")});
        // ... and the process is killed while writing more records.
    }
    Mailbox("A/A.mbox", 70);
    Mailbox("B/B.mbox", 80);
    Mailbox("C/C.mbox", 45); // cut by someone, inside the second record
    ConversionLedger ledger(Root());
    std::vector<std::string> unsettled;
    for (const auto& [mailbox, target] : ledger.UnsettledMailboxes()) {
        unsettled.push_back(mailbox);
    }
    std::sort(unsettled.begin(), unsettled.end());
    EXPECT_EQ(unsettled, (std::vector<std::string>{"A/A.mbox", "C/C.mbox"}));
    EXPECT_EQ(Open(ledger, "A/A.mbox", 70), 40u);
    EXPECT_EQ(Open(ledger, "B/B.mbox", 80), 80u);
    EXPECT_EQ(ledger.Lookup("C/C.mbox", Source("/s/3.eml")), ConversionLedger::Seen::Converted);
    EXPECT_EQ(ledger.Lookup("C/C.mbox", Source("/s/4.eml")), ConversionLedger::Seen::New);
    EXPECT_EQ(Open(ledger, "C/C.mbox", 45), 30u);
}

// A last line cut short (a full disk, a power cut) is no line: the records
// before it stand, and the next run's lines start on their own line.
TEST_F(ConversionLedgerTest, ATornLastLineIsPassedOver) {
    {
        ConversionLedger ledger(Root());
        Open(ledger, "A/A.mbox", 0);
        ledger.Recorded({"A/A.mbox", 0, 40, ContentHash{}, Source("/s/1.eml")});
    }
    Mailbox("A/A.mbox", 80);
    {
        std::ofstream torn(LedgerPath(), std::ios::app | std::ios::binary);
        torn << "record\tA/A.mbox\t40\t80\t/s/2.eml\t10\t12";
    }
    EXPECT_EQ(ConversionLedger::ReadRecords(LedgerPath()).size(), 1u);
    {
        ConversionLedger ledger(Root());
        EXPECT_EQ(ledger.Lookup("A/A.mbox", Source("/s/2.eml")), ConversionLedger::Seen::New);
        EXPECT_EQ(Open(ledger, "A/A.mbox", 80), 40u);
        ledger.Recorded({"A/A.mbox", 40, 80, ContentHash{}, Source("/s/2.eml")});
    }
    const std::vector<LedgerRecord> records = ConversionLedger::ReadRecords(LedgerPath());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].source.path, "/s/2.eml");
    EXPECT_TRUE(ConversionLedger::ReadRecords(dir / "nowhere").empty());
}

// A run holds the records of one mailbox at a time and reads another's when
// it comes to it: a mailbox left and come back to in the same run (its lines
// still gathered, not yet written), and one whose lines earlier runs
// interleaved with another's and then cut, must read back the same.
TEST_F(ConversionLedgerTest, MailboxesComeBackToReadTheSame) {
    const auto seen = [](ConversionLedger& ledger, const std::string& mailbox,
                         const LedgerSource& source) { return ledger.Lookup(mailbox, source); };
    using Seen = ConversionLedger::Seen;
    {
        ConversionLedger first(Root());
        Open(first, "A/A.mbox", 0);
        Open(first, "B/B.mbox", 0);
        // Written in turns, as two runs into one folder one after the other would.
        for (std::uint64_t i = 0; i < 200; ++i) {
            const std::string name = "/s/" + std::to_string(i) + ".eml";
            first.Recorded({i % 2 ? "B/B.mbox" : "A/A.mbox", i / 2 * 10, i / 2 * 10 + 10,
                            ContentHash{}, Source(name)});
        }
        first.Closed("A/A.mbox", 1000);
        Open(first, "A/A.mbox", 600); // A cut back: what lay past 600 is gone
        first.Closed("A/A.mbox", 600);
        first.Closed("B/B.mbox", 1000);
    }
    Mailbox("A/A.mbox", 600);
    Mailbox("B/B.mbox", 1000);
    ConversionLedger ledger(Root());
    EXPECT_TRUE(ledger.UnsettledMailboxes().empty());
    EXPECT_EQ(seen(ledger, "A/A.mbox", Source("/s/118.eml")), Seen::Converted); // ends at 600
    EXPECT_EQ(seen(ledger, "A/A.mbox", Source("/s/120.eml")), Seen::New);
    EXPECT_EQ(seen(ledger, "B/B.mbox", Source("/s/199.eml")), Seen::Converted);
    EXPECT_EQ(seen(ledger, "B/B.mbox", Source("/s/198.eml")), Seen::New); // A's, not B's
    EXPECT_EQ(seen(ledger, "A/A.mbox", Source("/s/0.eml", 11)), Seen::Changed);

    // This run: A written, left for B, come back to before anything is flushed.
    ledger.ForgetEarlierRuns();
    EXPECT_EQ(Open(ledger, "A/A.mbox", 600), 600u);
    ledger.Recorded({"A/A.mbox", 600, 650, ContentHash{}, Source("/s/0.eml")});
    ledger.Recorded({"A/A.mbox", 650, 700, ContentHash{}, Source("/new.eml")});
    EXPECT_EQ(seen(ledger, "B/B.mbox", Source("/s/1.eml")), Seen::New); // set aside
    ledger.Recorded({"B/B.mbox", 1000, 1050, ContentHash{}, Source("/s/1.eml")});
    EXPECT_EQ(seen(ledger, "A/A.mbox", Source("/s/0.eml")), Seen::ListedTwice);
    EXPECT_EQ(seen(ledger, "A/A.mbox", Source("/new.eml")), Seen::ListedTwice);
    EXPECT_EQ(seen(ledger, "A/A.mbox", Source("/s/2.eml")), Seen::New);
    EXPECT_EQ(seen(ledger, "B/B.mbox", Source("/s/1.eml")), Seen::ListedTwice);
    // Killed here: A's records lie in the ledger, past its "open".
    ASSERT_EQ(ledger.UnsettledMailboxes().size(), 0u); // this run's own are not unsettled
    ledger.Flush();

    const std::vector<LedgerRecord> records = ConversionLedger::ReadRecords(LedgerPath());
    const auto in = [&](const std::string& mailbox) {
        return std::count_if(records.begin(), records.end(),
                             [&](const LedgerRecord& r) { return r.mailbox == mailbox; });
    };
    EXPECT_EQ(in("A/A.mbox"), 60 + 2);
    EXPECT_EQ(in("B/B.mbox"), 100 + 1);
}

// A mailbox being filled is told apart by hashes of its sources: every
// one of thousands must still be found, and the others not.
TEST_F(ConversionLedgerTest, EveryRecordOfALargeMailboxIsFound) {
    ConversionLedger ledger(Root());
    Open(ledger, "A/A.mbox", 0);
    constexpr std::uint64_t kMany = 5000;
    const auto name = [](std::uint64_t i) { return "/s/" + std::to_string(i) + ".eml"; };
    for (std::uint64_t i = 0; i < kMany; ++i) {
        ASSERT_EQ(ledger.Lookup("A/A.mbox", Source(name(i))), ConversionLedger::Seen::New);
        ledger.Recorded({"A/A.mbox", i * 10, i * 10 + 10, ContentHash{}, Source(name(i))});
    }
    std::uint64_t found = 0;
    for (std::uint64_t i = 0; i < 2 * kMany; ++i) {
        found += ledger.Lookup("A/A.mbox", Source(name(i))) == ConversionLedger::Seen::ListedTwice;
    }
    EXPECT_EQ(found, kMany);
}

// Many runs' records of the same sources (converted again on purpose each
// time): the latest of each decides, read back from the ledger.
TEST_F(ConversionLedgerTest, TheLatestRecordOfASourceDecides) {
    for (std::uint64_t run = 0; run < 3; ++run) {
        ConversionLedger ledger(Root());
        ledger.ForgetEarlierRuns();
        Open(ledger, "A/A.mbox", run * 100);
        for (std::uint64_t i = 0; i < 10; ++i) {
            ledger.Recorded({"A/A.mbox", run * 100 + i * 10, run * 100 + i * 10 + 10, ContentHash{},
                             Source("/s/" + std::to_string(i) + ".eml", 10 + run)});
        }
        ledger.Closed("A/A.mbox", run * 100 + 100);
    }
    Mailbox("A/A.mbox", 250); // cut inside the last run's records
    ConversionLedger ledger(Root());
    using Seen = ConversionLedger::Seen;
    EXPECT_EQ(ledger.Lookup("A/A.mbox", Source("/s/4.eml", 12)), Seen::Converted);
    EXPECT_EQ(ledger.Lookup("A/A.mbox", Source("/s/5.eml", 12)), Seen::New); // its record is gone
    EXPECT_EQ(ledger.Lookup("A/A.mbox", Source("/s/4.eml", 11)), Seen::Changed);
    EXPECT_EQ(Open(ledger, "A/A.mbox", 250), 250u); // closed cleanly: the rest is not ours
}

TEST_F(ConversionLedgerTest, OneWriterAtATime) {
    std::optional<ConversionLedger> first(std::in_place, Root());
    const std::string refused = ErrorOf([&] { ConversionLedger second(Root()); });
    EXPECT_NE(refused.find(Root()), std::string::npos) << "a second writer was let in";
    first.reset();
    EXPECT_NO_THROW(ConversionLedger{Root()});
}

} // namespace
} // namespace marrowgate::test

#include "ledger/ConversionLedger.h"

#include "ledger/MailboxTail.h"
#include "platform/FileDescriptor.h"
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

    // Opens the mailbox in the ledger as a run does, the file as it is now.
    std::uint64_t OpenFile(ConversionLedger& ledger, const std::string& mailbox) const {
        const FileDescriptor fd(platform::Open(Root() + mailbox, platform::kRead));
        bool cut = false;
        return ledger.Opening(mailbox, std::filesystem::file_size(Root() + mailbox), fd.Get(), cut);
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

// Records as a run writes them: a From_ line, the message, an empty line.
std::string RecordOf(const std::string& subject, const std::string& body = "text") {
    return "From ann@x.org Mon Jul 05 14:03:09 2010\r\nSubject: " + subject + "\r\n\r\n" + body +
           "\r\n\r\n";
}

// The bytes past the last record of a run that never closed the mailbox are
// most likely its own, but are cut back only where that is proved: the
// separator it writes before a record, or a record cut short once the record
// written in its place shows it to be its start. Whole records stay (a run
// finds its own by their content), and so does what cannot be proved. After
// a clean close the bytes are someone else's. A mailbox cut shorter than its
// records loses the one that lay across its end, which the ledger proves.
TEST_F(ConversionLedgerTest, TellsWhoseTheTailIs) {
    const std::string a = RecordOf("a"), b = RecordOf("b"),
                      c = RecordOf("c", std::string(500, 'c'));
    const std::string d = RecordOf("d");
    {
        ConversionLedger killed(Root());
        for (const char* mailbox : {"A/A.mbox", "D/D.mbox", "E/E.mbox"}) {
            Open(killed, mailbox, 0);
            killed.Recorded({mailbox, 0, a.size(), ContentHash{}, Source("/s/a.eml")});
        }
        Open(killed, "B/B.mbox", 7); // a foreign mailbox
        killed.Recorded({"B/B.mbox", 7, 50, ContentHash{}, Source("/s/2.eml")});
        killed.Closed("B/B.mbox", 50);
        Open(killed, "C/C.mbox", 0);
        killed.Recorded({"C/C.mbox", 0, a.size(), ContentHash{}, Source("/s/a.eml")});
        killed.Recorded(
            {"C/C.mbox", a.size(), a.size() + d.size(), ContentHash{}, Source("/s/d.eml")});
        // ... and the process is killed while writing more records.
    }
    WriteFile(Root() + "A/A.mbox", a + b + c.substr(0, 100)); // b's line lost, c cut short
    Mailbox("B/B.mbox", 80);
    WriteFile(Root() + "C/C.mbox", a + d.substr(0, 20)); // cut by someone, inside d
    WriteFile(Root() + "D/D.mbox", a + "\r\n\r\n");      // the separator before a record
    WriteFile(Root() + "E/E.mbox", a + "Subject: not a record\r\n");
    ConversionLedger ledger(Root());
    std::vector<std::string> unsettled;
    for (const auto& [mailbox, target] : ledger.UnsettledMailboxes()) {
        unsettled.push_back(mailbox);
    }
    std::sort(unsettled.begin(), unsettled.end());
    EXPECT_EQ(unsettled,
              (std::vector<std::string>{"A/A.mbox", "C/C.mbox", "D/D.mbox", "E/E.mbox"}));
    EXPECT_EQ(OpenFile(ledger, "B/B.mbox"), 80u);
    EXPECT_EQ(ledger.Lookup("C/C.mbox", Source("/s/a.eml")), ConversionLedger::Seen::Converted);
    EXPECT_EQ(ledger.Lookup("C/C.mbox", Source("/s/d.eml")), ConversionLedger::Seen::New);
    EXPECT_EQ(OpenFile(ledger, "C/C.mbox"), a.size());
    EXPECT_EQ(OpenFile(ledger, "D/D.mbox"), a.size());
    EXPECT_EQ(OpenFile(ledger, "E/E.mbox"), a.size() + 23);
    EXPECT_FALSE(ledger.UnprovedTail("E/E.mbox"));

    EXPECT_EQ(OpenFile(ledger, "A/A.mbox"), (a + b).size() + 100);
    EXPECT_EQ(ledger.UnprovedTail("A/A.mbox"), (a + b).size());
    const FileDescriptor box(platform::Open(Root() + "A/A.mbox", platform::kRead));
    const std::string other = RecordOf("c", std::string(500, 'x'));
    const std::string_view others[] = {other};
    const std::string_view start[] = {std::string_view(c).substr(0, 60), "",
                                      std::string_view(c).substr(60)};
    EXPECT_FALSE(ledger.ProveTail("A/A.mbox", box.Get(), others, true));
    EXPECT_TRUE(ledger.UnprovedTail("A/A.mbox")); // still to be proved
    EXPECT_EQ(ledger.ProveTail("A/A.mbox", box.Get(), start, true), (a + b).size());
    EXPECT_FALSE(ledger.UnprovedTail("A/A.mbox"));
    ledger.Sync();
    // The "open" at the cut is on disk before the mailbox is cut.
    const std::string lines = ReadFile(LedgerPath());
    EXPECT_NE(lines.find("open\tA/A.mbox\t" + std::to_string((a + b).size())), std::string::npos);
}

// The proof of a record cut short: its bytes after the From_ line (whose
// date may come from a file's time) are the record's; a From_ line alone,
// or part of one, must be the record's own; a record larger than the part
// in hand is proved by that part.
TEST_F(ConversionLedgerTest, ARecordCutShortIsProvedByTheRecordWrittenInItsPlace) {
    const std::string c = RecordOf("c", std::string(500, 'c'));
    const std::string later = "From ann@x.org Tue Jul 06 10:00:00 2010" + c.substr(c.find('\r'));
    const auto proves = [&](const std::string& tail, const std::string& record, bool whole) {
        WriteFile(Root() + "T.mbox", "xx" + tail);
        const FileDescriptor fd(platform::Open(Root() + "T.mbox", platform::kRead));
        const std::string_view pieces[] = {record};
        return MailboxTail::IsStartOf(fd.Get(), 2, 2 + tail.size(), pieces, whole);
    };
    EXPECT_TRUE(proves(c.substr(0, 100), c, true));
    EXPECT_TRUE(proves(later.substr(0, 100), c, true)); // another date
    EXPECT_TRUE(proves(c.substr(0, 100), c.substr(0, 60), false));
    EXPECT_FALSE(proves(c.substr(0, 100), c.substr(0, 60), true));
    EXPECT_FALSE(proves(c.substr(0, 100), RecordOf("c", std::string(500, 'x')), true));
    EXPECT_TRUE(proves(c.substr(0, 20), c, true));      // inside the From_ line
    EXPECT_FALSE(proves(later.substr(0, 41), c, true)); // a From_ line alone, not this one
    EXPECT_TRUE(proves(c.substr(0, 41), c, true));
    EXPECT_FALSE(proves("Subject: c\r\n", c, true));

    const auto tail = [&](const std::string& bytes) {
        WriteFile(Root() + "T.mbox", bytes);
        const FileDescriptor fd(platform::Open(Root() + "T.mbox", platform::kRead));
        return MailboxTail::Of(fd.Get(), 0, bytes.size());
    };
    EXPECT_EQ(tail("\r\n\r\n").keep, 0u);
    EXPECT_FALSE(tail("\r\n\r\nFro").keep == 0u);
    EXPECT_EQ(tail("\r\n\r\nFro").cutShortAt, 4u);
    EXPECT_FALSE(tail(RecordOf("b")).cutShort);
    EXPECT_TRUE(tail(RecordOf("b") + c.substr(0, 9)).cutShort);
    EXPECT_FALSE(tail("\r\nstray bytes").cutShort);
}

ContentHash HashOf(std::string_view record) {
    RecordHasher hasher;
    hasher.Feed(record);
    return hasher.Digest();
}

// What a run finds by content is what the mailbox held before it began:
// a record it is writing, not ended yet, is none (even where it ends in an
// empty line so far). A message larger than is held at once is looked for
// by its start before any of it is written.
TEST_F(ConversionLedgerTest, ByContentOnlyWhatTheMailboxHeldBefore) {
    const std::string a = RecordOf("a"), big = RecordOf("big", std::string(100'000, 'b'));
    const std::string c = RecordOf("c");
    {
        ConversionLedger killed(Root());
        Open(killed, "A/A.mbox", 0); // killed before any record line was written
    }
    WriteFile(Root() + "A/A.mbox", a + big);
    ConversionLedger ledger(Root());
    EXPECT_EQ(OpenFile(ledger, "A/A.mbox"), (a + big).size());
    WriteFile(Root() + "A/A.mbox", a + big + c); // this run's writing
    const FileDescriptor box(platform::Open(Root() + "A/A.mbox", platform::kRead));
    EXPECT_FALSE(ledger.TakeByContent("A/A.mbox", box.Get(), HashOf(c), Source("/s/c.eml")));
    EXPECT_TRUE(ledger.TakeByContent("A/A.mbox", box.Get(), HashOf(a), Source("/s/a.eml")));

    const std::string other = RecordOf("big", std::string(100'000, 'x'));
    const std::string_view bigStart[] = {std::string_view(big).substr(0, 70'000)};
    const std::string_view otherStart[] = {std::string_view(other).substr(0, 70'000)};
    EXPECT_TRUE(ledger.MayHoldStartOf("A/A.mbox", box.Get(), bigStart, "/s/big.eml"));
    EXPECT_FALSE(ledger.MayHoldStartOf("A/A.mbox", box.Get(), otherStart, "/s/big.eml"));
    EXPECT_TRUE(ledger.TakeByContent("A/A.mbox", box.Get(), HashOf(big), Source("/s/big.eml")));
    EXPECT_FALSE(ledger.MayHoldStartOf("A/A.mbox", box.Get(), bigStart, "/s/big.eml")); // taken
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
        EXPECT_EQ(Open(ledger, "A/A.mbox", 40), 40u);
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

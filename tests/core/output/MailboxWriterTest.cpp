#include "output/MailboxWriter.h"
#include "marrowgate/ConversionError.h"

#include "support/ErrorOf.h"
#include "support/FileSizeLimit.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace marrowgate::test {
namespace {

class MailboxWriterTest : public ::testing::Test {
protected:
    // The record the writer appends for a message file holding `bytes` and no
    // sender, dated by its modification time.
    std::string RecordFor(std::string_view bytes) {
        const std::string message = dir / "m.eml";
        const std::string mailbox = dir / "out.mbox";
        std::filesystem::remove(mailbox);
        WriteFile(message, bytes, ExampleTime());
        AppendMessageToMailbox(message, mailbox);
        return ReadFile(mailbox);
    }

    static std::string Record(std::string_view body) {
        return "From MAILER-DAEMON Mon Jul 05 14:03:09 2010\r\n" + std::string(body);
    }

    TempDir dir;
};

// The record rules themselves are the encoder's (RecordEncoderTest); here the
// From_ line above them, and what is no message at all.
TEST_F(MailboxWriterTest, RecordRules) {
    // The message has no empty line: one is added, so that readers find the end
    // of its header inside the record.
    EXPECT_EQ(RecordFor("  Subject: Hi\r\nHello"), Record("Subject: Hi\r\nHello\r\n\r\n\r\n"));
    EXPECT_EQ(RecordFor("From someone@example.com Sat Jan  3 01:05:34 1996\nA: b\n\nx"),
              Record("A: b\r\n\r\nx\r\n\r\n"));
    // A file of nothing but white space is no message: no record, no mailbox.
    for (const std::string_view bytes : {"", "\r\n", " \t\r\n\n  "}) {
        WriteFile(dir / "e.eml", bytes, ExampleTime());
        EXPECT_TRUE(AppendMessageToMailbox(dir / "e.eml", dir / "e.mbox").empty);
        EXPECT_FALSE(std::filesystem::exists(dir / "e.mbox"));
    }
    // The old header form "From  : ..." is a field, not an envelope: it stays,
    // quoted so that no reader takes it for the start of a record.
    EXPECT_EQ(RecordFor("From  : ann@x.org\nA: b\n\n"),
              "From ann@x.org Mon Jul 05 14:03:09 2010\r\n>From  : ann@x.org\r\nA: b\r\n\r\n\r\n");
}

TEST_F(MailboxWriterTest, CopiesEveryByteOfTheMessage) {
    std::string bytes = "A: b\r\n\r\n";
    for (int c = 0; c < 256; ++c) {
        if (c != '\r' && c != '\n') {
            bytes.push_back(static_cast<char>(c));
        }
    }
    EXPECT_EQ(RecordFor(bytes), Record(bytes + "\r\n\r\n"));
}

TEST_F(MailboxWriterTest, AppendsRecordsAndCreatesTheMailbox) {
    const std::string mailbox = dir / "sub/Inbox.mbox";
    std::filesystem::create_directories(dir / "sub");
    WriteFile(dir / "a.eml", "Return-Path: <a@x.org>\r\n\r\none", ExampleTime());
    WriteFile(dir / "b.eml", "From: B <b@x.org>\r\n\r\ntwo", ExampleTime());
    EXPECT_TRUE(AppendMessageToMailbox(dir / "a.eml", mailbox).createdMailbox);
    const AppendStats second = AppendMessageToMailbox(dir / "b.eml", mailbox);
    EXPECT_FALSE(second.createdMailbox);
    EXPECT_EQ(second.bytesRead, 24u);
    EXPECT_EQ(ReadFile(mailbox), "From a@x.org Mon Jul 05 14:03:09 2010\r\n"
                                 "Return-Path: <a@x.org>\r\n\r\none\r\n\r\n"
                                 "From b@x.org Mon Jul 05 14:03:09 2010\r\n"
                                 "From: B <b@x.org>\r\n\r\ntwo\r\n\r\n");
}

TEST_F(MailboxWriterTest, FailuresLeaveTheMailboxAsItWas) {
    const std::string mailbox = dir / "out.mbox";
    WriteFile(mailbox, "earlier records\r\n");

    EXPECT_NE(
        ErrorOf([&] { AppendMessageToMailbox(dir / "missing.eml", mailbox); }).find("missing.eml"),
        std::string::npos);
    std::filesystem::create_directory(dir / "folder.eml");
    EXPECT_THROW(AppendMessageToMailbox(dir / "folder.eml", mailbox), ConversionError);
#ifndef _WIN32
    ::mkfifo((dir / "pipe.eml").c_str(), 0600);
    EXPECT_THROW(AppendMessageToMailbox(dir / "pipe.eml", mailbox), ConversionError);
#endif
    EXPECT_EQ(ReadFile(mailbox), "earlier records\r\n");

    WriteFile(dir / "m.eml", "A: b\r\n\r\nbody");
    EXPECT_THROW(AppendMessageToMailbox(dir / "m.eml", dir / "no/such/folder/x.mbox"),
                 ConversionError);
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

// A file size limit stands in for a full disk; Windows has none.
#ifndef _WIN32
TEST_F(MailboxWriterTest, AWriteFailureCutsThePartialRecordOff) {
    const std::string mailbox = dir / "out.mbox";
    const std::string created = dir / "new.mbox";
    WriteFile(mailbox, std::string(100, 'x'));
    WriteFile(dir / "big.eml", "A: b\r\n\r\n" + std::string(5000, 'y'));

    WithFileSizeLimit(1000, [&] {
        EXPECT_THROW(AppendMessageToMailbox(dir / "big.eml", mailbox), ConversionError);
        EXPECT_THROW(AppendMessageToMailbox(dir / "big.eml", created), ConversionError);
    });

    EXPECT_EQ(ReadFile(mailbox), std::string(100, 'x'));
    EXPECT_FALSE(std::filesystem::exists(created));
}
#endif

// A writer keeps the mailbox open from one message to the next.
TEST_F(MailboxWriterTest, AWriterOverManyMessagesKeepsEveryRecordWhole) {
    const std::string first = dir / "a.mbox";
    const std::string second = dir / "b.mbox";
    WriteFile(dir / "m.eml", "From: a@example.org\r\n\r\nbody\r\n", ExampleTime());
    WriteFile(dir / "big.eml", "A: b\r\n\r\n" + std::string(5000, 'y'));
    const std::string one =
        "From a@example.org Mon Jul 05 14:03:09 2010\r\nFrom: a@example.org\r\n\r\nbody\r\n\r\n";

    MailboxWriter writer;
    EXPECT_TRUE(writer.Append(dir / "m.eml", first).createdMailbox);
    EXPECT_FALSE(writer.Append(dir / "m.eml", first).createdMailbox);
    writer.Append(dir / "m.eml", second);
    writer.Append(dir / "m.eml", first);
    EXPECT_EQ(ReadFile(first), one + one + one);
    EXPECT_EQ(ReadFile(second), one);

    // Removed while the writer holds it open: the next record makes it anew
    // rather than vanish with the removed file.
    if (!RunningUnderWine()) {
        std::filesystem::remove(first);
        EXPECT_TRUE(writer.Append(dir / "m.eml", first).createdMailbox);
        EXPECT_EQ(ReadFile(first), one);
    } else {
        writer.Close();
        std::filesystem::remove(first);
        writer.Append(dir / "m.eml", first);
    }

#ifndef _WIN32
    // A failed record is taken back; the ones before it stay.
    WithFileSizeLimit(
        1000, [&] { EXPECT_THROW(writer.Append(dir / "big.eml", first), ConversionError); });
    EXPECT_EQ(ReadFile(first), one);
#endif
    writer.Append(dir / "m.eml", first);
    writer.Close();
    EXPECT_EQ(ReadFile(first), one + one);
}

#ifndef _WIN32
// POSIX only: creating a link takes a privilege on Windows.
TEST_F(MailboxWriterTest, AMessageThatIsTheMailboxIsRefused) {
    const std::string mailbox = dir / "Out/Inbox.mbox";
    MailboxWriter writer;
    WriteFile(dir / "Store/a.eml", "From: a@x.org\r\n\r\nfirst\r\n");
    std::filesystem::create_directories(dir / "Out");
    writer.Append(dir / "Store/a.eml", mailbox);
    const std::string link = dir / "Store/self.eml";
    std::filesystem::create_symlink(mailbox, link);
    EXPECT_EQ(ErrorOf([&] { writer.Append(link, mailbox); }),
              "Cannot convert message file " + link + ": it is the mailbox file being written");
    writer.Close();
    const std::string before = ReadFile(mailbox);
    EXPECT_EQ(ErrorOf([&] { AppendMessageToMailbox(link, mailbox); }),
              "Cannot convert message file " + link + ": it is the mailbox file being written");
    EXPECT_EQ(ReadFile(mailbox), before);
}
#endif

TEST_F(MailboxWriterTest, YieldsSevenTimesAndNeverWithAPartialRecord) {
    const std::string mailbox = dir / "out.mbox";
    WriteFile(dir / "m.eml", "A: b\r\n\r\n" + std::string(3 << 20, 'y'));
    std::vector<std::uintmax_t> sizesSeen;
    const auto yield = [&] {
        std::error_code none;
        const auto size = std::filesystem::file_size(mailbox, none);
        sizesSeen.push_back(none ? 0 : size);
    };
    const AppendStats stats = AppendMessageToMailbox(dir / "m.eml", mailbox, yield);
    ASSERT_EQ(sizesSeen.size(), 7u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(sizesSeen[i], 0u);
    }
    EXPECT_EQ(sizesSeen[5], stats.bytesWritten);
    EXPECT_EQ(sizesSeen[6], stats.bytesWritten);
}

} // namespace
} // namespace marrowgate::test

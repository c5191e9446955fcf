#include "message/MailMessageObject.h"
#include "marrowgate/ConversionError.h"
#include "record/FromLine.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace marrowgate::test {
namespace {

class MailMessageObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The result must not depend on the converting machine's zone.
#ifdef _WIN32
        ::_putenv_s("TZ", "NZST-12NZDT");
        ::_tzset();
#else
        ::setenv("TZ", "Pacific/Auckland", 1);
        ::tzset();
#endif
    }

    std::string SenderOf(std::string_view header) {
        MailMessageObject mail;
        mail.LoadFromBytes(header, ExampleTime());
        return mail.Sender();
    }

    std::string DateOf(std::string_view header, std::chrono::sys_seconds fileTime = ExampleTime()) {
        MailMessageObject mail;
        mail.LoadFromBytes(header, fileTime);
        return FormatFromLineDate(mail.MessageDate());
    }
};

TEST_F(MailMessageObjectTest, SenderIsOneBareAddress) {
    EXPECT_EQ(SenderOf("Return-Path: <bounce@lists.example>\r\nFrom: Ann <ann@x.org>\r\n\r\n"),
              "bounce@lists.example");
    EXPECT_EQ(SenderOf("From: \"Ann Smith\" <ann@x.org>, bob@y.org\n\n"), "ann@x.org");
    EXPECT_EQ(SenderOf("From: =?UTF-8?B?w4Fubg==?= <ann@x.org>\n\n"), "ann@x.org");
    EXPECT_EQ(SenderOf("From: Friends: ann@x.org, bob@y.org;\n\n"), "ann@x.org");
    EXPECT_EQ(SenderOf("Sender: list@x.org\n\n"), "list@x.org");
    // Folded fields are unfolded, envelope lines and leading spaces skipped,
    // the obsolete "From  :" form accepted.
    EXPECT_EQ(SenderOf("From env@x Mon Jul  5 14:03:09 2010\n  Subject: s\nFrom:\n\tann@x.org\n\n"),
              "ann@x.org");
    EXPECT_EQ(SenderOf("From  : ann@x.org\n\n"), "ann@x.org");
    // Blank lines at the top (found in real stores) hide nothing, nor does an
    // envelope line after them; a first line that is no envelope ends the block.
    EXPECT_EQ(SenderOf(std::string(251, ' ') + "\r\n\t\r\n\r\n  From: ann@x.org\r\n\r\n"),
              "ann@x.org");
    EXPECT_EQ(SenderOf("\n\nFrom env@x Mon Jul  5 14:03:09 2010\n\n From: ann@x.org\n\n"),
              "ann@x.org");
    EXPECT_EQ(SenderOf("From now on, write to me\nFrom: ann@x.org\n\n"), "MAILER-DAEMON");
}

TEST_F(MailMessageObjectTest, UnusableAddressesFallBack) {
    EXPECT_EQ(SenderOf("Return-Path: <>\nFrom: ann@x.org\n\n"), "ann@x.org");
    EXPECT_EQ(SenderOf("From: \"a b\"@x.org\nSender: s@x.org\n\n"), "s@x.org");
    EXPECT_EQ(SenderOf("From: \xc3\xa1nn@x.org\n\n"), "MAILER-DAEMON");
    EXPECT_EQ(SenderOf("Subject: no sender\n\nFrom: body@x.org\n"), "MAILER-DAEMON");
    EXPECT_EQ(SenderOf("not a header\nFrom: late@x.org\n\n"), "MAILER-DAEMON");
    EXPECT_EQ(SenderOf(""), "MAILER-DAEMON");
    EXPECT_EQ(SenderOf(std::string("\x89PNG\r\n\x1a\n\0\0\0", 11)), "MAILER-DAEMON");
}

TEST_F(MailMessageObjectTest, DateIsUtcWithFallbacks) {
    EXPECT_EQ(DateOf("Date: Tue, 6 Jul 2010 01:03:09 +1100\n\n"), "Mon Jul 05 14:03:09 2010");
    EXPECT_EQ(DateOf("Date: 21 Nov 97 09:55:06 GMT\n\n"), "Fri Nov 21 09:55:06 1997");
    const std::string received = "Received: from a by b; Sat, 1 Jan 2011 10:00:00 -0500\n"
                                 "Received: from c by d; Fri, 31 Dec 2010 23:00:00 +0000\n";
    EXPECT_EQ(DateOf(received + "\n"), "Sat Jan 01 15:00:00 2011");
    EXPECT_EQ(DateOf("Date: not a date at all\n" + received + "\n"), "Sat Jan 01 15:00:00 2011");
    EXPECT_EQ(DateOf("Date: garbage\nReceived: no semicolon\n\n"), "Mon Jul 05 14:03:09 2010");
    EXPECT_EQ(DateOf(""), "Mon Jul 05 14:03:09 2010");
    EXPECT_EQ(DateOf("\r\n  \r\nDate: Tue, 6 Jul 2010 01:03:09 +1100\r\n\r\n"),
              "Mon Jul 05 14:03:09 2010");
}

// Readers take From_ years 1970 to 2099 only: a date outside them gives way to
// the next source, and with none left, to the start of 1970.
TEST_F(MailMessageObjectTest, DatesStayWithinTheYearsReadersTake) {
    using namespace std::chrono;
    const std::string received = "Received: from a by b; Sat, 1 Jan 2011 10:00:00 -0500\n";
    const auto fileTimeIn = [](year y) { return sys_seconds{sys_days{y / July / 5}}; };
    EXPECT_EQ(DateOf("Date: 21 Nov 1969 09:55:06 GMT\n" + received + "\n"),
              "Sat Jan 01 15:00:00 2011");
    EXPECT_EQ(DateOf("Date: Thu, 13 Feb 3609 23:31:30 +0000\n\n"), "Mon Jul 05 14:03:09 2010");
    EXPECT_EQ(DateOf("Date: Thu, 1 Jan 1970 00:30:00 +0100\n\n"), "Mon Jul 05 14:03:09 2010");
    EXPECT_EQ(DateOf("Date: Thu, 31 Dec 2099 23:59:59 +0000\n\n"), "Thu Dec 31 23:59:59 2099");
    EXPECT_EQ(DateOf("Date: Thu, 1 Jan 1970 00:00:00 +0000\n\n"), "Thu Jan 01 00:00:00 1970");
    // Nothing usable: the floor, however far off the file's time is.
    const std::string outOfRange = "Date: 21 Nov 1969 09:55:06 GMT\n"
                                   "Received: by b; Fri, 1 Jan 2100 00:00:00 +0000\n\n";
    for (const year y : {33658y, -12y, 1969y, 2100y}) {
        EXPECT_EQ(DateOf(outOfRange, fileTimeIn(y)), "Thu Jan 01 00:00:00 1970")
            << static_cast<int>(y);
    }
    EXPECT_EQ(DateOf(outOfRange, fileTimeIn(2099y)), "Sun Jul 05 00:00:00 2099");
}

TEST_F(MailMessageObjectTest, LoadsFromAFile) {
    TempDir dir;
    WriteFile(dir / "m.eml", "From: ann@x.org\r\n\r\nbody", ExampleTime());
    MailMessageObject mail;
    EXPECT_TRUE(mail.LoadFromFile(dir / "m.eml"));
    EXPECT_EQ(mail.Sender(), "ann@x.org");
    EXPECT_THROW(mail.LoadFromFile(dir / "missing.eml"), ConversionError);
    // Blank lines at the top, more than one read's worth, are not the end of
    // the header: the reading goes on to the fields.
    std::string blankTop;
    for (int i = 0; i < 40000; ++i) {
        blankTop += i % 2 == 0 ? "\r\n" : " \t\n";
    }
    WriteFile(dir / "blank.eml", blankTop + "From: bob@y.org\r\n\r\nbody", ExampleTime());
    EXPECT_TRUE(mail.LoadFromFile(dir / "blank.eml"));
    EXPECT_EQ(mail.Sender(), "bob@y.org");
}

} // namespace
} // namespace marrowgate::test

#include "output/imap/ImapResponse.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

TEST(ImapResponseTest, StatusResponsesAndTheirCodes) {
    const ImapResponse appended("m7 OK [APPENDUID 38505 3955] APPEND completed\r\n");
    EXPECT_EQ(appended.Tag(), "m7");
    EXPECT_EQ(appended.Status(), "OK");
    EXPECT_EQ(appended.Code(), "APPENDUID 38505 3955");
    const auto code = appended.CodeItems();
    ASSERT_EQ(code.size(), 3U);
    EXPECT_TRUE(code[0].IsAtom("appenduid"));
    EXPECT_EQ(code[1].Number(), 38505U);
    EXPECT_EQ(code[2].Number(), 3955U);
    EXPECT_EQ(appended.Text(), "APPEND completed");

    const ImapResponse quota("m8 no [OVERQUOTA] Quota exceeded (mailbox for user is full)\r\n");
    EXPECT_EQ(quota.Status(), "NO");
    EXPECT_EQ(quota.Code(), "OVERQUOTA");
    EXPECT_EQ(quota.Text(), "Quota exceeded (mailbox for user is full)");

    const ImapResponse bye("* BYE Server shutting down.\r\n");
    EXPECT_TRUE(bye.IsUntagged());
    EXPECT_EQ(bye.Status(), "BYE");
    EXPECT_TRUE(ImapResponse("+ OK\r\n").IsContinuation());
    EXPECT_EQ(ImapResponse("m1 BAD\r\n").Status(), "BAD");
}

// LIST answers: attributes, the delimiter (quoted, or NIL), and the name as
// an atom, a quoted string with escapes, or a literal.
TEST(ImapResponseTest, ListResponses) {
    const ImapResponse sent("* LIST (\\HasNoChildren \\Sent) \"/\" \"Sent Items\"\r\n");
    const auto& items = sent.Items();
    ASSERT_EQ(items.size(), 4U);
    EXPECT_TRUE(items[0].IsAtom("LIST"));
    ASSERT_EQ(items[1].kind, ImapItem::Kind::List);
    ASSERT_EQ(items[1].items.size(), 2U);
    EXPECT_TRUE(items[1].items[1].IsAtom("\\sent"));
    EXPECT_EQ(items[2].text, "/");
    EXPECT_EQ(items[3].text, "Sent Items");

    const ImapResponse flat("* LIST (\\Noselect) NIL INBOX\r\n");
    EXPECT_EQ(flat.Items()[2].kind, ImapItem::Kind::Nil);
    EXPECT_EQ(flat.Items()[3].text, "INBOX");

    const ImapResponse escaped("* LIST () \".\" \"a \\\"b\\\" \\\\c\"\r\n");
    EXPECT_EQ(escaped.Items()[3].text, "a \"b\" \\c");

    const ImapResponse literal("* LIST () \"/\" {9}\r\nodd\r\nname\r\n");
    EXPECT_EQ(literal.Items()[3].kind, ImapItem::Kind::String);
    EXPECT_EQ(literal.Items()[3].text, "odd\r\nname");
}

// A FETCH with a section in brackets, a quoted date and a literal body that
// holds what would otherwise end or nest a list.
TEST(ImapResponseTest, FetchResponses) {
    const std::string body = "Subject: (x\r\n\r\n) \"y\" {3}\r\n";
    const ImapResponse fetched("* 12 FETCH (UID 40 RFC822.SIZE " + std::to_string(body.size()) +
                               " INTERNALDATE \"05-Jul-2010 14:03:09 +0000\" "
                               "BODY[HEADER.FIELDS (MESSAGE-ID)] {" +
                               std::to_string(body.size()) + "}\r\n" + body + ")\r\n");
    const auto& items = fetched.Items();
    ASSERT_EQ(items.size(), 3U);
    EXPECT_EQ(items[0].Number(), 12U);
    EXPECT_TRUE(items[1].IsAtom("FETCH"));
    const auto& fields = items[2].items;
    ASSERT_EQ(fields.size(), 8U);
    EXPECT_EQ(fields[1].Number(), 40U);
    EXPECT_EQ(fields[5].text, "05-Jul-2010 14:03:09 +0000");
    EXPECT_TRUE(fields[6].IsAtom("BODY[HEADER.FIELDS (MESSAGE-ID)]"));
    EXPECT_EQ(fields[7].text, body);
}

// Broken input ends the reading; nothing reads past the end.
TEST(ImapResponseTest, TruncatedInput) {
    EXPECT_EQ(ParseImapItems("(a b").size(), 1U);
    EXPECT_EQ(ParseImapItems("\"open").size(), 1U);
    const auto cut = ParseImapItems("a {10}\r\nshort");
    ASSERT_EQ(cut.size(), 2U);
    EXPECT_EQ(cut[1].text, "");
    EXPECT_EQ(ParseImapItems("{x}\r\n").size(), 1U);
}

TEST(ImapResponseTest, LiteralsAndQuoting) {
    EXPECT_EQ(AnnouncedLiteral("* 1 FETCH (BODY[] {1234}"), 1234U);
    EXPECT_EQ(AnnouncedLiteral("m1 APPEND x {5+}"), 5U);
    EXPECT_EQ(AnnouncedLiteral("* 1 FETCH (BINARY[] ~{7}"), 7U);
    EXPECT_EQ(AnnouncedLiteral("* OK {not a literal}"), std::nullopt);
    EXPECT_EQ(AnnouncedLiteral("* OK done"), std::nullopt);

    EXPECT_EQ(QuotedImapString("Sent Items"), "\"Sent Items\"");
    EXPECT_EQ(QuotedImapString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(QuotedImapString("\xc3\xa4"), "{2+}\r\n\xc3\xa4");
    EXPECT_EQ(QuotedImapString("\xc3\xa4", true), "\"\xc3\xa4\"");
    EXPECT_EQ(QuotedImapString("a\r\nb", true), "{4+}\r\na\r\nb");
}

} // namespace
} // namespace marrowgate::test

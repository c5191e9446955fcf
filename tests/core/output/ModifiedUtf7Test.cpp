#include "output/ModifiedUtf7.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

// The examples of RFC 3501 5.1.3 and the names of real stores, both ways.
TEST(ModifiedUtf7Test, EncodesAndDecodes) {
    const std::pair<std::string, std::string> cases[] = {
        {"Inbox", "Inbox"},
        {"Sent Items", "Sent Items"},
        {"Tom & Jerry", "Tom &- Jerry"},
        {"~peter/mail/\xe5\x8f\xb0\xe5\x8c\x97/\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e",
         "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"Entw\xc3\xbcrfe", "Entw&APw-rfe"},
        {"Gel\xc3\xb6schte Elemente", "Gel&APY-schte Elemente"},
        {"\xc3\xa4\xc3\xb6\xc3\xbc", "&AOQA9gD8-"},
        // Beyond the 16-bit plane: a surrogate pair.
        {"Mail \xf0\x9f\x93\xa7", "Mail &2D3c5w-"},
        // A tab is no printable character.
        {"a\tb", "a&AAk-b"},
    };
    for (const auto& [utf8, utf7] : cases) {
        EXPECT_EQ(EncodeModifiedUtf7(utf8), utf7) << utf8;
        EXPECT_EQ(DecodeModifiedUtf7(utf7), utf8) << utf7;
    }
}

// A folder name that is no UTF-8 (Latin-1 from an old copy) still gets a
// name, read as Latin-1, and two such names never meet.
TEST(ModifiedUtf7Test, StrayBytesAreLatin1) {
    EXPECT_EQ(EncodeModifiedUtf7("Entw\xfc"
                                 "rfe"),
              "Entw&APw-rfe");
    EXPECT_EQ(ValidUtf8("Entw\xfc"
                        "rfe"),
              "Entw\xc3\xbcrfe");
    EXPECT_NE(EncodeModifiedUtf7("a\xe4"), EncodeModifiedUtf7("a\xc3\xa4\xc3"));
    // Overlong forms and encoded surrogates are not UTF-8 either.
    EXPECT_EQ(ValidUtf8("\xc0\xaf"), "\xc3\x80\xc2\xaf");
    EXPECT_EQ(ValidUtf8("\xed\xa0\x80"), "\xc3\xad\xc2\xa0\xc2\x80");
}

TEST(ModifiedUtf7Test, RefusesWhatNoEncoderMakes) {
    for (const std::string bad :
         {"&", "&AOQ", "&AOQ=-", "&Jjo!-", "a\xc3\xa4", "&AGE-", "&2D3-", "&AOR-"}) {
        EXPECT_EQ(DecodeModifiedUtf7(bad), std::nullopt) << bad;
    }
}

} // namespace
} // namespace marrowgate::test

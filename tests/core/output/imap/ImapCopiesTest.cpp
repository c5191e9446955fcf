#include "output/imap/ImapCopies.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

// A message sent without an answer is searched for by its Message-ID: only
// one a server can be asked for as it stands, folded or not, in any case.
TEST(ImapCopiesTest, MessageIdOfTheHeaderOnly) {
    using Id = std::optional<std::string>;
    EXPECT_EQ(ImapCopies::MessageIdOf("From: a@b\r\nMessage-ID: <x.1@b>\r\n\r\nbody"),
              Id("<x.1@b>"));
    EXPECT_EQ(ImapCopies::MessageIdOf("message-id:\r\n  <folded@b>\r\nTo: c@d\r\n\r\n"),
              Id("<folded@b>"));
    EXPECT_EQ(ImapCopies::MessageIdOf("From: a@b\r\n\r\nMessage-ID: <in.the@body>\r\n"),
              std::nullopt);
    EXPECT_EQ(ImapCopies::MessageIdOf("Message-ID: <a \"quoted\"@b>\r\n\r\n"), std::nullopt);
    EXPECT_EQ(ImapCopies::MessageIdOf("Message-ID: <caf\xc3\xa9@b>\r\n\r\n"), std::nullopt);
    EXPECT_EQ(ImapCopies::MessageIdOf("Message-ID:\r\n\r\n"), std::nullopt);
    EXPECT_EQ(ImapCopies::MessageIdOf("Message-Id: <x@b>"), Id("<x@b>")) << "a header alone";
}

} // namespace
} // namespace marrowgate::test

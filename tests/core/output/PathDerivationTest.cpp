#include "marrowgate/PathDerivation.h"
#include "marrowgate/ConversionError.h"
#include "marrowgate/PathParts.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

constexpr auto kWindows = PathSyntax::Windows;
constexpr auto kPosix = PathSyntax::Posix;

struct Example {
    const char* source;
    const char* root;
    const char* sourceFolder;
    const char* mirrored;
    const char* mailbox;
};

void ExpectDerivation(const Example& e, PathSyntax syntax) {
    SCOPED_TRACE(e.source);
    EXPECT_EQ(DirectoryPart(e.source, syntax), e.sourceFolder);
    const std::string mirrored =
        MirroredFolder(e.source, NormaliseOutputRoot(e.root, syntax), syntax);
    EXPECT_EQ(mirrored, e.mirrored);
    EXPECT_EQ(MailboxPath(mirrored, syntax), e.mailbox);
}

TEST(PathDerivationTest, WindowsExamples) {
    const Example examples[] = {
        {R"(C:\Store\Inbox\a.eml)", R"(D:\Out)", R"(C:\Store\Inbox\)", R"(D:\Out\Store\Inbox\)",
         R"(D:\Out\Store\Inbox\Inbox.mbox)"},
        {R"(C:\Store\Inbox\b.eml)", R"(D:\Out\)", R"(C:\Store\Inbox\)", R"(D:\Out\Store\Inbox\)",
         R"(D:\Out\Store\Inbox\Inbox.mbox)"},
        {R"(E:\Store\Inbox\c.eml)", R"(D:\Out\)", R"(E:\Store\Inbox\)", R"(D:\Out\Store\Inbox\)",
         R"(D:\Out\Store\Inbox\Inbox.mbox)"},
        {R"(C:\Store\Sent\d.eml)", R"(D:\Out\)", R"(C:\Store\Sent\)", R"(D:\Out\Store\Sent\)",
         R"(D:\Out\Store\Sent\Sent.mbox)"},
        {R"(C:\a.eml)", R"(D:\Out\)", R"(C:\)", R"(D:\Out\)", R"(D:\Out\Out.mbox)"},
        // A drive root into a drive root: "D:" is no file name, so the colon goes.
        {R"(C:\a.eml)", R"(D:\)", R"(C:\)", R"(D:\)", R"(D:\D.mbox)"},
        // A UNC path loses its "\\", not a character of the server's name.
        {R"(\\server\share\Mail\e.eml)", R"(D:\Out\)", R"(\\server\share\Mail\)",
         R"(D:\Out\server\share\Mail\)", R"(D:\Out\server\share\Mail\Mail.mbox)"},
        {R"(\\?\C:\Long\x.eml)", R"(D:\Out\)", R"(\\?\C:\Long\)", R"(D:\Out\Long\)",
         R"(D:\Out\Long\Long.mbox)"},
        {R"(C:\A\Inbox\x.eml)", R"(D:\Out\)", R"(C:\A\Inbox\)", R"(D:\Out\A\Inbox\)",
         R"(D:\Out\A\Inbox\Inbox.mbox)"},
        {R"(C:\Mail\a.eml)", R"(C:\)", R"(C:\Mail\)", R"(C:\Mail\)", R"(C:\Mail\Mail.mbox)"},
    };
    for (const auto& example : examples) {
        ExpectDerivation(example, kWindows);
    }
}

TEST(PathDerivationTest, PosixExamples) {
    const Example examples[] = {
        {"/home/ann/Store/Inbox/a.eml", "/tmp/Out", "/home/ann/Store/Inbox/",
         "/tmp/Out/home/ann/Store/Inbox/", "/tmp/Out/home/ann/Store/Inbox/Inbox.mbox"},
        {"/a.eml", "/tmp/Out/", "/", "/tmp/Out/", "/tmp/Out/Out.mbox"},
        {"/Store/x\\y/a.eml", "/o", "/Store/x\\y/", "/o/Store/x\\y/", "/o/Store/x\\y/x\\y.mbox"},
        {"/a.eml", "/", "/", "/", "/Mailbox.mbox"},
    };
    for (const auto& example : examples) {
        ExpectDerivation(example, kPosix);
    }
}

TEST(PathDerivationTest, NeverLeavesTheOutputRoot) {
    EXPECT_EQ(MirroredFolder("/s/../../etc/./x/a.eml", "/o/", kPosix), "/o/etc/x/");
    EXPECT_EQ(MirroredFolder("//s//t/a.eml", "/o/", kPosix), "/o/s/t/");
    EXPECT_EQ(MirroredFolder(R"(C:\..\..\Windows\a.eml)", R"(D:\O\)", kWindows),
              R"(D:\O\Windows\)");
    // Windows reads "/" as a separator too, so "../" climbs there.
    EXPECT_EQ(MirroredFolder(R"(C:\x\../../..\y\a.eml)", R"(D:\O\)", kWindows), R"(D:\O\y\)");
    // The system would cut the path at the NUL, leaving "/o/..".
    using namespace std::string_literals;
    EXPECT_THROW(MirroredFolder("/s/..\0x/a.eml"s, "/o/", kPosix), ConversionError);
}

TEST(PathDerivationTest, RowTextAndOutputRoot) {
    // A name may end in a space on either system.
    EXPECT_EQ(SourcePathOfRow("C:\\a b\\x.eml "), "C:\\a b\\x.eml ");
    EXPECT_EQ(SourcePathOfRow("/a/x.eml "), "/a/x.eml ");
    EXPECT_EQ(NormaliseOutputRoot(R"(D:\)", kWindows), R"(D:\)");
}

} // namespace
} // namespace marrowgate::test

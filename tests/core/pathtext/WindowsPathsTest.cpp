#include "pathtext/WindowsPaths.h"

#include "marrowgate/PathParts.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

// The Windows rules are text, so they hold on every system the tests run on.
TEST(WindowsPathsTest, NamesWindowsKeepsAsTheyStand) {
    for (const char* name :
         {"Inbox", "Sent Items", "R\xC3\xA9unions 2010", ".hidden", "a.b.c", "CONTACTS", "COM10"}) {
        EXPECT_TRUE(StorableWindowsName(name)) << name;
    }
    for (const char* name : {"", "CON", "con", "Nul.txt", "COM1", "lpt9.mbox", "AUX .x", "Inbox.",
                             "Sent ", "a:b", "a\\b", "a/b", "what?", "tab\there"}) {
        EXPECT_FALSE(StorableWindowsName(name)) << name;
    }
    EXPECT_EQ(FirstUnstorableWindowsName(R"(C:\Out\Store\CON\Inbox.)"), "CON");
    EXPECT_EQ(FirstUnstorableWindowsName(R"(\\server\share\Sent \x)"), "Sent ");
    EXPECT_EQ(FirstUnstorableWindowsName(R"(C:\Out\.\..\Inbox)"), "");
}

// Both separators end a name, and the root is what precedes the first name.
TEST(WindowsPathsTest, OneRuleForSeparatorsAndRoots) {
    EXPECT_EQ(LastPathComponent("C:/Store/Inbox/a.eml", PathSyntax::Windows), "a.eml");
    EXPECT_EQ(DirectoryPart(R"(C:\Store/Inbox\a.eml)", PathSyntax::Windows), R"(C:\Store/Inbox\)");
    EXPECT_EQ(WindowsRootLength(R"(C:\Store)"), 3u);
    EXPECT_EQ(WindowsRootLength("C:/Store"), 3u);
    EXPECT_EQ(WindowsRootLength("C:Store"), 2u);
    EXPECT_EQ(WindowsRootLength(R"(\\server\share)"), 2u);
    EXPECT_EQ(WindowsRootLength(R"(\\?\C:\Store)"), 7u);
    EXPECT_EQ(WindowsRootLength(R"(\\?\UNC\server\share)"), 8u);
    EXPECT_EQ(WindowsRootLength(R"(\Store)"), 1u);
    EXPECT_EQ(WindowsRootLength("Store"), 0u);
}

TEST(WindowsPathsTest, ExtendedFormAndBack) {
    EXPECT_EQ(ExtendedWindowsPath(R"(C:\Store\Inbox.)"), R"(\\?\C:\Store\Inbox.)");
    EXPECT_EQ(ExtendedWindowsPath(R"(\\server\share\x)"), R"(\\?\UNC\server\share\x)");
    // What only the system's own resolution makes sense of keeps its form.
    for (const char* classic :
         {R"(C:\Store\..\x)", R"(C:\Store\.)", "C:/Store", "Store\\x", R"(\\?\C:\x)"}) {
        EXPECT_EQ(ExtendedWindowsPath(classic), classic);
    }
    EXPECT_EQ(WithoutExtendedPrefix(R"(\\?\C:\Store)"), R"(C:\Store)");
    EXPECT_EQ(WithoutExtendedPrefix(R"(\\?\UNC\server\share)"), R"(\\server\share)");
    EXPECT_EQ(WithoutExtendedPrefix(R"(C:\Store)"), R"(C:\Store)");
}

} // namespace
} // namespace marrowgate::test

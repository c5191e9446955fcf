#include "pathtext/WindowsPaths.h"

#include "marrowgate/PathParts.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace marrowgate::test {
namespace {

// The Windows rules are text, so they hold on every system the tests run on.
// A final dot or space is kept (the extended form takes it), device names
// and characters no Windows name holds are refused.
TEST(WindowsPathsTest, NamesTheProgramMakesOnWindows) {
    for (const char* name : {"Inbox", "Sent Items", "R\xC3\xA9unions 2010", ".hidden", "a.b.c",
                             "CONTACTS", "COM10", "Inbox.", "Sent ", "..."}) {
        EXPECT_TRUE(StorableWindowsName(name)) << name;
    }
    for (const char* name : {"", "CON", "con", "Nul.txt", "COM1", "lpt9.mbox", "AUX .x", "CON.",
                             "a:b", "a\\b", "a/b", "what?", "tab\there"}) {
        EXPECT_FALSE(StorableWindowsName(name)) << name;
    }
    EXPECT_EQ(FirstUnstorableWindowsName(R"(C:\Out\Store.\CON\Inbox)"), "CON");
    EXPECT_EQ(FirstUnstorableWindowsName(R"(\\server\share\Sent \x.)"), "");
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

// Made absolute as Windows makes it, but with every name kept: "Inbox." and
// "Sent " are folders of their own, which the system's resolution would
// take for "Inbox" and "Sent".
TEST(WindowsPathsTest, AbsoluteFormKeepsEveryName) {
    const std::string current = R"(C:\Users\ann)";
    const std::pair<const char*, const char*> cases[] = {
        {R"(C:\Store\Sent \a.eml )", R"(C:\Store\Sent \a.eml )"},
        {R"(Store\Inbox.\a.eml )", R"(C:\Users\ann\Store\Inbox.\a.eml )"},
        {R"(.\Store\..\Other\.\x)", R"(C:\Users\ann\Other\x)"},
        {R"(..\..\..\..\x)", R"(C:\x)"},
        {R"(\Store)", R"(C:\Store)"},
        {"C:/Store//Inbox/", R"(C:\Store\Inbox\)"},
        {R"(C:\)", R"(C:\)"},
        {"C:Store", R"(C:\Users\ann\Store)"},
        {R"(\\server\share\..\x.)", R"(\\server\share\x.)"},
        // Another drive's current folder is the system's to know; an
        // extended path is taken as it stands.
        {"D:Store", "D:Store"},
        {R"(\\?\C:\x\..)", R"(\\?\C:\x\..)"},
    };
    for (const auto& [path, absolute] : cases) {
        EXPECT_EQ(AbsoluteWindowsPath(path, current), absolute) << path;
    }
    EXPECT_EQ(AbsoluteWindowsPath(R"(\x)", R"(\\server\share\folder)"), R"(\\server\share\x)");
    EXPECT_EQ(AbsoluteWindowsPath("x", R"(\\?\C:\Users)"), R"(C:\Users\x)");
    EXPECT_EQ(ExtendedWindowsPath(AbsoluteWindowsPath(R"(Sent \a.eml )", current)),
              R"(\\?\C:\Users\ann\Sent \a.eml )");
}

} // namespace
} // namespace marrowgate::test

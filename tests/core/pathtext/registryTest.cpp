#include "marrowgate/NativePaths.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace marrowgate::test {
namespace {

constexpr auto kWindows = PathSyntax::Windows;
constexpr auto kPosix = PathSyntax::Posix;

TEST(registryTest, PathSplitting) {
    EXPECT_EQ(LastPathComponent(R"(C:\a\b.eml)", kWindows), "b.eml");
    EXPECT_EQ(LastPathComponent(R"(C:\a\)", kWindows), "");
    EXPECT_EQ(LastPathComponent("name", kWindows), "name");
    EXPECT_EQ(LastPathComponent("", kWindows), "");
    EXPECT_EQ(DirectoryPart("name", kWindows), "");
    EXPECT_EQ(DirectoryPart(R"(C:\a\)", kWindows), R"(C:\a\)");
    EXPECT_EQ(LastPathComponent("/a/b\\c", kPosix), "b\\c");
}

// Path text reaches the file system and comes back unchanged: names in any
// script, paths past the 260 characters of a classic Windows path and, where
// the system takes them, names that are no UTF-8.
TEST(registryTest, PathTextSurvivesTheFileSystem) {
    TempDir dir;
    const char separator = Separator(NativeSyntax());
    const std::string top = PathText(dir.Path());
    std::string deep = top + separator + "R\xC3\xA9unions 2010";
    for (const char letter : {'a', 'b', 'c', 'd'}) {
        deep += separator + std::string(80, letter);
    }
#ifndef _WIN32
    deep += "/\xFF\xFE latin-1 \xE9";
#endif
    std::filesystem::create_directories(NativePath(deep));
#ifdef _WIN32
    // The mingw runtime's folder listing goes wrong past 260 characters
    // (the program lists folders with the system's calls instead).
    EXPECT_TRUE(std::filesystem::is_directory(NativePath(deep)));
#else
    std::filesystem::path found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(NativePath(top))) {
        found = entry.path();
    }
    EXPECT_EQ(PathText(found), deep);
#endif
    EXPECT_EQ(PathText(NativePath(deep)), deep);
}

} // namespace
} // namespace marrowgate::test

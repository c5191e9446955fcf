#include "message/MessageFile.h"

#include "support/ErrorOf.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <fstream>

namespace marrowgate::test {
namespace {

namespace fs = std::filesystem;

// A message is read as it was when opened.
TEST(MessageFileTest, AMessageIsReadAsItWasWhenOpened) {
    TempDir dir;
    const std::string path = dir / "m.eml";
    const std::string text(300'000, 'x');
    char buffer[1000];
    std::uint64_t total = 0;
    const auto readAll = [&](MessageFile& file) {
        while (const std::size_t got = file.Read(buffer, sizeof buffer)) {
            total += got;
        }
    };

    // Grown while read: never read past the size at open, and refused.
    WriteFile(path, text);
    MessageFile grown(path);
    EXPECT_EQ(grown.Read(buffer, sizeof buffer), sizeof buffer);
    std::ofstream(path, std::ios::app) << std::string(500'000, 'y');
    total = sizeof buffer;
    const std::string error = ErrorOf([&] { readAll(grown); });
    EXPECT_EQ(error, "Cannot read message file " + path + ": it changed while it was being read");
    EXPECT_LE(total, text.size());

    // Cut short while read.
    WriteFile(path, text);
    MessageFile truncated(path);
    EXPECT_EQ(truncated.Read(buffer, sizeof buffer), sizeof buffer);
    fs::resize_file(path, 5000);
    EXPECT_NE(ErrorOf([&] { readAll(truncated); }).find("changed while it was being read"),
              std::string::npos);

    // Rewritten in place, same size: the modification time tells.
    WriteFile(path, text, ExampleTime());
    MessageFile rewritten(path);
    EXPECT_EQ(rewritten.Read(buffer, sizeof buffer), sizeof buffer);
    WriteFile(path, std::string(text.size(), 'z'));
    EXPECT_NE(ErrorOf([&] { readAll(rewritten); }).find("changed while it was being read"),
              std::string::npos);

    // Left alone, it reads whole.
    WriteFile(path, text);
    MessageFile unchanged(path);
    total = 0;
    readAll(unchanged);
    EXPECT_EQ(total, text.size());
}

} // namespace
} // namespace marrowgate::test

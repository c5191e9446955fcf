#include "marrowgate/FoundStore.h"

#include "marrowgate/NativePaths.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace marrowgate::test {
namespace {

// A system with the folders in `folders`, LOCALAPPDATA at "L" (unless empty)
// and `setting` as Windows Live Mail's store root.
std::optional<FoundStore> FindWith(const std::set<std::string>& folders,
                                   std::optional<std::string> setting,
                                   const std::string& localAppData = "L") {
    return FindMailStore({
        [&] { return setting; },
        [&](const std::string& name) -> std::optional<std::string> {
            if (name != "LOCALAPPDATA" || localAppData.empty()) {
                return std::nullopt;
            }
            return localAppData;
        },
        [&](const std::string& path) { return folders.contains(path); },
    });
}

std::string Under(const std::string& program) {
    const char separator = Separator(NativeSyntax());
    return std::string("L") + separator + "Microsoft" + separator + program;
}

TEST(FoundStoreTest, TheSettingFirstThenTheUsualFolders) {
    using Source = FoundStore::Source;
    const std::string liveMail = Under("Windows Live Mail");
    const std::string windowsMail = Under("Windows Mail");

    auto found = FindWith({"D:\\Mail", liveMail, windowsMail}, "D:\\Mail");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->folder, "D:\\Mail");
    EXPECT_EQ(found->source, Source::LiveMailSettings);

    // A setting that names a folder no longer there is passed over.
    found = FindWith({liveMail, windowsMail}, "D:\\Gone");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->folder, liveMail);
    EXPECT_EQ(found->source, Source::LiveMailFolder);

    found = FindWith({windowsMail}, std::nullopt);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->folder, windowsMail);
    EXPECT_EQ(found->source, Source::WindowsMailFolder);

    EXPECT_FALSE(FindWith({}, std::nullopt));
    EXPECT_FALSE(FindWith({liveMail}, std::nullopt, ""));
}

} // namespace
} // namespace marrowgate::test

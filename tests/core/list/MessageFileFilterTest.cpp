#include "marrowgate/MessageFileFilter.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

TEST(MessageFileFilterTest, ExtensionTest) {
    for (const char* yes : {"a.eml", "MSG.EML", "x/Office365.Eml", "a.eml ", " a.eml", ".eml"}) {
        EXPECT_TRUE(IsMessageFilePath(yes)) << yes;
    }
    for (const char* no : {"a.emlx", "notes.eml.txt", "eml", "x/eml", "a.em", "", "a.eml\t"}) {
        EXPECT_FALSE(IsMessageFilePath(no)) << no;
    }
}

} // namespace
} // namespace marrowgate::test

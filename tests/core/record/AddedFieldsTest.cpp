#include "record/AddedFields.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

// Thunderbird's reader takes a "From " line for a separator only when two
// field lines follow it.
TEST(AddedFieldsTest, FieldLinesMissing) {
    struct Row {
        const char* head;
        bool whole;
        int missing;
    };
    const Row rows[] = {
        {"From: a\nSubject: b\n\nbody\n\n", true, 0},
        {"Received: x\n  folded\n\tagain\nDate: y\n\n", true, 0},
        {"X:1\nY:\n\n", true, 0},
        {":odd\nDate: y\n\n", true, 0},
        {"From: <joe@example.net>\n\nbody\n\n", true, 1},
        {"From: <joe@example.net>\n", true, 1},
        {"Subject: only\nHELO example.com\n\n", true, 1},
        {">From  : John Doe\nSubject: x\n\n", true, 2},
        {"Fro :uMmlti\nDate: y\n\n", true, 2},
        {"HELO example.com\n\n", true, 2},
        {"\n", true, 2},
        {"", true, 2},
        {"Subject: h\xe9\nDate: y\n\n", true, 0},
        // Cut short: the reader gives such text the benefit of the doubt.
        {"Received: a very long field", false, 0},
        {"Subject: x\n", false, 0},
        {"HELO", false, 0},
        {"HELO ", false, 2},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FieldLinesMissing(row.head, row.whole), row.missing) << row.head;
    }
}

TEST(AddedFieldsTest, MarkerFieldsNameTheFileAndItsFolder) {
    EXPECT_EQ(MarkerFields(1, "/s/Inbox/a b.eml", LineEnding::Lf, PathSyntax::Posix),
              "X-Marrowgate-Source: a b.eml\n");
    EXPECT_EQ(MarkerFields(2, R"(C:\s\Ré\x.eml)", LineEnding::CrLf, PathSyntax::Windows),
              "X-Marrowgate-Source: x.eml\r\nX-Marrowgate-Folder: Ré\r\n");
    // A line end in a file name must not end the field early.
    EXPECT_EQ(MarkerFields(1, "/s/a\nb\r.eml", LineEnding::Lf, PathSyntax::Posix),
              "X-Marrowgate-Source: a?b?.eml\n");
}

} // namespace
} // namespace marrowgate::test

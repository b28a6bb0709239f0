// The append-only record on a disk that fills up for real: a line the disk
// takes only part of is cut, so the lines written once space is back are
// whole and readable.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/SyncedFile.h"
#include "support/PrivateTmpfs.h"
#include "support/TestSupport.h"

TEST(SyncedFile, LineCutShortByAFullDiskLeavesNothingBehind) {
    testing_support::CSandbox box;
    testing_support::CPrivateTmpfs disk;
    std::string error;
    if (!disk.Mount(box.File("disk"), 64 * 1024, error)) {
        GTEST_SKIP() << error;
    }
    auto file = platform::CSyncedFile::Open(box.File("disk/journal"), error);
    ASSERT_NE(file, nullptr) << error;
    // Most of the first page is taken; the next line needs a second one.
    const std::string first(4000, 'a');
    ASSERT_TRUE(file->Append(first));
    ASSERT_TRUE(disk.Fill(error)) << error;

    // What follows the first line (compared apart, so that a failure
    // prints only that).
    const auto after = [&] {
        const std::string text = testing_support::ReadFile(box.File("disk/journal"));
        EXPECT_EQ(text.compare(0, first.size(), first), 0);
        return text.substr(std::min(text.size(), first.size()));
    };
    EXPECT_FALSE(file->Append(std::string(300, 'b')));
    EXPECT_EQ(after(), "\n");

    disk.Unfill();
    ASSERT_TRUE(file->Append("next"));
    EXPECT_EQ(after(), "\nnext\n");
}

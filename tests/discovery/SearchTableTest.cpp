#include <gtest/gtest.h>

#include "discovery/SearchTable.h"

using Outcome = CSearchTable::Outcome;

TEST(SearchTable, FoundChangedRestartedAndSilent) {
    CSearchTable table(10);
    std::string mac;
    EXPECT_EQ(table.OnReply("aa:bb:cc:dd:ee:ff", "b1", "t1", mac), Outcome::Found);
    EXPECT_EQ(mac, "aa:bb:cc:dd:ee:ff");
    EXPECT_EQ(table.OnReply("aa:bb:cc:dd:ee:ff", "b1", "t1", mac), Outcome::Silent);
    EXPECT_EQ(table.OnReply("aa:bb:cc:dd:ee:ff", "b1", "t2", mac), Outcome::Changed);
    EXPECT_EQ(table.OnReply("AA:BB:CC:DD:EE:FF", "b1", "t2", mac), Outcome::Silent)
        << "MACs compare without regard to case";
    EXPECT_EQ(mac, "aa:bb:cc:dd:ee:ff") << "reports keep the first reply's MAC text";
    EXPECT_EQ(table.OnReply("aa:bb:cc:dd:ee:ff", "b2", "t2", mac), Outcome::Found)
        << "a new bootId is a restart, even with the same text";
    EXPECT_EQ(table.OnReply("aa:bb:cc:dd:ee:ff", "", "t2", mac), Outcome::Found)
        << "losing the bootId counts as a new one";
    EXPECT_EQ(table.Size(), 1u);
}

TEST(SearchTable, GoneAfterThreeSilentRoundsThenFoundAgain) {
    CSearchTable table(10);
    std::string mac;
    table.OnReply("00:00:00:00:00:01", "", "a", mac);
    table.OnReply("00:00:00:00:00:02", "", "b", mac);
    EXPECT_TRUE(table.EndRound().empty()) << "both replied in this round";
    table.OnReply("00:00:00:00:00:02", "", "b", mac);
    EXPECT_TRUE(table.EndRound().empty()) << "01: first silent round";
    table.OnReply("00:00:00:00:00:02", "", "b", mac);
    EXPECT_TRUE(table.EndRound().empty()) << "01: second silent round";
    table.OnReply("00:00:00:00:00:02", "", "b", mac);
    const auto gone = table.EndRound();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].mac, "00:00:00:00:00:01");
    EXPECT_EQ(gone[0].text, "a") << "the gone report carries the last reply";
    EXPECT_EQ(table.Size(), 1u);
    EXPECT_EQ(table.OnReply("00:00:00:00:00:01", "", "a", mac), Outcome::Found);

    // A reply in between starts the count again.
    table.EndRound();
    table.EndRound();
    table.OnReply("00:00:00:00:00:01", "", "a", mac);
    table.OnReply("00:00:00:00:00:02", "", "b", mac);
    table.EndRound();
    table.EndRound();
    EXPECT_TRUE(table.EndRound().empty());
    EXPECT_EQ(table.EndRound().size(), 2u);
}

TEST(SearchTable, BoundedByItsCapacity) {
    CSearchTable table(3);
    std::string mac;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(table.OnReply("m" + std::to_string(i), "", "x", mac), Outcome::Found);
    }
    EXPECT_EQ(table.OnReply("m9", "", "x", mac), Outcome::Full);
    EXPECT_EQ(table.OnReply("m1", "", "y", mac), Outcome::Changed) << "known MACs still update";
    EXPECT_EQ(table.Size(), 3u);
}

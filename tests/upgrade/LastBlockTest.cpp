// The last block is the one that makes a camera flash: a cancel that comes
// while block 99's acknowledgement is on its way, or a journal that cannot
// record it, keeps it from leaving.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/SessionHarness.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeResult.h"

namespace {

// The highest block number the camera accepted.
int64_t LastBlockSeen(CSessionHarness& h, const std::string& mac) {
    int64_t last = 0;
    for (const SimEvent& e : h.Fleet().Events(mac)) {
        if (e.kind == "block") {
            last = std::max(last, e.GetInt("n"));
        }
    }
    return last;
}

std::string LastBlockJournalText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(LastBlock, CancelWhileBlock99IsAcknowledgedKeepsBlock100Back) {
    CSessionHarness h;
    const auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    // The camera takes block 99 and, before its acknowledgement leaves,
    // the technician cancels.
    h.Fleet().SetEventObserver([&h, mac = cam.mac](const SimEvent& e) {
        if (e.kind == "block" && e.GetInt("n") == 99 && e.mac == mac) {
            h.Session().CancelAll();
        }
    });
    ASSERT_EQ(h.StartBatch({cam.mac}, h.NewStylePackage("fw.bin")), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    h.Fleet().SetEventObserver(nullptr);

    EXPECT_EQ(h.FinalResult(cam.mac), UPGRADE_CANCELLED);
    EXPECT_EQ(LastBlockSeen(h, cam.mac), 99);
    EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "flash_start"), 0);
    const std::string journal = LastBlockJournalText(h.Session().RunJournalPath());
    EXPECT_EQ(journal.find("\"last-block\""), std::string::npos) << journal;
    RunSummary run;
    std::string error;
    ASSERT_TRUE(ReadRunJournal(h.Session().RunJournalPath(), run, error)) << error;
    ASSERT_NE(run.Find(cam.mac), nullptr);
    EXPECT_FALSE(run.Find(cam.mac)->MayBeFlashing()) << "a resume may send it the package";
}

TEST(LastBlock, JournalThatCannotRecordTheLastBlockEndsTheCameraBeforeIt) {
    CSessionHarness h;
    h.Options().journalWriteFails = [](const std::string& line) {
        return line.find("\"last-block\"") != std::string::npos;
    };
    const auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    h.RunBatch({cam.mac}, h.NewStylePackage("fw.bin"));

    EXPECT_EQ(h.FinalResult(cam.mac), UPGRADE_JOURNAL_FAILED);
    EXPECT_EQ(h.Attempts(cam.mac), 1) << "no second transfer either";
    EXPECT_EQ(LastBlockSeen(h, cam.mac), 99);
    EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "flash_start"), 0);
    EXPECT_TRUE(h.Log().Contains("journal not written, last block not sent, mac: " + cam.mac +
                                 ", journal: " + h.Session().RunJournalPath()));
    EXPECT_EQ(ResultCodeToText(UPGRADE_JOURNAL_FAILED),
              "Not sent: the run's journal cannot be written");
}

// The last block is the one that makes a camera flash: a cancel that comes
// while block 99's acknowledgement is on its way, or a journal that cannot
// record it, keeps it from leaving.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/PrivateTmpfs.h"
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

// The one journal of `folder` other than `other`.
std::string JournalIn(const std::string& folder, const std::string& other = "") {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().string() != other && entry.path().filename() != "filler") {
            return entry.path().string();
        }
    }
    return "";
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// A copy of `package` whose path is `length` characters long, in folders
// of the sandbox.
std::string PackageWithPathLength(const testing_support::CSandbox& box, const std::string& package,
                                  size_t length) {
    std::string path = box.File("long");
    const std::string name = "/fw.bin";
    size_t remaining = length - path.size() - name.size();
    while (remaining > 0) {
        // Folder names of at most 200 characters; the first takes the odd
        // rest so that no name is left empty.
        const size_t segments = (remaining + 200) / 201;
        const size_t first = remaining - (segments - 1) * 201 - 1;
        path += "/" + std::string(first, 'd');
        remaining -= first + 1;
    }
    std::filesystem::create_directories(path);
    path += name;
    std::filesystem::copy_file(package, path);
    return path;
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

    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Cancelled);
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

    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::JournalFailed);
    EXPECT_EQ(h.Attempts(cam.mac), 1) << "no second transfer either";
    EXPECT_EQ(LastBlockSeen(h, cam.mac), 99);
    EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "flash_start"), 0);
    EXPECT_TRUE(h.Log().Contains("journal not written, last block not sent, mac: " + cam.mac +
                                 ", journal: " + h.Session().RunJournalPath()));
    EXPECT_EQ(ResultCodeToText(UpgradeResult::JournalFailed),
              "Not sent: the run's journal cannot be written");
}

// A disk that fills up while block 50 goes out (a tmpfs, really full):
// the "last-block" line needs a page the disk no longer has, so block 100
// stays back. The package's path, written in the journal, is sized so that
// the line falls across a page boundary, as a line on a full disk sooner or
// later does.
TEST(LastBlock, FullDiskKeepsBlock100Back) {
    CSessionHarness h;
    testing_support::CPrivateTmpfs disk;
    std::string error;
    const std::string runs = h.Sandbox().File("runs");
    if (!disk.Mount(runs, 1024 * 1024, error)) {
        GTEST_SKIP() << error;
    }
    const auto measured = h.Camera(1);
    const auto cam = h.Camera(2);
    h.Fleet().AddCamera(measured);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());

    // A first run lays out the journal up to its "last-block" line.
    const std::string package = h.NewStylePackage("fw.bin");
    h.RunBatch({measured.mac}, package);
    ASSERT_EQ(h.FinalResult(measured.mac), UpgradeResult::Ok);
    const std::string first = JournalIn(runs);
    const std::string text = LastBlockJournalText(first);
    const size_t before = text.find("{\"event\":\"last-block\"");
    ASSERT_NE(before, std::string::npos) << text;
    const size_t line = text.find('\n', before) + 1 - before;
    const size_t copies = Occurrences(text.substr(0, before), package);
    ASSERT_GT(copies, 0u) << text;

    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    ASSERT_LT(before + line, page);
    const size_t padding = (page - line / 2 - before) / copies;
    const std::string padded =
        PackageWithPathLength(h.Sandbox(), package, package.size() + padding);
    bool filled = false;
    h.Fleet().SetEventObserver([&](const SimEvent& e) {
        if (e.kind == "block" && e.GetInt("n") == 50 && e.mac == cam.mac) {
            filled = disk.Fill(error);
        }
    });
    h.RunBatch({cam.mac}, padded);
    h.Fleet().SetEventObserver(nullptr);
    ASSERT_TRUE(filled) << error;
    const std::string second = JournalIn(runs, first);
    const std::string secondText = LastBlockJournalText(second);
    EXPECT_GT(secondText.size() + line, page) << "the line must need a page of its own";

    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::JournalFailed);
    EXPECT_EQ(LastBlockSeen(h, cam.mac), 99);
    EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "flash_start"), 0);
    EXPECT_EQ(secondText.back(), '\n') << "no torn line left";
    disk.Unfill();
    RunSummary run;
    ASSERT_TRUE(ReadRunJournal(second, run, error)) << error;
    ASSERT_NE(run.Find(cam.mac), nullptr);
    EXPECT_FALSE(run.Find(cam.mac)->MayBeFlashing());
}

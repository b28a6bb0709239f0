// Rollouts of many cameras against simulated ones: the sliding window,
// cameras skipped as current or for their model, a package per model,
// credentials from a file, the failure limit and what the journal keeps.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "app/Settings.h"
#include "support/SessionHarness.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeResult.h"

namespace {

// The most cameras begun (WM_BATCH_PREPARED) and not yet ended (a final
// result) at once, in the order the front-end read the messages.
int MostInFlight(const CSessionHarness& h) {
    int inFlight = 0;
    int most = 0;
    for (const SeenMessage& message : h.Messages()) {
        if (message.id == WM_BATCH_PREPARED) {
            most = std::max(most, ++inFlight);
        } else if (message.id == WM_UPGRADE_RESULT && UpgradeResultOfNumber(message.wParam) &&
                   h.Attempts(message.text) > 0) {
            --inFlight;
        }
    }
    return most;
}

// Every file under `folder` but `except`, read whole.
std::vector<std::string> FilesUnder(const std::string& folder, const std::string& except) {
    std::vector<std::string> texts;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path() != except) {
            std::ifstream file(entry.path(), std::ios::binary);
            texts.emplace_back(std::istreambuf_iterator<char>(file),
                               std::istreambuf_iterator<char>());
        }
    }
    return texts;
}

}  // namespace

TEST(Rollout, SlidingWindowKeepsAtMostTheLimitInFlightAndEndsEveryCamera) {
    CSessionHarness h;
    h.SetSetting(settings::kMaxParallelUpgrades, "8");
    std::vector<std::string> macs;
    for (int n = 1; n <= 40; ++n) {
        const auto cam = h.Camera(n);
        h.Fleet().AddCamera(cam);
        macs.push_back(cam.mac);
    }
    ASSERT_TRUE(h.Start());
    h.RunBatch(macs, h.NewStylePackage("fw.bin"));
    for (const std::string& mac : macs) {
        EXPECT_EQ(h.FinalResult(mac), UpgradeResult::Ok) << mac;
        EXPECT_EQ(h.Results(mac).front(), CameraCode{UpgradeProgress::Queued}) << mac;
        EXPECT_EQ(h.Fleet().State(mac)->upgradesCompleted, 1) << mac;
    }
    EXPECT_EQ(MostInFlight(h), 8) << "a window of eight, refilled as cameras end";
    EXPECT_EQ(h.LastBatchJobs(), 40);
}

TEST(Rollout, CurrentCamerasAreSkippedAndEachModelGetsItsOwnPackage) {
    CSessionHarness h;
    const auto packageA = OldStylePackageBytes(std::vector<uint8_t>(4000, 1), 0x2020);
    const auto packageB = OldStylePackageBytes(std::vector<uint8_t>(4000, 2), 0x3030);
    auto a = h.Camera(1);
    a.model = "IPC-A";
    a.productType = 0x2020;
    a.package = packageA;
    auto current = h.Camera(2);  // already runs what fw-A_5.1.0_240301.bin holds
    current.model = "IPC-A";
    current.productType = 0x2020;
    current.softwareVer = "5.1.0";
    current.build = 240301;
    current.package = packageA;
    auto b = h.Camera(3);
    b.model = "IPC-B";
    b.productType = 0x3030;
    b.package = packageB;
    auto other = h.Camera(4);
    other.model = "IPC-C";
    for (const auto& cam : {a, current, b, other}) {
        h.Fleet().AddCamera(cam);
    }
    ASSERT_TRUE(h.Start());
    BatchRequest request = h.Request({a.mac, current.mac, b.mac, other.mac});
    request.packages = {{"IPC-A", h.WritePackage("fw-A_5.1.0_240301.bin", packageA)},
                        {"IPC-B", h.WritePackage("fw-B.bin", packageB)}};

    std::vector<CameraPlan> plans;
    ASSERT_EQ(h.Session().DryRun(request, plans), BatchStartResult::Started);
    ASSERT_EQ(plans.size(), 4u);
    EXPECT_EQ(plans[0].package->FileName(), "fw-A_5.1.0_240301.bin");
    EXPECT_EQ(plans[1].skipCode, UpgradeResult::AlreadyCurrent);
    EXPECT_EQ(plans[2].package->FileName(), "fw-B.bin");
    EXPECT_EQ(plans[3].skipCode, UpgradeResult::NoPackageForModel);
    EXPECT_EQ(h.Fleet().CountEvents(a.mac, "connect"), 0) << "a dry run contacts nobody";

    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    // A wrong package would be refused by its trailer; the MD5 shows the right one.
    for (const auto& cam : {a, b}) {
        EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok) << cam.mac;
        bool md5Ok = false;
        for (const SimEvent& event : h.Fleet().Events(cam.mac)) {
            md5Ok = md5Ok || (event.kind == "transfer_done" && event.Get("md5Ok") == "true");
        }
        EXPECT_TRUE(md5Ok) << cam.mac;
    }
    EXPECT_EQ(h.FinalResult(current.mac), UpgradeResult::AlreadyCurrent);
    EXPECT_EQ(h.FinalResult(other.mac), UpgradeResult::NoPackageForModel);
    EXPECT_EQ(ResultCodeToText(UpgradeResult::AlreadyCurrent), "Already up to date");
    EXPECT_EQ(ResultCodeToText(UpgradeResult::NoPackageForModel), "No package for this model");
    for (const auto& cam : {current, other}) {
        EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "connect"), 0) << "skipped " << cam.mac;
    }

    // Forced, the current camera is upgraded all the same.
    BatchRequest forced = h.Request({current.mac});
    forced.packages = {{"IPC-A", request.packages[0].path}};
    forced.force = true;
    ASSERT_EQ(h.StartBatch(forced), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(current.mac), UpgradeResult::Ok);
}

TEST(Rollout, PackagesAndModelsAreCheckedBeforeAnythingStarts) {
    CSessionHarness h;
    const auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    const std::string package = h.NewStylePackage("fw.bin");
    // Two packages of one model are an upgrade path: one without a version
    // in its name, or the same version twice, cannot be ordered.
    BatchRequest twice = h.Request({cam.mac});
    twice.packages = {{"IPC-2020", package}, {"IPC-2020", package}};
    EXPECT_EQ(h.StartBatch(twice), BatchStartResult::PackageInvalid);
    EXPECT_NE(h.Session().RefusalDetail().find("several packages for model IPC-2020"),
              std::string::npos);
    const std::string versioned = h.NewStylePackage("IPC_4.0.3_230119.bin");
    twice.packages = {{"IPC-2020", versioned}, {"IPC-2020", versioned}};
    EXPECT_EQ(h.StartBatch(twice), BatchStartResult::PackageInvalid);
    EXPECT_NE(h.Session().RefusalDetail().find("same version 4.0.3 build 230119"),
              std::string::npos);
    BatchRequest unknown = h.Request({cam.mac});
    unknown.packages = {{"IPC-9999", package}};
    EXPECT_EQ(h.StartBatch(unknown), BatchStartResult::PackageInvalid);
    EXPECT_NE(h.Session().RefusalDetail().find("model IPC-9999"), std::string::npos);
    BatchRequest missing = h.Request({cam.mac});
    missing.packages = {{"", h.Sandbox().File("missing.bin")}};
    EXPECT_EQ(h.StartBatch(missing), BatchStartResult::OpenFailed);
    EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "connect"), 0);
    EXPECT_FALSE(h.Session().IsUpgrading());
}

TEST(Rollout, CredentialsFileIsTriedInOrderAndItsPasswordsAreNeverWritten) {
    CSessionHarness h;
    auto own = h.Camera(1);  // its own password, found by its MAC
    own.password = "own secret with spaces";
    auto typed = h.Camera(2);  // the "*" entry is wrong for it; the typed one works
    h.Fleet().AddCamera(own);
    h.Fleet().AddCamera(typed);
    ASSERT_TRUE(h.Start());
    std::string lowerMac = own.mac;
    for (char& c : lowerMac) {
        c = c == ':' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::string credentials = h.Sandbox().File("site.credentials");
    {
        std::ofstream file(credentials);
        file << "# site A\n"
             << lowerMac << "  admin   own secret with spaces\n"
             << "*\tadmin\twrong-for-everyone\n";
    }
    ::chmod(credentials.c_str(), 0644);
    BatchRequest request = h.Request({own.mac, typed.mac});
    request.packagePath = h.NewStylePackage("fw.bin");
    request.credentialsFile = credentials;
    EXPECT_EQ(h.StartBatch(request), BatchStartResult::CredentialsInvalid);
    EXPECT_NE(h.Session().RefusalDetail().find("chmod 600"), std::string::npos)
        << h.Session().RefusalDetail();

    ::chmod(credentials.c_str(), 0600);
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(own.mac), UpgradeResult::Ok);
    EXPECT_EQ(h.FinalResult(typed.mac), UpgradeResult::Ok);
    EXPECT_EQ(h.Attempts(own.mac), 1) << "the first matching entry";
    EXPECT_TRUE(h.Log().Contains("next credentials (typed)"));

    for (const std::string secret : {"own secret with spaces", "wrong-for-everyone"}) {
        EXPECT_FALSE(h.Log().Contains(secret));
        for (const std::string& text : FilesUnder(h.Sandbox().Path(), credentials)) {
            EXPECT_EQ(text.find(secret), std::string::npos) << secret;
        }
    }
}

TEST(Rollout, CredentialsFileWithABadLineIsRefusedNamingTheLine) {
    std::vector<CREDENTIAL_ENTRY> entries;
    std::string error;
    EXPECT_TRUE(ParseCredentials("# only a comment\n\n* admin pass word\r\n", entries, error));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].password, "pass word");
    EXPECT_FALSE(ParseCredentials("* admin secret\nIPC-2020 admin\n", entries, error));
    EXPECT_EQ(error, "line 2: expected MATCH USER PASSWORD");
}

TEST(Rollout, FailureLimitStopsStartingCamerasAndLetsRunningOnesFinish) {
    CSessionHarness h;
    h.SetSetting(settings::kMaxParallelUpgrades, "1");
    h.SetSetting(settings::kTryUpgradeMaxCountSingle, "1");
    std::vector<std::string> macs;
    for (int n = 1; n <= 5; ++n) {
        auto cam = h.Camera(n);
        if (n <= 2) {
            cam.password = "another";
        }
        h.Fleet().AddCamera(cam);
        macs.push_back(cam.mac);
    }
    ASSERT_TRUE(h.Start());
    BatchRequest request = h.Request(macs);
    request.packagePath = h.NewStylePackage("fw.bin");
    request.maxFailures = {1, false};
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(macs[0]), UpgradeResult::BadCredentials);
    EXPECT_EQ(h.FinalResult(macs[1]), UpgradeResult::BadCredentials);
    for (size_t i = 2; i < macs.size(); ++i) {
        EXPECT_EQ(h.FinalResult(macs[i]), UpgradeResult::NotStarted) << macs[i];
        EXPECT_EQ(h.Fleet().CountEvents(macs[i], "connect"), 0) << macs[i];
    }
    EXPECT_EQ(ResultCodeToText(UpgradeResult::NotStarted), "Not started: rollout stopped");

    FailureLimit percent;
    ASSERT_TRUE(ParseFailureLimit("10%", percent));
    EXPECT_FALSE(percent.IsPassed(1, 10));
    EXPECT_TRUE(percent.IsPassed(2, 10));
    EXPECT_FALSE(ParseFailureLimit("101%", percent));
    EXPECT_FALSE(ParseFailureLimit("-1", percent));
}

TEST(Rollout, JournalRecordsEveryStepAndACorruptOneIsUnreadable) {
    CSessionHarness h;
    const auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    h.RunBatch({cam.mac}, h.NewStylePackage("fw.bin"));
    const std::string path = h.Session().RunJournalPath();
    ASSERT_FALSE(path.empty());
    RunSummary run;
    std::string error;
    ASSERT_TRUE(ReadRunJournal(path, run, error)) << error;
    EXPECT_TRUE(run.Finished());
    ASSERT_EQ(run.cameras.size(), 1u);
    const JOURNAL_CAMERA& journaled = run.cameras[0];
    EXPECT_EQ(journaled.code, UpgradeResult::Ok);
    EXPECT_GT(journaled.lastBlockAt, 0) << "the last block was announced";
    EXPECT_LE(journaled.queuedAt, journaled.startedAt);
    EXPECT_LE(journaled.startedAt, journaled.lastBlockAt);
    EXPECT_EQ(run.Upgraded(), 1);
    EXPECT_FALSE(h.Session().UnfinishedRun().has_value());

    // A torn last line is a kill during its write; anything else is corrupt.
    std::string text;
    {
        std::ifstream file(path);
        text.assign(std::istreambuf_iterator<char>(file), {});
    }
    const std::string torn = h.Sandbox().File("runs/torn.jsonl");
    std::ofstream(torn) << text << "{\"event\":\"res";
    EXPECT_TRUE(ReadRunJournal(torn, run, error)) << error;
    const std::string corrupt = h.Sandbox().File("runs/corrupt.jsonl");
    std::ofstream(corrupt) << "{\"event\":\"run\",\"id\":\"x\",\"packages\":[]}\nnot json\n";
    EXPECT_FALSE(ReadRunJournal(corrupt, run, error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    // Numbers that no field can hold are refused too (a fraction, 1e80, a
    // build past 32 bits), never converted into nonsense.
    for (const char* line : {"{\"event\":\"camera\",\"mac\":\"m\",\"build\":1.5}",
                             "{\"event\":\"camera\",\"mac\":\"m\",\"t\":1e80}",
                             "{\"event\":\"camera\",\"mac\":\"m\",\"build\":4294967296}"}) {
        std::ofstream(corrupt) << "{\"event\":\"run\",\"id\":\"x\",\"packages\":[]}\n"
                               << line << "\n";
        EXPECT_FALSE(ReadRunJournal(corrupt, run, error)) << line;
        EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    }
}

// A run killed after a camera's last block, resumed once the camera is back
// with its new version: the camera is verified against the version the
// journal had before the run, not sent the package again.
TEST(Rollout, ResumedCameraBackWithItsNewVersionIsNotSentThePackageAgain) {
    CSessionHarness h;
    // Were the camera taken for one that may still flash, this run would
    // wait 2 s for it to go offline and then send the package again.
    h.SetSetting(settings::kWaitDeviceOfflineTimeout, "2");
    const auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    const std::string package = h.NewStylePackage("fw.bin");
    h.RunBatch({cam.mac}, package);
    ASSERT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    ASSERT_TRUE(h.WaitUntil([&] {
        const DeviceInfoPtr record = h.Record(cam.mac);
        return record && record->build == h.Fleet().State(cam.mac)->build;
    })) << "the search lists the camera with its new version";

    // The journal as a kill right after the "last-block" line leaves it.
    std::string text;
    {
        std::ifstream file(h.Session().RunJournalPath());
        text.assign(std::istreambuf_iterator<char>(file), {});
    }
    const size_t lastBlock = text.find("\"event\":\"last-block\"");
    ASSERT_NE(lastBlock, std::string::npos) << text;
    const std::string killed = h.Sandbox().File("runs/killed.jsonl");
    std::ofstream(killed) << text.substr(0, text.find('\n', lastBlock) + 1);

    BatchRequest request = h.Request({cam.mac});
    request.packagePath = package;
    request.resumeRun = killed;
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    EXPECT_EQ(h.Fleet().State(cam.mac)->upgradesCompleted, 1);
    EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "flash_start"), 1);
}

// Every result a camera can end with, produced by simulated cameras.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "UpgradeModeLoopClient.h"
#include "app/IniFile.h"
#include "app/Settings.h"
#include "support/SessionHarness.h"
#include "upgrade/UpgradeResult.h"

namespace {

// The login requests a camera saw, by their upgradeMode field.
std::vector<std::string> LoginModes(CSimFleet& fleet, const std::string& mac) {
    std::vector<std::string> modes;
    for (const SimEvent& event : fleet.Events(mac)) {
        if (event.kind == "login") {
            modes.push_back(event.Get("upgradeMode"));
        }
    }
    return modes;
}

}  // namespace

TEST(UpgradeResults, NewVersionIsSuccessThroughTheSlaveAddressThatAnswers) {
    CSessionHarness h;
    auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    const std::string package = h.NewStylePackage("fw.bin");
    h.RunBatch({cam.mac}, package);
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    EXPECT_EQ(h.Attempts(cam.mac), 1);
    const auto results = h.Results(cam.mac);
    EXPECT_NE(std::find(results.begin(), results.end(), CameraCode{UpgradeProgress::WaitComplete}),
              results.end());
    // Progress runs 0..99 in order, never backwards.
    const auto progress = h.Progress(cam.mac);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 99);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(h.Fleet().State(cam.mac)->upgradesCompleted, 1);
    EXPECT_TRUE(h.Log().Contains("send data succeed 0, mac: " + cam.mac));
    EXPECT_TRUE(h.Log().Contains("1 times upgrade succeed, mac: " + cam.mac));
    EXPECT_TRUE(h.Log().Contains("currentIp: " + cam.ip2 + ":"));
}

TEST(UpgradeResults, SameVersionCountsOnlyWhenTheFileNameNamesIt) {
    CSessionHarness h;
    auto cam = h.Camera(1);
    cam.faults.sameVersionOnReturn = true;
    cam.softwareVer = "4.3.7";
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    h.RunBatch({cam.mac}, h.NewStylePackage("firmware.bin"));
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::VersionUnchanged);
    h.RunBatch({cam.mac}, h.NewStylePackage("IPC_4.3.7_update.bin"));
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
}

TEST(UpgradeResults, CameraThatNeverReturnsTimesOut) {
    CSessionHarness h;
    h.SetSetting(settings::kWaitRebootTimeout, "2");
    auto cam = h.Camera(1);
    cam.faults.neverReturn = true;
    cam.softwareVer = "4.0.2";
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    // Even a file name naming the old version must not turn this into success.
    h.RunBatch({cam.mac}, h.NewStylePackage("fw_4.0.2.bin"));
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Timeout);
    EXPECT_TRUE(h.Log().Contains("wait device reboot timeout, mac: " + cam.mac));
}

TEST(UpgradeResults, LoginRefusalsEndWithTheirCodesAndOnlyAWrongPasswordIsRetried) {
    CSessionHarness h;
    auto old = h.Camera(1);
    old.protocolVersion = 2;
    auto newer = h.Camera(2);
    newer.protocolVersion = 4;
    auto locked = h.Camera(3);
    locked.password = "other";
    auto busy = h.Camera(4);
    busy.faults.tooManyConnections = true;
    auto odd = h.Camera(5);
    odd.faults.loginErrors = {30, 30, 30, 30, 30};
    for (const auto& cam : {old, newer, locked, busy, odd}) {
        h.Fleet().AddCamera(cam);
    }
    ASSERT_TRUE(h.Start());
    h.RunBatch({old.mac, newer.mac, locked.mac, busy.mac, odd.mac}, h.NewStylePackage("fw.bin"));
    EXPECT_EQ(h.FinalResult(old.mac), UpgradeResult::NotSupported);
    EXPECT_EQ(h.FinalResult(newer.mac), UpgradeResult::NotSupported);
    EXPECT_EQ(h.Attempts(old.mac), 1);
    EXPECT_EQ(h.Attempts(newer.mac), 1);
    EXPECT_EQ(h.FinalResult(locked.mac), UpgradeResult::BadCredentials);
    EXPECT_EQ(h.Attempts(locked.mac), 5);
    EXPECT_EQ(h.Fleet().State(locked.mac)->logins, 5);
    EXPECT_EQ(h.FinalResult(busy.mac), UpgradeResult::TooManyConnections);
    EXPECT_EQ(h.FinalResult(odd.mac), UpgradeResult::ConnectFailed);
}

TEST(UpgradeResults, CredentialsThatWorkAreRemembered) {
    CSessionHarness h;
    auto cam = h.Camera(1);
    cam.password = "n3w-pass";
    cam.protection = SimProtection::LoginEncrypt2;
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    h.password = "n3w-pass";
    h.RunBatch({cam.mac}, h.NewStylePackage("fw.bin"));
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    EXPECT_EQ(settings::GetString(settings::kPassword), "n3w-pass");
    EXPECT_EQ(settings::GetString(settings::kUsername), "admin");
}

TEST(UpgradeResults, OnlyATypedPasswordIsRememberedAndInTheFileOnlyWhenAgreed) {
    // No keyring runs here: the settings file is the only place it could go.
    for (const auto& [typed, agreed] : {std::pair{false, true}, std::pair{true, false}}) {
        CSessionHarness h;
        auto cam = h.Camera(1);
        cam.password = "n3w-pass";
        h.Fleet().AddCamera(cam);
        ASSERT_TRUE(h.Start());
        BatchRequest request = h.Request({cam.mac});
        request.packagePath = h.NewStylePackage("fw.bin");
        request.password = "n3w-pass";
        request.rememberLogin = typed;
        request.rememberInSettingsFile = agreed;
        ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
        ASSERT_TRUE(h.WaitForBatchEnd());
        EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
        EXPECT_EQ(settings::GetString(settings::kPassword), "739518") << typed << agreed;
        EXPECT_EQ(GetUserIni().GetString(settings::kPassword, ""), "") << typed << agreed;
    }
}

TEST(UpgradeResults, PackageRefusedForProductTypeAndGzipRule) {
    CSessionHarness h;
    auto cam = h.Camera(1);
    cam.productType = 0x2020;
    cam.softwareVer = "4.0.2";
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    h.RunBatch({cam.mac},
               h.WritePackage("wrong-type.bin",
                              OldStylePackageBytes(std::vector<uint8_t>(5000, 1), 0x3030)));
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::PackageError);
    EXPECT_EQ(h.Attempts(cam.mac), 1) << "a refused package is not retried";

    std::vector<uint8_t> gzip(5000, 0x55);
    const uint8_t head[] = {0x1F, 0x8B, 0x08, 0x00, 0, 0, 0, 0, 0x00, 0x03};
    std::memcpy(gzip.data(), head, sizeof(head));
    h.RunBatch({cam.mac}, h.WritePackage("gzip.bin", OldStylePackageBytes(gzip, 0x2020)));
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::PackageError);
    EXPECT_EQ(h.Fleet().State(cam.mac)->lastBlock, 0) << "nothing was sent";
}

TEST(UpgradeResults, OldStylePackageIsSentWithoutItsTrailer) {
    CSessionHarness h;
    auto cam = h.Camera(1);
    cam.productType = 0x2020;
    cam.softwareVer = "4.0.2";
    const auto package = OldStylePackageBytes(std::vector<uint8_t>(3333, 7), 0x2020);
    cam.package = package;
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    h.RunBatch({cam.mac}, h.WritePackage("old.bin", package));
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    bool checked = false;
    for (const SimEvent& event : h.Fleet().Events(cam.mac)) {
        if (event.kind == "transfer_done") {
            checked = event.Get("md5Checked") == "true" && event.Get("md5Ok") == "true";
        }
    }
    EXPECT_TRUE(checked) << "the camera saw exactly the payload";
}

TEST(UpgradeResults, TransferFailuresMapToTheirCodes) {
    CSessionHarness h;
    h.SetSetting(settings::kWaitUpgradeProgressTimeout, "1");
    auto other = h.Camera(1);
    other.faults.upgradeErrorAtBlock = 4;
    other.faults.upgradeErrorWord = 5;
    auto one = h.Camera(2);
    one.faults.upgradeErrorAtBlock = 4;
    one.faults.upgradeErrorWord = 1;
    auto lost = h.Camera(3);
    lost.faults.closeAtBlock = 10;
    auto stalled = h.Camera(4);
    stalled.faults.stopAcksAtBlock = 5;
    for (const auto& cam : {other, one, lost, stalled}) {
        h.Fleet().AddCamera(cam);
    }
    ASSERT_TRUE(h.Start());
    h.RunBatch({other.mac, one.mac, lost.mac, stalled.mac}, h.NewStylePackage("fw.bin"));
    EXPECT_EQ(h.FinalResult(other.mac), UpgradeResult::DeviceError);
    EXPECT_EQ(h.FinalResult(one.mac), UpgradeResult::ConnectFailed);
    EXPECT_EQ(h.Attempts(other.mac), 1) << "no retry once blocks were acknowledged";
    EXPECT_EQ(h.FinalResult(lost.mac), UpgradeResult::SendFailed);
    EXPECT_EQ(h.FinalResult(stalled.mac), UpgradeResult::Timeout);
    EXPECT_TRUE(h.Log().Contains("5 times wait timeout, mac: " + stalled.mac + ", time: 1s"));
    // Block 5 went out unacknowledged; block 6 never did.
    EXPECT_EQ(h.Fleet().State(stalled.mac)->lastBlock, 5);
    for (const SimEvent& e : h.Fleet().Events(stalled.mac)) {
        EXPECT_TRUE(e.kind != "block" || e.GetInt("n") < 5) << e.GetInt("n");
    }
}

TEST(UpgradeResults, RestartIntoUpgradeModeThenRetry) {
    CSessionHarness h;
    auto cam = h.Camera(1);
    cam.faults.upgradeErrorAtBlock = 3;
    cam.faults.upgradeErrorWord = 22;
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    h.RunBatch({cam.mac}, h.NewStylePackage("fw.bin"));
    const auto results = h.Results(cam.mac);
    EXPECT_NE(
        std::find(results.begin(), results.end(), CameraCode{UpgradeProgress::WaitUpgradeMode}),
        results.end());
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    EXPECT_EQ(LoginModes(h.Fleet(), cam.mac), (std::vector<std::string>{"false", "true"}));
    EXPECT_TRUE(h.Log().Contains("wait upgrade mode, mac: " + cam.mac));
}

TEST(UpgradeResults, AttemptsRunningOutAfterWaitForUpgradeModeEndWithAFinalCode) {
    CSessionHarness h;
    h.SetSetting(settings::kTryUpgradeMaxCount, "2");
    auto wanting = h.Camera(1);
    auto healthy = h.Camera(2);
    h.Fleet().AddCamera(wanting);
    h.Fleet().AddCamera(healthy);
    h.Options().clientFactory =
        UpgradeModeOnEveryAttempt(h.Fleet(), wanting.mac, 3, wanting.offlineMs);
    ASSERT_TRUE(h.Start());
    h.RunBatch({wanting.mac, healthy.mac}, h.NewStylePackage("fw.bin"));

    // Each attempt waited for the camera's return, then the attempts ran out.
    const auto results = h.Results(wanting.mac);
    EXPECT_EQ(
        std::count(results.begin(), results.end(), CameraCode{UpgradeProgress::WaitUpgradeMode}),
        2);
    EXPECT_EQ(h.Attempts(wanting.mac), 2);
    EXPECT_EQ(h.Log().Count("device reboot, mac: " + wanting.mac), 2);
    const std::optional<UpgradeResult> final = h.FinalResult(wanting.mac);
    ASSERT_TRUE(final.has_value()) << "a final result, not a state";
    EXPECT_NE(ResultCodeToText(*final), "") << "the list can show " << NumberOf(*final);
    EXPECT_EQ(h.Fleet().State(wanting.mac)->upgradesCompleted, 0);

    EXPECT_EQ(h.FinalResult(healthy.mac), UpgradeResult::Ok);
    EXPECT_EQ(h.LastBatchJobs(), 2);
}

TEST(UpgradeResults, LoginErrors23And24SwitchUpgradeMode) {
    CSessionHarness h;
    h.SetSetting(settings::kTryUpgradeMaxCountSingle, "3");
    auto cam = h.Camera(1);
    cam.faults.loginErrors = {23, 24};
    // Asks for upgrade mode at every login, until the attempts run out.
    auto asking = h.Camera(2);
    asking.faults.loginErrors = {23, 23, 23, 23, 23, 23};
    h.Fleet().AddCamera(cam);
    h.Fleet().AddCamera(asking);
    ASSERT_TRUE(h.Start());
    h.RunBatch({cam.mac, asking.mac}, h.NewStylePackage("fw.bin"));
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    EXPECT_EQ(LoginModes(h.Fleet(), cam.mac), (std::vector<std::string>{"false", "true", "false"}));
    EXPECT_EQ(h.Attempts(cam.mac), 3);
    // The mode switch is the job's own business: none of it reaches the
    // front-end, and the camera ends with a result the list can show.
    EXPECT_EQ(h.Attempts(asking.mac), 3);
    EXPECT_EQ(h.FinalResult(asking.mac), UpgradeResult::Failed);
    for (const CameraCode& code : h.Results(asking.mac)) {
        const int number = std::visit([](auto c) { return NumberOf(c); }, code);
        EXPECT_TRUE(number != 13 && number != 14) << number;
    }
}

TEST(UpgradeResults, NoAttemptsAllowedEndsWithFailure) {
    CSessionHarness h;
    h.SetSetting(settings::kTryUpgradeMaxCount, "0");
    auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    h.RunBatch({cam.mac}, h.NewStylePackage("fw.bin"));
    EXPECT_EQ(h.Results(cam.mac),
              (std::vector<CameraCode>{UpgradeProgress::Queued, UpgradeResult::Failed}));
    EXPECT_EQ(h.Fleet().State(cam.mac)->logins, 0);
}

TEST(UpgradeResults, FixedDeviceAddressIsUsedForEveryCamera) {
    CSessionHarness h;
    auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    h.SetSetting(settings::kUpgradeDeviceIp, cam.ip);
    ASSERT_TRUE(h.Start());
    h.RunBatch({cam.mac}, h.NewStylePackage("fw.bin"));
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    EXPECT_TRUE(h.Log().Contains("currentIp: " + cam.ip + ":"));
}

// One batch, recorded once as the CLI follows the session's messages and
// once as the window's handlers do, gives the same report files byte for
// byte: one status rule, one set of writers. Both are stamped from the same
// clock here, so that even the times agree.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "BatchOutcomes.h"
#include "BatchTracker.h"
#include "GuiTestSupport.h"
#include "UpgradeReport.h"
#include "model/DeviceText.h"
#include "session/MessageEvents.h"
#include "support/TestSupport.h"
#include "upgrade/BatchReport.h"
#include "upgrade/UpgradePackage.h"

namespace {

using Clock = std::chrono::system_clock;

struct Event {
    double at;  // seconds into the batch
    uint32_t id;
    int32_t wParam;
    int camera;
};

struct Batch {
    std::vector<DeviceInfoPtr> devices;
    std::vector<BatchPackage> packages = {{"IPC-100", "/srv/fw/ipc.bin"},
                                          {"NVR-8", "/srv/fw/nvr.bin"}};
    std::vector<Event> events;
    std::vector<Event> afterCancel;
    DeviceInfoPtr upgradedRecord;  // camera 0 as it came back
};

std::vector<Event> Transfer(int camera, double from, int lastBlock) {
    std::vector<Event> events = {
        {from, WM_UPGRADE_RESULT, NumberOf(UpgradeProgress::Starting), camera}};
    for (int block = 0; block <= lastBlock; block += block < 90 ? 30 : 1) {
        events.push_back({from + 1 + block / 10.0, WM_UPGRADE_PROGRESS, block, camera});
    }
    return events;
}

Batch MakeBatch() {
    Batch batch;
    const std::vector<std::pair<std::string, std::string>> cameras = {
        {"02:CC:00:00:10:01", "IPC-100"},
        {"02:cc:00:00:10:02", "IPC-100"},  // the CLI's messages name it in upper case
        {"02:CC:00:00:10:03", "NVR-8"},
        {"02:CC:00:00:10:04", "IPC-100"},
        {"02:CC:00:00:10:05", "DOOR-1"},
        {"02:CC:00:00:10:06", "NVR-8"},
        {"02:CC:00:00:10:07", "IPC-100"}};
    for (size_t i = 0; i < cameras.size(); ++i) {
        DeviceFields fields;
        fields.mac = cameras[i].first;
        fields.model = cameras[i].second;
        fields.ip = "127.0.70." + std::to_string(i + 1);
        fields.name = i == 1 ? "=HYPERLINK(\"h\"),<b>" : "cam " + std::to_string(i);
        batch.devices.push_back(DeviceInfoPtr(MakeDevice(fields).release()));
    }
    DeviceFields upgraded;
    upgraded.mac = cameras[0].first;
    upgraded.version = "3.2.0";
    upgraded.build = 14;
    batch.upgradedRecord = DeviceInfoPtr(MakeDevice(upgraded).release());

    auto& e = batch.events;
    for (int camera : {0, 1, 3, 5, 6}) {
        e.push_back({0.5, WM_BATCH_PREPARED, 1, camera});
    }
    e.push_back({0.6, WM_UPGRADE_RESULT, NumberOf(UpgradeProgress::Queued), 2});
    for (const Event& step : Transfer(0, 1, 99)) {
        e.push_back(step);
    }
    e.push_back({13, WM_UPGRADE_RESULT, NumberOf(UpgradeProgress::WaitComplete), 0});
    e.push_back({40.25, WM_UPGRADE_RESULT, NumberOf(UpgradeResult::Ok), 0});
    e.push_back({2, WM_UPGRADE_RESULT, NumberOf(UpgradeProgress::Starting), 1});
    e.push_back({3.5, WM_UPGRADE_RESULT, NumberOf(UpgradeResult::BadCredentials), 1});
    for (const Event& step : Transfer(3, 4, 99)) {
        e.push_back(step);
    }
    e.push_back({4, WM_UPGRADE_RESULT, NumberOf(UpgradeResult::NoPackageForModel), 4});
    e.push_back({5, WM_UPGRADE_RESULT, NumberOf(UpgradeResult::Elsewhere), 6});
    // The cancel: camera 3 sent its last block and installs, camera 5 was
    // prepared, camera 2 only waited for a slot.
    batch.afterCancel = {{50, WM_UPGRADE_RESULT, NumberOf(UpgradeResult::Cancelled), 3},
                         {50, WM_UPGRADE_RESULT, NumberOf(UpgradeResult::Cancelled), 5},
                         {50, WM_UPGRADE_RESULT, NumberOf(UpgradeResult::Cancelled), 2}};
    return batch;
}

// As `firmhand-cli upgrade` does: messages through CBatchTracker.
std::vector<CameraOutcome> AsTheCli(const Batch& batch, Clock::time_point begin) {
    CBatchTracker tracker(InitialOutcomes(batch.devices, batch.packages));
    const auto apply = [&](const Event& e) {
        std::string mac = batch.devices[static_cast<size_t>(e.camera)]->mac;
        for (char& c : mac) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        const auto when = begin + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(e.at));
        if (const auto changed =
                tracker.Apply(*EventOfMessage(MakeTextMessage(e.id, e.wParam, mac)), e.at)) {
            CameraOutcome& o = tracker.Outcomes()[*changed];
            StampOutcomeTimes(o, when);
            if (o.code == UpgradeResult::Ok && o.newVersion.empty()) {
                o.newVersion = DeviceVersionText(*batch.upgradedRecord);
            }
        }
    };
    std::for_each(batch.events.begin(), batch.events.end(), apply);
    tracker.MarkCancelled();
    std::for_each(batch.afterCancel.begin(), batch.afterCancel.end(), apply);
    return tracker.Outcomes();
}

// As the window does: its handlers call CBatchOutcomes.
std::vector<CameraOutcome> AsTheWindow(const Batch& batch, Clock::time_point begin) {
    std::vector<DEVICE_S_INFO> cameras;
    for (const DeviceInfoPtr& record : batch.devices) {
        cameras.push_back(*record);
    }
    CBatchOutcomes outcomes;
    outcomes.Begin(cameras, batch.packages, begin);
    const auto apply = [&](const Event& e) {
        const std::string mac = batch.devices[static_cast<size_t>(e.camera)]->mac;
        const auto when = begin + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(e.at));
        if (e.id == WM_BATCH_PREPARED) {
            outcomes.Prepared(mac, when);
        } else if (e.id == WM_UPGRADE_PROGRESS) {
            outcomes.Progress(mac, e.wParam, when);
        } else if (const auto state = UpgradeProgressOfNumber(e.wParam)) {
            outcomes.Result(mac, *state, when);
        } else {
            outcomes.Result(mac, *UpgradeResultOfNumber(e.wParam), batch.upgradedRecord.get(),
                            when);
        }
    };
    std::for_each(batch.events.begin(), batch.events.end(), apply);
    outcomes.MarkCancelled();
    std::for_each(batch.afterCancel.begin(), batch.afterCancel.end(), apply);
    return outcomes.Outcomes();
}

}  // namespace

TEST(SameReport, TheCliAndTheWindowWriteOneBatchByteForByte) {
    const Batch batch = MakeBatch();
    const Clock::time_point begin = Clock::from_time_t(1796677445);  // 2026-12-07T21:04:05Z
    const std::vector<CameraOutcome> cli = AsTheCli(batch, begin);
    const std::vector<CameraOutcome> window = AsTheWindow(batch, begin);

    testing_support::CSandbox box;
    for (const char* name : {"report.json", "report.csv", "report.html", "REPORT.CSV"}) {
        const std::string fromCli = box.File(std::string("cli-") + name);
        const std::string fromWindow = box.File(std::string("window-") + name);
        ASSERT_TRUE(WriteReport(cli, "", {}, fromCli)) << name;
        ASSERT_TRUE(WriteTextFile(fromWindow, BatchReportText(window, fromWindow, ""))) << name;
        const std::string text = testing_support::ReadFile(fromCli);
        EXPECT_EQ(text, testing_support::ReadFile(fromWindow)) << name;
    }

    // What the two agree on is the batch as it went.
    const std::string csv = testing_support::ReadFile(box.File("cli-report.csv"));
    for (const char* row :
         {"\n02:CC:00:00:10:01,127.0.70.1,0,Upgraded successfully!,3.1.0(12),3.2.0(14),1,39.2,"
          "upgraded,cam 0,/srv/fw/ipc.bin,2026-12-07T21:04:06Z,2026-12-07T21:04:45Z,"
          "2026-12-07T21:04:05Z,\n",
          // Shown as every MAC is, whatever the camera sent.
          "\n02:CC:00:00:10:02,127.0.70.2,11,Incorrect Username/Password!,3.1.0(12),,1,1.5,"
          "failed,\"'=HYPERLINK(\"\"h\"\"),<b>\",/srv/fw/ipc.bin,",
          // "Cancelled" before it was prepared or attempted.
          "\n02:CC:00:00:10:03,127.0.70.3,28,Cancelled,3.1.0(12),,0,0.0,not-started,cam 2,"
          "/srv/fw/nvr.bin,,2026-12-07T21:04:55Z,2026-12-07T21:04:05Z,\n",
          "\n02:CC:00:00:10:04,127.0.70.4,28,\"Sent, installing\",3.1.0(12),,1,46.0,installing,",
          ",0.0,skipped,cam 4,,", ",0.0,cancelled,cam 5,/srv/fw/nvr.bin,", ",0.0,busy,cam 6,"}) {
        EXPECT_NE(csv.find(row), std::string::npos) << row << "\n" << csv;
    }
    const std::string page = testing_support::ReadFile(box.File("cli-report.html"));
    EXPECT_NE(page.find("<td>=HYPERLINK(&quot;h&quot;),&lt;b&gt;</td>"), std::string::npos) << page;
    EXPECT_NE(page.find("<td id=\"upgraded\">1</td>"), std::string::npos) << page;
}

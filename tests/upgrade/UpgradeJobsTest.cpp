#include <gtest/gtest.h>

#include <thread>

#include "app/WindowMessages.h"
#include "upgrade/UpgradeJobs.h"
#include "upgrade/UpgradeResult.h"

namespace {

UpgradeInfoPtr Job(const std::string& mac, const std::string& ip2 = "") {
    auto record = std::shared_ptr<DEVICE_S_INFO>(MakeEmptyDeviceInfo().release());
    CopyField(record->mac, mac);
    CopyField(record->ip2, ip2);
    return std::make_shared<UpgradeInfo>(record);
}

}  // namespace

TEST(UpgradeJobs, AddFindReplaceAndCount) {
    CUpgradeJobTable table;
    EXPECT_FALSE(table.addJob(std::make_shared<UpgradeInfo>(nullptr)));
    EXPECT_EQ(table.jobCount(), 0u);
    auto first = Job("00:00:00:00:00:01");
    EXPECT_TRUE(table.addJob(first));
    auto replacement = Job("00:00:00:00:00:01");
    EXPECT_TRUE(table.addJob(replacement));
    EXPECT_EQ(table.jobCount(), 1u);
    EXPECT_EQ(table.findJob("00:00:00:00:00:01"), replacement);
    EXPECT_EQ(table.findJob("00:00:00:00:00:02"), nullptr);
}

TEST(UpgradeJobs, ForEachStopsAtFirstFalseInKeyOrder) {
    CUpgradeJobTable table;
    table.addJob(Job("c"));
    table.addJob(Job("a"));
    table.addJob(Job("b"));
    std::vector<std::string> visited;
    EXPECT_TRUE(table.forEachJob([&](const UpgradeInfoPtr& job) {
        visited.push_back(job->Device()->mac);
        return visited.size() < 2;
    }));
    EXPECT_EQ(visited, (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(table.forEachJob(nullptr));
}

TEST(UpgradeJobs, CancelAllFlagsJobsStillHeldElsewhere) {
    CUpgradeJobTable table;
    auto held = Job("a");
    table.addJob(held);
    table.addJob(Job("b"));
    table.cancelAllJobs();
    EXPECT_EQ(table.jobCount(), 0u);
    EXPECT_TRUE(held->cancelled.load());
    EXPECT_TRUE(table.AllJobsFinished()) << "an empty table counts as finished";
}

TEST(UpgradeJobs, SearchReportsReplaceRecordAndWakeOnlyOnFound) {
    CUpgradeJobTable table;
    auto job = Job("00:11:22:33:44:55");
    table.addJob(job);
    auto event = std::make_shared<CPUB_Event>(false, false);
    job->SetDeviceEvent(event);
    const DeviceInfoPtr before = job->Device();

    DEVICE_S_INFO report = *before;
    CopyField(report.softwareVer, "4.1.0");
    job->waitingForDevice = true;
    table.OnSearchReport(DEVICE_NOTIFY_CHANGED, report);
    EXPECT_STREQ(job->Device()->softwareVer, "4.1.0");
    EXPECT_NE(job->Device(), before) << "a new copy, never the reader's";
    EXPECT_FALSE(event->IsSet()) << "a changed report does not wake the job";

    table.OnSearchReport(DEVICE_NOTIFY_FOUND, report);
    EXPECT_TRUE(event->IsSet());
    event->Reset();
    job->waitingForDevice = false;
    table.OnSearchReport(DEVICE_NOTIFY_FOUND, report);
    EXPECT_FALSE(event->IsSet()) << "only while the job waits";
    table.OnSearchReport(DEVICE_NOTIFY_GONE, report);
}

TEST(UpgradeJobs, ReadersKeepTheirCopyWhileReportsReplaceIt) {
    CUpgradeJobTable table;
    auto job = Job("m");
    table.addJob(job);
    std::atomic<bool> stop{false};
    std::thread reports([&] {
        DEVICE_S_INFO report = *job->Device();
        for (int i = 0; i < 10'000'000 && !stop; ++i) {
            report.build = i;
            table.OnSearchReport(DEVICE_NOTIFY_CHANGED, report);
        }
    });
    // A reader's copy keeps its value after the table has moved on to a
    // newer report: reports replace the record, never write into it.
    int replaced = 0;
    for (int i = 0; i < 1'000'000 && replaced < 20; ++i) {
        const DeviceInfoPtr copy = job->Device();
        const int build = copy->build;
        table.forEachJob([](const UpgradeInfoPtr& j) { return j->Device() != nullptr; });
        if (job->Device() != copy) {
            ++replaced;
            EXPECT_EQ(copy->build, build);
        }
    }
    stop = true;
    reports.join();
    EXPECT_EQ(replaced, 20);
}

// Numbers without a text of their own have none in the reports' words.
TEST(ResultText, CodesWithoutATextGiveNone) {
    const ResultWords words = CurrentResultWords();
    EXPECT_EQ(words.text.at(28), "Cancelled");
    EXPECT_EQ(ResultCodeToText(UpgradeResult::Cancelled), "Cancelled");
    for (int code : {13, 14, 20, 21, 35, -1}) {
        const auto text = words.text.find(code);
        EXPECT_TRUE(text == words.text.end() || text->second.empty()) << code;
    }
}

// The window asks before it starts a batch (how many cameras, of which
// models, at which versions) and before it quits while one runs; a "no"
// leaves everything as it was. The hidden automatic start asks nobody.
#include <gtest/gtest.h>

#include <cstring>

#include "BatchQuestion.h"
#include "FirmhandDlgFixture.h"

namespace {

class BatchQuestionTest : public FirmhandDlgTest {};

}  // namespace

TEST(BatchQuestion, SummaryCountsModelsAndVersionsAsTheCliDoes) {
    std::vector<DEVICE_S_INFO> cameras;
    const std::vector<DeviceFields> fields = {{"00:11:22:33:00:01", "127.0.70.1"},
                                              {"00:11:22:33:00:02", "127.0.70.2"},
                                              {"00:11:22:33:00:03", "127.0.70.3"}};
    for (DeviceFields f : fields) {
        cameras.push_back(*MakeDevice(f));
    }
    std::strcpy(cameras[1].softwareVer, "3.2.0");
    std::strcpy(cameras[2].productModel, "Dome-7");
    EXPECT_EQ(ChosenCamerasSummary(cameras),
              "3 cameras chosen (1 Dome-7, 2 IPC-100)\n"
              "Dome-7: 3.1.0(12) \u00d71\n"
              "IPC-100: 3.1.0(12) \u00d71, 3.2.0(12) \u00d71");
    EXPECT_EQ(ChosenCamerasSummary({cameras[0]}).rfind("1 camera chosen (1 IPC-100)", 0), 0u);
    const std::string list = ChosenCamerasList(cameras);
    EXPECT_NE(list.find("00:11:22:33:00:03  127.0.70.3  cam  Dome-7  3.1.0(12)\n"),
              std::string::npos)
        << list;
}

TEST_F(BatchQuestionTest, UpgradeAsksFirstAndNoStartsNothing) {
    Open();
    AddCameras(3);
    ChoosePackage();
    for (int i = 0; i < 3; ++i) {
        Check(Mac(i));
    }
    m_dlg->startBatch = false;
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_EQ(m_dlg->batchQuestions.size(), 1u);
    EXPECT_EQ(m_dlg->batchQuestions[0].size(), 3u);
    EXPECT_FALSE(m_dlg->IsUpgrading());
    EXPECT_TRUE(Unlocked());
    EXPECT_EQ(m_reach->Entered(), 0);
    EXPECT_EQ(m_connects.load(), 0);

    m_dlg->startBatch = true;
    m_dlg->OnBnClickedButtonUpdate();
    EXPECT_EQ(m_dlg->batchQuestions.size(), 2u);
    EXPECT_TRUE(m_dlg->IsUpgrading());
    ASSERT_TRUE(WaitForBatchEnd());

    // The automatic start has nobody to ask.
    m_dlg->UpgradeCheckedWithoutAsking();
    EXPECT_EQ(m_dlg->batchQuestions.size(), 2u);
    EXPECT_TRUE(m_dlg->IsUpgrading());
    ASSERT_TRUE(WaitForBatchEnd());
}

TEST_F(BatchQuestionTest, QuittingMidBatchAsksAndKeepRunningKeepsTheBatch) {
    Open();
    AddCameras(2);
    m_reach->Close();  // the batch runs until the test lets it go on
    StartWith({0, 1});
    ASSERT_TRUE(m_dlg->IsUpgrading());

    m_dlg->quitDuringBatch = false;  // keep running
    EXPECT_FALSE(m_dlg->close());
    EXPECT_EQ(m_dlg->quitQuestions, 1);
    EXPECT_TRUE(m_dlg->IsUpgrading());
    EXPECT_TRUE(Session().IsUpgrading());

    m_dlg->quitDuringBatch = true;  // cancel and quit
    m_reach->Open();
    EXPECT_TRUE(m_dlg->close());
    EXPECT_EQ(m_dlg->quitQuestions, 2);
    EXPECT_FALSE(Session().IsUpgrading());

    // Without a batch, closing asks nothing.
    Open();
    EXPECT_TRUE(m_dlg->close());
    EXPECT_EQ(m_dlg->quitQuestions, 0);
}

// The question counts the cameras the plan would take back to older
// firmware; a package whose name states no version counts none. Either
// way the batch starts when the answer is yes.
TEST_F(BatchQuestionTest, QuestionCountsTheCamerasThatWouldBeDowngraded) {
    Open();
    const std::vector<std::pair<std::string, int32_t>> running = {
        {"4.0.2", 230118}, {"4.0.3", 1}, {"4.0.10", 5}, {"V9.9", 5}};
    for (size_t i = 0; i < running.size(); ++i) {
        DeviceFields fields;
        fields.mac = Mac(static_cast<int>(i));
        fields.ip = "127.0.70." + std::to_string(i + 1);
        fields.version = running[i].first;
        fields.build = running[i].second;
        Found(fields);
        ProcessGuiEvents();
        Check(fields.mac);
    }
    m_dlg->startBatch = false;
    ChoosePackage("IPC_4.0.2_230119.bin");
    m_dlg->OnBnClickedButtonUpdate();
    ChoosePackage("fw.bin");
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_EQ(m_dlg->questionTexts.size(), 2u);
    EXPECT_EQ(m_dlg->questionTexts[0],
              "Upgrade 4 cameras?\n\n"
              "2 cameras run newer firmware than the package and will be downgraded");
    EXPECT_EQ(m_dlg->questionTexts[1], "Upgrade 4 cameras?");
    EXPECT_EQ(m_connects.load(), 0);

    m_dlg->startBatch = true;
    ChoosePackage("IPC_4.0.2_230119.bin");
    m_dlg->OnBnClickedButtonUpdate();
    EXPECT_TRUE(m_dlg->IsUpgrading());
    EXPECT_TRUE(m_dlg->messages.empty());
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_GT(m_connects.load(), 0);  // each was tried, the newer ones too
}

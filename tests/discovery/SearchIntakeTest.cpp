#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/Logger.h"
#include "app/MessageQueue.h"
#include "discovery/SearchIntake.h"

namespace {

const char* kMac = "00:1A:2B:3C:4D:5E";

// A report with every field the intake reads, in an unusual sibling order.
std::string FullReport(const std::string& productInfoExtra = "", const std::string& items = "") {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<multicastSearchResult><mac>00:1a:2b:3c:4d:5e</mac>"
           "<port><httpPort>8080</httpPort><dataPort>9008</dataPort></port>"
           "<tcpIp><ipAddr>" +
           (items.empty() ? "<item><mask>255.255.255.0</mask><ip>192.168.1.64</ip></item>"
                            "<item><ip>10.10.1.64</ip><mask>255.255.0.0</mask></item>"
                          : items) +
           "</ipAddr></tcpIp>"
           "<productInfo><build>230118</build><productSeries>KMR_IPC_X</productSeries>"
           "<softwareVer>4.0.2</softwareVer><devName>Gate &amp; 1</devName>"
           "<softwareBulildDate>2023-01-18</softwareBulildDate><kernelVer>4.9.37</kernelVer>"
           "<hardwareVer>1.0</hardwareVer><deviceActivated>1</deviceActivated>"
           "<productModel>IPC-2020</productModel>" +
           productInfoExtra + "</productInfo></multicastSearchResult>";
}

std::string ProductReport(const std::string& productInfo) {
    return "<multicastSearchResult><productInfo>" + productInfo +
           "</productInfo></multicastSearchResult>";
}

struct IntakeFixture : ::testing::Test {
    std::shared_ptr<CMessageQueue> queue = std::make_shared<CMessageQueue>();
    CSearchIntake intake{queue};

    std::unique_ptr<DEVICE_S_INFO> Report(int kind, const std::string& xml, int expectWParam) {
        intake.HandleReport(kMac, kind, xml.c_str());
        auto message = queue->TryPop();
        EXPECT_TRUE(message);
        if (!message) {
            return nullptr;
        }
        EXPECT_EQ(message->id, WM_DEVICE_NOTIFY);
        EXPECT_EQ(message->wParam, expectWParam);
        return message->TakeDevice();
    }
};

}  // namespace

TEST_F(IntakeFixture, FoundReportFillsEveryField) {
    auto info = Report(1, FullReport(), 0);
    ASSERT_TRUE(info);
    EXPECT_STREQ(info->mac, kMac) << "the callback's MAC, not the XML's";
    EXPECT_STREQ(info->devName, "Gate & 1");
    EXPECT_STREQ(info->ip, "192.168.1.64");
    EXPECT_STREQ(info->mask, "255.255.255.0");
    EXPECT_STREQ(info->ip2, "10.10.1.64");
    EXPECT_STREQ(info->mask2, "255.255.0.0");
    EXPECT_EQ(info->dataPort, 9008);
    EXPECT_EQ(info->httpPort, 8080);
    EXPECT_STREQ(info->productModel, "IPC-2020");
    EXPECT_STREQ(info->softwareVer, "4.0.2");
    EXPECT_STREQ(info->buildDate, "2023-01-18");
    EXPECT_STREQ(info->kernelVer, "4.9.37");
    EXPECT_STREQ(info->hardwareVer, "1.0");
    EXPECT_EQ(info->build, 230118);
    EXPECT_EQ(info->deviceActivated, 1);

    auto changed = Report(3, FullReport(), 1);
    ASSERT_TRUE(changed);
    EXPECT_TRUE(*changed == *info) << "a changed report carries the same full record";
}

TEST_F(IntakeFixture, TextsAreCutToTheirLimits) {
    const std::string n30(30, 'n');
    auto info =
        Report(1,
               ProductReport("<devName>" + n30 + "</devName><productModel>" + std::string(23, 'm') +
                             "</productModel><softwareVer>" + std::string(40, 's') +
                             "</softwareVer><hardwareVer>" + std::string(19, 'h') +
                             "</hardwareVer><kernelVer>" + std::string(16, 'k') + "</kernelVer>"),
               0);
    ASSERT_TRUE(info);
    EXPECT_EQ(std::string(info->devName), n30.substr(0, 19));
    EXPECT_EQ(std::string(info->productModel), std::string(23, 'm')) << "23 fits whole";
    EXPECT_EQ(std::string(info->softwareVer), std::string(15, 's'));
    EXPECT_EQ(std::string(info->hardwareVer), std::string(15, 'h')) << "15 though the field has 20";
    EXPECT_EQ(std::string(info->kernelVer), std::string(15, 'k'));

    intake.HandleReport(std::string(80, 'M').c_str(), 1, FullReport().c_str());
    auto message = queue->TryPop();
    ASSERT_TRUE(message);
    EXPECT_EQ(std::string(message->TakeDevice()->mac), std::string(63, 'M'));
}

TEST_F(IntakeFixture, MissingElementsGiveTheDefaults) {
    auto info = Report(1, "<multicastSearchResult/>", 0);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->build, -1);
    EXPECT_EQ(info->dataPort, 0);
    EXPECT_EQ(info->httpPort, 0);
    EXPECT_EQ(info->deviceActivated, 0);
    EXPECT_STREQ(info->ip, "");
    EXPECT_STREQ(info->devName, "");

    info = Report(
        1, ProductReport("<build>12x</build><deviceActivated>99999999999</deviceActivated>"), 0);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->build, 12) << "read like atoi";
    EXPECT_EQ(info->deviceActivated, 2147483647) << "overflow clamps instead of wrapping";
}

TEST_F(IntakeFixture, OnlyTheFirstTwoItemsAreRead) {
    auto one = Report(1, FullReport("", "<item><ip>1.1.1.1</ip><mask>255.0.0.0</mask></item>"), 0);
    ASSERT_TRUE(one);
    EXPECT_STREQ(one->ip, "1.1.1.1");
    EXPECT_STREQ(one->ip2, "");
    EXPECT_STREQ(one->mask2, "");

    auto three = Report(1,
                        FullReport("",
                                   "<item><ip>1.1.1.1</ip></item><item><ip>2.2.2.2</ip></item>"
                                   "<item><ip>3.3.3.3</ip><mask>x</mask></item>"),
                        0);
    ASSERT_TRUE(three);
    EXPECT_STREQ(three->ip, "1.1.1.1");
    EXPECT_STREQ(three->mask, "");
    EXPECT_STREQ(three->ip2, "2.2.2.2");
    EXPECT_STREQ(three->mask2, "");
}

TEST_F(IntakeFixture, SeriesFilter) {
    EXPECT_TRUE(Report(1, ProductReport("<productSeries>OEM-KMR_IPC-9</productSeries>"), 0))
        << "substring match";
    EXPECT_TRUE(Report(1, ProductReport("<devName>x</devName>"), 0)) << "no series passes";
    EXPECT_TRUE(Report(1, "<multicastSearchResult><mac/></multicastSearchResult>", 0))
        << "no productInfo passes";

    CLogCapture log;
    intake.HandleReport(kMac, 1, ProductReport("<productSeries>KMR_NVR</productSeries>").c_str());
    intake.HandleReport(kMac, 2, ProductReport("<productSeries>kmr_ipc</productSeries>").c_str());
    intake.HandleReport(kMac, 1, "<other><productInfo/></other>");
    intake.HandleReport(kMac, 1, "");
    EXPECT_FALSE(queue->TryPop()) << "other series, case differences and foreign roots are dropped";
    EXPECT_TRUE(log.Contains("series 'KMR_NVR' skipped"));
}

TEST_F(IntakeFixture, GoneReportPostsOnlyTheMac) {
    intake.HandleReport(kMac, 2, FullReport().c_str());
    auto message = queue->TryPop();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->wParam, DEVICE_NOTIFY_GONE);
    EXPECT_EQ(message->Text(), kMac);
    EXPECT_FALSE(message->TakeDevice());

    intake.HandleReport("0123456789abcdefghijKLMN", 2, "<multicastSearchResult/>");
    message = queue->TryPop();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->Text(), "0123456789abcdefghi") << "a 20-byte block holds 19 characters";
}

TEST_F(IntakeFixture, OtherKindsAreIgnored) {
    for (int kind : {0, 4, -1, 100}) {
        intake.HandleReport(kMac, kind, FullReport().c_str());
    }
    intake.HandleReport(nullptr, 1, nullptr);  // no root: dropped, no crash
    EXPECT_EQ(queue->Size(), 0u);
}

TEST_F(IntakeFixture, ObserverSeesEachReportBeforeItsPost) {
    std::vector<std::pair<int, std::string>> seen;
    intake.SetSearchReportObserver([&](DeviceNotifyKind kind, const DEVICE_S_INFO& info) {
        seen.emplace_back(kind, std::string(info.mac) + "/" + info.devName);
        EXPECT_EQ(queue->Size(), 0u) << "called before the post";
    });
    intake.HandleReport(kMac, 1, FullReport().c_str());
    queue->TryPop();
    intake.HandleReport(kMac, 3, FullReport().c_str());
    queue->TryPop();
    intake.HandleReport(kMac, 2, FullReport().c_str());
    queue->TryPop();
    intake.HandleReport(kMac, 1, ProductReport("<productSeries>X</productSeries>").c_str());
    ASSERT_EQ(seen.size(), 3u) << "filtered reports are not offered";
    EXPECT_EQ(seen[0], std::make_pair(0, std::string(kMac) + "/Gate & 1"));
    EXPECT_EQ(seen[1].first, 1);
    EXPECT_EQ(seen[2], std::make_pair(2, std::string(kMac) + "/"));

    intake.SetSearchReportObserver(nullptr);
    intake.HandleReport(kMac, 1, FullReport().c_str());
    EXPECT_EQ(seen.size(), 3u);
}

TEST_F(IntakeFixture, FailedPostIsLoggedAndFreed) {
    CLogCapture log;
    queue->Close();
    intake.HandleReport(kMac, 1, FullReport().c_str());
    intake.HandleReport(kMac, 2, FullReport().c_str());
    EXPECT_EQ(log.Count("not posted"), 2);
}

// Reading the analytics versions from a GetDeviceInfo reply and from the
// message that carries them to the front-end.
#include <gtest/gtest.h>

#include "app/StringTable.h"
#include "http/AiQuery.h"
#include "http/AiVersionResult.h"
#include "http/DeviceInfoReply.h"

namespace {

struct Versions {
    std::string s, f, v;
    bool operator==(const Versions&) const = default;
};

Versions Read(const std::string& reply) {
    Versions out{"junk", "junk", "junk"};
    EXPECT_TRUE(GetDeviceInfoReply(reply, out.s, out.f, out.v));
    return out;
}

std::ostream& operator<<(std::ostream& os, const Versions& v) {
    return os << "[" << v.s << "|" << v.f << "|" << v.v << "]";
}

}  // namespace

TEST(DeviceInfoReply, ReadsTheThreeVersionsAmongOtherElements) {
    EXPECT_EQ(Read("<?xml version=\"1.0\"?><config><deviceInfo><deviceName>Cam</deviceName>"
                   "<structVersion>2.1.0</structVersion><model>X</model>"
                   "<faceDetectVersion>1.4 &amp; 2</faceDetectVersion>"
                   "<vehicleVersion>3.0.7</vehicleVersion></deviceInfo></config>"),
              (Versions{"2.1.0", "1.4 & 2", "3.0.7"}));
}

TEST(DeviceInfoReply, MissingOrEmptyElementsLeaveTheirTextEmpty) {
    EXPECT_EQ(Read("<config><deviceInfo><structVersion>2</structVersion>"
                   "<vehicleVersion>3</vehicleVersion></deviceInfo></config>"),
              (Versions{"2", "", "3"}));
    EXPECT_EQ(Read("<config><deviceInfo><structVersion></structVersion><faceDetectVersion/>"
                   "<vehicleVersion></vehicleVersion></deviceInfo></config>"),
              (Versions{"", "", ""}));
}

TEST(DeviceInfoReply, EachSearchGoesOnFromTheLastElementFound) {
    // vehicleVersion comes first, so it is passed by the time it is looked for.
    EXPECT_EQ(Read("<config><deviceInfo><vehicleVersion>3</vehicleVersion>"
                   "<structVersion>1</structVersion><faceDetectVersion>2</faceDetectVersion>"
                   "</deviceInfo></config>"),
              (Versions{"1", "2", ""}));
    // A version outside deviceInfo is not read.
    EXPECT_EQ(Read("<config><structVersion>1</structVersion><deviceInfo/></config>"),
              (Versions{"", "", ""}));
}

TEST(DeviceInfoReply, AnythingElseYieldsNothing) {
    for (const std::string& reply :
         {std::string(), std::string("<html><body>404 Not Found</body></html>"),
          std::string("<html><body>401 Unauthorized</body></html>"),
          std::string("not xml at all <<<"), std::string("<config><deviceInfo><structVer")}) {
        EXPECT_EQ(Read(reply), (Versions{"", "", ""})) << reply;
    }
}

TEST(AiVersionResult, ReadMessageRoundTripsAndJudgesTheVerdict) {
    AiVersionResult r;
    ASSERT_TRUE(ParseAiVersionResult(
        MakeAiVersionReadMessage("00:1A:2B:0a:00:01", "2.1.0", "", "3.0.7"), r));
    EXPECT_EQ(r.mac, "00:1A:2B:0a:00:01");
    EXPECT_EQ(r.structVersion, "2.1.0");
    EXPECT_EQ(r.faceVersion, "");
    EXPECT_EQ(r.vehicleVersion, "3.0.7");
    EXPECT_TRUE(r.read);
    EXPECT_TRUE(r.HasVersions());
    EXPECT_EQ(r.verdictId, IDS_AI_OK);

    ASSERT_TRUE(ParseAiVersionResult(AI_VERSION_READ, "AA#__", r));
    EXPECT_EQ(r.mac, "AA");
    EXPECT_TRUE(r.read);
    EXPECT_FALSE(r.HasVersions());
    EXPECT_EQ(r.verdictId, IDS_AI_NOT_SUPPORTED);
}

TEST(AiVersionResult, UnderscoreInAVersionShiftsTheOnesAfterIt) {
    const CWindowMessage m = MakeAiVersionReadMessage("M", "2_1", "F", "V");
    EXPECT_EQ(m.Text(), "M#2_1_F_V");
    AiVersionResult r;
    ASSERT_TRUE(ParseAiVersionResult(m, r));
    EXPECT_EQ(r.mac, "M");
    EXPECT_EQ(r.structVersion, "2");
    EXPECT_EQ(r.faceVersion, "1");
    EXPECT_EQ(r.vehicleVersion, "F_V");
    // The first "#" ends the MAC.
    ASSERT_TRUE(ParseAiVersionResult(AI_VERSION_READ, "M#1#2_a_b", r));
    EXPECT_EQ(r.mac, "M");
    EXPECT_EQ(r.structVersion, "1#2");
}

TEST(AiVersionResult, FailedAndForeignMessages) {
    AiVersionResult r;
    ASSERT_TRUE(ParseAiVersionResult(MakeAiVersionFailedMessage("00:1A:2B:00:00:09"), r));
    EXPECT_EQ(r.mac, "00:1A:2B:00:00:09");
    EXPECT_FALSE(r.read);
    EXPECT_EQ(r.verdictId, IDS_AI_FAILED);
    EXPECT_FALSE(ParseAiVersionResult(22, "00:1A:2B:00:00:09", r));
    EXPECT_FALSE(ParseAiVersionResult(MakeTextMessage(WM_UPGRADE_RESULT, 20, "M#a_b_c"), r));
    // Short texts never read past their end.
    ASSERT_TRUE(ParseAiVersionResult(AI_VERSION_READ, "M#a", r));
    EXPECT_EQ(r.structVersion, "a");
    EXPECT_EQ(r.faceVersion, "");
    EXPECT_EQ(r.vehicleVersion, "");
    ASSERT_TRUE(ParseAiVersionResult(AI_VERSION_READ, std::string("M#a_b\0_c", 8), r));
    EXPECT_EQ(r.faceVersion, "b");
    EXPECT_EQ(r.vehicleVersion, "");
}

TEST(AiQueryRecord, TakesTheRecordAndCutsOverlongCredentials) {
    DEVICE_S_INFO record;
    std::memset(&record, 0, sizeof record);
    CopyField(record.mac, "00:1A:2B:00:00:01");
    CopyField(record.ip, "192.168.1.10");
    CopyField(record.ip2, "169.254.1.10");
    record.dataPort = 9008;
    record.httpPort = 8080;
    const AiQuery q = MakeAiQuery(record, std::string(40, 'u'), "secret");
    EXPECT_STREQ(q.mac, "00:1A:2B:00:00:01");
    EXPECT_STREQ(q.ip, "192.168.1.10");
    EXPECT_STREQ(q.ip2, "169.254.1.10");
    EXPECT_EQ(q.dataPort, 9008);
    EXPECT_EQ(q.httpPort, 8080);
    EXPECT_EQ(std::string(q.user), std::string(31, 'u'));
    EXPECT_STREQ(q.password, "secret");
}

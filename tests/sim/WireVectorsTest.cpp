// The simulator's own encoders and validators against fixed byte vectors.
#include <gtest/gtest.h>

#include <cstring>

#include "SimCrypto.h"
#include "SimWire.h"

using namespace simwire;

namespace {

LoginExpectation Expect(SimProtection protection, const std::string& user,
                        const std::string& password, uint32_t param = 0, uint32_t nonce = 0) {
    LoginExpectation e;
    e.protection = protection;
    e.user = user;
    e.password = password;
    e.encryptParam = param;
    e.loginNonce = nonce;
    return e;
}

std::vector<uint8_t> Request(const std::array<uint8_t, 32>& user,
                             const std::array<uint8_t, 32>& password, uint32_t clientNonce = 0) {
    std::vector<uint8_t> r(kLoginRequestSize, 0);
    std::memcpy(&r[4], user.data(), 32);
    std::memcpy(&r[36], password.data(), 32);
    SetU32(&r[68], clientNonce);
    return r;
}

std::array<uint8_t, 32> FromHex(const std::string& hex) {
    std::array<uint8_t, 32> out{};
    for (size_t i = 0; i + 1 < hex.size() && i / 2 < 32; i += 2) {
        out[i / 2] = static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

}  // namespace

TEST(WireVectors, XorProtectsTwoLetterNameWithTerminatorAndWholePassword) {
    // Key bytes K0..K3 = 11 22 33 44 in wire order.
    const auto e = Expect(SimProtection::Xor, "ab", "pw", 0x44332211);
    const auto user = ExpectedUserField(e);
    EXPECT_EQ(user[0], 'a' ^ 0x11);
    EXPECT_EQ(user[1], 'b' ^ 0x22);
    EXPECT_EQ(user[2], 0x00 ^ 0x33);
    for (size_t i = 3; i < 32; ++i)
        EXPECT_EQ(user[i], 0) << i;
    const auto password = ExpectedPasswordField(e);
    const uint8_t key[4] = {0x11, 0x22, 0x33, 0x44};
    EXPECT_EQ(password[0], 'p' ^ 0x11);
    EXPECT_EQ(password[1], 'w' ^ 0x22);
    for (size_t i = 2; i < 32; ++i)
        EXPECT_EQ(password[i], key[i % 4]) << i;

    EXPECT_TRUE(CheckLoginRequest(Request(user, password).data(), kLoginRequestSize, e).ok);
    // The plain texts are refused by an XOR camera.
    const auto plain = Expect(SimProtection::None, "ab", "pw");
    const LoginCheck check =
        CheckLoginRequest(Request(ExpectedUserField(plain), ExpectedPasswordField(plain)).data(),
                          kLoginRequestSize, e);
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.reason, "user name field");
}

TEST(WireVectors, XorNameOfThirtyTwoBytesHasNoTerminator) {
    const std::string name(32, 'n');
    const auto user = ExpectedUserField(Expect(SimProtection::Xor, name, "", 0x04030201));
    for (size_t i = 0; i < 32; ++i)
        EXPECT_EQ(user[i], 'n' ^ (i % 4 + 1)) << i;
}

TEST(WireVectors, LoginEncrypt1HashesUpperMd5HexWithEightDigitNonce) {
    // Nonce bytes 45..47 = 01 00 00: s = MD5("admin123") in upper hex + "00000001".
    const auto e = Expect(SimProtection::LoginEncrypt1, "admin", "admin123", 0, 1);
    const auto password = ExpectedPasswordField(e);
    EXPECT_EQ(password, FromHex("7772b3502e985d77f0d3c9c525a2e417ec5d998c"));
    const auto user = ExpectedUserField(e);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(user.data())), "admin");

    EXPECT_TRUE(CheckLoginRequest(Request(user, password, 77).data(), kLoginRequestSize, e).ok);
    EXPECT_EQ(CheckLoginRequest(Request(user, password, 0).data(), kLoginRequestSize, e).reason,
              "clientNonce out of range");
    EXPECT_EQ(
        CheckLoginRequest(Request(user, password, 16776961).data(), kLoginRequestSize, e).reason,
        "clientNonce out of range");
    EXPECT_TRUE(
        CheckLoginRequest(Request(user, password, 16776960).data(), kLoginRequestSize, e).ok);
}

TEST(WireVectors, LoginEncrypt2WithNonceZeroXorsNameWithDigitZero) {
    const auto e = Expect(SimProtection::LoginEncrypt2, "admin", "secret", 0, 0);
    const auto user = ExpectedUserField(e);
    const std::string name = "admin";
    for (size_t i = 0; i < name.size(); ++i)
        EXPECT_EQ(user[i], uint8_t(name[i]) ^ 48) << i;
    for (size_t i = name.size(); i < 32; ++i)
        EXPECT_EQ(user[i], 0) << i;
    EXPECT_EQ(ExpectedPasswordField(e), FromHex("6e47bf7e4fae17aeba9587d2d194f56d8cdca8ab"));
}

TEST(WireVectors, LoginEncrypt2CyclesThroughNonceDigits) {
    // Nonce 0x0003E8 = 1000: digits "1000".
    const auto user =
        ExpectedUserField(Expect(SimProtection::LoginEncrypt2, "abcde", "x", 0, 1000));
    EXPECT_EQ(user[0], 'a' ^ '1');
    EXPECT_EQ(user[1], 'b' ^ '0');
    EXPECT_EQ(user[2], 'c' ^ '0');
    EXPECT_EQ(user[3], 'd' ^ '0');
    EXPECT_EQ(user[4], 'e' ^ '1');
    EXPECT_EQ(user[5], 0);
}

TEST(WireVectors, LoginCheckRefusesWrongPasswordAndNonZeroReservedBytes) {
    const auto e = Expect(SimProtection::None, "admin", "admin123");
    auto good = Request(ExpectedUserField(e), ExpectedPasswordField(e));
    good[111] = 1;  // upgrade mode
    const LoginCheck ok = CheckLoginRequest(good.data(), good.size(), e);
    EXPECT_TRUE(ok.ok);
    EXPECT_TRUE(ok.upgradeMode);
    EXPECT_EQ(ok.userSeen, "admin");

    auto wrong = Request(ExpectedUserField(e),
                         ExpectedPasswordField(Expect(SimProtection::None, "admin", "admin124")));
    EXPECT_EQ(CheckLoginRequest(wrong.data(), wrong.size(), e).reason, "password field");

    for (size_t offset : {size_t(0), size_t(80), size_t(110), size_t(113)}) {
        auto bad = good;
        bad[offset] = 1;
        EXPECT_EQ(CheckLoginRequest(bad.data(), bad.size(), e).reason, "reserved bytes not 0")
            << offset;
    }
    auto otherBits = good;
    otherBits[111] = 3;
    EXPECT_FALSE(CheckLoginRequest(otherBits.data(), otherBits.size(), e).ok);
    auto nonce = good;
    SetU32(&nonce[68], 5);
    EXPECT_EQ(CheckLoginRequest(nonce.data(), nonce.size(), e).reason, "clientNonce not 0");
    EXPECT_FALSE(CheckLoginRequest(good.data(), 115, e).ok);
}

TEST(WireVectors, ServerInfoPutsEveryFieldAtItsOffset) {
    ServerInfo info;
    info.deviceType = 0x0A0B0C0D;
    info.productType = 0x11223344;
    info.protocolVersion = 3;
    info.encryptType = kEncryptXor;
    info.encryptParam = 0x44332211;
    info.loginEncrypt = 2;
    info.loginNonce = 0x030201;
    info.streamEncrypted = true;
    const auto b = BuildServerInfo(info);
    const uint8_t expected[64] = {0x68, 0x65, 0x61, 0x64, 0x0D, 0x0C, 0x0B, 0x0A, 0x44, 0x33, 0x22,
                                  0x11, 0x03, 0,    0,    0,    0,    0,    0,    0,    0,    0,
                                  0,    0,    0,    0,    1,    0,    0x11, 0x22, 0x33, 0x44, 0,
                                  0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
                                  2,    1,    2,    3,    0,    0,    0,    0,    1,    0,    0,
                                  0,    0,    0,    0,    0,    0,    0,    0,    0};
    EXPECT_EQ(0, std::memcmp(b.data(), expected, 64));
}

TEST(WireVectors, FramesHeadsAndFragmentsAreLittleEndian) {
    EXPECT_EQ(DataHead(0), (Bytes{'1', '1', '1', '1', 0, 0, 0, 0}));
    const Bytes frame = FrameWithWord(kReplyUpgradeProgress, 7);
    EXPECT_EQ(frame, (Bytes{0x04, 0x0A, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 7, 0, 0, 0}));
    const uint8_t data[2] = {0xAA, 0xBB};
    const Bytes fragment = Fragment(9, 3, 20, 2, 1, data, 2);
    EXPECT_EQ(fragment,
              (Bytes{'1', '1', '1', '1', 0xFF, 0xFF, 0xFF, 0xFF, 9, 0, 0, 0, 3, 0, 0, 0,    20,
                     0,   0,   0,   2,   0,    0,    0,    2,    0, 0, 0, 1, 0, 0, 0, 0xAA, 0xBB}));
    const Bytes login = LoginAcceptedPayload(0x04000200, {1, 2, 3, 4, 5, 6});
    ASSERT_GE(login.size(), 110u);
    EXPECT_EQ(GetU32(&login[0x2C]), 0x04000200u);
    EXPECT_EQ(login[0x34], 1);
    EXPECT_EQ(login[0x39], 6);
}

TEST(WireVectors, BlockLayoutOf1050BytesIs60ThenTens) {
    const BlockLayout layout = LayoutFor(1050);
    EXPECT_EQ(layout.firstBlockSize, 60u);
    EXPECT_EQ(layout.blockSize, 10u);
    EXPECT_EQ(LayoutFor(42).firstBlockSize, 42u);
    EXPECT_EQ(LayoutFor(42).blockSize, 0u);

    CBlockTracker known(1050);
    std::string reason;
    EXPECT_FALSE(known.Accept(1, 59, &reason));
    EXPECT_TRUE(known.Accept(1, 60, &reason));
    for (uint32_t k = 2; k <= 100; ++k)
        ASSERT_TRUE(known.Accept(k, 10, &reason)) << reason;
    EXPECT_TRUE(known.Complete());
    EXPECT_EQ(known.Bytes(), 1050u);
    EXPECT_FALSE(known.Accept(101, 10, &reason));
}

TEST(WireVectors, BlockTrackerWithoutPackageChecksOrderAndSizes) {
    std::string reason;
    CBlockTracker order;
    EXPECT_FALSE(order.Accept(2, 10, &reason));
    EXPECT_EQ(reason, "block 2 where 1 was due");
    ASSERT_TRUE(order.Accept(1, 60, &reason));
    EXPECT_FALSE(order.Accept(1, 60, &reason));  // repeated

    CBlockTracker tooSmallFirst;
    ASSERT_TRUE(tooSmallFirst.Accept(1, 5, &reason));
    EXPECT_FALSE(tooSmallFirst.Accept(2, 10, &reason));  // later block larger than the first

    CBlockTracker remainderTooLarge;
    ASSERT_TRUE(remainderTooLarge.Accept(1, 110, &reason));
    EXPECT_FALSE(remainderTooLarge.Accept(2, 10, &reason));  // f - b = 100

    CBlockTracker uneven;
    ASSERT_TRUE(uneven.Accept(1, 60, &reason));
    ASSERT_TRUE(uneven.Accept(2, 10, &reason));
    EXPECT_FALSE(uneven.Accept(3, 11, &reason));

    CBlockTracker tiny;  // payload under 100 bytes: empty blocks after the first
    ASSERT_TRUE(tiny.Accept(1, 42, &reason));
    for (uint32_t k = 2; k <= 100; ++k)
        ASSERT_TRUE(tiny.Accept(k, 0, &reason)) << reason;
}

TEST(WireVectors, VersionWordsAndMacs) {
    EXPECT_EQ(VersionWordFromText("4.0.2"), 0x04000200u);
    EXPECT_EQ(VersionWordFromText("3.1.10.7"), 0x03010A07u);
    EXPECT_EQ(VersionWordFromText("4.0.999"), 0x0400FF00u);
    std::array<uint8_t, 6> mac{};
    EXPECT_TRUE(ParseMac("00:1a:2B:3c:4D:5e", &mac));
    EXPECT_EQ(mac[5], 0x5E);
    EXPECT_FALSE(ParseMac("00:1a:2B:3c:4D", &mac));
    EXPECT_FALSE(ParseMac("00-1a-2B-3c-4D-5e", &mac));
    EXPECT_FALSE(ParseMac("00:1a:2B:3c:4D:5g", &mac));
}

TEST(WireVectors, Base64RoundTripAndRefusal) {
    EXPECT_EQ(SimBase64Encode("admin:admin123"), "YWRtaW46YWRtaW4xMjM=");
    std::string decoded;
    EXPECT_TRUE(SimBase64Decode("YWRtaW46YWRtaW4xMjM=", &decoded));
    EXPECT_EQ(decoded, "admin:admin123");
    EXPECT_FALSE(SimBase64Decode("YWRt*W4=", &decoded));
    EXPECT_FALSE(SimBase64Decode("YW=t", &decoded));
    EXPECT_FALSE(SimBase64Decode("YWR", &decoded));
}

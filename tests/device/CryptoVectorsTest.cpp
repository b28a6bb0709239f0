#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ScriptedDevice.h"
#include "app/Logger.h"
#include "device/Base64.h"
#include "device/DataEncryption.h"
#include "device/Digest.h"
#include "device/Encrypt.h"

using scripted::Hex;

namespace {

std::string B64(const std::string& text, size_t line = 2147483647) {
    return Base64Encode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), line);
}

}  // namespace

TEST(Base64, EncodesTheStandardVectors) {
    EXPECT_EQ(B64(""), "");
    EXPECT_EQ(B64("f"), "Zg==");
    EXPECT_EQ(B64("fo"), "Zm8=");
    EXPECT_EQ(B64("foo"), "Zm9v");
    EXPECT_EQ(B64("foob"), "Zm9vYg==");
    EXPECT_EQ(B64("fooba"), "Zm9vYmE=");
    EXPECT_EQ(B64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(B64("\xff\xfe"), "//4=");
    EXPECT_EQ(B64("foobar", 4), "Zm9v\r\nYmFy");
}

TEST(Digest, MatchesTheKnownDigests) {
    EXPECT_EQ(DigestToHex(DigestMd5("abc", 3), false), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(DigestToHex(DigestMd5("739518", 6), true), "FA76533F8A58FFA6E8C76BC87764ED51");
    EXPECT_EQ(DigestToHex(DigestSha1("abc", 3), false), "a9993e364706816aba3e25717850c26c9cd0d89d");
    CRunningMd5 running;
    running.Update("a", 1);
    running.Update("bc", 2);
    EXPECT_EQ(DigestToHex(running.Final(), false), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(CredentialCipher, XorRepeatsTheKeyAndIsItsOwnInverse) {
    auto cipher = CredentialCipherFactory::Make(ENCRYPT_XOR);
    std::vector<uint8_t> data = {'a', 'b', 0, 0, 0};
    const std::vector<uint8_t> key = {0x11, 0x22, 0x33, 0x44};
    cipher->Encrypt(data, key);
    EXPECT_EQ(data, (std::vector<uint8_t>{0x70, 0x40, 0x33, 0x44, 0x11}));
    cipher->Decrypt(data, key);
    EXPECT_EQ(data, (std::vector<uint8_t>{'a', 'b', 0, 0, 0}));
}

TEST(CredentialCipher, UnknownTypeLeavesDataAndWarnsWithoutBlocking) {
    CLogCapture log;
    auto cipher = CredentialCipherFactory::Make(0x00020000);
    std::vector<uint8_t> data = {1, 2, 3};
    cipher->Encrypt(data, std::vector<uint8_t>{9, 9, 9, 9});
    EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 3}));
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "CEncrypt");
    EXPECT_EQ(lines[0].level, kLogWarning);
}

TEST(StreamDecryption, DecryptsTheAesReferenceBlock) {
    // FIPS-197, appendix C.1.
    auto data = Hex("69c4e0d86a7b0430d8cdb78070b4c55a");
    std::vector<uint8_t> padded;
    EXPECT_FALSE(
        DecryptCmdData(data.data(), data.size(), "000102030405060708090A0B0C0D0E0F", padded));
    EXPECT_EQ(data, Hex("00112233445566778899aabbccddeeff"));
    EXPECT_TRUE(padded.empty());
}

TEST(StreamDecryption, OddLengthIsPaddedIntoANewBuffer) {
    auto data = Hex("69c4e0d86a");
    std::vector<uint8_t> padded;
    EXPECT_TRUE(
        DecryptCmdData(data.data(), data.size(), "000102030405060708090a0b0c0d0e0f", padded));
    EXPECT_EQ(padded.size(), 16u);
    EXPECT_EQ(data, Hex("69c4e0d86a"));  // the input is left alone
}

TEST(StreamDecryption, KeyTextIsReadAsHexPairsUntilTheFirstOtherCharacter) {
    const auto key = ParseHexKey("0aFf1g22");
    EXPECT_EQ(key[0], 0x0A);
    EXPECT_EQ(key[1], 0xFF);
    for (size_t i = 2; i < key.size(); ++i) {
        EXPECT_EQ(key[i], 0) << i;
    }
    EXPECT_EQ(ParseHexKey("1"), (std::array<uint8_t, 16>{}));
}

TEST(StreamDecryption, StreamKeyComesFromTheNonceAsDecimalDigits) {
    EXPECT_EQ(StreamKeyText(12345), "0000000000012345");
    EXPECT_EQ(StreamKeyText(16777215), "0000000016777215");
    const auto key = ParseHexKey(StreamKeyText(12345).c_str());
    const std::array<uint8_t, 16> expected = {0, 0, 0, 0, 0, 0x01, 0x23, 0x45};
    EXPECT_EQ(key, expected);
    // The zero block under that key (from the reference AES).
    auto block = Hex("fb86d40fcc28e1217e2f69ffbe014614");
    std::vector<uint8_t> unused;
    DecryptCmdData(block.data(), block.size(), StreamKeyText(12345).c_str(), unused);
    EXPECT_EQ(block, std::vector<uint8_t>(16, 0));
}

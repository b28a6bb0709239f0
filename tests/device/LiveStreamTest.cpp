#include <gtest/gtest.h>

#include "ScriptedDevice.h"
#include "app/Logger.h"
#include "support/TestSupport.h"

using namespace scripted;
using testing_support::WaitFor;

namespace {

// The zero block encrypted with the stream key of nonce 12345 (reference AES).
const Bytes kEncryptedZeroBlock = {0xfb, 0x86, 0xd4, 0x0f, 0xcc, 0x28, 0xe1, 0x21,
                                   0x7e, 0x2f, 0x69, 0xff, 0xbe, 0x01, 0x46, 0x14};

ServerInfoSpec EncryptedStreams() {
    ServerInfoSpec fields;
    fields.nonce = {0x39, 0x30, 0x00};  // 12345
    fields.streamEncrypted = 1;
    return fields;
}

struct StreamHead {
    uint8_t kind = 0;
    uint8_t encoding = 0x60;
    uint8_t stream = 3;
    uint8_t frameType = 1;
    uint32_t widthOrCode = 1920;
    uint32_t heightOrRate = 1080;
    uint64_t timeStamp = 5500000;
    uint32_t pass[2] = {0xA, 0xB};
};

Bytes StreamPayload(const StreamHead& h, const Bytes& media,
                    std::optional<uint32_t> mediaLength = std::nullopt) {
    Bytes out = {h.kind, h.encoding, h.stream, h.frameType};
    AppendLE32(out, 0);
    AppendLE32(out, h.widthOrCode);
    AppendLE32(out, h.heightOrRate);
    AppendLE32(out, static_cast<uint32_t>(h.timeStamp));
    AppendLE32(out, static_cast<uint32_t>(h.timeStamp >> 32));
    AppendLE32(out, h.pass[0]);
    AppendLE32(out, h.pass[1]);
    AppendLE32(out, mediaLength.value_or(static_cast<uint32_t>(media.size())));
    AppendLE32(out, 0);
    out.insert(out.end(), media.begin(), media.end());
    return out;
}

// 128 encrypted zero bytes followed by `tail`.
Bytes EncryptedMedia(const Bytes& tail) {
    Bytes media;
    for (int i = 0; i < 8; ++i) {
        media.insert(media.end(), kEncryptedZeroBlock.begin(), kEncryptedZeroBlock.end());
    }
    media.insert(media.end(), tail.begin(), tail.end());
    return media;
}

Bytes Zeros(size_t n, const Bytes& tail) {
    Bytes out(n, 0);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

}  // namespace

TEST(LiveStream, OpenReopenAndCloseAreCounted) {
    LoggedInClient m;
    ASSERT_NE(m.client, nullptr);
    CLogCapture log;
    EXPECT_EQ(m.client->StartLiveStream(1, 0), NET_OK);
    EXPECT_EQ(m.client->StartLiveStream(1, 0), NET_OK);
    auto open = m.device.ReadFrame();
    auto reopen = m.device.ReadFrame();
    ASSERT_TRUE(open && reopen);
    EXPECT_EQ(open->cmdType, 0x0201u);
    EXPECT_EQ(open->payload, (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(reopen->cmdType, 0x0203u);
    EXPECT_EQ(reopen->payload, (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(m.client->StopLiveStream(1, 0), NET_OK);  // still open once
    EXPECT_EQ(m.client->StopLiveStream(1, 0), NET_OK);
    auto close = m.device.ReadFrame();
    ASSERT_TRUE(close);
    EXPECT_EQ(close->cmdType, 0x0202u);
    EXPECT_EQ(close->payload, (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(m.client->StopLiveStream(1, 0), NET_FAILED);
    EXPECT_EQ(log.Count("open live stream succeed, type: 1, index: 0"), 1);
    EXPECT_EQ(log.Count("close live stream succeed, type: 1, index: 0"), 1);
}

TEST(LiveStream, KeyVideoFramesAreDecryptedAndCopied) {
    LoggedInClient m(EncryptedStreams());
    ASSERT_NE(m.client, nullptr);
    m.device.Reply(NET_REPLY_STREAM_FRAME, StreamPayload({}, EncryptedMedia({0xCC, 0xDD})));
    StreamHead delta;
    delta.frameType = 2;
    m.device.Reply(NET_REPLY_STREAM_FRAME, StreamPayload(delta, EncryptedMedia({})));
    ASSERT_TRUE(WaitFor([&] { return m.events.Of(DEVICE_EVENT_STREAM_FRAME).size() == 2; }));
    const auto frames = m.events.Of(DEVICE_EVENT_STREAM_FRAME);
    const NET_STREAM_FRAME& key = frames[0].frame;
    EXPECT_EQ(frames[0].length, -1);
    EXPECT_EQ(key.streamHalf, 1u);
    EXPECT_EQ(key.mediaKind, 0u);
    EXPECT_EQ(key.frameType, 1u);
    EXPECT_EQ(key.seconds, 5u);
    EXPECT_EQ(key.mediaLength, 130u);
    EXPECT_EQ(key.timeLow, 5500000u);
    EXPECT_EQ(key.timeHigh, 0u);
    EXPECT_EQ(key.passThrough[0], 0xAu);
    EXPECT_EQ(key.passThrough[1], 0xBu);
    EXPECT_EQ(key.streamNumber, 3u);
    EXPECT_EQ(key.encoding, 0x60u);
    EXPECT_EQ(key.widthOrRate, 1920u);
    EXPECT_EQ(key.heightOrAudio, 1080u);
    EXPECT_EQ(frames[0].media, Zeros(128, {0xCC, 0xDD}));
    EXPECT_EQ(frames[1].media, EncryptedMedia({}));  // not a key frame: as it came
}

TEST(LiveStream, AudioFramesUseTheLoginDefaultsAndKeepOnlyPlainEncodings) {
    LoggedInClient m(EncryptedStreams());
    ASSERT_NE(m.client, nullptr);
    StreamHead audio;
    audio.kind = 1;
    audio.encoding = 0x10;
    audio.frameType = 0;
    audio.widthOrCode = 2;  // 32-bit, but the rate 0 takes the login's defaults
    audio.heightOrRate = 0;
    m.device.Reply(NET_REPLY_STREAM_FRAME, StreamPayload(audio, EncryptedMedia({})));
    StreamHead shortAudio = audio;
    shortAudio.heightOrRate = 16000;
    m.device.Reply(NET_REPLY_STREAM_FRAME, StreamPayload(shortAudio, Bytes(20, 0x42)));
    StreamHead g711 = audio;
    g711.encoding = 0x22;
    m.device.Reply(NET_REPLY_STREAM_FRAME, StreamPayload(g711, Bytes(20, 0x42)));
    ASSERT_TRUE(WaitFor([&] { return m.events.Of(DEVICE_EVENT_STREAM_FRAME).size() == 3; }));
    const auto frames = m.events.Of(DEVICE_EVENT_STREAM_FRAME);

    EXPECT_EQ(frames[0].frame.mediaKind, 1u);
    EXPECT_EQ(frames[0].frame.encoding, 0x20u);
    EXPECT_EQ(frames[0].frame.widthOrRate, 8000u);
    EXPECT_EQ(frames[0].frame.AudioBits(), 16u);
    EXPECT_EQ(frames[0].frame.AudioChannelByte(), 2u);
    EXPECT_EQ(frames[0].media, Bytes(128, 0));  // audio is always decrypted

    EXPECT_EQ(frames[1].frame.widthOrRate, 16000u);
    EXPECT_EQ(frames[1].frame.AudioBits(), 32u);
    EXPECT_EQ(frames[1].media, Bytes(20, 0x42));  // too short to decrypt: as it came

    EXPECT_EQ(frames[2].frame.encoding, 0x22u);
    EXPECT_EQ(frames[2].frame.media, nullptr);
}

TEST(LiveStream, SecondStreamKindIsEventFiveAndAlwaysDecrypted) {
    LoggedInClient m(EncryptedStreams());
    ASSERT_NE(m.client, nullptr);
    StreamHead delta;
    delta.frameType = 2;
    m.device.Reply(NET_REPLY_STREAM_FRAME_2, StreamPayload(delta, EncryptedMedia({1})));
    ASSERT_TRUE(WaitFor([&] { return m.events.Of(DEVICE_EVENT_STREAM_FRAME_2).size() == 1; }));
    const auto frame = m.events.Of(DEVICE_EVENT_STREAM_FRAME_2)[0];
    EXPECT_EQ(frame.frame.mediaKind, 4u);
    EXPECT_EQ(frame.media, Zeros(128, {1}));
}

TEST(LiveStream, FramesThatClaimMoreThanTheyCarryAreDropped) {
    LoggedInClient m;
    ASSERT_NE(m.client, nullptr);
    CLogCapture log;
    m.device.Reply(NET_REPLY_STREAM_FRAME, StreamPayload({}, Bytes(10, 1), 4096));
    m.device.Reply(NET_REPLY_STREAM_FRAME, Bytes(39, 0));
    m.device.Reply(0x01000B01, Words({0, 0}));
    ASSERT_TRUE(WaitFor([&] { return m.events.Of(DEVICE_EVENT_ALARM).size() == 1; }));
    EXPECT_TRUE(m.events.Of(DEVICE_EVENT_STREAM_FRAME).empty());
    EXPECT_TRUE(log.Contains("stream frame dropped, mediaLength: 4096, dataLength: 50"));
    EXPECT_TRUE(log.Contains("stream frame dropped, dataLength: 39"));
}

// Live streams: the open/reopen/close bookkeeping and the frames a device
// sends while a stream is open.
#include <cstring>
#include <vector>

#include "app/Logger.h"
#include "device/DataEncryption.h"
#include "device/NetDVSDevice.h"

FH_LOG_SOURCE("NetDVSDevice");

namespace {

uint32_t BitsOfWidthCode(uint32_t code) {
    switch (code) {
        case 0:
            return 8;
        case 2:
            return 32;
        default:
            return 16;
    }
}

bool AudioWithoutData(uint32_t encoding) {
    return encoding == 0x22 || encoding == 0x24 || encoding == 0x26;
}

}  // namespace

uint32_t CNetDVSDevice::StartLiveStream(uint8_t type, uint8_t index) {
    CPUB_LockAction guard(m_streamLock);
    const auto key = std::make_pair(type, index);
    const auto it = m_streams.find(key);
    if (it != m_streams.end()) {
        ++it->second;
        ReopenLiveStream(index);
        return NET_OK;
    }
    LOG_INFO("CNetDVSDevice::StartLiveStream", "open live stream, type: %d, index: %d, mac: %s",
             type, index, m_mac.c_str());
    const uint8_t payload[4] = {type, index, 0, 0};
    const uint32_t result = SendPackcmd(NET_CMD_OPEN_LIVE_STREAM, sizeof(payload), payload, 0);
    if (result != NET_OK) {
        LOG_WARN("CNetDVSDevice::StartLiveStream",
                 "open live stream failed %d, type: %d, index: %d", result, type, index);
        return result;
    }
    m_streams[key] = 1;
    LOG_INFO("CNetDVSDevice::StartLiveStream",
             "open live stream succeed, type: %d, index: %d, mac: %s", type, index, m_mac.c_str());
    return NET_OK;
}

uint32_t CNetDVSDevice::StopLiveStream(uint8_t type, uint8_t index) {
    CPUB_LockAction guard(m_streamLock);
    const auto it = m_streams.find(std::make_pair(type, index));
    if (it == m_streams.end()) {
        return NET_FAILED;
    }
    if (--it->second > 0) {
        return NET_OK;
    }
    m_streams.erase(it);
    LOG_INFO("CNetDVSDevice::StopLiveStream", "close live stream, type: %d, index: %d, mac: %s",
             type, index, m_mac.c_str());
    const uint8_t payload[4] = {type, index, 0, 0};
    const uint32_t result = SendPackcmd(NET_CMD_CLOSE_LIVE_STREAM, sizeof(payload), payload, 0);
    if (result == NET_OK) {
        LOG_INFO("CNetDVSDevice::StopLiveStream",
                 "close live stream succeed, type: %d, index: %d, mac: %s", type, index,
                 m_mac.c_str());
    } else {
        LOG_WARN("CNetDVSDevice::StopLiveStream",
                 "close live stream failed %d, type: %d, index: %d, mac: %s", result, type, index,
                 m_mac.c_str());
    }
    return result;
}

void CNetDVSDevice::OnStreamFrame(uint32_t cmdType, const uint8_t* payload, uint32_t dataLength) {
    if (dataLength < STREAM_HEAD_SIZE) {
        LOG_WARN("CNetDVSDevice::ProcRecvCmd", "stream frame dropped, dataLength: %u, mac: %s",
                 dataLength, m_mac.c_str());
        return;
    }
    const uint8_t* head = payload;
    const uint8_t mediaKind = head[0];
    const uint8_t encoding = head[1];
    const uint8_t streamNumber = head[2];
    const uint8_t frameType = head[3];
    const uint32_t widthOrCode = ReadLE32(head + 8);
    const uint32_t heightOrRate = ReadLE32(head + 12);
    const uint64_t timeStamp =
        ReadLE32(head + 16) | (static_cast<uint64_t>(ReadLE32(head + 20)) << 32);
    const uint32_t mediaLength = ReadLE32(head + 32);
    if (mediaLength > dataLength - STREAM_HEAD_SIZE) {
        LOG_WARN("CNetDVSDevice::ProcRecvCmd",
                 "stream frame dropped, mediaLength: %u, dataLength: %u, mac: %s", mediaLength,
                 dataLength, m_mac.c_str());
        return;
    }
    const uint8_t* received = payload + STREAM_HEAD_SIZE;
    const bool video = mediaKind == 0;
    const bool second = cmdType == NET_REPLY_STREAM_FRAME_2;

    // The media data handed to the owner: a copy for video, and for any
    // frame whose start is decrypted; otherwise the received bytes.
    std::vector<uint8_t> copy;
    const uint8_t* media = received;
    const bool encrypted = m_serverInfo[server_info::kStreamEncrypted] != 0;
    const bool decrypt = encrypted && (second || !video || frameType == 1);
    // Shorter media than the encrypted block goes on as it came.
    if (video || (decrypt && mediaLength >= STREAM_ENCRYPTED_BYTES)) {
        copy.assign(received, received + mediaLength);
        media = copy.data();
    }
    if (decrypt && mediaLength >= STREAM_ENCRYPTED_BYTES) {
        std::vector<uint8_t> unused;
        DecryptCmdData(copy.data(), STREAM_ENCRYPTED_BYTES, StreamKeyText(LoginNonce()).c_str(),
                       unused);
    }

    NET_STREAM_FRAME frame;
    frame.streamHalf = streamNumber / 2u;
    frame.mediaKind = second ? 4u : mediaKind;
    frame.frameType = frameType;
    frame.seconds = static_cast<uint32_t>(timeStamp / 1000000u);
    frame.mediaLength = mediaLength;
    frame.timeLow = static_cast<uint32_t>(timeStamp);
    frame.timeHigh = static_cast<uint32_t>(timeStamp >> 32);
    frame.passThrough[0] = ReadLE32(head + 24);
    frame.passThrough[1] = ReadLE32(head + 28);
    frame.streamNumber = streamNumber;
    frame.encoding = encoding;
    if (video) {
        frame.widthOrRate = widthOrCode;
        frame.heightOrAudio = heightOrRate;
        frame.media = media;
    } else {
        uint32_t rate = heightOrRate;
        uint32_t bits = BitsOfWidthCode(widthOrCode);
        if (rate == 0) {
            rate = m_audioSampleRate;
            bits = BitsOfWidthCode(m_audioWidthCode);
        }
        frame.widthOrRate = rate;
        frame.heightOrAudio = bits | (static_cast<uint32_t>(m_audioChannelByte) << 8);
        if (AudioWithoutData(encoding)) {
            frame.media = nullptr;
        } else {
            frame.encoding = 0x20;
            frame.media = media;
        }
    }
    RaiseEvent(second ? DEVICE_EVENT_STREAM_FRAME_2 : DEVICE_EVENT_STREAM_FRAME, -1, &frame, 0);
}

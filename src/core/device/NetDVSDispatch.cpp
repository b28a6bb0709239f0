// Dispatch of the frames a device sends: each reply family writes its field
// and wakes its waiter, notifications become events for the owner.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>

#include "app/Logger.h"
#include "device/NetDVSDevice.h"

FH_LOG_SOURCE("NetDVSDevice");

namespace {

// A payload word; bytes past the payload read as zero.
uint32_t WordAt(const uint8_t* payload, uint32_t length, uint32_t offset) {
    uint8_t bytes[4] = {};
    if (offset < length) {
        std::memcpy(bytes, payload + offset, std::min<uint32_t>(4, length - offset));
    }
    return ReadLE32(bytes);
}

// Events raised with the payload as it came.
struct PayloadEvent {
    uint32_t cmdType;
    int32_t event;
};
constexpr PayloadEvent kPayloadEvents[] = {
    {0x01000103, 4},  {0x01002002, 6},  {0x01002006, 7},  {0x01002007, 8},  {0x01002008, 9},
    {0x01002009, 10}, {0x01003000, 11}, {0x01003003, 12}, {0x01003004, 13}, {0x01000D03, 14},
    {0x01000D04, 15}, {0x010002F2, 16}, {0x010002F3, 17}, {0x01000D05, 18}, {0x01000FA9, 21},
    {0x01000FB1, 22}, {0x01000FB2, 23},
};

}  // namespace

// The parameter block of the last 0x01000201 reply, one per process.
namespace parameter_block {
namespace {
std::mutex g_mutex;
std::optional<ParameterBlock> g_block;
}  // namespace
}  // namespace parameter_block

uint32_t CNetDVSDevice::GetParameterBlock(ParameterBlock& block) {
    m_replyEvent.Reset();
    if (SendPackcmd(0x0206, 0, nullptr, 0) != NET_OK) {
        return NET_SEND_FAILED;
    }
    if (!m_replyEvent.Wait(static_cast<int>(ReplyWaitMs()))) {
        return NET_SEND_FAILED;
    }
    std::lock_guard<std::mutex> guard(parameter_block::g_mutex);
    if (parameter_block::g_block) {
        block = *parameter_block::g_block;
        parameter_block::g_block.reset();
    }
    return NET_OK;
}

void CNetDVSDevice::SetDone() {
    SetRequestState(REQUEST_DONE);
}

void CNetDVSDevice::SetRefused() {
    SetRequestState(REQUEST_REFUSED);
}

void CNetDVSDevice::KeepReply(const uint8_t* payload, uint32_t dataLength) {
    {
        CPUB_LockAction guard(m_stateLock);
        m_reply.assign(payload, payload + dataLength);
        m_requestState.store(REQUEST_DONE);
    }
    m_requestChanged.notify_all();
}

void CNetDVSDevice::KeepData(const uint8_t* payload, uint32_t dataLength) {
    {
        CPUB_LockAction guard(m_dataLock);
        m_data.assign(payload, payload + dataLength);
    }
    m_dataEvent.Set();
}

void CNetDVSDevice::SetInfoValue(size_t index, uint32_t value) {
    {
        CPUB_LockAction guard(m_dataLock);
        m_infoValues[index] = value;
    }
    m_replyEvent.Set();
}

void CNetDVSDevice::SetUpgradeNews(std::optional<int32_t> progress, std::optional<uint32_t> error) {
    {
        CPUB_LockAction guard(m_progressLock);
        if (progress) {
            m_progress = *progress;
        }
        if (error) {
            m_upgradeError = *error;
        }
    }
    m_upgradeNews.Set();
}

void CNetDVSDevice::ProcRecvCmd(uint32_t cmdType, const uint8_t* payload, uint32_t dataLength,
                                uint32_t cmdId) {
    for (const auto& entry : kPayloadEvents) {
        if (entry.cmdType == cmdType) {
            RaiseEvent(entry.event, static_cast<int32_t>(dataLength), payload, cmdId);
            return;
        }
    }
    if (cmdType == 0x01000B01 || cmdType == 0x01000B02) {
        const uint32_t record[3] = {cmdType == 0x01000B01 ? 128u : 64u,
                                    WordAt(payload, dataLength, 0), WordAt(payload, dataLength, 4)};
        RaiseEvent(DEVICE_EVENT_ALARM, sizeof(record), record, cmdId);
        return;
    }
    // Unknown codes are dropped.
    (void)(OnInfoReply(cmdType, payload, dataLength) ||
           OnRequestReply(cmdType, payload, dataLength) ||
           OnUpgradeNews(cmdType, payload, dataLength));
}

// Answers to the information queries: kept for the waiting caller, who is
// woken by the reply event.
bool CNetDVSDevice::OnInfoReply(uint32_t cmdType, const uint8_t* payload, uint32_t dataLength) {
    const uint32_t word = WordAt(payload, dataLength, 0);
    switch (cmdType) {
        case 0x01000201: {
            ParameterBlock block{};
            std::memcpy(block.data(), payload, std::min<uint32_t>(dataLength, block.size()));
            {
                std::lock_guard<std::mutex> guard(parameter_block::g_mutex);
                parameter_block::g_block = block;
            }
            m_replyEvent.Set();
            return true;
        }
        case 0x01000209:
        case 0x01000211: {
            uint8_t bytes[4] = {};
            std::memcpy(bytes, payload, std::min<uint32_t>(dataLength, 4));
            SetInfoValue(cmdType == 0x01000209 ? 0 : 1, ReadLE32(bytes));
            return true;
        }
        case 0x0100020A:
        case 0x0100020C:
            SetInfoValue(cmdType == 0x0100020A ? 2 : 3, word);
            return true;
        case 0x01000212: {
            const uint32_t available = dataLength > 4 ? dataLength - 4 : 0;
            const uint32_t length = std::min(word, available);
            {
                CPUB_LockAction guard(m_dataLock);
                m_infoText.assign(reinterpret_cast<const char*>(payload) + 4, length);
            }
            m_replyEvent.Set();
            return true;
        }
        case 0x01000213:
            SetInfoValue(4, WordAt(payload, dataLength, 16));
            return true;
        case 0x01000301: {
            CPUB_LockAction guard(m_stateLock);
            m_channels[0] = static_cast<uint8_t>(WordAt(payload, dataLength, 0));
            m_channels[1] = static_cast<uint8_t>(WordAt(payload, dataLength, 4));
            m_channels[2] = static_cast<uint8_t>(WordAt(payload, dataLength, 12));
            m_channels[3] = static_cast<uint8_t>(WordAt(payload, dataLength, 8));
            return true;
        }
        default:
            return false;
    }
}

// Answers that end a request: its result, a reply or data block, done or
// refused.
bool CNetDVSDevice::OnRequestReply(uint32_t cmdType, const uint8_t* payload, uint32_t dataLength) {
    const uint32_t word = WordAt(payload, dataLength, 0);
    switch (cmdType) {
        case 0x01000206:
        case 0x01000306:
        case 0x01000401:
        case 0x01000405:
        case 0x01000C08:
            KeepReply(payload, dataLength);
            return true;
        case 0x01000406:
        case 0x01000A01:
        case 0x01000A02:
            KeepData(payload, dataLength);
            return true;
        case 0x0100020F:
        case 0x01000214:
            m_parameterResult.store(word);
            SetDone();
            return true;
        case 0x01000302:
            m_firstChannelResult.store(word);
            SetDone();
            return true;
        case 0x01000304:
            m_secondChannelResult.store(word);
            SetDone();
            return true;
        case 0x01000C07:
            m_streamResult.store(word);
            SetDone();
            return true;
        case 0x01000507:
        case 0x01000701:
            SetDone();
            return true;
        case 0x01000402:
            m_refusalDetail.store(WordAt(payload, dataLength, 8));
            SetRefused();
            return true;
        case 0x01000508:
        case 0x01000702:
            SetRefused();
            return true;
        case 0x01000308:
            LOG_INFO("CNetDVSDevice::ProcRecvCmd", "set network qrcode result %d, mac: %s", word,
                     m_mac.c_str());
            m_qrCodeResult.store(word);
            SetRequestState(REQUEST_DONE);
            m_statusEvent.Set();
            return true;
        case 0x01000A06:
            LOG_INFO("CNetDVSDevice::ProcRecvCmd", "set upgrade mode result %d, mac: %s", word,
                     m_mac.c_str());
            m_upgradeModeResult.store(word);
            SetRequestState(REQUEST_DONE);
            m_statusEvent.Set();
            return true;
        default:
            return false;
    }
}

// The camera's news during an upgrade: its progress or its error, for the
// transfer waiting on the upgrade news.
bool CNetDVSDevice::OnUpgradeNews(uint32_t cmdType, const uint8_t* payload, uint32_t dataLength) {
    const uint32_t word = WordAt(payload, dataLength, 0);
    switch (cmdType) {
        case 0x01000504:
        case 0x01000505:
            SetUpgradeNews(0, std::nullopt);
            return true;
        case 0x01000506:
        case 0x01000802:
        case 0x01000A04:
            SetUpgradeNews(static_cast<int32_t>(word), std::nullopt);
            return true;
        case 0x01000801:
        case 0x01000A03:
            LOG_WARN("CNetDVSDevice::ProcRecvCmd", "upgrade failed %d, mac: %s", word,
                     m_mac.c_str());
            SetUpgradeNews(std::nullopt, word);
            return true;
        default:
            return false;
    }
}

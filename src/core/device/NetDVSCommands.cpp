// The device's data and setting requests and the waits for their replies.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "app/Logger.h"
#include "device/NetDVSDevice.h"

FH_LOG_SOURCE("NetDVSDevice");

namespace {
// The turn limits of the requests that give up, in 100 ms turns.
constexpr uint32_t kTurnMs = 100;
constexpr uint32_t kTurns3s = 30;
constexpr uint32_t kTurns6s = 60;
constexpr uint32_t kTurns10s = 100;
}  // namespace

void CNetDVSDevice::SetRequestState(uint32_t state) {
    {
        CPUB_LockAction guard(m_stateLock);
        m_requestState.store(state);
    }
    m_requestChanged.notify_all();
}

uint32_t CNetDVSDevice::PollRequest(const std::function<uint32_t()>& send, uint32_t turnLimit,
                                    const std::function<uint32_t()>& onRefused,
                                    const std::function<void()>& onDone) {
    m_statusEvent.Reset();
    SetRequestState(REQUEST_WAITING);
    const uint32_t sent = send();
    if (sent != NET_OK) {
        m_statusEvent.Set();
        return sent;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(turnLimit * kTurnMs);
    uint32_t state = REQUEST_WAITING;
    bool interrupted = false;
    {
        std::unique_lock<CPUB_Lock> lock(m_stateLock);
        // Woken by every change of the request state and by Interrupt; a
        // refusal ends the wait only for the requests that expect one.
        const auto answered = [&] {
            state = m_requestState.load();
            interrupted = m_interrupted;
            return interrupted || state == REQUEST_DONE || state == REQUEST_LINK_LOST ||
                   (state == REQUEST_REFUSED && onRefused);
        };
        if (turnLimit == 0) {
            m_requestChanged.wait(lock, answered);
        } else {
            m_requestChanged.wait_until(lock, deadline, answered);
        }
        if (!interrupted && state == REQUEST_DONE && onDone) {
            onDone();
        }
    }
    m_statusEvent.Set();
    if (interrupted || state == REQUEST_LINK_LOST) {
        return NET_SEND_FAILED;
    }
    if (state == REQUEST_DONE) {
        return NET_OK;
    }
    if (state == REQUEST_REFUSED && onRefused) {
        return onRefused();
    }
    return NET_FAILED;
}

uint32_t CNetDVSDevice::StatusEventRequest(const std::function<uint32_t()>& send,
                                           const std::atomic<uint32_t>& result) {
    SetRequestState(REQUEST_WAITING);
    m_statusEvent.Reset();
    const uint32_t sent = send();
    if (sent != NET_OK) {
        m_statusEvent.Set();
        return sent;
    }
    if (!m_statusEvent.Wait(static_cast<int>(StatusWaitMs()))) {
        m_statusEvent.Set();
        return NET_STATUS_TIMEOUT;
    }
    const uint32_t state = m_requestState.load();
    if (state == REQUEST_DONE && result.load() == 1) {
        return NET_OK;
    }
    return state == REQUEST_LINK_LOST ? NET_SEND_FAILED : NET_FAILED;
}

uint32_t CNetDVSDevice::ReopenLiveStream(uint8_t index) {
    const uint8_t payload[4] = {index, 0, 0, 0};
    return SendPackcmd(NET_CMD_REOPEN_LIVE_STREAM, sizeof(payload), payload, 0);
}

uint32_t CNetDVSDevice::Request0405(std::vector<uint8_t>& reply, uint32_t) {
    reply.clear();
    return PollRequest([this] { return SendDirect(0x0405, nullptr, 0); }, 0,
                       [&] {
                           reply.clear();
                           const uint32_t detail = m_refusalDetail.load();
                           return detail == 6   ? NET_REFUSED_DETAIL_6
                                  : detail == 5 ? NET_REFUSED_DETAIL_5
                                                : NET_SEND_FAILED;
                       },
                       [&] { reply = m_reply; });
}

uint32_t CNetDVSDevice::Send0408(const uint8_t* data, uint32_t length) {
    return SendDirect(0x0408, data, length);
}

uint32_t CNetDVSDevice::Exchange0407(const uint8_t* data, uint32_t length,
                                     std::vector<uint8_t>& reply) {
    CPUB_LockAction exchange(m_commandLock);
    return PollRequest([&] { return SendDirect(0x0407, data, length); }, 0, nullptr,
                       [&] { reply = m_reply; });
}

uint32_t CNetDVSDevice::Request020E(std::vector<uint8_t>& reply) {
    return PollRequest([this] { return SendPackcmd(0x020E, 0, nullptr, 0); }, kTurns3s, nullptr,
                       [&] { reply = m_reply; });
}

uint32_t CNetDVSDevice::Request0208(std::vector<uint8_t>& reply) {
    return PollRequest([this] { return SendDirect(0x0208, nullptr, 0); }, 0, nullptr,
                       [&] { reply = m_reply; });
}

uint32_t CNetDVSDevice::Send0406() {
    const uint32_t result = SendDirect(0x0406, nullptr, 0);
    {
        CPUB_LockAction guard(m_stateLock);
        std::vector<uint8_t>().swap(m_reply);
    }
    SetRequestState(REQUEST_IDLE);
    return result;
}

uint32_t CNetDVSDevice::Request0401Short(uint32_t value) {
    return Request0401(value, nullptr, nullptr);
}

uint32_t CNetDVSDevice::Request0401(uint32_t, uint8_t* buffer, uint32_t* length) {
    if (SendDirect(0x0401, nullptr, 0) != NET_OK) {
        return NET_SEND_FAILED;
    }
    if (!m_dataEvent.Wait(static_cast<int>(DataWaitMs()))) {
        return NET_SEND_FAILED;
    }
    CPUB_LockAction guard(m_dataLock);
    const auto size = static_cast<uint32_t>(m_data.size());
    // The caller's length is the buffer's capacity; without it nothing is
    // copied.
    if (buffer != nullptr) {
        if (length != nullptr && *length >= size) {
            std::memcpy(buffer, m_data.data(), size);
        }
        std::vector<uint8_t>().swap(m_data);
    }
    if (length != nullptr) {
        *length = size;
    }
    return NET_OK;
}

uint32_t CNetDVSDevice::Send0205() {
    return SendDirect(0x0205, nullptr, 0);
}

uint32_t CNetDVSDevice::GetChannelSettings(ChannelRecords& records) {
    CPUB_LockAction guard(m_stateLock);
    records = m_channels;
    return NET_OK;
}

bool CNetDVSDevice::SendChannelSettings(uint32_t channel, const ChannelRecords& records) {
    if (channel >= CHANNEL_COUNT) {
        return false;
    }
    const uint8_t* record = records.data() + channel * CHANNEL_RECORD_SIZE;
    uint8_t payload[16] = {};
    WriteLE32(payload, record[0]);
    WriteLE32(payload + 4, record[1]);
    WriteLE32(payload + 8, record[3]);
    WriteLE32(payload + 12, record[2]);
    CPUB_LockAction guard(m_stateLock);
    return SendDirect(0x0301, payload, sizeof(payload)) == NET_OK;
}

uint32_t CNetDVSDevice::SetChannelSetting(uint32_t channel, uint32_t item, uint32_t value,
                                          std::span<const uint8_t> block) {
    CPUB_LockAction guard(m_stateLock);
    if (item == 5) {
        if (block.size() < 2) {
            return NET_SEND_FAILED;
        }
        const uint8_t payload[4] = {static_cast<uint8_t>(channel), block[0], block[1], 0};
        return SendDirect(0x0305, payload, sizeof(payload));
    }
    if (item == 6) {
        if (block.size() < 12) {
            return NET_SEND_FAILED;
        }
        uint8_t payload[12] = {block[0], 0, 0, 0};
        std::memcpy(payload + 4, block.data() + 4, 8);
        return SendDirect(0x0303, payload, sizeof(payload));
    }
    if (item > 4) {
        return NET_OK;
    }
    if (channel >= CHANNEL_COUNT) {
        return NET_SEND_FAILED;
    }
    // Items 0 to 4 are record bytes 0, 1, 3, 2 and 4.
    static constexpr uint32_t kByteOfItem[5] = {0, 1, 3, 2, 4};
    uint8_t* record = m_channels.data() + channel * CHANNEL_RECORD_SIZE;
    record[kByteOfItem[item]] = static_cast<uint8_t>(value);
    uint8_t payload[16] = {};
    WriteLE32(payload, record[0]);
    WriteLE32(payload + 4, record[1]);
    WriteLE32(payload + 8, record[3]);
    WriteLE32(payload + 12, record[2]);
    return SendDirect(0x0301, payload, sizeof(payload));
}

uint32_t CNetDVSDevice::Send0302() {
    CPUB_LockAction guard(m_stateLock);
    return SendDirect(0x0302, nullptr, 0);
}

uint32_t CNetDVSDevice::Request0701() {
    return PollRequest([this] { return SendPackcmd(0x0701, 0, nullptr, 0); }, 0,
                       [] { return static_cast<uint32_t>(NET_REQUEST_REFUSED); }, nullptr);
}

uint32_t CNetDVSDevice::Send0703() {
    const uint32_t result = SendPackcmd(0x0703, 0, nullptr, 0);
    SetRequestState(REQUEST_IDLE);
    return result;
}

void CNetDVSDevice::GetAudioFormat(uint32_t* a, uint32_t* b, uint32_t* c) const {
    *a = m_audioFormat[0];
    *b = m_audioFormat[1];
    *c = m_audioFormat[2];
}

void CNetDVSDevice::SetAudioFormat(uint32_t a, uint32_t b, uint32_t c) {
    m_audioFormat[0] = a;
    m_audioFormat[1] = b;
    m_audioFormat[2] = c;
}

uint32_t CNetDVSDevice::Request030D(uint32_t* value) {
    return PollRequest([this] { return SendPackcmd(0x030D, 0, nullptr, 0); }, kTurns10s, nullptr,
                       [&] { *value = m_firstChannelResult.load(); });
}

uint32_t CNetDVSDevice::Request0326(uint32_t* value) {
    return PollRequest([this] { return SendPackcmd(0x0326, 0, nullptr, 0); }, 0, nullptr,
                       [&] { *value = m_secondChannelResult.load(); });
}

uint32_t CNetDVSDevice::Request0328(std::vector<uint8_t>& reply) {
    return PollRequest([this] { return SendPackcmd(0x0328, 0, nullptr, 0); }, kTurns3s, nullptr,
                       [&] { reply = m_reply; });
}

uint32_t CNetDVSDevice::Request0212(const uint8_t* data, uint32_t length, uint32_t* value) {
    return PollRequest([&] { return SendPackcmd(0x0212, length, data, 0); }, kTurns6s, nullptr,
                       [&] { *value = m_parameterResult.load(); });
}

uint32_t CNetDVSDevice::Request0216(const uint8_t* data, const char* name, uint32_t length,
                                    uint32_t* value) {
    uint8_t payload[260] = {};
    WriteLE32(payload, length);
    if (name != nullptr) {
        std::memcpy(payload + 4, name, strnlen(name, 64));
    }
    if (data != nullptr) {
        std::memcpy(payload + 68, data, std::min<uint32_t>(length, 192));
    }
    return PollRequest([&] { return SendPackcmd(0x0216, sizeof(payload), payload, 0); }, kTurns6s,
                       nullptr, [&] { *value = m_parameterResult.load(); });
}

uint32_t CNetDVSDevice::SetNetworkQrCode(const uint8_t* code256) {
    return StatusEventRequest([&] { return SendPackcmd(0x032C, 256, code256, 0); }, m_qrCodeResult);
}

uint32_t CNetDVSDevice::Send0C04(uint32_t value, uint32_t) {
    uint8_t payload[4];
    WriteLE32(payload, value);
    return SendPackcmd(0x0C04, sizeof(payload), payload, 0);
}

uint32_t CNetDVSDevice::Request0C05(const uint8_t* data, uint32_t length, uint32_t* value) {
    return PollRequest([&] { return SendPackcmd(0x0C05, length, data, 0); }, kTurns10s, nullptr,
                       [&] { *value = m_streamResult.load(); });
}

uint32_t CNetDVSDevice::Request0C06(std::vector<uint8_t>& reply) {
    return PollRequest([this] { return SendPackcmd(0x0C06, 0, nullptr, 0); }, kTurns3s, nullptr,
                       [&] { reply = m_reply; });
}

uint32_t CNetDVSDevice::Send0C07() {
    return SendPackcmd(0x0C07, 0, nullptr, 0) == NET_OK ? NET_OK : NET_SEND_FAILED;
}

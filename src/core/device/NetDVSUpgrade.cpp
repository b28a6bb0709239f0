// The upgrade path: start, data blocks, the device's acknowledgements and
// errors, the connection state, and the working-mode request.
#include "app/Logger.h"
#include "device/NetDVSDevice.h"

FH_LOG_SOURCE("NetDVSDevice");

uint32_t CNetDVSDevice::StartUpgrade(uint32_t, bool newStyle) {
    {
        CPUB_LockAction guard(m_progressLock);
        m_progress = 0;
        m_upgradeError = 0;
    }
    if (!newStyle) {
        return NET_OK;
    }
    uint8_t payload[4];
    WriteLE32(payload, 1);
    return SendPackcmd(NET_CMD_START_UPGRADE, sizeof(payload), payload, 0);
}

uint32_t CNetDVSDevice::SendUpgradeData(const uint8_t* data, uint32_t length, uint32_t kind) {
    static constexpr uint32_t kCodeOfKind[4] = {NET_CMD_UPGRADE_DATA, 0x0801, 0x0802, 0x0805};
    if (kind >= 4) {
        return NET_SEND_FAILED;
    }
    return SendDirect(kCodeOfKind[kind], data, length);
}

uint32_t CNetDVSDevice::SendUpgradeBlock(uint32_t k, const uint8_t* data, uint32_t size) {
    if (size > SWL_MAX_MESSAGE_LENGTH - NET_CMD_HEAD_SIZE - 4) {
        return NET_SEND_FAILED;
    }
    // The command head and the block number; the block's bytes follow as
    // they are, in the same message.
    uint8_t head[NET_CMD_HEAD_SIZE + 4] = {};
    WriteLE32(head, NET_CMD_UPGRADE_DATA);
    WriteLE32(head + 12, size + 4);
    WriteLE32(head + NET_CMD_HEAD_SIZE, k);
    return m_link->SendData(head, sizeof(head), data, size) == 0 ? NET_OK : NET_SEND_FAILED;
}

uint32_t CNetDVSDevice::GetUpgradeError() {
    CPUB_LockAction guard(m_progressLock);
    switch (m_upgradeError) {
        case 0:
            return NET_OK;
        case 1:
            return NET_UPGRADE_ERROR_1;
        case 22:
            return NET_UPGRADE_MODE_NEEDED;
        default:
            return NET_UPGRADE_ERROR;
    }
}

int32_t CNetDVSDevice::GetUpgradeProgress() {
    CPUB_LockAction guard(m_progressLock);
    return m_progress;
}

uint32_t CNetDVSDevice::Send0504() {
    {
        CPUB_LockAction guard(m_progressLock);
        m_progress = -1;
    }
    return SendDirect(0x0504, nullptr, 0);
}

uint32_t CNetDVSDevice::Request0505() {
    return PollRequest([this] { return SendDirect(0x0505, nullptr, 0); }, 0,
                       [] { return static_cast<uint32_t>(NET_FAILED); }, nullptr);
}

uint32_t CNetDVSDevice::PollProgress(int32_t* step) {
    CPUB_LockAction guard(m_progressLock);
    if (m_connectState == CONNECT_LINK_LOST) {
        m_lastReported = -1;
        return NET_SEND_FAILED;
    }
    if (m_progress == -1) {
        m_lastReported = -1;
        return 3;
    }
    if (m_progress == 0) {
        m_lastReported = -1;
        return NET_UPGRADE_ERROR;
    }
    if (m_progress < 1 || m_progress > 100) {
        return NET_OK;
    }
    if (m_progress - 1 != m_lastReported) {
        m_lastReported = m_progress - 1;
        if (step != nullptr) {
            *step = m_lastReported;
        }
        return NET_OK;
    }
    return 3;
}

bool CNetDVSDevice::WaitUpgradeNews(uint32_t timeoutMs) {
    return m_upgradeNews.Wait(static_cast<int>(timeoutMs));
}

uint32_t CNetDVSDevice::GetConnectState() {
    CPUB_LockAction guard(m_progressLock);
    return m_connectState;
}

void CNetDVSDevice::ResetCounters() {
    m_counters[0].store(0);
    m_counters[1].store(0);
}

uint32_t CNetDVSDevice::SetUpgradeMode(uint32_t mode) {
    m_upgradeModeResult.store(255);
    SetRequestState(REQUEST_WAITING);
    m_statusEvent.Reset();
    uint8_t payload[4];
    WriteLE32(payload, mode);
    const uint32_t sent = SendPackcmd(NET_CMD_SET_UPGRADE_MODE, sizeof(payload), payload, 0);
    if (sent != NET_OK) {
        LOG_WARN("CNetDVSDevice::SetUpgradeMode", "set upgrade mode %d, mac: %s", sent,
                 m_mac.c_str());
        m_statusEvent.Set();
        return sent;
    }
    if (!m_statusEvent.Wait(static_cast<int>(StatusWaitMs()))) {
        LOG_WARN("CNetDVSDevice::SetUpgradeMode", "set upgrade mode timeout, mac: %s",
                 m_mac.c_str());
        m_statusEvent.Set();
        return NET_STATUS_TIMEOUT;
    }
    const uint32_t state = m_requestState.load();
    if (state != REQUEST_DONE) {
        LOG_WARN("CNetDVSDevice::SetUpgradeMode", "request failed %d, mac: %s", state,
                 m_mac.c_str());
        if (state == REQUEST_LINK_LOST) {
            return NET_SEND_FAILED;
        }
        return state == REQUEST_WAITING ? NET_STATUS_TIMEOUT : NET_FAILED;
    }
    return m_upgradeModeResult.load() == 1 ? NET_OK : NET_FAILED;
}

// The client's life: connection handshake, construction and teardown, the
// local MAC, sending frames, and the entry for everything the link receives.
#include "device/NetDVSDevice.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "app/Logger.h"
#include "net/LocalInterfaces.h"

FH_LOG_SOURCE("NetDVSDevice");

namespace {

std::atomic<uint32_t> g_statusWaitMs{5000};
std::atomic<uint32_t> g_dataWaitMs{5000};
std::atomic<uint32_t> g_replyWaitMs{10000};

std::string MacToText(const std::array<uint8_t, 6>& mac) {
    char text[18];
    std::snprintf(text, sizeof(text), "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

// A frame buffer: the 16-byte head and a copy of the payload.
bool BuildFrame(std::vector<uint8_t>& frame, uint32_t cmdType, uint32_t cmdId, const void* payload,
                uint32_t dataLength) {
    if (dataLength > SWL_MAX_MESSAGE_LENGTH - NET_CMD_HEAD_SIZE) {
        return false;
    }
    try {
        frame.assign(NET_CMD_HEAD_SIZE + dataLength, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    WriteLE32(frame.data(), cmdType);
    WriteLE32(frame.data() + 4, cmdId);
    WriteLE32(frame.data() + 12, dataLength);
    if (dataLength != 0 && payload != nullptr) {
        std::memcpy(frame.data() + NET_CMD_HEAD_SIZE, payload, dataLength);
    }
    return true;
}

}  // namespace

void CNetDVSDevice::SetWaitLimitsForTest(uint32_t statusMs, uint32_t dataMs, uint32_t replyMs) {
    g_statusWaitMs.store(statusMs);
    g_dataWaitMs.store(dataMs);
    g_replyWaitMs.store(replyMs);
}

uint32_t CNetDVSDevice::StatusWaitMs() {
    return g_statusWaitMs.load();
}
uint32_t CNetDVSDevice::DataWaitMs() {
    return g_dataWaitMs.load();
}
uint32_t CNetDVSDevice::ReplyWaitMs() {
    return g_replyWaitMs.load();
}

uint32_t CNetDVSDevice::CreateServerObject(std::shared_ptr<CNetDVSDevice>& client,
                                           CSWL_LinkTimer& linkTimer, const std::string& mac,
                                           const std::string& ip, uint16_t port,
                                           DeviceEventCallback callback, void* context,
                                           uint32_t timeoutMs, const std::atomic<bool>* cancel) {
    client.reset();
    auto connectProc = CSWL_ConnectProc::Create(ip.c_str(), port);
    if (!connectProc) {
        return NET_NO_RESOURCES;
    }
    connectProc->SetCancelFlag(cancel);
    const SWL_SOCKET sock = connectProc->ConnectSynEx(static_cast<int>(timeoutMs));
    if (sock == SWL_INVALID_SOCKET) {
        LOG_ERROR("CNetDVSDevice::CreateServerObject", "connect failed %d, mac: %s",
                  connectProc->LastError(), mac.c_str());
        return NET_FAILED;
    }
    auto link = CSWL_TCPLink::Create(sock, linkTimer);
    if (!link) {
        return NET_NO_RESOURCES;
    }

    uint8_t info[SERVER_INFO_SIZE] = {};
    const int received = link->RecvRawData(info, SERVER_INFO_SIZE, timeoutMs, cancel);
    if (received != SWL_RECV_DONE) {
        LOG_ERROR("CNetDVSDevice::CreateServerObject", "recv failed %d, mac: %s", received,
                  mac.c_str());
        return NET_FAILED;
    }
    const uint32_t version = ReadLE32(info + server_info::kProtocolVersion);
    if (version != server_info::kSupportedProtocol) {
        LOG_WARN("CNetDVSDevice::CreateServerObject", "unsupported device %d, mac: %s", version,
                 mac.c_str());
        return version < server_info::kSupportedProtocol ? NET_PROTOCOL_TOO_OLD
                                                         : NET_PROTOCOL_TOO_NEW;
    }

    try {
        client = std::make_shared<CNetDVSDevice>(PrivateTag{}, mac, std::move(connectProc),
                                                 std::move(link), info, callback, context);
    } catch (const std::bad_alloc&) {
        return NET_NO_RESOURCES;
    }
    client->GetMacAddr(client->m_link->GetSocket(), client->m_localMac);
    LOG_INFO("CNetDVSDevice::CreateServerObject",
             "connect succeed, mac: %s, deviceType: 0x%08X, productType: 0x%08X, "
             "protrocolVersion: 0x%08X, encryptType: 0x%08X",
             mac.c_str(), ReadLE32(info + server_info::kDeviceType),
             ReadLE32(info + server_info::kProductType), version,
             ReadLE32(info + server_info::kEncryptType));
    return NET_OK;
}

CNetDVSDevice::CNetDVSDevice(PrivateTag, std::string mac,
                             std::unique_ptr<CSWL_ConnectProc> connectProc,
                             std::unique_ptr<CSWL_TCPLink> link, const uint8_t* serverInfo,
                             DeviceEventCallback callback, void* context)
    : m_mac(std::move(mac)),
      m_connectProc(std::move(connectProc)),
      m_link(std::move(link)),
      m_callback(callback),
      m_context(context) {
    m_channels.fill(128);
    std::memcpy(m_serverInfo.data(), serverInfo, SERVER_INFO_SIZE);
    // From here on the link's keep-alive thread may report a loss.
    m_link->Init(&CNetDVSDevice::RecvEntry, this);
}

CNetDVSDevice::~CNetDVSDevice() {
    // No request of this client is between its reset and its set of the event.
    m_statusEvent.Wait(CPUB_Event::kInfinite);
    // Stops the link's threads; a loss report during this call is harmless.
    m_link->Destroy();
    m_link.reset();
    m_connectProc.reset();
}

void CNetDVSDevice::Interrupt() {
    {
        CPUB_LockAction guard(m_stateLock);
        m_interrupted = true;
    }
    m_requestChanged.notify_all();
    m_link->Interrupt();
}

void CNetDVSDevice::GetMacAddr(SWL_SOCKET sock, std::array<uint8_t, 6>& mac) {
    std::string local;
    if (SWL_GetLocalAddress(sock, local) != 0) {
        LOG_WARN("CNetDVSDevice::GetMacAddr", "getsockname failed %d, mac: %s", SWL_GetLastError(),
                 m_mac.c_str());
        return;
    }
    std::vector<SWL_LOCAL_INTERFACE> interfaces;
    if (SWL_GetLocalInterfaces(interfaces) != 0) {
        return;
    }
    const SWL_LOCAL_INTERFACE* found = SWL_FindInterfaceByAddress(interfaces, local);
    if (found == nullptr) {
        return;
    }
    mac = found->mac;
    LOG_INFO("CNetDVSDevice::GetMacAddr", "localMac: %s, mac: %s", MacToText(mac).c_str(),
             m_mac.c_str());
}

void CNetDVSDevice::GetServerInfo(uint8_t* info64) const {
    std::memcpy(info64, m_serverInfo.data(), SERVER_INFO_SIZE);
}

uint32_t CNetDVSDevice::StartRecv() {
    if (!m_link) {
        return NET_FAILED;
    }
    const int result = m_link->StartAutoRecv();
    return result == 0 || result == 1 ? NET_OK : NET_FAILED;
}

uint32_t CNetDVSDevice::SendPackcmd(uint32_t cmdType, uint32_t dataLength, const void* payload,
                                    uint32_t cmdId) {
    std::vector<uint8_t> frame;
    if (!BuildFrame(frame, cmdType, cmdId, payload, dataLength)) {
        return NET_NO_RESOURCES;
    }
    const int result = m_link->SendData(frame.data(), static_cast<uint32_t>(frame.size()));
    if (result == 0) {
        LOG_INFO("CNetDVSDevice::SendPackcmd",
                 "send cmd succeed, cmdType: %d, cmdId: %d, dataLength: %d", cmdType, cmdId,
                 dataLength);
        return NET_OK;
    }
    LOG_WARN("CNetDVSDevice::SendPackcmd", "send cmd failed %d, cmdType: %d, cmdId: %d", result,
             cmdType, cmdId);
    return NET_SEND_FAILED;
}

uint32_t CNetDVSDevice::SendDirect(uint32_t cmdType, const void* payload, uint32_t dataLength) {
    std::vector<uint8_t> frame;
    if (!BuildFrame(frame, cmdType, 0, payload, dataLength)) {
        return NET_SEND_FAILED;
    }
    return m_link->SendData(frame.data(), static_cast<uint32_t>(frame.size())) == 0
               ? NET_OK
               : NET_SEND_FAILED;
}

void CNetDVSDevice::RecvEntry(void* context, const uint8_t* frame, int32_t length) {
    auto* self = static_cast<CNetDVSDevice*>(context);
    if (frame == nullptr) {
        self->OnLinkLost();
        return;
    }
    if (length < static_cast<int32_t>(NET_CMD_HEAD_SIZE)) {
        LOG_WARN("CNetDVSDevice::ProcRecvCmd", "frame dropped, length: %d, mac: %s", length,
                 self->m_mac.c_str());
        return;
    }
    const uint32_t cmdType = ReadLE32(frame);
    const uint32_t cmdId = ReadLE32(frame + 4);
    const uint32_t dataLength = ReadLE32(frame + 12);
    const auto delivered = static_cast<uint32_t>(length) - NET_CMD_HEAD_SIZE;
    if (dataLength > delivered) {
        LOG_WARN("CNetDVSDevice::ProcRecvCmd",
                 "frame dropped, cmdType: 0x%08X, dataLength: %u, received: %u, mac: %s", cmdType,
                 dataLength, delivered, self->m_mac.c_str());
        return;
    }
    const uint8_t* payload = frame + NET_CMD_HEAD_SIZE;
    if (cmdType == NET_REPLY_STREAM_FRAME || cmdType == NET_REPLY_STREAM_FRAME_2) {
        self->OnStreamFrame(cmdType, payload, dataLength);
        return;
    }
    self->ProcRecvCmd(cmdType, payload, dataLength, cmdId);
}

void CNetDVSDevice::OnLinkLost() {
    SetRequestState(REQUEST_LINK_LOST);
    {
        CPUB_LockAction guard(m_progressLock);
        m_connectState = CONNECT_LINK_LOST;
    }
    m_upgradeNews.Set();
    RaiseEvent(DEVICE_EVENT_LINK_LOST, -1, nullptr, 0);
}

void CNetDVSDevice::RaiseEvent(int32_t event, int32_t length, const void* data, uint32_t cmdId) {
    if (m_callback != nullptr) {
        m_callback(m_context, this, event, length, data, cmdId);
    }
}

uint32_t CNetDVSDevice::MapLoginError(uint32_t deviceError) {
    switch (deviceError) {
        case 2:
            return NET_LOGIN_WRONG_PASSWORD;
        case 3:
        case 4:
            return NET_LOGIN_TOO_MANY;
        case 13:
            return NET_LOGIN_ERROR_13;
        default:
            // 22, 23, 24, 30 and any other error keep their number.
            return deviceError;
    }
}

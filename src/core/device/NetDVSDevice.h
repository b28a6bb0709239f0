// CNetDVSDevice: the client of one camera's binary command protocol, over a
// TCP link (net/SWL_TCPLink.h). One client per connection; no reconnect.
//
// How the upgrade engine uses it (all calls from the one worker thread that
// owns the client; results are the NET_ codes of device/DeviceProtocol.h):
//
//   // 1. Connect, read the camera's 64-byte first message, check protocol.
//   std::shared_ptr<CNetDVSDevice> dev;
//   uint32_t r = CNetDVSDevice::CreateServerObject(dev, linkTimer, mac, ip, port,
//                                                  callback, context, 5000);
//   //   0      connected; `dev` is set (connectState 100)
//   //   13/14  protocol version below/above 3 (NET_PROTOCOL_TOO_OLD/_NEW)
//   //   15     no connection within the time-out (a refused connect also
//   //          ends only after the full time-out), or fewer than 64 bytes
//   //   65535  bad address text, or resources could not be obtained
//   //   `callback` may be null; it is called on the link's threads.
//
//   // 2. Server information (productType at byte 8, for the package check).
//   uint8_t info64[SERVER_INFO_SIZE]; dev->GetServerInfo(info64);
//
//   // 3. Log in (or dev->StartRecv() to receive without a login: 0 or 15).
//   NET_DEVICE_INFO info;
//   r = dev->LogIn(user, password, &info, upgradeMode);
//   //   0   logged in; info.softwareVersion is the camera's version
//   //   1   wrong user name or password        6   too many connections
//   //   5   device error 13                    22/23/24/30  that device error
//   //   4   the request could not be sent or no reply within 20 s
//   //   15  the device's reply was neither an acceptance nor a refusal, or a
//   //       refusal without an error code
//   //   any other value: the device's own error code.
//   //   User name and password are cut to 32 bytes each.
//
//   // 4. Start the transfer: 0, or 4 / 65535 if 0x0A01 could not be sent.
//   //    Old-style packages (newStyle false) send nothing and return 0.
//   r = dev->StartUpgrade(0, newStyle);            // progress := 0, error := 0
//
//   // 5. Blocks: payload = block number n (32-bit LE, 1..100) + its bytes.
//   r = dev->SendUpgradeData(payload, len, 0);     // 0, or 4 (not sent)
//   //    then poll every 100 ms until the camera acknowledges n:
//   dev->GetUpgradeProgress();  // last acknowledged block number; -1 before
//                               // any transfer, 0 after StartUpgrade
//   dev->GetUpgradeError();     // 0 fine; 20 device error 1; 22 must restart
//                               // into upgrade mode; 8 any other device error
//   dev->GetConnectState();     // 0 logged in; 100 connected without login;
//                               // 4 the link is lost
//   //    (PollProgress(&step) is the older poll: 0 with a new step, 3 no
//   //    change, 8 progress 0, 4 link lost.)
//
//   // 6. Tear down: ResetCounters(), then release the shared pointer. The
//   //    destructor closes the connection and joins the link's threads
//   //    (within one loop turn); it never waits for the camera.
//   dev->ResetCounters(); dev.reset();
//
// Other requests wait for their reply in one of three ways: polling every
// 100 ms (some give up after 30, 60 or 100 turns with 15; loss of the link
// ends the wait with 4 within 100 ms), a status event (5000 ms; 18 when it
// runs out) or an auto-reset event (5000 or 10000 ms; 4 when it runs out).
// Only one such request may be outstanding per client.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "device/DeviceProtocol.h"
#include "device/NetDevice.h"
#include "net/SWL_ConnectProc.h"
#include "net/SWL_TCPLink.h"
#include "platform/Pub.h"

class CNetDVSDevice : public CNetDevice {
public:
    // Connects to `ip`:`port`, reads the server information and checks the
    // protocol version. On 0 `client` holds the new client; else it is empty.
    // A set `cancel` flag ends the connect early (a failed connect). The
    // link's keep-alives run on `linkTimer`, which must outlive the client.
    static uint32_t CreateServerObject(std::shared_ptr<CNetDVSDevice>& client,
                                       CSWL_LinkTimer& linkTimer, const std::string& mac,
                                       const std::string& ip, uint16_t port,
                                       DeviceEventCallback callback, void* context,
                                       uint32_t timeoutMs,
                                       const std::atomic<bool>* cancel = nullptr);

    ~CNetDVSDevice() override;

    // CNetDevice
    uint32_t LogIn(const char* userName, const char* password, NET_DEVICE_INFO* info,
                   bool upgradeMode) override;
    uint32_t StartLiveStream(uint8_t type, uint8_t index) override;
    uint32_t StopLiveStream(uint8_t type, uint8_t index) override;
    uint32_t ReopenLiveStream(uint8_t index) override;
    uint32_t Request0405(std::vector<uint8_t>& reply, uint32_t ignored) override;
    uint32_t Send0408(const uint8_t* data, uint32_t length) override;
    uint32_t Exchange0407(const uint8_t* data, uint32_t length,
                          std::vector<uint8_t>& reply) override;
    uint32_t Request020E(std::vector<uint8_t>& reply) override;
    uint32_t Request0208(std::vector<uint8_t>& reply) override;
    uint32_t Send0406() override;
    uint32_t Request0401Short(uint32_t value) override;
    uint32_t StartUpgrade(uint32_t ignored, bool newStyle) override;
    uint32_t ReservedC() override { return NET_OK; }
    uint32_t SendUpgradeData(const uint8_t* data, uint32_t length, uint32_t kind) override;
    // Upgrade data block k (number, then `size` bytes) sent straight from the
    // caller's bytes: 0, or 4.
    uint32_t SendUpgradeBlock(uint32_t k, const uint8_t* data, uint32_t size);
    uint32_t GetUpgradeError() override;
    int32_t GetUpgradeProgress() override;
    uint32_t Send0504() override;
    uint32_t Request0505() override;
    uint32_t PollProgress(int32_t* step) override;
    // Waits up to `timeoutMs` for news of the upgrade: an acknowledgement,
    // an upgrade error or the loss of the link. True when some arrived
    // since the last wait (auto-reset), false after the time-out.
    bool WaitUpgradeNews(uint32_t timeoutMs);
    uint32_t Send0205() override;
    uint32_t GetChannelSettings(ChannelRecords& records) override;
    bool SendChannelSettings(uint32_t channel, const ChannelRecords& records) override;
    uint32_t SetChannelSetting(uint32_t channel, uint32_t item, uint32_t value,
                               std::span<const uint8_t> block) override;
    uint32_t Send0302() override;
    uint32_t Request0701() override;
    uint32_t Send0703() override;
    uint32_t GetConnectState() override;
    // Any thread: ends a wait for a reply or a blocked send at once (the
    // link counts as lost). See CSWL_TCPLink::Interrupt.
    void Interrupt();
    void ResetCounters() override;
    uint32_t GetParameterBlock(ParameterBlock& block) override;

    // Requests beyond the interface. Buffers are bounded by the caller's
    // capacity (`length` in, bytes written out).
    uint32_t Request0401(uint32_t ignored, uint8_t* buffer, uint32_t* length);
    void GetAudioFormat(uint32_t* a, uint32_t* b, uint32_t* c) const;
    void SetAudioFormat(uint32_t a, uint32_t b, uint32_t c);
    uint32_t Request030D(uint32_t* value);
    uint32_t Request0326(uint32_t* value);
    uint32_t Request0328(std::vector<uint8_t>& reply);
    uint32_t Request0212(const uint8_t* data, uint32_t length, uint32_t* value);
    uint32_t Request0216(const uint8_t* data, const char* name, uint32_t length, uint32_t* value);
    uint32_t SetNetworkQrCode(const uint8_t* code256);
    uint32_t Send0C04(uint32_t value, uint32_t ignored);
    uint32_t Request0C05(const uint8_t* data, uint32_t length, uint32_t* value);
    uint32_t Request0C06(std::vector<uint8_t>& reply);
    uint32_t Send0C07();

    // Asks the device to change its working mode; waits for 0x01000A06 up to
    // 5000 ms. 0 when the device answered 1; 15 for any other answer; 18
    // when no answer came; 4 when the link was lost; the send result when the
    // request could not be sent.
    uint32_t SetUpgradeMode(uint32_t mode);

    // Frames a command and sends it as one link message: 0, 4 or 65535.
    uint32_t SendPackcmd(uint32_t cmdType, uint32_t dataLength, const void* payload,
                         uint32_t cmdId);

    // The 64 bytes of server information as they came.
    void GetServerInfo(uint8_t* info64) const;
    // Starts receiving without a login: 0, or 15.
    uint32_t StartRecv();
    // The local adapter MAC of the connection (zero when not found).
    std::array<uint8_t, 6> GetLocalMac() const { return m_localMac; }
    const std::string& MacText() const { return m_mac; }

    // Fills `mac` with the hardware address of the local adapter that owns
    // the local address of `sock`; leaves it unchanged when none does.
    void GetMacAddr(SWL_SOCKET sock, std::array<uint8_t, 6>& mac);

    // Maps a device's login error to a client result.
    static uint32_t MapLoginError(uint32_t deviceError);

    // Time-outs of the event waits (5000, 5000 and 10000 ms). Tests shorten
    // them; not a user setting.
    static void SetWaitLimitsForTest(uint32_t statusMs, uint32_t dataMs, uint32_t replyMs);

    // The link callback: whole frames, or (null, -1) for the loss of the link.
    static void RecvEntry(void* context, const uint8_t* frame, int32_t length);

private:
    struct PrivateTag {};

public:
    CNetDVSDevice(PrivateTag, std::string mac, std::unique_ptr<CSWL_ConnectProc> connectProc,
                  std::unique_ptr<CSWL_TCPLink> link, const uint8_t* serverInfo,
                  DeviceEventCallback callback, void* context);

private:
    // Dispatch of one received frame (other than stream frames).
    void ProcRecvCmd(uint32_t cmdType, const uint8_t* payload, uint32_t dataLength, uint32_t cmdId);
    // The reply families of ProcRecvCmd; each returns false for a code not
    // its own.
    bool OnInfoReply(uint32_t cmdType, const uint8_t* payload, uint32_t dataLength);
    bool OnRequestReply(uint32_t cmdType, const uint8_t* payload, uint32_t dataLength);
    bool OnUpgradeNews(uint32_t cmdType, const uint8_t* payload, uint32_t dataLength);
    void SetInfoValue(size_t index, uint32_t value);
    void SetUpgradeNews(std::optional<int32_t> progress, std::optional<uint32_t> error);
    void OnLinkLost();
    void RaiseEvent(int32_t event, int32_t length, const void* data, uint32_t cmdId);
    void KeepReply(const uint8_t* payload, uint32_t dataLength);
    void KeepData(const uint8_t* payload, uint32_t dataLength);
    void SetDone();
    void SetRefused();
    void OnStreamFrame(uint32_t cmdType, const uint8_t* payload, uint32_t dataLength);

    // Sends a frame without SendPackcmd (not logged): 0, or 4.
    uint32_t SendDirect(uint32_t cmdType, const void* payload, uint32_t dataLength);

    // The reply wait: resets the status event, sets the request state to
    // Waiting, sends with `send`, then sleeps until the state changes or
    // Interrupt is called. Done: `onDone` (under the state lock), 0.
    // Refused: `onRefused()` when given, else the wait goes on. Link lost or
    // interrupted: 4. `turnLimit` 100 ms turns without an answer: 15 (0: no
    // limit). The status event is set on every way out.
    uint32_t PollRequest(const std::function<uint32_t()>& send, uint32_t turnLimit,
                         const std::function<uint32_t()>& onRefused,
                         const std::function<void()>& onDone);
    // The status-event wait (5000 ms): state Done with `result` 1 gives 0.
    uint32_t StatusEventRequest(const std::function<uint32_t()>& send,
                                const std::atomic<uint32_t>& result);
    // Stores the request state under the state lock and wakes the reply wait.
    void SetRequestState(uint32_t state);

    static uint32_t StatusWaitMs();
    static uint32_t DataWaitMs();
    static uint32_t ReplyWaitMs();

    std::array<uint8_t, LOGIN_REQUEST_SIZE> BuildLoginRequest(const std::string& user,
                                                              const std::string& password,
                                                              bool upgradeMode,
                                                              uint32_t& clientNonce) const;
    uint32_t LoginNonce() const;
    void FillDeviceInfo(const uint8_t* payload, uint32_t length, NET_DEVICE_INFO& info);

    const std::string m_mac;
    std::unique_ptr<CSWL_ConnectProc> m_connectProc;
    std::unique_ptr<CSWL_TCPLink> m_link;
    const DeviceEventCallback m_callback;
    void* const m_context;
    std::array<uint8_t, 6> m_localMac{};
    std::array<uint8_t, SERVER_INFO_SIZE> m_serverInfo{};

    // State lock: request state, reply buffer, channel records, results.
    CPUB_Lock m_stateLock;
    std::atomic<uint32_t> m_requestState{REQUEST_IDLE};
    // Notified with every change of the request state and by Interrupt.
    std::condition_variable_any m_requestChanged;
    bool m_interrupted = false;  // by Interrupt, for good
    std::atomic<uint32_t> m_refusalDetail{0};
    std::vector<uint8_t> m_reply;
    std::atomic<uint32_t> m_parameterResult{0};
    std::atomic<uint32_t> m_firstChannelResult{0};
    std::atomic<uint32_t> m_secondChannelResult{0};
    std::atomic<uint32_t> m_streamResult{0};
    std::atomic<uint32_t> m_qrCodeResult{255};
    std::atomic<uint32_t> m_upgradeModeResult{255};
    ChannelRecords m_channels{};

    // Progress lock: progress, last reported, upgrade error, connectState.
    CPUB_Lock m_progressLock;
    int32_t m_progress = -1;
    int32_t m_lastReported = -1;
    uint32_t m_upgradeError = 0;
    uint32_t m_connectState = CONNECT_CONNECTED;

    CPUB_Lock m_commandLock;  // one 0x0407 exchange at a time
    CPUB_Lock m_streamLock;   // open live streams
    std::map<std::pair<uint8_t, uint8_t>, int> m_streams;

    // Data and info replies, under m_dataLock.
    CPUB_Lock m_dataLock;
    std::vector<uint8_t> m_data;
    uint32_t m_infoValues[5] = {};
    std::string m_infoText;

    // Each client has its own status event, so that one client's request
    // never wakes or blocks another's.
    CPUB_Event m_statusEvent{true, true};
    CPUB_Event m_replyEvent{false, false};
    CPUB_Event m_dataEvent{false, false};
    // Set with every change of progress, upgrade error and connect state.
    CPUB_Event m_upgradeNews{false, false};

    NET_DEVICE_INFO m_deviceInfo;
    uint8_t m_audioWidthCode = 0;
    uint8_t m_audioChannelByte = 0;
    uint32_t m_audioSampleRate = 0;
    uint32_t m_audioFormat[3] = {34, 8000, 16};
    std::atomic<uint32_t> m_counters[3] = {};
};

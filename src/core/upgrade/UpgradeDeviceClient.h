// What one upgrade attempt needs of a device connection. The real client
// speaks the cameras' binary protocol; tests may put a scripted one here.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Pub.h"

class IUpgradeDeviceClient {
public:
    virtual ~IUpgradeDeviceClient() = default;

    // The camera's 64-byte first message as 16 words.
    virtual void GetServerInfo(uint32_t info[16]) = 0;
    // Client result 0 on success; `softwareVersion` from the accepted reply.
    virtual uint32_t LogIn(const std::string& user, const std::string& password,
                           uint32_t& softwareVersion, bool upgradeMode) = 0;
    virtual uint32_t StartRecv() = 0;
    virtual uint32_t StartUpgrade(uint32_t ignored, bool newStyle) = 0;
    virtual uint32_t SendUpgradeData(const uint8_t* data, uint32_t length, uint32_t kind) = 0;
    // Upgrade data block k: its number (little-endian), then `size` bytes.
    // A client that can sends them without copying the bytes first.
    virtual uint32_t SendUpgradeBlock(uint32_t k, const uint8_t* data, uint32_t size) {
        std::vector<uint8_t> block(static_cast<size_t>(size) + 4);
        for (int i = 0; i < 4; ++i) {
            block[i] = static_cast<uint8_t>(k >> (8 * i));
        }
        if (size > 0) {
            std::memcpy(block.data() + 4, data, size);
        }
        return SendUpgradeData(block.data(), size + 4, 0);
    }
    virtual uint32_t GetUpgradeError() = 0;
    virtual int32_t GetUpgradeProgress() = 0;
    virtual uint32_t GetConnectState() = 0;
    virtual void ResetCounters() = 0;
    // One turn of the acknowledgement loop: returns when the camera's
    // acknowledgement (or error, or the loss of the link) has arrived, at
    // the latest after `turnMs`. A client without such news just sleeps.
    virtual void WaitForAcknowledgement(uint32_t turnMs) { PUB_Sleep(turnMs); }
    // Any thread: a cancel. Ends a wait for the camera's reply or a send
    // the camera does not take at once; the connection counts as lost.
    virtual void Interrupt() {}
};

using UpgradeDeviceClientPtr = std::shared_ptr<IUpgradeDeviceClient>;

// Connects to a camera; on failure returns null and the client result in
// `error` (13/14 unsupported protocol, 15 connect failed, 65535 no memory).
// A set `cancel` flag (the job's) ends a connect that is still waiting.
using UpgradeClientFactory = std::function<UpgradeDeviceClientPtr(
    const std::string& mac, const std::string& ip, uint16_t port, uint32_t& error,
    uint32_t timeoutMs, const std::atomic<bool>* cancel)>;

class CSWL_LinkTimer;

// The factory of the cameras' real protocol client; the links' keep-alives
// run on `linkTimer`, which must outlive every client made.
UpgradeClientFactory DefaultUpgradeClientFactory(CSWL_LinkTimer& linkTimer);

// Word offsets in the server information.
constexpr int SERVER_INFO_DEVICE_TYPE = 1;
constexpr int SERVER_INFO_PRODUCT_TYPE = 2;

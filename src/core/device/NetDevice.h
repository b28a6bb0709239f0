// The interface through which the upgrade engine drives a camera. The base
// class answers every operation with a fixed value; CNetDVSDevice implements
// it over the cameras' binary protocol. Operations are listed in the order
// of the device family's interface.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "device/DeviceProtocol.h"

constexpr uint32_t CHANNEL_COUNT = 64;
constexpr uint32_t CHANNEL_RECORD_SIZE = 5;
using ChannelRecords = std::array<uint8_t, CHANNEL_COUNT * CHANNEL_RECORD_SIZE>;
constexpr uint32_t PARAMETER_BLOCK_SIZE = 260;
using ParameterBlock = std::array<uint8_t, PARAMETER_BLOCK_SIZE>;

class CNetDevice {
public:
    CNetDevice() = default;
    CNetDevice(const CNetDevice&) = delete;
    CNetDevice& operator=(const CNetDevice&) = delete;

    virtual uint32_t LogIn(const char* userName, const char* password, NET_DEVICE_INFO* info,
                           bool upgradeMode) = 0;
    virtual uint32_t ReservedA() { return NET_OK; }
    virtual uint32_t StartLiveStream(uint8_t type, uint8_t index) = 0;
    virtual uint32_t StopLiveStream(uint8_t type, uint8_t index) = 0;
    virtual uint32_t ReopenLiveStream(uint8_t index) = 0;
    virtual uint32_t Request0405(std::vector<uint8_t>& reply, uint32_t) {
        reply.clear();
        return NET_OK;
    }
    virtual uint32_t ReservedB(uint32_t, uint32_t, uint32_t) { return NET_OK; }
    virtual uint32_t Send0408(const uint8_t*, uint32_t) { return NET_NOT_SUPPORTED; }
    virtual uint32_t Exchange0407(const uint8_t*, uint32_t, std::vector<uint8_t>&) {
        return NET_NOT_SUPPORTED;
    }
    virtual uint32_t Request020E(std::vector<uint8_t>&) { return NET_NOT_SUPPORTED; }
    virtual uint32_t Request0208(std::vector<uint8_t>& reply) {
        reply.clear();
        return NET_OK;
    }
    virtual uint32_t Send0406() { return NET_OK; }
    virtual uint32_t Request0401Short(uint32_t) { return NET_OK; }
    virtual uint32_t StartUpgrade(uint32_t, bool) { return NET_NOT_SUPPORTED; }
    virtual uint32_t ReservedC() { return NET_NOT_SUPPORTED; }
    virtual uint32_t SendUpgradeData(const uint8_t*, uint32_t, uint32_t) {
        return NET_NOT_SUPPORTED;
    }
    virtual uint32_t GetUpgradeError() { return NET_NOT_SUPPORTED; }
    virtual int32_t GetUpgradeProgress() { return static_cast<int32_t>(NET_NOT_SUPPORTED); }
    virtual uint32_t Send0504() { return NET_NOT_SUPPORTED; }
    virtual uint32_t Request0505() { return NET_NOT_SUPPORTED; }
    virtual uint32_t PollProgress(int32_t*) { return NET_OK; }
    virtual uint32_t ReservedD(uint32_t) { return NET_OK; }
    virtual uint32_t Send0205() { return NET_OK; }
    virtual uint32_t GetChannelSettings(ChannelRecords&) { return NET_OK; }
    virtual bool SendChannelSettings(uint32_t, const ChannelRecords&) { return false; }
    // Items 0 to 4 set one byte of the channel's record to `value`; item 5
    // sends the first two bytes of `block`, item 6 its first byte and its
    // 32-bit words 1 and 2.
    virtual uint32_t SetChannelSetting(uint32_t, uint32_t, uint32_t, std::span<const uint8_t>) {
        return NET_OK;
    }
    virtual uint32_t Send0302() { return NET_OK; }
    virtual uint32_t ReservedE(uint32_t, uint32_t, uint32_t) { return NET_OK; }
    virtual uint32_t Request0701() { return NET_OK; }
    virtual uint32_t ReservedF(uint32_t) { return NET_OK; }
    virtual uint32_t Send0703() { return NET_OK; }
    virtual uint32_t GetConnectState() { return CONNECT_LINK_LOST; }
    virtual void ResetCounters() {}
    virtual uint32_t GetParameterBlock(ParameterBlock&) { return NET_OK; }
    virtual ~CNetDevice() = default;
};

// The engine's device connection over the cameras' binary protocol client.
#include <cstring>

#include "device/NetDVSDevice.h"
#include "upgrade/UpgradeDeviceClient.h"

namespace {

// The engine's owner callback: it takes no interest in device events.
int32_t IgnoreDeviceEvent(void*, CNetDVSDevice*, int32_t, int32_t, const void*, uint32_t) {
    return 0;
}

class CNetDVSUpgradeClient : public IUpgradeDeviceClient {
public:
    explicit CNetDVSUpgradeClient(std::shared_ptr<CNetDVSDevice> device)
        : m_device(std::move(device)) {}

    void GetServerInfo(uint32_t info[16]) override {
        uint8_t raw[SERVER_INFO_SIZE] = {};
        m_device->GetServerInfo(raw);
        for (int i = 0; i < 16; ++i) {
            const uint8_t* p = raw + i * 4;
            info[i] = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                      (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
        }
    }
    uint32_t LogIn(const std::string& user, const std::string& password, uint32_t& softwareVersion,
                   bool upgradeMode) override {
        NET_DEVICE_INFO info;
        const uint32_t result = m_device->LogIn(user.c_str(), password.c_str(), &info, upgradeMode);
        softwareVersion = info.softwareVersion;
        return result;
    }
    uint32_t StartRecv() override { return m_device->StartRecv(); }
    uint32_t StartUpgrade(uint32_t ignored, bool newStyle) override {
        return m_device->StartUpgrade(ignored, newStyle);
    }
    uint32_t SendUpgradeData(const uint8_t* data, uint32_t length, uint32_t kind) override {
        return m_device->SendUpgradeData(data, length, kind);
    }
    uint32_t SendUpgradeBlock(uint32_t k, const uint8_t* data, uint32_t size) override {
        return m_device->SendUpgradeBlock(k, data, size);
    }
    uint32_t GetUpgradeError() override { return m_device->GetUpgradeError(); }
    int32_t GetUpgradeProgress() override { return m_device->GetUpgradeProgress(); }
    uint32_t GetConnectState() override { return m_device->GetConnectState(); }
    void ResetCounters() override { m_device->ResetCounters(); }
    void WaitForAcknowledgement(uint32_t turnMs) override { m_device->WaitUpgradeNews(turnMs); }
    void Interrupt() override { m_device->Interrupt(); }

private:
    std::shared_ptr<CNetDVSDevice> m_device;
};

}  // namespace

UpgradeClientFactory DefaultUpgradeClientFactory(CSWL_LinkTimer& linkTimer) {
    return [&linkTimer](const std::string& mac, const std::string& ip, uint16_t port,
                        uint32_t& error, uint32_t timeoutMs,
                        const std::atomic<bool>* cancel) -> UpgradeDeviceClientPtr {
        std::shared_ptr<CNetDVSDevice> device;
        error = CNetDVSDevice::CreateServerObject(device, linkTimer, mac, ip, port,
                                                  IgnoreDeviceEvent, nullptr, timeoutMs, cancel);
        if (error != 0 || !device) {
            return nullptr;
        }
        return std::make_shared<CNetDVSUpgradeClient>(std::move(device));
    };
}

#include "UpgradeModeLoopClient.h"

#include <strings.h>

#include <memory>

#include "net/SWL_LinkTimer.h"

namespace {

// The client result of device error 22.
constexpr uint32_t kUpgradeModeNeeded = 22;

class CUpgradeModeLoopClient : public IUpgradeDeviceClient {
public:
    CUpgradeModeLoopClient(UpgradeDeviceClientPtr real, CSimFleet& fleet, std::string mac,
                           int atBlock, uint32_t offlineMs)
        : m_real(std::move(real)),
          m_fleet(fleet),
          m_mac(std::move(mac)),
          m_atBlock(atBlock),
          m_offlineMs(offlineMs) {}

    void GetServerInfo(uint32_t info[16]) override { m_real->GetServerInfo(info); }
    uint32_t LogIn(const std::string& user, const std::string& password, uint32_t& softwareVersion,
                   bool upgradeMode) override {
        return m_real->LogIn(user, password, softwareVersion, upgradeMode);
    }
    uint32_t StartRecv() override { return m_real->StartRecv(); }
    uint32_t StartUpgrade(uint32_t ignored, bool newStyle) override {
        return m_real->StartUpgrade(ignored, newStyle);
    }
    uint32_t SendUpgradeData(const uint8_t* data, uint32_t length, uint32_t kind) override {
        return m_real->SendUpgradeData(data, length, kind);
    }
    uint32_t GetUpgradeError() override {
        if (!m_refused && m_real->GetUpgradeProgress() >= m_atBlock) {
            m_refused = true;
            m_fleet.Restart(m_mac, m_offlineMs);
        }
        return m_refused ? kUpgradeModeNeeded : m_real->GetUpgradeError();
    }
    int32_t GetUpgradeProgress() override { return m_real->GetUpgradeProgress(); }
    uint32_t GetConnectState() override { return m_real->GetConnectState(); }
    void ResetCounters() override { m_real->ResetCounters(); }

private:
    UpgradeDeviceClientPtr m_real;
    CSimFleet& m_fleet;
    const std::string m_mac;
    const int m_atBlock;
    const uint32_t m_offlineMs;
    bool m_refused = false;  // one worker uses a client
};

}  // namespace

UpgradeClientFactory UpgradeModeOnEveryAttempt(CSimFleet& fleet, const std::string& mac,
                                               int atBlock, uint32_t offlineMs) {
    // The factory's own link timer, alive as long as a copy of it.
    auto timer = std::make_shared<CSWL_LinkTimer>();
    const UpgradeClientFactory real = DefaultUpgradeClientFactory(*timer);
    return [timer, real, &fleet, mac, atBlock, offlineMs](
               const std::string& target, const std::string& ip, uint16_t port, uint32_t& error,
               uint32_t timeoutMs, const std::atomic<bool>* cancel) -> UpgradeDeviceClientPtr {
        UpgradeDeviceClientPtr client = real(target, ip, port, error, timeoutMs, cancel);
        if (!client || strcasecmp(target.c_str(), mac.c_str()) != 0) {
            return client;
        }
        return std::make_shared<CUpgradeModeLoopClient>(client, fleet, mac, atBlock, offlineMs);
    };
}

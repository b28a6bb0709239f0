#include "session/AutoUpgradeCycle.h"

#include "app/IniFile.h"
#include "app/Settings.h"
#include "app/SettingsView.h"
#include "model/MacAddress.h"
#include "model/ResultCode.h"

AUTO_UPGRADE_CONFIG AutoUpgradeSettings(const CSettingsView& settings) {
    AUTO_UPGRADE_CONFIG config;
    config.mac = settings.GetString(settings::kAutoUpgradeDeviceMac);
    config.package1 = settings.GetString(settings::kUpgradePackage1);
    config.package2 = settings.GetString(settings::kUpgradePackage2);
    config.buildNo1 = settings.GetString(settings::kUpgradePackage1BulidNo);
    config.buildNo2 = settings.GetString(settings::kUpgradePackage2BulidNo);
    config.delayMs = settings.GetInt(settings::kAutoUpgradeDelay);
    return config;
}

std::optional<AUTO_UPGRADE_CONFIG> ReadAutoUpgradeConfig(const CSettingsView& settings) {
    if (!settings.GetBool(settings::kAutoUpgradeTest)) {
        return std::nullopt;
    }
    return AutoUpgradeSettings(settings);
}

bool CAutoUpgradeCycle::IsCamera(std::string_view mac) const {
    return !m_config.mac.empty() && SameMac(mac, m_config.mac);
}

std::string CAutoUpgradeCycle::NextPackage(const std::string& lastSent) const {
    const std::string& one = m_config.package1;
    const std::string& two = m_config.package2;
    return !one.empty() && (lastSent != one || two.empty()) ? one : two;
}

std::optional<int> CAutoUpgradeCycle::ExpectedBuild(const std::string& package) const {
    const std::string* buildNo = nullptr;
    if (!package.empty() && package == m_config.package1) {
        buildNo = &m_config.buildNo1;
    } else if (!package.empty() && package == m_config.package2) {
        buildNo = &m_config.buildNo2;
    }
    if (buildNo == nullptr || buildNo->empty()) {
        return std::nullopt;
    }
    return ParseLeadingInt(*buildNo);
}

std::string CAutoUpgradeCycle::FailedPackage(const std::string& lastSent, int build) const {
    const std::optional<int> expected = ExpectedBuild(lastSent);
    return expected && *expected != build ? lastSent : std::string();
}

bool CAutoUpgradeCycle::OnBatchEnded(std::optional<UpgradeResult> cameraCode) {
    if (!m_inBatch) {
        return false;
    }
    m_inBatch = false;
    m_awaitingReturn = true;
    // A camera that already ran the package never left.
    return cameraCode == UpgradeResult::Ok || cameraCode == UpgradeResult::VersionUnchanged ||
           cameraCode == UpgradeResult::AlreadyCurrent;
}

// Every settings key with its file, type and default, in one place.
// Readers ask by key; integer keys apply the "negative means default" rule.
#pragma once

#include <string>
#include <vector>

#include "app/IniFile.h"

enum class SettingFile { Program, User };
enum class SettingType { Boolean, Integer, String };

struct SettingKey {
    const char* key;
    SettingFile file;
    SettingType type;
    const char* defaultValue;  // as text: "true", "15000", "admin"
    const char* meaning;
};

namespace settings {

// Keys of the program settings file.
inline constexpr const char* kShowSlaveIp = "ShowSlaveIp";
inline constexpr const char* kAutoUpgradeTest = "AutoUpgradeTest";
inline constexpr const char* kAutoUpgradeDeviceMac = "AutoUpgradeDeviceMac";
inline constexpr const char* kUpgradePackage1 = "UpgradePackage1";
inline constexpr const char* kUpgradePackage2 = "UpgradePackage2";
inline constexpr const char* kUpgradePackage1BulidNo = "UpgradePackage1BulidNo";
inline constexpr const char* kUpgradePackage2BulidNo = "UpgradePackage2BulidNo";
inline constexpr const char* kAutoUpgradeDelay = "AutoUpgradeDelay";
inline constexpr const char* kTryUpgradeMaxCount = "TryUpgradeMaxCount";
inline constexpr const char* kTryUpgradeMaxCountSingle = "TryUpgradeMaxCountSingle";
inline constexpr const char* kWaitUpgradeModeTimeout = "WaitUpgradeModeTimeout";
inline constexpr const char* kUpgradeDeviceIp = "UpgradeDeviceIp";
inline constexpr const char* kWaitUpgradeProgressTimeout = "WaitUpgradeProgressTimeout";
inline constexpr const char* kWaitUpgradeCompleteTimeout = "WaitUpgradeCompleteTimeout";
inline constexpr const char* kWaitIp2ChangeTimeout = "WaitIp2ChangeTimeout";
inline constexpr const char* kWaitDeviceOfflineTimeout = "WaitDeviceOfflineTimeout";
inline constexpr const char* kWaitRebootTimeout = "WaitRebootTimeout";
inline constexpr const char* kMaxParallelUpgrades = "MaxParallelUpgrades";
// Our own additions.
inline constexpr const char* kSearchTargets = "SearchTargets";
inline constexpr const char* kLogLevel = "LogLevel";
inline constexpr const char* kAllowHttpBasicAuth = "AllowHttpBasicAuth";

// Keys of the per-user settings file.
inline constexpr const char* kSelectedNetworkAdapter = "SelectedNetworkAdapter";
inline constexpr const char* kUsername = "Username";
inline constexpr const char* kPassword = "Password";

// The whole table, in documentation order.
const std::vector<SettingKey>& AllKeys();
// The row of `key` (compared without regard to case), or null.
const SettingKey* FindKey(const std::string& key);

// Reads from the key's own file with the table's default. Integer keys
// other than AutoUpgradeDelay replace a negative value by the default.
std::string GetString(const char* key);
bool GetBool(const char* key);
int GetInt(const char* key);
// Writes a per-user key (the program never writes the program file).
bool WriteUserString(const char* key, const std::string& value);

}  // namespace settings

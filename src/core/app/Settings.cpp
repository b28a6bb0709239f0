#include "app/Settings.h"

#include <strings.h>

#include <cstdlib>

#include "app/RememberedPassword.h"

namespace settings {

namespace {

using F = SettingFile;
using T = SettingType;

const std::vector<SettingKey> kKeys = {
    {kShowSlaveIp, F::Program, T::Boolean, "true", "the slave address column is shown at start"},
    {kAutoUpgradeTest, F::Program, T::Boolean, "false", "turns on the automatic upgrade mode"},
    {kAutoUpgradeDeviceMac, F::Program, T::String, "", "MAC of the automatic mode's device"},
    {kUpgradePackage1, F::Program, T::String, "", "first package of the automatic mode"},
    {kUpgradePackage2, F::Program, T::String, "", "second package of the automatic mode"},
    {kUpgradePackage1BulidNo, F::Program, T::String, "", "build shown after package 1"},
    {kUpgradePackage2BulidNo, F::Program, T::String, "", "build shown after package 2"},
    {kAutoUpgradeDelay, F::Program, T::Integer, "15000", "ms from appearance to upgrade"},
    {kTryUpgradeMaxCount, F::Program, T::Integer, "30", "upper bound of attempts per device"},
    {kTryUpgradeMaxCountSingle, F::Program, T::Integer, "5", "attempts at one address"},
    {kWaitUpgradeModeTimeout, F::Program, T::Integer, "180", "s to come back in upgrade mode"},
    {kUpgradeDeviceIp, F::Program, T::String, "", "fixed device address for the upgrade"},
    {kWaitUpgradeProgressTimeout, F::Program, T::Integer, "60", "s for one block's ack"},
    {kWaitUpgradeCompleteTimeout, F::Program, T::Integer, "360", "s for the last block's ack"},
    {kWaitIp2ChangeTimeout, F::Program, T::Integer, "60", "s for the second address to change"},
    {kWaitDeviceOfflineTimeout, F::Program, T::Integer, "60", "s for the device to go offline"},
    {kWaitRebootTimeout, F::Program, T::Integer, "240", "s for the device to come back"},
    {kMaxParallelUpgrades, F::Program, T::Integer, "32", "cameras upgraded at once, 1 to 64"},
    {kSearchTargets, F::Program, T::String, "",
     "extra unicast search targets, comma-separated host[:port]"},
    {kLogLevel, F::Program, T::Integer, "1", "log threshold: 1 info, 2 warnings, 3 errors, 4 off"},
    {kAllowHttpBasicAuth, F::Program, T::Boolean, "false",
     "HTTP Basic authentication besides Digest (sends the password in clear)"},
    {kSelectedNetworkAdapter, F::User, T::String, "", "adapter chosen at the last start"},
    {kUsername, F::User, T::String, "admin", "device user name"},
    {kPassword, F::User, T::String, "739518", "device password"},
};

CIniFile& FileOf(const SettingKey& row) {
    return row.file == SettingFile::User ? GetUserIni() : GetProgramIni();
}

}  // namespace

const std::vector<SettingKey>& AllKeys() {
    return kKeys;
}

const SettingKey* FindKey(const std::string& key) {
    for (const SettingKey& row : kKeys) {
        if (strcasecmp(row.key, key.c_str()) == 0) {
            return &row;
        }
    }
    return nullptr;
}

std::string GetString(const char* key) {
    const SettingKey* row = FindKey(key);
    if (row == nullptr) {
        return {};
    }
    if (row->key == kPassword) {
        return ReadRememberedPassword();
    }
    return FileOf(*row).GetString(row->key, row->defaultValue);
}

bool GetBool(const char* key) {
    const SettingKey* row = FindKey(key);
    if (row == nullptr) {
        return false;
    }
    return FileOf(*row).GetBool(row->key, std::string(row->defaultValue) == "true");
}

int GetInt(const char* key) {
    const SettingKey* row = FindKey(key);
    if (row == nullptr) {
        return 0;
    }
    const int def = std::atoi(row->defaultValue);
    const int value = FileOf(*row).GetInt(row->key, def);
    if (value < 0 && std::string(row->key) != kAutoUpgradeDelay) {
        return def;
    }
    return value;
}

bool WriteUserString(const char* key, const std::string& value) {
    const SettingKey* row = FindKey(key);
    if (row == nullptr || row->file != SettingFile::User) {
        return false;
    }
    if (row->key == kPassword) {
        return RememberPassword(value, true);
    }
    return GetUserIni().WriteString(row->key, value);
}

}  // namespace settings

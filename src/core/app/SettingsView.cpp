#include "app/SettingsView.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "app/Settings.h"

namespace {

std::string LowerSettingKey(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

CSettingsView::CSettingsView(const std::map<std::string, std::string>& overrides) {
    for (const auto& [key, value] : overrides) {
        m_overrides[LowerSettingKey(key)] = value;
    }
}

const std::string* CSettingsView::Override(const char* key) const {
    if (m_overrides.empty()) {
        return nullptr;
    }
    const auto found = m_overrides.find(LowerSettingKey(key));
    return found == m_overrides.end() ? nullptr : &found->second;
}

std::string CSettingsView::GetString(const char* key) const {
    if (const std::string* value = Override(key)) {
        return value->substr(0, kMaxIniValueChars);
    }
    return settings::GetString(key);
}

bool CSettingsView::GetBool(const char* key) const {
    const std::string* value = Override(key);
    if (value == nullptr || value->empty()) {
        return settings::GetBool(key);
    }
    return *value == "1" || LowerSettingKey(*value) == "true";
}

int CSettingsView::GetInt(const char* key) const {
    const std::string* value = Override(key);
    if (value == nullptr || value->empty()) {
        return settings::GetInt(key);
    }
    const SettingKey* row = settings::FindKey(key);
    const int def = row != nullptr ? std::atoi(row->defaultValue) : 0;
    const int parsed = ParseLeadingInt(*value);
    if (parsed < 0 && std::strcmp(key, settings::kAutoUpgradeDelay) != 0) {
        return def;
    }
    return parsed;
}

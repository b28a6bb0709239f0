// The settings one run reads: the settings files, with values given for
// this run only (a front-end's options) winning over them. A run holds its
// own view, so two runs in one process never see each other's values.
#pragma once

#include <map>
#include <string>

class CSettingsView {
public:
    CSettingsView() = default;
    // Keys are compared without regard to case.
    explicit CSettingsView(const std::map<std::string, std::string>& overrides);

    // As settings::GetString / GetBool / GetInt, with the overrides first.
    std::string GetString(const char* key) const;
    bool GetBool(const char* key) const;
    int GetInt(const char* key) const;

private:
    const std::string* Override(const char* key) const;

    std::map<std::string, std::string> m_overrides;  // keys in lower case
};

#include "WindowState.h"

#include <strings.h>

#include <algorithm>
#include <charconv>

#include "app/IniFile.h"

namespace window_state {

namespace {

std::optional<bool> ReadBool(const CIniFile& ini, const char* key) {
    const std::string text = ini.GetString(key, "");
    if (text == "true" || text == "1") {
        return true;
    }
    if (text == "false" || text == "0") {
        return false;
    }
    return std::nullopt;
}

QByteArray ReadBlob(const CIniFile& ini, const char* key) {
    const std::string text = ini.GetString(key, "");
    return QByteArray::fromBase64(QByteArray::fromStdString(text));
}

bool IsPermutation(std::vector<int> values, int count) {
    if (static_cast<int>(values.size()) != count) {
        return false;
    }
    std::sort(values.begin(), values.end());
    for (int i = 0; i < count; ++i) {
        if (values[static_cast<size_t>(i)] != i) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::vector<int>> ParseIntList(const std::string& text) {
    std::vector<int> values;
    const char* at = text.data();
    const char* end = text.data() + text.size();
    while (at < end) {
        int value = 0;
        const auto [next, ec] = std::from_chars(at, end, value);
        if (ec != std::errc() || value < 0 || value > 100000) {
            return std::nullopt;
        }
        values.push_back(value);
        at = next;
        if (at < end) {
            if (*at != ',') {
                return std::nullopt;
            }
            ++at;
        }
    }
    return values;
}

std::string IntListText(const std::vector<int>& values) {
    std::string text;
    for (const int value : values) {
        text += (text.empty() ? "" : ",") + std::to_string(value);
    }
    return text;
}

SAVED_VIEW Load(int columns) {
    const CIniFile& ini = GetUserIni();
    SAVED_VIEW view;
    view.geometry = ReadBlob(ini, kGeometry);
    view.docks = ReadBlob(ini, kDocks);
    if (auto widths = ParseIntList(ini.GetString(kColumnWidths, ""));
        widths && static_cast<int>(widths->size()) == columns) {
        view.widths = std::move(*widths);
    }
    if (auto order = ParseIntList(ini.GetString(kColumnOrder, ""));
        order && IsPermutation(*order, columns)) {
        view.order = std::move(*order);
    }
    const int sort = ini.GetInt(kSortColumn, -1);
    view.sortColumn = sort >= 0 && sort < columns ? sort : -1;
    view.sortAscending = ReadBool(ini, kSortAscending).value_or(false);
    view.showAi = ReadBool(ini, kShowAi);
    view.showSlaveIp = ReadBool(ini, kShowSlaveIp);
    view.rolloutOpen = ReadBool(ini, kRolloutOpen);
    view.developerLog = ReadBool(ini, kDeveloperLog);
    return view;
}

bool Save(const SAVED_VIEW& view) {
    CIniFile& ini = GetUserIni();
    bool ok = ini.WriteString(kGeometry, view.geometry.toBase64().toStdString());
    ok = ini.WriteString(kDocks, view.docks.toBase64().toStdString()) && ok;
    ok = ini.WriteString(kColumnWidths, IntListText(view.widths)) && ok;
    ok = ini.WriteString(kColumnOrder, IntListText(view.order)) && ok;
    ok = ini.WriteString(kSortColumn, std::to_string(view.sortColumn)) && ok;
    ok = ini.WriteString(kSortAscending, view.sortAscending ? "true" : "false") && ok;
    if (view.showAi) {
        ok = ini.WriteString(kShowAi, *view.showAi ? "true" : "false") && ok;
    }
    for (const auto& [key, value] :
         {std::pair{kShowSlaveIp, view.showSlaveIp}, std::pair{kRolloutOpen, view.rolloutOpen},
          std::pair{kDeveloperLog, view.developerLog}}) {
        if (value) {
            ok = ini.WriteString(key, *value ? "true" : "false") && ok;
        }
    }
    return ok;
}

namespace {

constexpr std::pair<UiLanguage, const char*> kLanguageNames[] = {
    {UiLanguage::English, "en"},
    {UiLanguage::TraditionalChinese, "zh_TW"},
    {UiLanguage::SimplifiedChinese, "zh_CN"},
};

}  // namespace

std::optional<UiLanguage> LoadLanguage() {
    const std::string text = GetUserIni().GetString(kLanguage, "");
    for (const auto& [language, name] : kLanguageNames) {
        if (strcasecmp(text.c_str(), name) == 0) {
            return language;
        }
    }
    return std::nullopt;
}

bool SaveLanguage(UiLanguage language) {
    for (const auto& [known, name] : kLanguageNames) {
        if (known == language) {
            return GetUserIni().WriteString(kLanguage, name);
        }
    }
    return false;
}

}  // namespace window_state

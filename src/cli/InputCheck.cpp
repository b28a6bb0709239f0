#include "InputCheck.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "CliSystem.h"
#include "app/Settings.h"
#include "model/MacAddress.h"
#include "session/SessionNetwork.h"

namespace {

// Longest search a person would mean; more is taken for a typing slip.
constexpr double kMaxSearchSeconds = 3600;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool Digits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at = text.find(separator); at != std::string::npos;
         at = text.find(separator, from)) {
        parts.push_back(text.substr(from, at - from));
        from = at + 1;
    }
    parts.push_back(text.substr(from));
    return parts;
}

// The whole text as an int: optional "-", then digits only.
bool WholeInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty() && text[0] != '+';
}

bool DottedIpv4(const std::string& host) {
    const std::vector<std::string> parts = Split(host, '.');
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](const std::string& p) {
               int value = 0;
               // No leading zeros: "010" reads as octal to some resolvers.
               return Digits(p) && p.size() <= 3 && (p.size() == 1 || p[0] != '0') &&
                      WholeInt(p, value) && value <= 255;
           });
}

bool HostName(const std::string& host) {
    if (host.empty() || host.size() > 253) {
        return false;
    }
    const std::vector<std::string> labels = Split(host, '.');
    return std::all_of(labels.begin(), labels.end(), [](const std::string& l) {
        return !l.empty() && l.size() <= 63 && l.front() != '-' && l.back() != '-' &&
               std::all_of(l.begin(), l.end(),
                           [](unsigned char c) { return std::isalnum(c) || c == '-'; });
    });
}

std::string NearestKey(const std::string& key) {
    const SettingKey* best = nullptr;
    size_t bestDistance = 0;
    for (const SettingKey& row : settings::AllKeys()) {
        const size_t d = EditDistance(key, row.key);
        if (best == nullptr || d < bestDistance) {
            best = &row;
            bestDistance = d;
        }
    }
    return best == nullptr ? std::string() : best->key;
}

// Ranges settings.md gives; other integer keys take any int (negative
// means the default there).
std::string CheckIntegerRange(const SettingKey& row, int value) {
    if (std::string(row.key) == settings::kLogLevel && value >= 0 && (value < 1 || value > 4)) {
        return std::string(row.key) + " must be 1 to 4 (or negative for the default)";
    }
    if (std::string(row.key) == settings::kMaxParallelUpgrades && (value < 1 || value > 64)) {
        return std::string(row.key) + " must be 1 to 64";
    }
    return "";
}

}  // namespace

size_t EditDistance(const std::string& a, const std::string& b) {
    const std::string x = Lower(a);
    const std::string y = Lower(b);
    std::vector<size_t> row(y.size() + 1);
    for (size_t j = 0; j <= y.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= x.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= y.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] != y[j - 1])});
            diagonal = above;
        }
    }
    return row[y.size()];
}

std::string CheckSeconds(const std::string& text, double& seconds) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, seconds);
    if (ec != std::errc() || ptr != end || !std::isfinite(seconds) || seconds <= 0 ||
        seconds > kMaxSearchSeconds) {
        return "--seconds " + text + " is not a number of seconds above 0 and at most 3600";
    }
    return "";
}

std::string CheckTarget(const std::string& target) {
    const size_t colon = target.find(':');
    const std::string host = target.substr(0, colon);
    const bool numeric = !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return c == '.' || std::isdigit(static_cast<unsigned char>(c));
    });
    bool right = numeric ? DottedIpv4(host) : HostName(host);
    if (right && colon != std::string::npos) {
        const std::string port = target.substr(colon + 1);
        int value = 0;
        right = Digits(port) && port.size() <= 5 && WholeInt(port, value) && value >= 1 &&
                value <= 65535;
    }
    if (!right) {
        return "search target \"" + target +
               "\" is not HOST or a.b.c.d, optionally with :PORT (1-65535)";
    }
    return "";
}

std::string CheckSetting(const std::string& key, const std::string& value) {
    const SettingKey* row = settings::FindKey(key);
    if (row == nullptr) {
        return "unknown setting \"" + key + "\"; did you mean " + NearestKey(key) + "?";
    }
    const std::string name = row->key;
    if (name == settings::kPassword) {
        // A password on the command line is seen by every user (process
        // list, shell history).
        return "Password is not taken here (others could read it); use --password-file FILE, "
               "the variable FIRMHAND_PASSWORD, or type it when asked";
    }
    int number = 0;
    switch (row->type) {
        case SettingType::Boolean: {
            const std::string v = Lower(value);
            if (v != "true" && v != "false" && v != "1" && v != "0") {
                return name + "=" + value + ": expected true, false, 1 or 0";
            }
            return "";
        }
        case SettingType::Integer:
            if (!WholeInt(value, number)) {
                return name + "=" + value + ": expected a whole number";
            }
            return CheckIntegerRange(*row, number);
        case SettingType::String:
            break;
    }
    if (name == settings::kSearchTargets && !value.empty()) {
        for (const std::string& item : Split(value, ',')) {
            if (std::string problem = CheckTarget(item); !problem.empty()) {
                return name + ": " + problem;
            }
        }
    }
    return "";
}

std::string CheckAdapter(const std::string& adapter) {
    if (adapter.empty()) {
        return "";
    }
    std::vector<ADAPTER_INFO> adapters;
    if (!GetAdapterList(adapters)) {
        return "";  // nothing to compare with: the search says what it finds
    }
    std::string names;
    for (const ADAPTER_INFO& a : adapters) {
        if (a.AdapterName == adapter) {
            return "";
        }
        names += (names.empty() ? "" : ", ") + a.AdapterName;
    }
    return "unknown adapter \"" + adapter + "\"; adapters here: " + names;
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
    return text.size() > tail.size() &&
           strcasecmp(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

std::string CheckReportPath(const std::string& path) {
    if (!EndsWithNoCase(path, ".json") && !EndsWithNoCase(path, ".csv") &&
        !EndsWithNoCase(path, ".html")) {
        return "report " + path + ": the name must end in .json, .csv or .html";
    }
    if (std::string problem = FileWriteProblem(path); !problem.empty()) {
        return "report " + path + " cannot be written: " + problem;
    }
    return "";
}

std::string NormalMac(const std::string& mac) {
    const std::optional<CMacAddress> parsed = CMacAddress::Parse(mac);
    return parsed ? parsed->Text() : std::string();
}

std::string CheckMacs(std::vector<std::string>& macs) {
    for (std::string& mac : macs) {
        const std::string normal = NormalMac(mac);
        if (normal.empty()) {
            return "MAC \"" + mac + "\" is not six hex pairs joined by : or - (AA:BB:CC:DD:EE:FF)";
        }
        mac = normal;
    }
    return "";
}

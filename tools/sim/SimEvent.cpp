#include "SimEvent.h"

#include <cstdlib>

#include "SimJson.h"

std::string SimEvent::Get(const std::string& name) const {
    for (const auto& field : fields) {
        if (field.name == name) {
            return field.value;
        }
    }
    return {};
}

bool SimEvent::Has(const std::string& name) const {
    for (const auto& field : fields) {
        if (field.name == name) {
            return true;
        }
    }
    return false;
}

int64_t SimEvent::GetInt(const std::string& name, int64_t fallback) const {
    for (const auto& field : fields) {
        if (field.name == name) {
            if (field.value.empty()) {
                return fallback;
            }
            char* end = nullptr;
            const long long v = std::strtoll(field.value.c_str(), &end, 10);
            return (end && *end == '\0') ? v : fallback;
        }
    }
    return fallback;
}

SimEvent& SimEvent::Add(const std::string& name, const std::string& value) {
    fields.push_back({name, value, false});
    return *this;
}

SimEvent& SimEvent::Add(const std::string& name, const char* value) {
    return Add(name, std::string(value ? value : ""));
}

SimEvent& SimEvent::Add(const std::string& name, int64_t value) {
    fields.push_back({name, std::to_string(value), true});
    return *this;
}

SimEvent& SimEvent::Add(const std::string& name, bool value) {
    fields.push_back({name, value ? "true" : "false", true});
    return *this;
}

std::string SimEvent::Json() const {
    std::string line = "{\"t\":" + std::to_string(timeMs) + ",\"mac\":" + SimJsonQuote(mac) +
                       ",\"event\":" + SimJsonQuote(kind);
    for (const auto& field : fields) {
        line += "," + SimJsonQuote(field.name) + ":";
        line += field.number ? field.value : SimJsonQuote(field.value);
    }
    line += "}";
    return line;
}

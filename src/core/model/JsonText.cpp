#include "model/JsonText.h"

#include <cmath>

#include "model/SafeText.h"

namespace {

std::string Dump(const JsonValue& value) {
    // Names and versions come from the network: never refuse to write them.
    return value.dump(-1, ' ', false, JsonValue::error_handler_t::replace);
}

}  // namespace

std::string JsonQuote(const std::string& text) {
    return Dump(JsonValue(text));
}

std::string JsonLine(const JsonValue& value) {
    return Dump(value);
}

CJsonObject& CJsonObject::Add(const std::string& name, const std::string& value) {
    m_value[name] = value;
    return *this;
}

CJsonObject& CJsonObject::Add(const std::string& name, const char* value) {
    return Add(name, std::string(value));
}

CJsonObject& CJsonObject::Add(const std::string& name, long long value) {
    m_value[name] = value;
    return *this;
}

CJsonObject& CJsonObject::Add(const std::string& name, double value) {
    m_value[name] = std::round(value * 10) / 10;
    return *this;
}

CJsonObject& CJsonObject::Add(const std::string& name, const JsonValue& value) {
    m_value[name] = value;
    return *this;
}

std::string CJsonObject::Text() const {
    std::string out = "{";
    const char* separator = "";
    for (const auto& [name, value] : m_value.items()) {
        out += separator + JsonQuote(name) + ": " + Dump(value);
        separator = ", ";
    }
    return out + "}";
}

std::string JsonArray(const std::vector<std::string>& items) {
    if (items.empty()) {
        return "[]";
    }
    std::string out = "[\n";
    for (size_t i = 0; i < items.size(); ++i) {
        out += "  " + items[i] + (i + 1 < items.size() ? ",\n" : "\n");
    }
    return out + "]";
}

std::string CsvField(const std::string& text) {
    return CsvCell(text);
}

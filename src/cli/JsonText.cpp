#include "JsonText.h"

#include <cstdio>

std::string JsonQuote(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

CJsonObject& CJsonObject::Add(const std::string& name, const std::string& value) {
    m_fields.emplace_back(name, JsonQuote(value));
    return *this;
}

CJsonObject& CJsonObject::Add(const std::string& name, const char* value) {
    return Add(name, std::string(value));
}

CJsonObject& CJsonObject::Add(const std::string& name, long long value) {
    m_fields.emplace_back(name, std::to_string(value));
    return *this;
}

CJsonObject& CJsonObject::Add(const std::string& name, double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", value);
    m_fields.emplace_back(name, text);
    return *this;
}

CJsonObject& CJsonObject::AddRaw(const std::string& name, const std::string& json) {
    m_fields.emplace_back(name, json);
    return *this;
}

std::string CJsonObject::Text() const {
    std::string out = "{";
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += JsonQuote(m_fields[i].first) + ": " + m_fields[i].second;
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
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

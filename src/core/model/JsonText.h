// The machine-readable output of the CLI and the reports: JSON by nlohmann-json, laid out as the
// reports have always been (one object per line), and CSV fields.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

// Objects keep their fields in the order added.
using JsonValue = nlohmann::ordered_json;

// A JSON string literal of `text` (quotes included); invalid UTF-8 becomes U+FFFD.
std::string JsonQuote(const std::string& text);

// `value` on one line, without spaces: one event of a JSON lines stream.
std::string JsonLine(const JsonValue& value);

// One JSON object, fields in the order added, written on one line as
// {"name": value, ...}.
class CJsonObject {
public:
    CJsonObject& Add(const std::string& name, const std::string& value);
    CJsonObject& Add(const std::string& name, const char* value);
    CJsonObject& Add(const std::string& name, long long value);
    CJsonObject& Add(const std::string& name, int value) {
        return Add(name, static_cast<long long>(value));
    }
    // Rounded to tenths, as the seconds of the reports.
    CJsonObject& Add(const std::string& name, double value);
    CJsonObject& Add(const std::string& name, const JsonValue& value);
    const JsonValue& Value() const { return m_value; }
    std::string Text() const;

private:
    JsonValue m_value = JsonValue::object();
};

// "[a,b,...]" of already written JSON values, one per line.
std::string JsonArray(const std::vector<std::string>& items);

// A CSV field as CsvCell makes it: controls escaped, formulas defused,
// quoted when it holds a comma or a quote.
std::string CsvField(const std::string& text);

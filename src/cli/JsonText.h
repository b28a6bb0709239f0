// Just enough JSON and CSV writing for the CLI's machine-readable output.
#pragma once

#include <string>
#include <utility>
#include <vector>

// A JSON string literal of `text` (quotes included, control characters escaped).
std::string JsonQuote(const std::string& text);

// One JSON object, fields in the order added.
class CJsonObject {
public:
    CJsonObject& Add(const std::string& name, const std::string& value);
    CJsonObject& Add(const std::string& name, const char* value);
    CJsonObject& Add(const std::string& name, long long value);
    CJsonObject& Add(const std::string& name, int value) { return Add(name, (long long)value); }
    CJsonObject& Add(const std::string& name, double value);
    CJsonObject& AddRaw(const std::string& name, const std::string& json);
    std::string Text() const;

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};

// "[a,b,...]" of already written JSON values, one per line.
std::string JsonArray(const std::vector<std::string>& items);

// A CSV field, quoted when it holds a comma, quote or line break.
std::string CsvField(const std::string& text);

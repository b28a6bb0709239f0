#include "SimJson.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace {

// Deeper documents are refused before the tree is built, so that a hostile
// file cannot make the conversion below recurse without end.
constexpr int kMaxDepth = 64;

}  // namespace

const CSimJson* CSimJson::Find(const std::string& name) const {
    const CSimJson* found = nullptr;
    for (const auto& member : m_members) {
        if (member.first == name) {
            found = &member.second;
        }
    }
    return found;
}

// Turns the library's value into the tree the fleet reader walks.
class CSimJsonParser {
public:
    static void Convert(const nlohmann::ordered_json& in, CSimJson* out) {
        using Value = nlohmann::ordered_json::value_t;
        switch (in.type()) {
            case Value::boolean:
                out->m_type = CSimJson::Type::Bool;
                out->m_bool = in.get<bool>();
                break;
            case Value::number_integer:
                SetNumber(static_cast<double>(in.get<int64_t>()), true, in.get<int64_t>(), out);
                break;
            case Value::number_unsigned: {
                const uint64_t value = in.get<uint64_t>();
                const bool fits = value <= static_cast<uint64_t>(INT64_MAX);
                SetNumber(static_cast<double>(value), fits, fits ? static_cast<int64_t>(value) : 0,
                          out);
                break;
            }
            case Value::number_float: {
                const double value = in.get<double>();
                // 1e3 is written as a float but is a whole number.
                const bool whole = std::trunc(value) == value && std::fabs(value) < 9.2e18;
                SetNumber(value, whole, whole ? static_cast<int64_t>(value) : 0, out);
                break;
            }
            case Value::string:
                out->m_type = CSimJson::Type::String;
                out->m_string = in.get<std::string>();
                break;
            case Value::array:
                out->m_type = CSimJson::Type::Array;
                for (const auto& item : in) {
                    Convert(item, &out->m_items.emplace_back());
                }
                break;
            case Value::object:
                out->m_type = CSimJson::Type::Object;
                for (const auto& [key, value] : in.items()) {
                    out->m_members.emplace_back(key, CSimJson());
                    Convert(value, &out->m_members.back().second);
                }
                break;
            default:
                out->m_type = CSimJson::Type::Null;
        }
    }

private:
    static void SetNumber(double number, bool integral, int64_t integer, CSimJson* out) {
        out->m_type = CSimJson::Type::Number;
        out->m_number = number;
        out->m_integral = integral;
        out->m_integer = integer;
    }
};

bool CSimJson::Parse(const std::string& text, CSimJson* out, std::string* error) {
    bool tooDeep = false;
    const auto limitDepth = [&](int depth, nlohmann::ordered_json::parse_event_t,
                                nlohmann::ordered_json&) {
        tooDeep = tooDeep || depth > kMaxDepth;
        return !tooDeep;
    };
    nlohmann::ordered_json document;
    try {
        document = nlohmann::ordered_json::parse(text, limitDepth);
    } catch (const nlohmann::ordered_json::parse_error& e) {
        if (error) {
            // The library's message without its prefix, and where.
            std::string message = e.what();
            const size_t colon = message.rfind(": ");
            message = colon == std::string::npos ? message : message.substr(colon + 2);
            *error = message + " at offset " + std::to_string(e.byte);
        }
        return false;
    }
    if (tooDeep) {
        if (error) {
            *error = "nesting deeper than " + std::to_string(kMaxDepth) + " levels";
        }
        return false;
    }
    *out = CSimJson();
    CSimJsonParser::Convert(document, out);
    return true;
}

std::string SimJsonQuote(const std::string& text) {
    // Invalid UTF-8 (a name from a file) becomes U+FFFD instead of an error.
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

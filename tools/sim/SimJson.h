// The fleet file's JSON as a value tree (read by nlohmann-json), and string
// escaping for the event log. Bounded: nesting depth 64; numbers are
// doubles, with the integral ones kept exactly as 64-bit integers too.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CSimJson {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    Type GetType() const { return m_type; }
    bool IsNull() const { return m_type == Type::Null; }
    bool IsBool() const { return m_type == Type::Bool; }
    bool IsNumber() const { return m_type == Type::Number; }
    bool IsString() const { return m_type == Type::String; }
    bool IsArray() const { return m_type == Type::Array; }
    bool IsObject() const { return m_type == Type::Object; }
    // True when the number has no fraction and fits 64 bits.
    bool IsInteger() const { return m_type == Type::Number && m_integral; }

    bool Bool() const { return m_bool; }
    double Number() const { return m_number; }
    int64_t Integer() const { return m_integer; }
    const std::string& String() const { return m_string; }
    const std::vector<CSimJson>& Items() const { return m_items; }
    // Members in file order; a repeated name keeps its last value in Find.
    const std::vector<std::pair<std::string, CSimJson>>& Members() const { return m_members; }
    const CSimJson* Find(const std::string& name) const;

    // Parses `text`; on failure returns false with a message naming the offset.
    static bool Parse(const std::string& text, CSimJson* out, std::string* error);

private:
    friend class CSimJsonParser;
    Type m_type = Type::Null;
    bool m_bool = false;
    bool m_integral = false;
    double m_number = 0;
    int64_t m_integer = 0;
    std::string m_string;
    std::vector<CSimJson> m_items;
    std::vector<std::pair<std::string, CSimJson>> m_members;
};

// `text` as a JSON string literal, quotes included.
std::string SimJsonQuote(const std::string& text);

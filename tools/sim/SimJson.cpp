#include "SimJson.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

const CSimJson* CSimJson::Find(const std::string& name) const {
    const CSimJson* found = nullptr;
    for (const auto& member : m_members) {
        if (member.first == name) {
            found = &member.second;
        }
    }
    return found;
}

class CSimJsonParser {
public:
    explicit CSimJsonParser(const std::string& text) : m_text(text) {}

    bool Document(CSimJson* out, std::string* error) {
        SkipSpace();
        if (!Value(out, 0)) {
            return Fail(error);
        }
        SkipSpace();
        if (m_pos != m_text.size()) {
            m_message = "unexpected text after the value";
            return Fail(error);
        }
        return true;
    }

private:
    static constexpr int kMaxDepth = 64;

    bool Fail(std::string* error) {
        if (error) {
            *error = m_message + " at offset " + std::to_string(m_pos);
        }
        return false;
    }
    bool Error(const char* message) {
        m_message = message;
        return false;
    }
    void SkipSpace() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r')) {
            ++m_pos;
        }
    }
    bool Literal(const char* word) {
        const std::string w(word);
        if (m_text.compare(m_pos, w.size(), w) != 0) {
            return Error("unknown literal");
        }
        m_pos += w.size();
        return true;
    }

    bool Value(CSimJson* out, int depth) {
        if (depth > kMaxDepth) {
            return Error("nesting too deep");
        }
        if (m_pos >= m_text.size()) {
            return Error("unexpected end");
        }
        const char c = m_text[m_pos];
        switch (c) {
            case '{':
                return Object(out, depth);
            case '[':
                return Array(out, depth);
            case '"':
                out->m_type = CSimJson::Type::String;
                return String(&out->m_string);
            case 't':
                out->m_type = CSimJson::Type::Bool;
                out->m_bool = true;
                return Literal("true");
            case 'f':
                out->m_type = CSimJson::Type::Bool;
                out->m_bool = false;
                return Literal("false");
            case 'n':
                out->m_type = CSimJson::Type::Null;
                return Literal("null");
            default:
                return NumberValue(out);
        }
    }

    bool Object(CSimJson* out, int depth) {
        out->m_type = CSimJson::Type::Object;
        ++m_pos;
        SkipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == '}') {
            ++m_pos;
            return true;
        }
        for (;;) {
            SkipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != '"') {
                return Error("expected a member name");
            }
            std::string name;
            if (!String(&name)) {
                return false;
            }
            SkipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != ':') {
                return Error("expected ':'");
            }
            ++m_pos;
            SkipSpace();
            CSimJson value;
            if (!Value(&value, depth + 1)) {
                return false;
            }
            out->m_members.emplace_back(std::move(name), std::move(value));
            SkipSpace();
            if (m_pos < m_text.size() && m_text[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_pos < m_text.size() && m_text[m_pos] == '}') {
                ++m_pos;
                return true;
            }
            return Error("expected ',' or '}'");
        }
    }

    bool Array(CSimJson* out, int depth) {
        out->m_type = CSimJson::Type::Array;
        ++m_pos;
        SkipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == ']') {
            ++m_pos;
            return true;
        }
        for (;;) {
            SkipSpace();
            CSimJson value;
            if (!Value(&value, depth + 1)) {
                return false;
            }
            out->m_items.push_back(std::move(value));
            SkipSpace();
            if (m_pos < m_text.size() && m_text[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_pos < m_text.size() && m_text[m_pos] == ']') {
                ++m_pos;
                return true;
            }
            return Error("expected ',' or ']'");
        }
    }

    bool Hex4(uint32_t* value) {
        if (m_pos + 4 > m_text.size()) {
            return Error("short \\u escape");
        }
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos++];
            v <<= 4;
            if (c >= '0' && c <= '9') {
                v |= c - '0';
            } else if (c >= 'a' && c <= 'f') {
                v |= c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                v |= c - 'A' + 10;
            } else {
                return Error("bad \\u escape");
            }
        }
        *value = v;
        return true;
    }

    static void AppendUtf8(std::string* out, uint32_t cp) {
        if (cp < 0x80) {
            *out += char(cp);
        } else if (cp < 0x800) {
            *out += char(0xC0 | (cp >> 6));
            *out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *out += char(0xE0 | (cp >> 12));
            *out += char(0x80 | ((cp >> 6) & 0x3F));
            *out += char(0x80 | (cp & 0x3F));
        } else {
            *out += char(0xF0 | (cp >> 18));
            *out += char(0x80 | ((cp >> 12) & 0x3F));
            *out += char(0x80 | ((cp >> 6) & 0x3F));
            *out += char(0x80 | (cp & 0x3F));
        }
    }

    bool String(std::string* out) {
        ++m_pos;  // opening quote
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return Error("control character in a string");
            }
            if (c != '\\') {
                *out += c;
                continue;
            }
            if (m_pos >= m_text.size()) {
                break;
            }
            const char e = m_text[m_pos++];
            switch (e) {
                case '"':
                    *out += '"';
                    break;
                case '\\':
                    *out += '\\';
                    break;
                case '/':
                    *out += '/';
                    break;
                case 'b':
                    *out += '\b';
                    break;
                case 'f':
                    *out += '\f';
                    break;
                case 'n':
                    *out += '\n';
                    break;
                case 'r':
                    *out += '\r';
                    break;
                case 't':
                    *out += '\t';
                    break;
                case 'u': {
                    uint32_t cp = 0;
                    if (!Hex4(&cp)) {
                        return false;
                    }
                    if (cp >= 0xD800 && cp < 0xDC00) {
                        uint32_t low = 0;
                        if (m_text.compare(m_pos, 2, "\\u") != 0) {
                            return Error("lone surrogate");
                        }
                        m_pos += 2;
                        if (!Hex4(&low) || low < 0xDC00 || low > 0xDFFF) {
                            return Error("bad surrogate pair");
                        }
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    } else if (cp >= 0xDC00 && cp < 0xE000) {
                        return Error("lone surrogate");
                    }
                    AppendUtf8(out, cp);
                    break;
                }
                default:
                    return Error("bad escape");
            }
        }
        return Error("unterminated string");
    }

    bool NumberValue(CSimJson* out) {
        const size_t start = m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '-')
            ++m_pos;
        const size_t digits = m_pos;
        while (m_pos < m_text.size() && isdigit(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
        if (m_pos == digits) {
            return Error("unexpected character");
        }
        bool integral = true;
        if (m_pos < m_text.size() && m_text[m_pos] == '.') {
            integral = false;
            ++m_pos;
            const size_t frac = m_pos;
            while (m_pos < m_text.size() && isdigit(static_cast<unsigned char>(m_text[m_pos])))
                ++m_pos;
            if (m_pos == frac)
                return Error("bad number");
        }
        if (m_pos < m_text.size() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
            integral = false;
            ++m_pos;
            if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-'))
                ++m_pos;
            const size_t exp = m_pos;
            while (m_pos < m_text.size() && isdigit(static_cast<unsigned char>(m_text[m_pos])))
                ++m_pos;
            if (m_pos == exp)
                return Error("bad number");
        }
        const std::string token = m_text.substr(start, m_pos - start);
        out->m_type = CSimJson::Type::Number;
        out->m_number = std::strtod(token.c_str(), nullptr);
        if (integral && token.size() <= 19) {
            out->m_integral = true;
            out->m_integer = std::strtoll(token.c_str(), nullptr, 10);
        } else if (!integral && std::isfinite(out->m_number) &&
                   out->m_number == std::floor(out->m_number) && std::fabs(out->m_number) < 9e18) {
            out->m_integral = true;
            out->m_integer = static_cast<int64_t>(out->m_number);
        }
        return true;
    }

    const std::string& m_text;
    size_t m_pos = 0;
    std::string m_message;
};

bool CSimJson::Parse(const std::string& text, CSimJson* out, std::string* error) {
    CSimJson value;
    CSimJsonParser parser(text);
    if (!parser.Document(&value, error)) {
        return false;
    }
    *out = std::move(value);
    return true;
}

std::string SimJsonQuote(const std::string& text) {
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
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

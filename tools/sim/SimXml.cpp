#include "SimXml.h"

#include <cstdlib>
#include <cstring>

std::string SimXmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

CSimXmlWriter::CSimXmlWriter() : m_text("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n") {}

void CSimXmlWriter::Indent() {
    m_text.append(m_open.size() * 2, ' ');
}

void CSimXmlWriter::Open(const std::string& name) {
    Indent();
    m_text += "<" + name + ">\n";
    m_open.push_back(name);
}

void CSimXmlWriter::Close() {
    if (m_open.empty()) {
        return;
    }
    const std::string name = m_open.back();
    m_open.pop_back();
    Indent();
    m_text += "</" + name + ">\n";
}

void CSimXmlWriter::Element(const std::string& name, const std::string& text) {
    Indent();
    m_text += "<" + name + ">" + SimXmlEscape(text) + "</" + name + ">\n";
}

const SimXmlNode* SimXmlNode::Child(const std::string& childName) const {
    for (const auto& child : children) {
        if (child.name == childName) {
            return &child;
        }
    }
    return nullptr;
}

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : m_text(text) {}

    bool Document(SimXmlNode* root) {
        SkipMisc();
        if (!At('<')) {
            return Error("no root element");
        }
        if (!ElementAt(root, 0)) {
            return false;
        }
        SkipMisc();
        if (m_pos != m_text.size()) {
            return Error("text after the root element");
        }
        return true;
    }

    std::string Message() const { return m_error + " at offset " + std::to_string(m_pos); }

private:
    static constexpr int kMaxDepth = 32;

    bool Error(const char* message) {
        if (m_error.empty())
            m_error = message;
        return false;
    }
    bool At(char c) const { return m_pos < m_text.size() && m_text[m_pos] == c; }
    bool StartsWith(const char* s) const { return m_text.compare(m_pos, strlen(s), s) == 0; }
    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool IsNameChar(char c) {
        return isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' ||
               c == ':' || static_cast<unsigned char>(c) >= 0x80;
    }
    void SkipSpace() {
        while (m_pos < m_text.size() && IsSpace(m_text[m_pos]))
            ++m_pos;
    }
    bool SkipPast(const char* end) {
        const size_t at = m_text.find(end, m_pos);
        if (at == std::string::npos) {
            m_pos = m_text.size();
            return false;
        }
        m_pos = at + strlen(end);
        return true;
    }
    // Whitespace, the declaration, processing instructions and comments.
    void SkipMisc() {
        for (;;) {
            SkipSpace();
            if (StartsWith("<?")) {
                SkipPast("?>");
            } else if (StartsWith("<!--")) {
                SkipPast("-->");
            } else {
                return;
            }
        }
    }
    std::string Name() {
        const size_t start = m_pos;
        while (m_pos < m_text.size() && IsNameChar(m_text[m_pos]))
            ++m_pos;
        return m_text.substr(start, m_pos - start);
    }

    bool Entity(std::string* out) {
        const size_t end = m_text.find(';', m_pos);
        if (end == std::string::npos || end - m_pos > 10) {
            return Error("bad entity");
        }
        const std::string name = m_text.substr(m_pos + 1, end - m_pos - 1);
        m_pos = end + 1;
        if (name == "lt")
            *out += '<';
        else if (name == "gt")
            *out += '>';
        else if (name == "amp")
            *out += '&';
        else if (name == "quot")
            *out += '"';
        else if (name == "apos")
            *out += '\'';
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            char* endp = nullptr;
            const long cp = std::strtol(name.c_str() + (hex ? 2 : 1), &endp, hex ? 16 : 10);
            if (*endp != '\0' || cp <= 0 || cp > 0x7F) {
                // Only ASCII references are needed by the documents we read.
                return Error("unsupported character reference");
            }
            *out += char(cp);
        } else {
            return Error("unknown entity");
        }
        return true;
    }

    bool ElementAt(SimXmlNode* node, int depth) {
        if (depth > kMaxDepth) {
            return Error("nesting too deep");
        }
        ++m_pos;  // '<'
        node->name = Name();
        if (node->name.empty()) {
            return Error("element without a name");
        }
        // Attributes are skipped, but their syntax is checked.
        for (;;) {
            SkipSpace();
            if (StartsWith("/>")) {
                m_pos += 2;
                return true;
            }
            if (At('>')) {
                ++m_pos;
                break;
            }
            if (Name().empty()) {
                return Error("bad attribute");
            }
            SkipSpace();
            if (!At('='))
                return Error("attribute without a value");
            ++m_pos;
            SkipSpace();
            if (!At('"') && !At('\''))
                return Error("unquoted attribute value");
            const char quote = m_text[m_pos++];
            const size_t end = m_text.find(quote, m_pos);
            if (end == std::string::npos)
                return Error("unterminated attribute value");
            m_pos = end + 1;
        }
        // Content.
        for (;;) {
            if (m_pos >= m_text.size()) {
                return Error("unterminated element");
            }
            if (StartsWith("</")) {
                m_pos += 2;
                if (Name() != node->name) {
                    return Error("mismatched end tag");
                }
                SkipSpace();
                if (!At('>'))
                    return Error("bad end tag");
                ++m_pos;
                return true;
            }
            if (StartsWith("<!--")) {
                if (!SkipPast("-->"))
                    return Error("unterminated comment");
                continue;
            }
            if (StartsWith("<!") || StartsWith("<?")) {
                return Error("unsupported markup");
            }
            if (At('<')) {
                node->children.emplace_back();
                if (!ElementAt(&node->children.back(), depth + 1)) {
                    return false;
                }
                continue;
            }
            if (At('&')) {
                if (!Entity(&node->text))
                    return false;
                continue;
            }
            node->text += m_text[m_pos++];
        }
    }

    const std::string& m_text;
    size_t m_pos = 0;
    std::string m_error;
};

std::string TrimXmlText(const std::string& s) {
    size_t a = 0;
    size_t b = s.size();
    while (a < b && isspace(static_cast<unsigned char>(s[a])))
        ++a;
    while (b > a && isspace(static_cast<unsigned char>(s[b - 1])))
        --b;
    return s.substr(a, b - a);
}

}  // namespace

bool SimXmlParse(const std::string& text, SimXmlNode* root, std::string* error) {
    Parser parser(text);
    SimXmlNode node;
    if (!parser.Document(&node)) {
        if (error)
            *error = parser.Message();
        return false;
    }
    *root = std::move(node);
    return true;
}

bool SimIsSearchProbe(const std::string& datagram, uint32_t* seq, std::string* reason) {
    auto refuse = [&](const std::string& why) {
        if (reason)
            *reason = why;
        return false;
    };
    SimXmlNode root;
    std::string error;
    if (!SimXmlParse(datagram, &root, &error)) {
        return refuse("not XML: " + error);
    }
    if (root.name != "multicastSearch") {
        return refuse("root element " + root.name);
    }
    const SimXmlNode* version = root.Child("version");
    if (!version || TrimXmlText(version->text) != "1") {
        return refuse("version missing or not 1");
    }
    const SimXmlNode* seqNode = root.Child("seq");
    const std::string seqText = seqNode ? TrimXmlText(seqNode->text) : "";
    if (seqText.empty() || seqText.size() > 10 ||
        seqText.find_first_not_of("0123456789") != std::string::npos ||
        std::strtoull(seqText.c_str(), nullptr, 10) > 0xFFFFFFFFull) {
        return refuse("seq missing or not a 32-bit number");
    }
    if (seq)
        *seq = static_cast<uint32_t>(std::strtoul(seqText.c_str(), nullptr, 10));
    return true;
}

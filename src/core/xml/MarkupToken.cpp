#include "xml/MarkupToken.h"

#include <cstring>

namespace markup {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Letters of any script: UTF-8 lead and continuation bytes count as letters.
bool IsNameStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u == ':' || u >= 0x80;
}

size_t NameEndFrom(std::string_view doc, size_t pos) {
    while (pos < doc.size() && !IsNameEnd(doc[pos])) {
        ++pos;
    }
    return pos;
}

Token Unterminated(TokenKind kind, size_t start, size_t size, const char* what) {
    Token t;
    t.kind = kind;
    t.start = start;
    t.end = size;
    t.terminated = false;
    t.what = what;
    return t;
}

// A construct closed by `close`, searched from `from`.
Token Delimited(std::string_view doc, TokenKind kind, size_t start, size_t from,
                std::string_view close, const char* what) {
    const size_t at = from <= doc.size() ? doc.find(close, from) : std::string_view::npos;
    if (at == std::string_view::npos) {
        return Unterminated(kind, start, doc.size(), what);
    }
    Token t;
    t.kind = kind;
    t.start = start;
    t.end = at + close.size();
    return t;
}

Token Bad(size_t start, const char* what) {
    Token t;
    t.kind = TokenKind::Bad;
    t.start = start;
    t.end = start + 1;
    t.what = what;
    return t;
}

Token StartTag(std::string_view doc, size_t pos) {
    Token t;
    t.kind = TokenKind::StartTag;
    t.start = pos;
    t.nameStart = pos + 1;
    t.nameEnd = NameEndFrom(doc, t.nameStart);
    // A ">" inside quotes does not end the tag.
    char quote = 0;
    size_t lastQuoteClose = std::string_view::npos;
    for (size_t i = t.nameEnd; i < doc.size(); ++i) {
        const char c = doc[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
                lastQuoteClose = i;
            }
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            t.end = i + 1;
            // "/>" makes an empty-element tag when the "/" follows the name,
            // white space or a closing quote (not an unquoted value).
            if (i > t.nameEnd && doc[i - 1] == '/') {
                const size_t slash = i - 1;
                t.emptyElement =
                    slash == t.nameEnd || IsSpace(doc[slash - 1]) || lastQuoteClose == slash - 1;
            }
            return t;
        }
    }
    Token u = Unterminated(TokenKind::StartTag, pos, doc.size(), "Element tag");
    u.nameStart = t.nameStart;
    u.nameEnd = t.nameEnd;
    return u;
}

Token EndTag(std::string_view doc, size_t pos) {
    Token t;
    t.kind = TokenKind::EndTag;
    t.start = pos;
    t.nameStart = pos + 2;
    t.nameEnd = NameEndFrom(doc, t.nameStart);
    const size_t close = doc.find('>', t.nameEnd);
    if (close == std::string_view::npos) {
        Token u = Unterminated(TokenKind::EndTag, pos, doc.size(), "Element end tag");
        u.nameStart = t.nameStart;
        u.nameEnd = t.nameEnd;
        return u;
    }
    t.end = close + 1;
    return t;
}

Token CDataSection(std::string_view doc, size_t pos) {
    static constexpr std::string_view kOpen = "<![CDATA[";
    const size_t inner = doc.substr(pos).starts_with(kOpen) ? pos + kOpen.size() : pos + 3;
    Token t = Delimited(doc, TokenKind::CData, pos, inner, "]]>", "CDATA Section");
    t.innerStart = inner;
    t.innerEnd = t.terminated ? t.end - 3 : doc.size();
    return t;
}

// "<!DOCTYPE ...>": a ">" inside the bracketed internal subset does not end it.
Token Doctype(std::string_view doc, size_t pos) {
    bool inSubset = false;
    for (size_t i = pos + 2; i < doc.size(); ++i) {
        const char c = doc[i];
        if (c == '[') {
            inSubset = true;
        } else if (c == ']') {
            inSubset = false;
        } else if (c == '>' && !inSubset) {
            Token t;
            t.kind = TokenKind::Doctype;
            t.start = pos;
            t.end = i + 1;
            return t;
        }
    }
    return Unterminated(TokenKind::Doctype, pos, doc.size(), "Doctype");
}

Token Bang(std::string_view doc, size_t pos) {
    const size_t n = doc.size();
    if (pos + 2 >= n) {
        return Unterminated(TokenKind::Declaration, pos, n, "tag");
    }
    switch (doc[pos + 2]) {
        case '-':
            if (pos + 3 >= n) {
                return Unterminated(TokenKind::Comment, pos, n, "Comment");
            }
            if (doc[pos + 3] != '-') {
                return Bad(pos, "comment tag");
            }
            return Delimited(doc, TokenKind::Comment, pos, pos + 4, "-->", "Comment");
        case '[':
            if (pos + 3 >= n) {
                return Unterminated(TokenKind::Declaration, pos, n, "tag");
            }
            if (doc[pos + 3] != 'C') {
                return Bad(pos, "tag");
            }
            return CDataSection(doc, pos);
        case 'D':
            return Doctype(doc, pos);
        case 'E':
        case 'A':
        case 'N':
            return Delimited(doc, TokenKind::Declaration, pos, pos + 2, ">", "tag");
        default:
            return Bad(pos, "! tag");
    }
}

}  // namespace

bool IsNameEnd(char c) {
    return std::strchr(" \t\n\r<>=\\/?!", c) != nullptr && c != '\0';
}

bool IsBlank(std::string_view text) {
    for (char c : text) {
        if (!IsSpace(c)) {
            return false;
        }
    }
    return true;
}

Token NextToken(std::string_view doc, size_t pos) {
    const size_t n = doc.size();
    if (doc[pos] != '<') {
        Token t;
        t.kind = TokenKind::Text;
        t.start = pos;
        const size_t next = doc.find('<', pos);
        t.end = next == std::string_view::npos ? n : next;
        return t;
    }
    if (pos + 1 >= n) {
        return Unterminated(TokenKind::Bad, pos, n, "tag");
    }
    const char c = doc[pos + 1];
    if (c == '/') {
        return EndTag(doc, pos);
    }
    if (c == '?') {
        return Delimited(doc, TokenKind::Instruction, pos, pos + 2, "?>", "Processing instruction");
    }
    if (c == '!') {
        return Bang(doc, pos);
    }
    if (IsNameStart(c)) {
        return StartTag(doc, pos);
    }
    return Bad(pos, "tag name character");
}

namespace {

void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        // Three bytes from the low 16 bits.
        out += static_cast<char>(0xE0 | ((code >> 12) & 0x0F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (hex && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (hex && c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// "&#65;" or "&#x41;" at `amp`: the code and the offset of its ";", or false.
// The ";" must stand within the 7 characters that follow "&#".
bool ReadCharacterReference(std::string_view text, size_t amp, unsigned& code, size_t& semicolon) {
    const size_t limit = amp + 2 + 7;  // one past the last place for ";"
    size_t i = amp + 2;
    const bool hex = i < text.size() && text[i] == 'x';
    if (hex) {
        ++i;
    }
    const size_t digitsStart = i;
    code = 0;
    for (; i < text.size() && i < limit; ++i) {
        const int d = DigitValue(text[i], hex);
        if (d < 0) {
            break;
        }
        code = code * (hex ? 16 : 10) + static_cast<unsigned>(d);
    }
    if (i == digitsStart || i >= text.size() || i >= limit || text[i] != ';') {
        return false;
    }
    semicolon = i;
    return true;
}

}  // namespace

std::string DecodeReferences(std::string_view text) {
    static constexpr struct {
        std::string_view ref;
        char c;
    } kNamed[] = {{"&lt;", '<'}, {"&amp;", '&'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};

    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        const std::string_view rest = text.substr(i);
        bool done = false;
        for (const auto& named : kNamed) {
            if (rest.starts_with(named.ref)) {
                out += named.c;
                i += named.ref.size();
                done = true;
                break;
            }
        }
        if (done) {
            continue;
        }
        unsigned code = 0;
        size_t semicolon = 0;
        if (rest.size() > 1 && rest[1] == '#' && ReadCharacterReference(text, i, code, semicolon) &&
            code != 0) {
            AppendUtf8(out, code);
            i = semicolon + 1;
            continue;
        }
        out += '&';
        ++i;
    }
    return out;
}

}  // namespace markup

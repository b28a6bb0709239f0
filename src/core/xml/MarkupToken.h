// The pieces an XML text is made of, as CMarkupSTL reads them: one token at
// a time, never looking past the end of the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace markup {

enum class TokenKind {
    Text,         // character data up to the next "<" or the end
    StartTag,     // "<name ...>" or "<name .../>"
    EndTag,       // "</name>"
    Comment,      // "<!-- -->"
    CData,        // "<![CDATA[ ]]>"
    Instruction,  // "<? ?>"
    Doctype,      // "<!DOCTYPE ...>" with an optional internal subset
    Declaration,  // "<!ENTITY ...>", "<!ATTLIST ...>", "<!NOTATION ...>"
    Bad,          // a "<" that starts nothing; the token is that one byte
};

struct Token {
    TokenKind kind = TokenKind::Text;
    size_t start = 0;  // first byte
    size_t end = 0;    // one past the last byte
    // Tag name of a start or end tag: [nameStart, nameEnd).
    size_t nameStart = 0;
    size_t nameEnd = 0;
    bool emptyElement = false;  // a start tag that ends with "/>"
    // False when the construct runs to the end of the text without its
    // closing delimiter (end is then the text's size).
    bool terminated = true;
    // For an unterminated construct its name in error texts ("Comment");
    // for a Bad token what was wrong ("tag name character").
    const char* what = "";
    // CData only: the inner text [innerStart, innerEnd).
    size_t innerStart = 0;
    size_t innerEnd = 0;
};

// Reads the token that starts at `pos` (< doc.size()).
Token NextToken(std::string_view doc, size_t pos);

// True for the bytes that end a tag name.
bool IsNameEnd(char c);
// True when the text holds nothing but spaces, tabs and line ends.
bool IsBlank(std::string_view text);
// Replaces the five named references and numeric character references;
// anything else that starts with "&" is kept as it stands.
std::string DecodeReferences(std::string_view text);

}  // namespace markup

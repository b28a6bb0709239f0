// A read-only XML document: the text is parsed once into an index of element
// positions, and a cursor of three positions (parent, main, child) walks it.
//
//   CMarkupSTL xml(text);
//   if (xml.FindElement("multicastSearchResult") && xml.EnterElement() &&
//       xml.FindElement("port") && xml.FindChildElement("dataPort")) {
//       int port = atoi(xml.GetChildText().c_str());
//   }
//
// The parser is lenient: it always builds an index, whatever the input, and
// records the first thing that was wrong in GetError() instead of failing.
// It never reads outside the text and never changes it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace markup {
struct Token;
}

class CMarkupSTL {
public:
    CMarkupSTL();
    explicit CMarkupSTL(std::string text);

    // Replaces the document and parses it. True when it is well formed
    // (GetError() is empty).
    bool SetDoc(std::string text);
    const std::string& GetDoc() const { return m_doc; }
    // Empty for a well-formed document; otherwise what the parse met first,
    // e.g. "Element 'a' at offset 0 not ended".
    const std::string& GetError() const { return m_error; }
    bool IsWellFormed() const { return m_error.empty(); }

    // Tag names match byte for byte unless this is switched on.
    void SetIgnoreCase(bool ignoreCase) { m_ignoreCase = ignoreCase; }

    // The next element under the parent position after the main position
    // whose tag name is `name` (any name when empty). On success the main
    // position moves there and the child position is cleared.
    bool FindElement(std::string_view name = {});
    // The next child of the main element after the child position (the main
    // position is first set to the next element when it is none). On success
    // only the child position moves.
    bool FindChildElement(std::string_view name = {});
    // Goes one level down: the main element becomes the parent, the child
    // position becomes the main position. False without a main position.
    bool EnterElement();
    // Goes one level up: the parent becomes the main position, the old main
    // position the child. False when the parent is the document.
    bool LeaveElement();
    // Main and child positions become none (the next FindElement starts at
    // the first element under the parent).
    void ResetMainPosition();
    void ResetChildPosition();
    // Back to the state after parsing: parent is the document, nothing found.
    void ResetPosition();

    // Tag names of the main and child elements ("" without one).
    std::string GetTagName() const;
    std::string GetChildTagName() const;
    // Text of the main and child elements with references decoded and CDATA
    // sections taken as they stand; "" for an element that has child
    // elements, an empty-element tag or no position.
    std::string GetElementText() const;
    std::string GetChildText() const;

    // Number of elements in the index (the document itself not counted).
    size_t ElementCount() const { return m_elems.size() - 1; }

private:
    enum : uint32_t {
        kEmptyElement = 1,  // "<name/>"
        kNotEnded = 2,      // no matching end tag was found
    };

    // One element; record 0 stands for the document. All offsets are bytes
    // into m_doc, all links are record numbers (0 = none).
    struct ElemPos {
        size_t start = 0;        // offset of "<"
        size_t length = 0;       // start tag to the end of the end tag
        size_t startTagLen = 0;  // "<name ...>"
        size_t endTagLen = 0;    // "</name>", 0 for an empty-element tag
        int level = 0;
        uint32_t flags = 0;
        int parent = 0;
        int child = 0;  // first child
        int next = 0;   // next sibling
        int prev = 0;   // previous sibling; the first child's points to the last
    };

    // The elements a parse has open, innermost last.
    struct OpenElements;

    void Parse();
    void OnStartTag(const markup::Token& t, OpenElements& open);
    void OnEndTag(const markup::Token& t, OpenElements& open);
    void CloseOpen(OpenElements& open, size_t keep);
    void EndStillOpen(OpenElements& open);
    std::string NameKey(std::string_view name) const;
    int AddElement(int parent, size_t start);
    void AppendChildren(int parent, int firstChild);
    void EndOpenElement(int elem);
    void SetParseError(std::string error);
    void AddError(const std::string& error);

    std::string_view TagName(int elem) const;
    bool NameMatches(int elem, std::string_view name) const;
    int FindSibling(int first, std::string_view name) const;
    std::string TextOf(int elem) const;

    std::string m_doc;
    std::string m_error;
    bool m_haveScanError = false;
    bool m_ignoreCase = false;
    std::vector<ElemPos> m_elems;
    int m_parent = 0;
    int m_main = 0;
    int m_child = 0;
};

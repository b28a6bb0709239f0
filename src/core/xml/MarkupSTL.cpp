#include "xml/MarkupSTL.h"

#include <cctype>
#include <map>

#include "xml/MarkupToken.h"

using markup::Token;
using markup::TokenKind;

namespace {

// Fills an error pattern holding at most one "%s" (a name) and one "%d".
std::string Format(std::string_view pattern, std::string_view name, size_t offset) {
    std::string text(pattern);
    const size_t s = text.find("%s");
    if (s != std::string::npos) {
        text.replace(s, 2, name);
    }
    const size_t d = text.find("%d", s == std::string::npos ? 0 : s + name.size());
    if (d != std::string::npos) {
        text.replace(d, 2, std::to_string(offset));
    }
    return text;
}

bool SameName(std::string_view a, std::string_view b, bool ignoreCase) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (ignoreCase) {
            x = static_cast<char>(std::tolower(static_cast<unsigned char>(x)));
            y = static_cast<char>(std::tolower(static_cast<unsigned char>(y)));
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace

CMarkupSTL::CMarkupSTL() {
    SetDoc(std::string());
}

CMarkupSTL::CMarkupSTL(std::string text) {
    SetDoc(std::move(text));
}

bool CMarkupSTL::SetDoc(std::string text) {
    m_doc = std::move(text);
    Parse();
    return m_error.empty();
}

// --- parse ---------------------------------------------------------------

void CMarkupSTL::SetParseError(std::string error) {
    if (!m_haveScanError) {
        m_haveScanError = true;
        AddError(error);
    }
}

void CMarkupSTL::AddError(const std::string& error) {
    if (!m_error.empty()) {
        m_error += ", ";
    }
    m_error += error;
}

int CMarkupSTL::AddElement(int parent, size_t start) {
    const int elem = static_cast<int>(m_elems.size());
    ElemPos pos;
    pos.start = start;
    pos.parent = parent;
    m_elems.push_back(pos);
    AppendChildren(parent, elem);
    return elem;
}

// Links the sibling chain that starts at `firstChild` (its prev link points
// to the chain's last element) after the last child of `parent`.
void CMarkupSTL::AppendChildren(int parent, int firstChild) {
    if (firstChild == 0) {
        return;
    }
    const int chainLast = m_elems[firstChild].prev != 0 ? m_elems[firstChild].prev : firstChild;
    for (int e = firstChild; e != 0; e = m_elems[e].next) {
        m_elems[e].parent = parent;
    }
    ElemPos& p = m_elems[parent];
    if (p.child == 0) {
        p.child = firstChild;
        m_elems[firstChild].prev = chainLast;
        return;
    }
    const int last = m_elems[p.child].prev;
    m_elems[last].next = firstChild;
    m_elems[firstChild].prev = last;
    m_elems[p.child].prev = chainLast;
}

// An end tag of an element further out ends `elem` here: it keeps only its
// start tag, and its children move up to follow it as siblings.
void CMarkupSTL::EndOpenElement(int elem) {
    ElemPos& e = m_elems[elem];
    e.flags |= kNotEnded;
    e.length = e.startTagLen;
    e.endTagLen = 0;
    const int children = e.child;
    e.child = 0;
    AppendChildren(e.parent, children);
}

struct CMarkupSTL::OpenElements {
    std::vector<int> elems;
    // How many open elements carry each name, so that an end tag that
    // matches none is known at once instead of by a walk of the whole stack
    // (a long reply of unmatched end tags would take minutes).
    std::map<std::string, int> names;
};

std::string CMarkupSTL::NameKey(std::string_view name) const {
    std::string key(name);
    if (m_ignoreCase) {
        for (char& c : key) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return key;
}

void CMarkupSTL::CloseOpen(OpenElements& open, size_t keep) {
    for (size_t i = keep; i < open.elems.size(); ++i) {
        --open.names[NameKey(TagName(open.elems[i]))];
    }
    open.elems.resize(keep);
}

void CMarkupSTL::OnStartTag(const Token& t, OpenElements& open) {
    const int elem = AddElement(open.elems.empty() ? 0 : open.elems.back(), t.start);
    ElemPos& e = m_elems[elem];
    e.startTagLen = t.end - t.start;
    if (!t.terminated) {
        // A start tag cut off by the end of the text.
        e.flags |= kEmptyElement | kNotEnded;
        e.length = e.startTagLen;
    } else if (t.emptyElement) {
        e.flags |= kEmptyElement;
        e.length = e.startTagLen;
    } else {
        open.elems.push_back(elem);
        ++open.names[NameKey(TagName(elem))];
    }
}

void CMarkupSTL::OnEndTag(const Token& t, OpenElements& open) {
    const std::string_view doc = m_doc;
    const std::string_view name = doc.substr(t.nameStart, t.nameEnd - t.nameStart);
    size_t match = 0;
    const auto named = open.names.find(NameKey(name));
    if (named != open.names.end() && named->second > 0) {
        match = open.elems.size();
        while (match > 0 && !SameName(TagName(open.elems[match - 1]), name, m_ignoreCase)) {
            --match;
        }
    }
    if (match == 0) {
        SetParseError(Format("No start tag for end tag '%s' at offset %d", name, t.start));
        return;
    }
    const int found = open.elems[match - 1];
    if (match < open.elems.size()) {
        const int innermost = open.elems.back();
        std::string error =
            Format("End tag '%s' at offset %d does not match start tag ", name, t.start);
        error += Format("'%s' at offset %d", TagName(innermost), m_elems[innermost].start);
        SetParseError(std::move(error));
        // Outermost first, so each child chain lands in document order.
        for (size_t i = match; i < open.elems.size(); ++i) {
            EndOpenElement(open.elems[i]);
        }
        CloseOpen(open, match);
    }
    ElemPos& f = m_elems[found];
    f.length = t.end - f.start;
    f.endTagLen = t.end - t.start;
    CloseOpen(open, open.elems.size() - 1);
}

// Elements still open run to the end of the text.
void CMarkupSTL::EndStillOpen(OpenElements& open) {
    while (!open.elems.empty()) {
        const int elem = open.elems.back();
        open.elems.pop_back();
        ElemPos& e = m_elems[elem];
        e.flags |= kNotEnded;
        e.length = m_doc.size() - e.start;
        e.endTagLen = 0;
        SetParseError(Format("Element '%s' at offset %d not ended", TagName(elem), e.start));
    }
}

void CMarkupSTL::Parse() {
    m_error.clear();
    m_haveScanError = false;
    m_elems.clear();
    m_elems.reserve(m_doc.size() / 64 + 8);
    m_elems.emplace_back();  // the document
    ResetPosition();

    if (m_doc.empty()) {
        AddError("Empty document");
        return;
    }

    const std::string_view doc = m_doc;
    OpenElements open;
    size_t pos = 0;
    while (pos < doc.size()) {
        const Token t = markup::NextToken(doc, pos);
        pos = t.end;
        if (t.kind == TokenKind::Bad && t.terminated) {
            SetParseError(Format("Incorrect %s at offset %d", t.what, t.start));
            continue;
        }
        if (!t.terminated) {
            SetParseError(Format("%s at offset %d unterminated", t.what, t.start));
        }
        if (t.kind == TokenKind::StartTag) {
            OnStartTag(t, open);
        } else if (t.kind == TokenKind::EndTag && t.terminated) {
            OnEndTag(t, open);
        }
    }
    EndStillOpen(open);

    // Parents always come before their children in the array.
    for (size_t i = 1; i < m_elems.size(); ++i) {
        m_elems[i].level = m_elems[m_elems[i].parent].level + 1;
    }

    const int root = m_elems[0].child;
    if (root == 0) {
        AddError("No root element");
    } else if (m_elems[root].next != 0) {
        AddError("Root element has sibling");
    }
    ResetPosition();
}

// --- navigation ----------------------------------------------------------

std::string_view CMarkupSTL::TagName(int elem) const {
    if (elem <= 0 || static_cast<size_t>(elem) >= m_elems.size()) {
        return {};
    }
    const ElemPos& e = m_elems[elem];
    const std::string_view tag = std::string_view(m_doc).substr(e.start, e.startTagLen);
    size_t end = 1;
    while (end < tag.size() && !markup::IsNameEnd(tag[end])) {
        ++end;
    }
    return tag.substr(1, end - 1);
}

// The element's name must equal `name`, or be a prefix of it that `name`
// continues with one of " =/[]".
bool CMarkupSTL::NameMatches(int elem, std::string_view name) const {
    if (name.empty()) {
        return true;
    }
    const std::string_view tag = TagName(elem);
    if (tag.size() > name.size() || !SameName(tag, name.substr(0, tag.size()), m_ignoreCase)) {
        return false;
    }
    if (tag.size() == name.size()) {
        return true;
    }
    const char c = name[tag.size()];
    return c == ' ' || c == '=' || c == '/' || c == '[' || c == ']';
}

int CMarkupSTL::FindSibling(int first, std::string_view name) const {
    for (int e = first; e != 0; e = m_elems[e].next) {
        if (NameMatches(e, name)) {
            return e;
        }
    }
    return 0;
}

bool CMarkupSTL::FindElement(std::string_view name) {
    if (m_elems.size() <= 1) {
        return false;
    }
    const int first = m_main != 0 ? m_elems[m_main].next : m_elems[m_parent].child;
    const int found = FindSibling(first, name);
    if (found == 0) {
        return false;
    }
    m_main = found;
    m_child = 0;
    return true;
}

bool CMarkupSTL::FindChildElement(std::string_view name) {
    if (m_main == 0 && !FindElement()) {
        return false;
    }
    const int first = m_child != 0 ? m_elems[m_child].next : m_elems[m_main].child;
    const int found = FindSibling(first, name);
    if (found == 0) {
        return false;
    }
    m_child = found;
    return true;
}

bool CMarkupSTL::EnterElement() {
    if (m_main == 0) {
        return false;
    }
    m_parent = m_main;
    m_main = m_child;
    m_child = 0;
    return true;
}

bool CMarkupSTL::LeaveElement() {
    if (m_parent == 0) {
        return false;
    }
    m_child = m_main;
    m_main = m_parent;
    m_parent = m_elems[m_parent].parent;
    return true;
}

void CMarkupSTL::ResetMainPosition() {
    m_main = 0;
    m_child = 0;
}

void CMarkupSTL::ResetChildPosition() {
    m_child = 0;
}

void CMarkupSTL::ResetPosition() {
    m_parent = 0;
    m_main = 0;
    m_child = 0;
}

std::string CMarkupSTL::GetTagName() const {
    return std::string(TagName(m_main));
}

std::string CMarkupSTL::GetChildTagName() const {
    return std::string(TagName(m_child));
}

// --- element text ----------------------------------------------------------

std::string CMarkupSTL::GetElementText() const {
    return TextOf(m_main);
}

std::string CMarkupSTL::GetChildText() const {
    return TextOf(m_child);
}

std::string CMarkupSTL::TextOf(int elem) const {
    if (elem <= 0 || static_cast<size_t>(elem) >= m_elems.size()) {
        return {};
    }
    const ElemPos& e = m_elems[elem];
    if (e.child != 0 || (e.flags & kEmptyElement) != 0) {
        return {};
    }
    const size_t from = e.start + e.startTagLen;
    const size_t to = e.start + e.length - e.endTagLen;
    if (to <= from) {
        return {};
    }
    const std::string_view content = std::string_view(m_doc).substr(from, to - from);
    if (content.find('<') == std::string_view::npos) {
        return markup::DecodeReferences(content);
    }

    // Mixed content: text pieces decoded, CDATA as it stands, markup and
    // white-space-only pieces dropped. A stray "<" stays part of its text.
    std::string out;
    size_t pieceStart = std::string_view::npos;
    auto flushText = [&](size_t end) {
        if (pieceStart != std::string_view::npos) {
            const std::string_view piece = content.substr(pieceStart, end - pieceStart);
            if (!markup::IsBlank(piece)) {
                out += markup::DecodeReferences(piece);
            }
            pieceStart = std::string_view::npos;
        }
    };
    size_t pos = 0;
    while (pos < content.size()) {
        const Token t = markup::NextToken(content, pos);
        if (t.kind == TokenKind::Text || t.kind == TokenKind::Bad) {
            if (pieceStart == std::string_view::npos) {
                pieceStart = t.start;
            }
        } else {
            flushText(t.start);
            if (t.kind == TokenKind::CData) {
                out += content.substr(t.innerStart, t.innerEnd - t.innerStart);
            }
        }
        pos = t.end;
    }
    flushText(content.size());
    return out;
}

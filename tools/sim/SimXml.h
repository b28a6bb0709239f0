// A tiny XML writer for the cameras' replies and a tiny reader for the
// documents they receive (search probes). The reader knows elements, text,
// attributes (skipped), comments, the declaration and the five predefined
// entities plus character references; anything else is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string SimXmlEscape(const std::string& text);

class CSimXmlWriter {
public:
    CSimXmlWriter();  // starts with the declaration
    void Open(const std::string& name);
    void Close();
    void Element(const std::string& name, const std::string& text);
    std::string Text() const { return m_text; }

private:
    void Indent();
    std::string m_text;
    std::vector<std::string> m_open;
};

struct SimXmlNode {
    std::string name;
    std::string text;  // the element's own text, concatenated
    std::vector<SimXmlNode> children;

    const SimXmlNode* Child(const std::string& childName) const;
};

bool SimXmlParse(const std::string& text, SimXmlNode* root, std::string* error);

// True when `datagram` is a search probe (root multicastSearch with version 1
// and a 32-bit decimal seq). *seq gets the sequence number; *reason why not.
bool SimIsSearchProbe(const std::string& datagram, uint32_t* seq, std::string* reason);

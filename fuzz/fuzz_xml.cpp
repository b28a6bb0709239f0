// The XML document: any text parses, and a full walk of the index with every
// reading operation stays inside the text and visits each element once.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "xml/MarkupSTL.h"

namespace {

// Depth-first walk with the cursor operations only (no recursion, so a
// deeply nested document cannot exhaust the stack).
size_t Walk(CMarkupSTL& xml) {
    size_t visited = 0;
    size_t textBytes = 0;
    for (;;) {
        if (xml.FindElement()) {
            ++visited;
            textBytes += xml.GetTagName().size() + xml.GetElementText().size();
            while (xml.FindChildElement()) {
                textBytes += xml.GetChildTagName().size() + xml.GetChildText().size();
            }
            // Entering makes the child position the main one: start before the first child.
            xml.ResetChildPosition();
            if (!xml.EnterElement()) {
                std::abort();  // a found element can always be entered
            }
            continue;
        }
        if (!xml.LeaveElement()) {
            break;
        }
    }
    // Decoded text never grows beyond the document.
    if (textBytes > xml.GetDoc().size() * (xml.ElementCount() + 1)) {
        std::abort();
    }
    return visited;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CMarkupSTL xml(text);
    if (Walk(xml) != xml.ElementCount()) {
        std::abort();  // every element is reachable exactly once
    }

    // Searches by name, as the readers do, with the first tag name found.
    xml.ResetPosition();
    if (xml.FindElement()) {
        const std::string name = xml.GetTagName();
        xml.ResetPosition();
        xml.SetIgnoreCase(size % 2 == 0);
        while (xml.FindElement(name)) {
            xml.FindChildElement(name);
            xml.GetChildText();
        }
        xml.ResetMainPosition();
        xml.ResetChildPosition();
    }

    // Parsing the same text again gives the same index.
    CMarkupSTL again;
    again.SetDoc(text);
    if (again.ElementCount() != xml.ElementCount() || again.GetError() != xml.GetError()) {
        std::abort();
    }
    return 0;
}

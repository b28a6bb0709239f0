#include "discovery/SearchProtocol.h"

#include <cctype>

#include "xml/MarkupSTL.h"

namespace search {
namespace {

std::string TrimReplyText(const std::string& text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::string BuildProbe(uint32_t seq) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<multicastSearch>\n"
           "  <version>1</version>\n"
           "  <seq>" +
           std::to_string(seq) +
           "</seq>\n"
           "</multicastSearch>\n";
}

bool IsValidMac(const std::string& mac) {
    if (mac.size() != 17) {
        return false;
    }
    for (size_t i = 0; i < mac.size(); ++i) {
        const auto c = static_cast<unsigned char>(mac[i]);
        if (i % 3 == 2 ? c != ':' : !std::isxdigit(c)) {
            return false;
        }
    }
    return true;
}

bool ParseReply(const std::string& datagram, SearchReply& reply, std::string& reason) {
    if (datagram.size() > kMaxDatagram) {
        reason = "oversize datagram";
        return false;
    }
    if (datagram.empty()) {
        reason = "empty datagram";
        return false;
    }
    // A peer written in C may send its string terminator along.
    const size_t end = datagram.find_last_not_of('\0');
    if (end == std::string::npos || datagram.find('\0') < end) {
        reason = "NUL byte in datagram";
        return false;
    }
    CMarkupSTL xml(datagram.substr(0, end + 1));
    if (!xml.IsWellFormed()) {
        reason = "not well-formed XML (" + xml.GetError() + ")";
        return false;
    }
    if (!xml.FindElement("multicastSearchResult") || !xml.EnterElement()) {
        reason = "not a search reply";
        return false;
    }
    std::string mac;
    if (xml.FindElement("mac")) {
        mac = TrimReplyText(xml.GetElementText());
    }
    if (!IsValidMac(mac)) {
        reason = "reply without a valid MAC";
        return false;
    }
    xml.ResetMainPosition();
    reply.bootId = xml.FindElement("bootId") ? TrimReplyText(xml.GetElementText()) : std::string();
    reply.mac = std::move(mac);
    return true;
}

}  // namespace search

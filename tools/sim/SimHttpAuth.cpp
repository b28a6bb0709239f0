#include "SimHttpAuth.h"

#include <strings.h>

#include <cctype>

#include "SimCrypto.h"

namespace simhttp {

namespace {
std::string Md5Hex(const std::string& text) {
    return SimHex(SimMd5Of(text), false);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}
}  // namespace

bool ParseDigest(const std::string& header, std::map<std::string, std::string>* params) {
    if (!StartsWithNoCase(header, "Digest ")) {
        return false;
    }
    size_t i = 7;
    const size_t n = header.size();
    while (i < n) {
        while (i < n && (header[i] == ' ' || header[i] == '\t' || header[i] == ','))
            ++i;
        if (i >= n)
            break;
        size_t start = i;
        while (i < n && header[i] != '=' && header[i] != ',' && header[i] != ' ')
            ++i;
        std::string name = header.substr(start, i - start);
        for (char& c : name)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        while (i < n && header[i] == ' ')
            ++i;
        if (name.empty() || i >= n || header[i] != '=') {
            return false;
        }
        ++i;
        while (i < n && header[i] == ' ')
            ++i;
        std::string value;
        if (i < n && header[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (header[i] == '\\' && i + 1 < n) {
                    value += header[i + 1];
                    i += 2;
                } else if (header[i] == '"') {
                    ++i;
                    closed = true;
                    break;
                } else {
                    value += header[i++];
                }
            }
            if (!closed)
                return false;
        } else {
            start = i;
            while (i < n && header[i] != ',' && header[i] != ' ')
                ++i;
            value = header.substr(start, i - start);
        }
        (*params)[name] = value;
    }
    return true;
}

std::string DigestResponse(const std::string& user, const std::string& realm,
                           const std::string& password, const std::string& method,
                           const std::string& uri, const std::string& nonce, const std::string& nc,
                           const std::string& cnonce, const std::string& qop) {
    const std::string ha1 = Md5Hex(user + ":" + realm + ":" + password);
    const std::string ha2 = Md5Hex(method + ":" + uri);
    if (qop.empty()) {
        return Md5Hex(ha1 + ":" + nonce + ":" + ha2);
    }
    return Md5Hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":" + qop + ":" + ha2);
}

bool CheckBasic(const std::string& header, const std::string& user, const std::string& password) {
    if (!StartsWithNoCase(header, "Basic ")) {
        return false;
    }
    std::string token = header.substr(6);
    while (!token.empty() && token.front() == ' ')
        token.erase(token.begin());
    while (!token.empty() && token.back() == ' ')
        token.pop_back();
    std::string decoded;
    return SimBase64Decode(token, &decoded) && decoded == user + ":" + password;
}

}  // namespace simhttp

// HTTP authentication on the camera's side: Basic (RFC 7617) and Digest
// with MD5 (RFC 7616, qop "auth" or none).
#pragma once

#include <map>
#include <string>

namespace simhttp {

constexpr const char* kRealm = "KMR IP Camera";

// Parses the parameters of a Digest header ("Digest a=b, c=\"d\"");
// names are lower-cased. False when the text is not of that form.
bool ParseDigest(const std::string& header, std::map<std::string, std::string>* params);

// The response a client must send for these values (lower-case hex).
std::string DigestResponse(const std::string& user, const std::string& realm,
                           const std::string& password, const std::string& method,
                           const std::string& uri, const std::string& nonce, const std::string& nc,
                           const std::string& cnonce, const std::string& qop);

// True when `header` is "Basic <base64 of user:password>".
bool CheckBasic(const std::string& header, const std::string& user, const std::string& password);

}  // namespace simhttp

#include "upgrade/CredentialsFile.h"

#include <sstream>

#include "model/DeviceText.h"
#include "model/MacAddress.h"
#include "platform/OwnerOnlyFile.h"

namespace {

constexpr size_t kMaxFileBytes = 1 << 20;
constexpr size_t kMaxLineBytes = 4096;
constexpr const char* kSpaces = " \t\r";

// The next whitespace-delimited field from `pos`; "" at the end.
std::string NextField(const std::string& line, size_t& pos) {
    const size_t start = line.find_first_not_of(kSpaces, pos);
    if (start == std::string::npos) {
        pos = line.size();
        return {};
    }
    const size_t end = line.find_first_of(kSpaces, start);
    pos = end == std::string::npos ? line.size() : end;
    return line.substr(start, pos - start);
}

}  // namespace

bool ParseCredentials(const std::string& text, std::vector<CREDENTIAL_ENTRY>& entries,
                      std::string& error) {
    entries.clear();
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (line.size() > kMaxLineBytes) {
            error = "line " + std::to_string(number) + ": longer than 4096 bytes";
            return false;
        }
        size_t pos = 0;
        CREDENTIAL_ENTRY entry;
        entry.line = number;
        entry.match = NextField(line, pos);
        if (entry.match.empty() || entry.match[0] == '#') {
            continue;
        }
        entry.user = NextField(line, pos);
        const size_t start = line.find_first_not_of(kSpaces, pos);
        if (entry.user.empty() || start == std::string::npos) {
            error = "line " + std::to_string(number) + ": expected MATCH USER PASSWORD";
            return false;
        }
        entry.password = line.substr(start);
        // A trailing carriage return is the file's line end, not the password.
        while (!entry.password.empty() && entry.password.back() == '\r') {
            entry.password.pop_back();
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

bool LoadCredentialsFile(const std::string& path, std::vector<CREDENTIAL_ENTRY>& entries,
                         std::string& error) {
    // Opened once and checked on that descriptor: a file swapped in after
    // a check of the path would otherwise be read.
    std::string text;
    if (std::string problem = platform::ReadOwnerOnlyFile(path, kMaxFileBytes, text);
        !problem.empty()) {
        error = "credentials file refused, " + problem;
        return false;
    }
    if (!ParseCredentials(text, entries, error)) {
        error = "credentials file " + path + ", " + error;
        return false;
    }
    return true;
}

bool CredentialMatches(const CREDENTIAL_ENTRY& entry, const DEVICE_S_INFO& record) {
    if (entry.match == "*") {
        return true;
    }
    if (SameMac(entry.match, FieldText(record.mac))) {
        return true;
    }
    return entry.match == FieldString(record.productModel);
}

std::vector<CameraCredential> CredentialsFor(const std::vector<CREDENTIAL_ENTRY>& entries,
                                             const DEVICE_S_INFO& record,
                                             const std::string& typedUser,
                                             const std::string& typedPassword) {
    std::vector<CameraCredential> credentials;
    for (const CREDENTIAL_ENTRY& entry : entries) {
        if (CredentialMatches(entry, record)) {
            credentials.push_back(
                {entry.user, entry.password, "line " + std::to_string(entry.line)});
        }
    }
    credentials.push_back({typedUser, typedPassword, "typed"});
    return credentials;
}

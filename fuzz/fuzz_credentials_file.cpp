// The credentials file of a rollout ("MATCH USER PASSWORD" lines), as a user
// or another user can hand it over: parsed from text and read from a file,
// every entry is whole, the lines come in order, and a camera's list ends
// with the typed credentials.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "upgrade/CredentialsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const CFuzzFile file;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<CREDENTIAL_ENTRY> entries;
    std::string error;
    const bool parsed = ParseCredentials(text, entries, error);
    if (parsed != error.empty()) {
        std::abort();  // a refusal says why, a success says nothing
    }
    if (!parsed) {
        return 0;
    }
    int previous = 0;
    for (const CREDENTIAL_ENTRY& entry : entries) {
        if (entry.line <= previous || entry.match.empty() || entry.user.empty()) {
            std::abort();
        }
        previous = entry.line;
    }

    // The same text from an owner-only file gives the same entries.
    std::vector<CREDENTIAL_ENTRY> loaded;
    if (!LoadCredentialsFile(file.Write(data, size), loaded, error) ||
        loaded.size() != entries.size()) {
        std::abort();
    }

    DEVICE_S_INFO record{};
    std::strcpy(record.mac, "02:CC:00:00:10:01");
    std::strcpy(record.productModel, "IPC-2020");
    const std::vector<CameraCredential> tried = CredentialsFor(entries, record, "typed-user", "pw");
    if (tried.empty() || tried.back().user != "typed-user" || tried.size() > entries.size() + 1) {
        std::abort();
    }
    return 0;
}

// A place for secrets outside the settings files: the desktop keyring
// (Secret Service: GNOME Keyring, KWallet) where one runs.
#pragma once

#include <memory>
#include <optional>
#include <string>

class ISecretStore {
public:
    enum class Found { Yes, No, Unavailable };

    virtual ~ISecretStore() = default;
    // Unavailable when no keyring answers; then the caller falls back.
    virtual Found Lookup(const std::string& name, std::string& secret) = 0;
    virtual bool Store(const std::string& name, const std::string& secret) = 0;
    virtual bool Clear(const std::string& name) = 0;
};

// The Secret Service of the user's session bus; a store that is always
// unavailable when the process has no session bus.
std::unique_ptr<ISecretStore> MakeDesktopSecretStore();

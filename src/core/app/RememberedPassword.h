// The remembered device password: in the desktop keyring where one runs,
// and then nowhere else; in the owner-only per-user settings file otherwise.
// A password found in the settings file moves to the keyring the first time
// a keyring answers.
#pragma once

#include <memory>
#include <string>

class ISecretStore;

namespace settings {

// The remembered password, or the default ("739518") when none is.
std::string ReadRememberedPassword();
// Remembers the password in the keyring; without one, in the owner-only user
// settings file only when `settingsFileAllowed` (the technician agreed).
// Nothing is written when it is remembered already.
bool RememberPassword(const std::string& password, bool settingsFileAllowed);

// Replaces the keyring for this process (tests); null restores the desktop's.
void SetSecretStoreForTesting(std::unique_ptr<ISecretStore> store);

}  // namespace settings

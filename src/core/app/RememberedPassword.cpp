#include "app/RememberedPassword.h"

#include <mutex>
#include <optional>

#include "app/IniFile.h"
#include "app/Logger.h"
#include "app/SecretStore.h"
#include "app/Settings.h"

FH_LOG_SOURCE("Settings");

namespace settings {

namespace {

constexpr const char* kDefaultPassword = "739518";

struct PasswordState {
    std::mutex lock;
    std::unique_ptr<ISecretStore> store;
    bool storeChosen = false;
    // What the keyring holds, once read or written (a settings file is read
    // each time: it may be edited, and tests change its place).
    std::optional<std::string> known;
};

PasswordState& State() {
    static PasswordState state;
    return state;
}

ISecretStore& Store(PasswordState& state) {
    if (!state.storeChosen) {
        state.store = MakeDesktopSecretStore();
        state.storeChosen = true;
    }
    return *state.store;
}

// Moves a password of the settings file into the keyring; the file keeps
// it only when the keyring does not take it.
bool MoveFromFile(ISecretStore& store, const std::string& password) {
    if (!store.Store(kPassword, password) || !GetUserIni().RemoveKey(kPassword)) {
        return false;
    }
    LOG_INFO("settings::ReadRememberedPassword",
             "remembered password moved from the settings file to the keyring");
    return true;
}

}  // namespace

std::string ReadRememberedPassword() {
    PasswordState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.known) {
        return *state.known;
    }
    CIniFile& file = GetUserIni();
    std::string secret;
    switch (Store(state).Lookup(kPassword, secret)) {
        case ISecretStore::Found::Yes:
            file.RemoveKey(kPassword);  // a copy left by an older run
            state.known = secret;
            return secret;
        case ISecretStore::Found::No:
            if (file.HasKey(kPassword)) {
                const std::string password = file.GetString(kPassword, kDefaultPassword);
                if (MoveFromFile(Store(state), password)) {
                    state.known = password;
                }
                return password;
            }
            return kDefaultPassword;
        case ISecretStore::Found::Unavailable:
            break;
    }
    return file.GetString(kPassword, kDefaultPassword);
}

bool RememberPassword(const std::string& password, bool settingsFileAllowed) {
    PasswordState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.known && *state.known == password) {
        return true;
    }
    std::string secret;
    const ISecretStore::Found found = Store(state).Lookup(kPassword, secret);
    if (found != ISecretStore::Found::Unavailable && Store(state).Store(kPassword, password)) {
        GetUserIni().RemoveKey(kPassword);
        state.known = password;
        return true;
    }
    return settingsFileAllowed && GetUserIni().WriteString(kPassword, password);
}

void SetSecretStoreForTesting(std::unique_ptr<ISecretStore> store) {
    PasswordState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.store = std::move(store);
    state.storeChosen = state.store != nullptr;
    state.known.reset();
}

}  // namespace settings

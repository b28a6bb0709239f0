// The Secret Service through libsecret's synchronous calls. Without a
// session bus libsecret is not asked at all: it would try to launch one.
#include <libsecret/secret.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "app/SecretStore.h"
#include "platform/Paths.h"

namespace {

const SecretSchema* FirmhandSchema() {
    static const SecretSchema schema = [] {
        SecretSchema s{};
        s.name = "org.firmhand.Secret";
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {"name", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &schema;
}

bool HasSessionBus() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && address[0] != '\0') {
        return true;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && runtime[0] != '\0' &&
           access(platform::PathCombine(runtime, "bus").c_str(), F_OK) == 0;
}

void DropError(GError*& error) {
    if (error != nullptr) {
        g_error_free(error);
        error = nullptr;
    }
}

class CLibsecretStore : public ISecretStore {
public:
    Found Lookup(const std::string& name, std::string& secret) override {
        GError* error = nullptr;
        gchar* value = secret_password_lookup_sync(FirmhandSchema(), nullptr, &error, "name",
                                                   name.c_str(), nullptr);
        if (error != nullptr) {
            DropError(error);
            return Found::Unavailable;
        }
        if (value == nullptr) {
            return Found::No;
        }
        secret.assign(value);
        secret_password_free(value);  // wipes it
        return Found::Yes;
    }

    bool Store(const std::string& name, const std::string& secret) override {
        GError* error = nullptr;
        const std::string label = "Firmhand " + name;
        const gboolean stored = secret_password_store_sync(
            FirmhandSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(), secret.c_str(), nullptr,
            &error, "name", name.c_str(), nullptr);
        DropError(error);
        return stored != FALSE;
    }

    bool Clear(const std::string& name) override {
        GError* error = nullptr;
        secret_password_clear_sync(FirmhandSchema(), nullptr, &error, "name", name.c_str(),
                                   nullptr);
        const bool ok = error == nullptr;
        DropError(error);
        return ok;
    }
};

class CNoSecretStore : public ISecretStore {
public:
    Found Lookup(const std::string&, std::string&) override { return Found::Unavailable; }
    bool Store(const std::string&, const std::string&) override { return false; }
    bool Clear(const std::string&) override { return false; }
};

}  // namespace

std::unique_ptr<ISecretStore> MakeDesktopSecretStore() {
    if (!HasSessionBus()) {
        return std::make_unique<CNoSecretStore>();
    }
    return std::make_unique<CLibsecretStore>();
}

#include "upgrade/CameraLock.h"

#include <cctype>
#include <cstring>

#include "app/Logger.h"
#include "platform/Paths.h"

FH_LOG_SOURCE("CameraLock");

std::string CameraLockName(const std::string& mac) {
    std::string name;
    for (const char c : mac) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return name.empty() ? "unknown" : name;
}

std::string DefaultCameraLockFolder() {
    const std::string runtime = platform::RuntimeFolder();
    return runtime.empty() ? "" : runtime + "/firmhand/cameras";
}

std::unique_ptr<platform::CFileLock> LockCamera(const std::string& mac, bool& busy,
                                                const std::string& lockFolder) {
    busy = false;
    const std::string folder = lockFolder.empty() ? DefaultCameraLockFolder() : lockFolder;
    if (folder.empty() || !platform::CreateFolders(folder)) {
        LOG_WARN("LockCamera", "no lock folder, going on without a lock, mac: %s", mac.c_str());
        return nullptr;
    }
    int error = 0;
    auto lock =
        platform::CFileLock::TryAcquire(folder + "/" + CameraLockName(mac) + ".lock", busy, error);
    if (!lock && !busy) {
        LOG_WARN("LockCamera", "lock file not opened %d (%s), going on without a lock, mac: %s",
                 error, std::strerror(error), mac.c_str());
    }
    return lock;
}

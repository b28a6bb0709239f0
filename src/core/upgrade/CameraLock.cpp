#include "upgrade/CameraLock.h"

#include <cctype>

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

std::string CameraLockFolder(const std::string& folder) {
    return folder.empty() ? std::string(kMachineCameraLockFolder) : folder;
}

bool PrepareCameraLockFolder(const std::string& folder, std::string& problem) {
    const std::string path = CameraLockFolder(folder);
    // A folder of the caller's choice may need its parents; the machine's
    // lives in /run/lock, which the system keeps.
    if (!folder.empty() && !platform::CreateFolders(folder)) {
        problem = folder + " cannot be created";
        return false;
    }
    return platform::PrepareSharedLockFolder(path, problem);
}

std::unique_ptr<platform::CFileLock> LockCamera(const std::string& mac, bool& busy,
                                                std::string& problem, const std::string& folder) {
    busy = false;
    if (!PrepareCameraLockFolder(folder, problem)) {
        LOG_ERROR("LockCamera", "no safe lock, camera left alone, mac: %s, %s", mac.c_str(),
                  problem.c_str());
        return nullptr;
    }
    // Readable by all: any user's process opens it to lock it.
    auto lock = platform::CFileLock::TryAcquire(
        CameraLockFolder(folder) + "/" + CameraLockName(mac) + ".lock", busy, problem, 0644);
    if (!lock && !busy) {
        LOG_ERROR("LockCamera", "no safe lock, camera left alone, mac: %s, %s", mac.c_str(),
                  problem.c_str());
    }
    return lock;
}

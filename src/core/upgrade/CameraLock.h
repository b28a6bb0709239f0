// One upgrade per camera on this machine: a lock file per MAC in one folder
// that every Firmhand process uses, whatever its user, session or
// environment, held for a job's life by whichever process runs the job.
// The kernel drops the lock when that process dies.
#pragma once

#include <memory>
#include <string>

#include "platform/FileLock.h"

// The machine's folder of camera locks; the package creates it (sticky,
// writable by all), and the first Firmhand process does when it is missing.
constexpr const char* kMachineCameraLockFolder = "/run/lock/firmhand";

// The folder to use: `folder`, or the machine's when it is "".
std::string CameraLockFolder(const std::string& folder);

// Makes sure the folder can hold camera locks safely (see
// platform::PrepareSharedLockFolder); false with `problem` otherwise.
bool PrepareCameraLockFolder(const std::string& folder, std::string& problem);

// The lock of the camera with this MAC (any letter case or separators), in
// `folder` ("": the machine's). Null with `busy` true when another job
// holds it; null with `busy` false and `problem` when it cannot be taken
// safely (the camera is then left alone).
std::unique_ptr<platform::CFileLock> LockCamera(const std::string& mac, bool& busy,
                                                std::string& problem,
                                                const std::string& folder = {});

// The lock file's name for a MAC: its hexadecimal digits in upper case.
std::string CameraLockName(const std::string& mac);

// One upgrade per camera on this machine: a lock file per MAC in the user's
// runtime folder, held for a job's life by whichever Firmhand process runs
// the job. The kernel drops the lock when that process dies.
#pragma once

#include <memory>
#include <string>

#include "platform/FileLock.h"

// The lock of the camera with this MAC (any letter case or separators), in
// `folder` ("": the machine's, DefaultCameraLockFolder). Null with `busy`
// true when another job holds it; null with `busy` false when no lock file
// can be made (the job then goes on without one).
std::unique_ptr<platform::CFileLock> LockCamera(const std::string& mac, bool& busy,
                                                const std::string& folder = {});

// "<runtime folder>/firmhand/cameras", or "" when there is no runtime folder.
std::string DefaultCameraLockFolder();

// The lock file's name for a MAC: its hexadecimal digits in upper case.
std::string CameraLockName(const std::string& mac);

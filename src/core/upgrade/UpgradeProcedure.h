// The upgrade of one camera: the attempt loop per job, and the transfer of
// the package in one attempt.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

#include "upgrade/UpgradeContext.h"

// Called with the current block number; false stops the transfer (the job
// was cancelled).
using ProgressReporter = std::function<bool(uint32_t percent)>;

// Runs the whole procedure of one job on the calling worker thread; ends
// with the job finished and its final result journaled and posted, and
// returns that result.
int upgradeDevice(const BatchContextPtr& context, const UpgradeInfoPtr& job);

// One attempt: connect, log in, check, send the 100 blocks. Returns an
// upgrade result code. `cancel` ends the connect and the block loop; `stop`
// (the job's) also ends a wait for the login reply or a blocked send.
int upgradeDevice(const CBatchContext& context, const std::string& mac, const std::string& ip,
                  uint16_t port, const std::string& user, const std::string& password,
                  const ProgressReporter& reporter, bool upgradeMode, bool login,
                  const std::atomic<bool>* cancel = nullptr, std::stop_token stop = {});

// A camera that wants upgrade mode on every attempt. The simulator's fault
// (upgrade error 22 at a block) fires once only: the camera comes back in
// upgrade mode, where it no longer does. This client factory gives that
// camera the real protocol client, except that each transfer is answered
// with upgrade error 22 once `atBlock` blocks were acknowledged, and the
// simulated camera then restarts, as such a camera does. Every other camera
// gets the real client.
#pragma once

#include <cstdint>
#include <string>

#include "SimFleet.h"
#include "upgrade/UpgradeDeviceClient.h"

// The fleet must outlive the session that uses the factory.
UpgradeClientFactory UpgradeModeOnEveryAttempt(CSimFleet& fleet, const std::string& mac,
                                               int atBlock, uint32_t offlineMs);

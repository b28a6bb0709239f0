// The core's types and words a front-end hands around besides the session
// itself: a camera's result codes in words, the rollout's packages, plan and
// credentials file, the batch's request and outcomes, the analytics answers.
// Front-ends include them from here (or from the session, the model and
// app), never from the subsystems that define them.
#pragma once

#include "http/AiQuery.h"
#include "http/AiVersionResult.h"
#include "upgrade/BatchTypes.h"
#include "upgrade/CredentialsFile.h"
#include "upgrade/RolloutPlan.h"
#include "upgrade/UpgradePackage.h"
#include "upgrade/UpgradeResult.h"

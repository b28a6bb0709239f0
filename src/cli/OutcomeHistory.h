// What a report row says of times and versions: its own queued, started
// and ended times (not the batch's), its version before its first transfer
// of the run (for a resumed run, as the journal had it before the run) and
// the new version it was verified with.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "UpgradeReport.h"
#include "model/BatchRecord.h"
#include "session/SessionFiles.h"

// Ends a camera without a result (cancelled) now.
void EndOutcomeNow(CameraOutcome& o);

// A resumed run: each camera's version before the run, its earlier
// attempts and times from the journal. Call before the batch starts.
void TakeEarlierRun(std::vector<CameraOutcome>& outcomes, const RunSummary& run);

// After the batch: a camera that had finished in the earlier run keeps
// that run's times; one that went on counts its time from its first start.
void CloseEarlierRun(std::vector<CameraOutcome>& outcomes, const RunSummary& run);

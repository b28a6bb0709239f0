#include "OutcomeHistory.h"

#include "model/DeviceText.h"
#include "model/MacAddress.h"
#include "model/UtcTime.h"

namespace {

int64_t EpochMs(std::chrono::system_clock::time_point when) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
}

std::string IsoOfMs(int64_t ms) {
    return IsoUtc(std::chrono::system_clock::time_point(std::chrono::milliseconds(ms)));
}

const JOURNAL_CAMERA* EarlierCamera(const RunSummary& run, const std::string& mac) {
    for (const JOURNAL_CAMERA& camera : run.cameras) {
        if (SameMac(camera.mac, mac)) {
            return &camera;
        }
    }
    return nullptr;
}

}  // namespace

void EndOutcomeNow(CameraOutcome& o) {
    const auto now = std::chrono::system_clock::now();
    o.endedAt = IsoUtc(now);
    o.endedMs = EpochMs(now);
}

void TakeEarlierRun(std::vector<CameraOutcome>& outcomes, const RunSummary& run) {
    for (CameraOutcome& o : outcomes) {
        const JOURNAL_CAMERA* earlier = EarlierCamera(run, o.mac);
        if (earlier == nullptr) {
            continue;
        }
        if (!earlier->softwareVer.empty()) {
            o.oldVersion = DeviceVersionText(*RecordFromJournal(*earlier));
        }
        o.earlierAttempts = earlier->attempts;
        if (earlier->queuedAt != 0) {
            o.queuedAt = IsoOfMs(earlier->queuedAt);
        }
        if (earlier->startedAt != 0) {
            o.startedAt = IsoOfMs(earlier->startedAt);
            o.startedMs = earlier->startedAt;
        }
    }
}

void CloseEarlierRun(std::vector<CameraOutcome>& outcomes, const RunSummary& run) {
    for (CameraOutcome& o : outcomes) {
        const JOURNAL_CAMERA* earlier = EarlierCamera(run, o.mac);
        if (earlier == nullptr) {
            continue;
        }
        o.attempts += o.earlierAttempts;
        o.earlierAttempts = 0;
        if (earlier->Done() && earlier->endedAt != 0) {
            o.endedAt = IsoOfMs(earlier->endedAt);
            o.endedMs = earlier->endedAt;
        }
        if (o.startedMs != 0 && o.endedMs >= o.startedMs) {
            o.seconds = static_cast<double>(o.endedMs - o.startedMs) / 1000.0;
        }
    }
}

#include "model/BatchRecord.h"

#include "model/DeviceText.h"
#include "model/MacAddress.h"
#include "model/UpgradePathOrder.h"
#include "model/UtcTime.h"

namespace {

int64_t EpochMs(std::chrono::system_clock::time_point when) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
}

}  // namespace

CameraOutcome OutcomeBefore(const DEVICE_S_INFO& camera,
                            const std::vector<BatchPackage>& packages) {
    CameraOutcome o;
    o.mac = MacShown(FieldText(camera.mac));
    o.ip = FieldString(camera.ip);
    o.name = FieldString(camera.devName);
    o.oldVersion = DeviceVersionText(camera);
    // The last step of its model's upgrade path (its one package without a path).
    std::vector<BatchPackage> ordered;
    if (std::string ignored; !OrderUpgradePaths(packages, ordered, ignored)) {
        ordered = packages;
    }
    const BatchPackage* package = PackageForModel(ordered, FieldString(camera.productModel));
    for (const BatchPackage& step : ordered) {
        if (package != nullptr && step.model == package->model) {
            package = &step;
        }
    }
    o.package = package != nullptr ? package->path : std::string();
    return o;
}

std::optional<size_t> CBatchRecord::Find(std::string_view mac) const {
    const std::string key = MacKey(mac);
    for (size_t i = 0; i < m_outcomes.size(); ++i) {
        if (MacKey(m_outcomes[i].mac) == key) {
            return i;
        }
    }
    return std::nullopt;
}

void CBatchRecord::Prepared(size_t index) {
    m_outcomes.at(index).prepared = true;
}

void CBatchRecord::AttemptStarted(size_t index, double seconds) {
    CameraOutcome& o = m_outcomes.at(index);
    ++o.attempts;
    o.progress = 0;
    o.lastBlockSeconds = -1;
    if (o.startSeconds < 0) {
        o.startSeconds = seconds;
    }
}

void CBatchRecord::BlockSent(size_t index, int shown, bool last, double seconds) {
    CameraOutcome& o = m_outcomes.at(index);
    o.progress = shown;
    if (last) {
        o.lastBlockSeconds = seconds;
        o.installingFor = 0;
    }
}

void CBatchRecord::Finished(size_t index, UpgradeResult code, double seconds) {
    CameraOutcome& o = m_outcomes.at(index);
    o.code = code;
    o.seconds = o.startSeconds >= 0 ? seconds - o.startSeconds : 0;
}

void CBatchRecord::MarkCancelled() {
    for (CameraOutcome& o : m_outcomes) {
        o.openAtCancel = !o.code;
    }
}

bool CBatchRecord::Tick(double seconds) {
    bool changed = false;
    for (CameraOutcome& o : m_outcomes) {
        if (!IsInstalling(o)) {
            continue;
        }
        const double before = o.installingFor;
        o.installingFor = seconds - o.lastBlockSeconds;
        changed = changed || static_cast<int>(before) != static_cast<int>(o.installingFor);
    }
    return changed;
}

bool IsInstalling(const CameraOutcome& o) {
    return !o.code && o.lastBlockSeconds >= 0;
}

void StampOutcomeTimes(CameraOutcome& o, std::chrono::system_clock::time_point now) {
    if (o.queuedAt.empty()) {
        o.queuedAt = IsoUtc(now);
    }
    if (o.startedAt.empty() && o.attempts > 0) {
        o.startedAt = IsoUtc(now);
        o.startedMs = EpochMs(now);
    }
    if (o.endedAt.empty() && o.code) {
        o.endedAt = IsoUtc(now);
        o.endedMs = EpochMs(now);
    }
}

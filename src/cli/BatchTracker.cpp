#include "BatchTracker.h"

#include <string>

#include "app/StringTable.h"
#include "session/DeviceTable.h"
#include "upgrade/UpgradePackage.h"
#include "upgrade/UpgradeResult.h"

namespace {

// Between its last block and its result a camera installs the package and
// restarts: no percentage stands for that.
bool Installing(const CameraOutcome& o) {
    return o.code < 0 && o.lastBlockSeconds >= 0;
}

}  // namespace

std::optional<size_t> CBatchTracker::Apply(const CWindowMessage& message, double seconds) {
    if (message.id == WM_BATCH_END) {
        m_over = true;
        return std::nullopt;
    }
    if (message.id != WM_BATCH_PREPARED && message.id != WM_UPGRADE_PROGRESS &&
        message.id != WM_UPGRADE_RESULT) {
        return std::nullopt;
    }
    const std::string& mac = message.Text();
    for (size_t i = 0; i < m_outcomes.size(); ++i) {
        CameraOutcome& o = m_outcomes[i];
        if (!SameMac(o.mac, mac)) {
            continue;
        }
        if (message.id == WM_BATCH_PREPARED) {
            o.prepared = true;
            o.state = "prepared";
        } else if (message.id == WM_UPGRADE_PROGRESS) {
            o.progress = message.wParam + 1;
            // The share of blocks sent, as the bar and the number show it.
            o.state = std::to_string(o.progress) + "%";
            if (o.progress >= static_cast<int>(UPGRADE_BLOCK_COUNT)) {
                o.lastBlockSeconds = seconds;
                o.installingFor = 0;
                o.state = LoadString(IDS_INSTALLING);
            }
        } else if (message.wParam == UPGRADE_STATE_STARTING) {
            ++o.attempts;
            o.progress = 0;
            o.lastBlockSeconds = -1;
            o.state = "starting";  // the window's "please wait" tells a terminal nothing
            if (o.startSeconds < 0) {
                o.startSeconds = seconds;
            }
        } else if (IsIntermediateResult(message.wParam)) {
            // Waiting for the camera to finish is part of installing.
            if (!Installing(o)) {
                o.state = ResultCodeToText(message.wParam);
            }
        } else {
            o.code = message.wParam;
            o.seconds = o.startSeconds >= 0 ? seconds - o.startSeconds : 0;
        }
        return i;
    }
    return std::nullopt;
}

bool CBatchTracker::Tick(double seconds) {
    bool changed = false;
    for (CameraOutcome& o : m_outcomes) {
        if (!Installing(o)) {
            continue;
        }
        const double before = o.installingFor;
        o.installingFor = seconds - o.lastBlockSeconds;
        changed = changed || static_cast<int>(before) != static_cast<int>(o.installingFor);
    }
    return changed;
}

void CBatchTracker::MarkCancelled() {
    for (CameraOutcome& o : m_outcomes) {
        o.openAtCancel = o.code < 0;
    }
}

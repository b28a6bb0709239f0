#include "BatchTracker.h"

#include <string>

#include "session/DeviceTable.h"
#include "upgrade/UpgradeResult.h"

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
            o.state = std::to_string(message.wParam) + "%";
        } else if (message.wParam == UPGRADE_STATE_STARTING) {
            ++o.attempts;
            o.progress = 0;
            o.state = ResultCodeToText(message.wParam);
        } else if (IsIntermediateResult(message.wParam)) {
            o.state = ResultCodeToText(message.wParam);
        } else {
            o.code = message.wParam;
            o.seconds = seconds;
        }
        return i;
    }
    return std::nullopt;
}

void CBatchTracker::MarkCancelled() {
    for (CameraOutcome& o : m_outcomes) {
        o.openAtCancel = o.code < 0;
    }
}

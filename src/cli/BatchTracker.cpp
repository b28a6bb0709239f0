#include "BatchTracker.h"

#include <string>

#include "app/StringTable.h"
#include "session/SessionTypes.h"

std::vector<CameraOutcome> InitialOutcomes(const std::vector<DeviceInfoPtr>& devices,
                                           const std::vector<BatchPackage>& packages) {
    std::vector<CameraOutcome> outcomes;
    for (const DeviceInfoPtr& record : devices) {
        outcomes.push_back(OutcomeBefore(*record, packages));
    }
    return outcomes;
}

std::optional<size_t> CBatchTracker::Apply(const CWindowMessage& message, double seconds) {
    if (message.id == WM_BATCH_END) {
        m_over = true;
        return std::nullopt;
    }
    if (message.id != WM_BATCH_PREPARED && message.id != WM_UPGRADE_PROGRESS &&
        message.id != WM_UPGRADE_RESULT) {
        return std::nullopt;
    }
    const std::optional<size_t> found = m_record.Find(message.Text());
    if (!found) {
        return std::nullopt;
    }
    const size_t i = *found;
    CameraOutcome& o = m_record.Outcomes()[i];
    if (message.id == WM_BATCH_PREPARED) {
        m_record.Prepared(i);
        o.state = "prepared";
    } else if (message.id == WM_UPGRADE_PROGRESS) {
        const int shown = message.wParam + 1;
        const bool last = shown >= static_cast<int>(UPGRADE_BLOCK_COUNT);
        m_record.BlockSent(i, shown, last, seconds);
        // The share of blocks sent, as the bar and the number show it.
        o.state = last ? LoadString(IDS_INSTALLING) : std::to_string(shown) + "%";
    } else if (message.wParam == UPGRADE_STATE_STARTING) {
        m_record.AttemptStarted(i, seconds);
        o.state = "starting";  // the window's "please wait" tells a terminal nothing
    } else if (IsIntermediateResult(message.wParam)) {
        // Waiting for the camera to finish is part of installing.
        if (!IsInstalling(o)) {
            o.state = ResultCodeToText(message.wParam);
        }
    } else {
        m_record.Finished(i, message.wParam, seconds);
    }
    return i;
}

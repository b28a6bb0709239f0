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

namespace {

// "Step 2 of 3" in the interface language.
std::string StepText(const CameraOutcome& o) {
    std::string text = LoadString(IDS_UPGRADE_STEP);
    for (const auto& [mark, value] : {std::pair{"%1", o.pathStep}, std::pair{"%2", o.pathSteps}}) {
        if (const size_t at = text.find(mark); at != std::string::npos) {
            text.replace(at, 2, std::to_string(value));
        }
    }
    return text;
}

}  // namespace

std::optional<size_t> CBatchTracker::Apply(const CWindowMessage& message, double seconds) {
    if (message.id == WM_BATCH_END) {
        m_over = true;
        return std::nullopt;
    }
    if (message.id != WM_BATCH_PREPARED && message.id != WM_UPGRADE_PROGRESS &&
        message.id != WM_UPGRADE_RESULT && message.id != WM_UPGRADE_STEP) {
        return std::nullopt;
    }
    const std::optional<size_t> found = m_record.Find(message.Text());
    if (!found) {
        return std::nullopt;
    }
    const size_t i = *found;
    CameraOutcome& o = m_record.Outcomes()[i];
    if (message.id == WM_UPGRADE_STEP) {
        o.pathStep = PathStepOf(message.wParam);
        o.pathSteps = PathStepsOf(message.wParam);
        o.state = StepText(o);
        return i;
    }
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
        return i;
    }
    // A camera on an upgrade path shows its step before what it does.
    if (o.pathSteps > 1 && message.id != WM_BATCH_PREPARED) {
        o.state = StepText(o) + ": " + o.state;
    }
    return i;
}

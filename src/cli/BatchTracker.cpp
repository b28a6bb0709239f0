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

std::string StepText(const CameraOutcome& o) {
    return UpgradeStepText(o.pathStep, o.pathSteps);
}

// A camera on an upgrade path shows its step before what it does.
void PrefixStep(CameraOutcome& o) {
    if (o.pathSteps > 1) {
        o.state = StepText(o) + ": " + o.state;
    }
}

}  // namespace

std::optional<size_t> CBatchTracker::Apply(const SessionEvent& event, double seconds) {
    if (std::holds_alternative<BatchEndedEvent>(event)) {
        m_over = true;
        return std::nullopt;
    }
    if (const auto* prepared = std::get_if<BatchPreparedEvent>(&event)) {
        return Prepared(*prepared);
    }
    if (const auto* progress = std::get_if<CameraProgressEvent>(&event)) {
        return BlockSent(*progress, seconds);
    }
    if (const auto* state = std::get_if<CameraStateEvent>(&event)) {
        return StateOf(*state, seconds);
    }
    if (const auto* result = std::get_if<CameraResultEvent>(&event)) {
        return Finished(*result, seconds);
    }
    if (const auto* step = std::get_if<CameraStepEvent>(&event)) {
        return StepBegins(*step);
    }
    return std::nullopt;
}

std::optional<size_t> CBatchTracker::StepBegins(const CameraStepEvent& event) {
    const std::optional<size_t> i = m_record.Find(event.mac);
    if (i) {
        CameraOutcome& o = m_record.Outcomes()[*i];
        o.pathStep = event.step;
        o.pathSteps = event.steps;
        o.state = StepText(o);
    }
    return i;
}

std::optional<size_t> CBatchTracker::Prepared(const BatchPreparedEvent& event) {
    const std::optional<size_t> i = m_record.Find(event.mac);
    if (i) {
        m_record.Prepared(*i);
        m_record.Outcomes()[*i].state = "prepared";
    }
    return i;
}

std::optional<size_t> CBatchTracker::BlockSent(const CameraProgressEvent& event, double seconds) {
    const std::optional<size_t> i = m_record.Find(event.mac);
    if (i) {
        const int shown = event.progress + 1;
        const bool last = shown >= static_cast<int>(UPGRADE_BLOCK_COUNT);
        m_record.BlockSent(*i, shown, last, seconds);
        // The share of blocks sent, as the bar and the number show it.
        CameraOutcome& o = m_record.Outcomes()[*i];
        o.state = last ? LoadString(IDS_INSTALLING) : std::to_string(shown) + "%";
        PrefixStep(o);
    }
    return i;
}

std::optional<size_t> CBatchTracker::StateOf(const CameraStateEvent& event, double seconds) {
    const std::optional<size_t> i = m_record.Find(event.mac);
    if (!i) {
        return i;
    }
    CameraOutcome& o = m_record.Outcomes()[*i];
    if (event.state == UpgradeProgress::Starting) {
        m_record.AttemptStarted(*i, seconds);
        o.state = "starting";  // the window's "please wait" tells a terminal nothing
    } else if (!IsInstalling(o)) {
        // Waiting for the camera to finish is part of installing.
        o.state = ResultCodeToText(event.state);
    } else {
        return i;  // shown as it was, step included
    }
    PrefixStep(o);
    return i;
}

std::optional<size_t> CBatchTracker::Finished(const CameraResultEvent& event, double seconds) {
    const std::optional<size_t> i = m_record.Find(event.mac);
    if (i) {
        m_record.Finished(*i, event.code, seconds);
    }
    return i;
}

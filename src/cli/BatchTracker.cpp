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
    return std::nullopt;
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
        m_record.Outcomes()[*i].state =
            last ? LoadString(IDS_INSTALLING) : std::to_string(shown) + "%";
    }
    return i;
}

std::optional<size_t> CBatchTracker::StateOf(const CameraStateEvent& event, double seconds) {
    const std::optional<size_t> i = m_record.Find(event.mac);
    if (!i) {
        return i;
    }
    CameraOutcome& o = m_record.Outcomes()[*i];
    if (event.state == UPGRADE_STATE_STARTING) {
        m_record.AttemptStarted(*i, seconds);
        o.state = "starting";  // the window's "please wait" tells a terminal nothing
    } else if (!IsInstalling(o)) {
        // Waiting for the camera to finish is part of installing.
        o.state = ResultCodeToText(event.state);
    }
    return i;
}

std::optional<size_t> CBatchTracker::Finished(const CameraResultEvent& event, double seconds) {
    const std::optional<size_t> i = m_record.Find(event.mac);
    if (i) {
        m_record.Finished(*i, event.code, seconds);
    }
    return i;
}

// Follows one batch through the events its session posts: each camera's
// outcome (by the rules of CBatchRecord), the text the live view shows for
// it, and the end of the batch (BatchEndedEvent, whatever codes came).
#pragma once

#include <optional>
#include <vector>

#include "UpgradeReport.h"
#include "model/BatchPackage.h"
#include "model/BatchRecord.h"
#include "model/DeviceSInfo.h"
#include "session/SessionEvents.h"

// Each chosen camera's outcome before the batch starts (OutcomeBefore).
std::vector<CameraOutcome> InitialOutcomes(const std::vector<DeviceInfoPtr>& devices,
                                           const std::vector<BatchPackage>& packages);

class CBatchTracker {
public:
    explicit CBatchTracker(std::vector<CameraOutcome> outcomes) : m_record(std::move(outcomes)) {}

    // Applies one event, `seconds` into the batch. The index of the camera
    // it changed, if any.
    std::optional<size_t> Apply(const SessionEvent& event, double seconds);
    // The batch is being cancelled: cameras still without a final result
    // are marked, so that they read "cancelled" unless they were never begun.
    void MarkCancelled() { m_record.MarkCancelled(); }
    // `elapsed` seconds into the batch: refreshes the time each installing camera
    // has been restarting. True when one is shown differently.
    bool Tick(double elapsed) { return m_record.Tick(elapsed); }
    bool Over() const { return m_over; }

    std::vector<CameraOutcome>& Outcomes() { return m_record.Outcomes(); }

private:
    std::optional<size_t> Prepared(const BatchPreparedEvent& event);
    std::optional<size_t> BlockSent(const CameraProgressEvent& event, double seconds);
    std::optional<size_t> StateOf(const CameraStateEvent& event, double seconds);
    std::optional<size_t> Finished(const CameraResultEvent& event, double seconds);
    std::optional<size_t> StepBegins(const CameraStepEvent& event);

    CBatchRecord m_record;
    bool m_over = false;
};

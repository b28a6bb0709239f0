// Follows one batch through the messages its session posts: each camera's
// outcome (by the rules of CBatchRecord), the text the live view shows for
// it, and the end of the batch (WM_BATCH_END, whatever codes came).
#pragma once

#include <optional>
#include <vector>

#include "UpgradeReport.h"
#include "app/WindowMessages.h"
#include "model/BatchPackage.h"
#include "model/BatchRecord.h"
#include "model/DeviceSInfo.h"

// Each chosen camera's outcome before the batch starts (OutcomeBefore).
std::vector<CameraOutcome> InitialOutcomes(const std::vector<DeviceInfoPtr>& devices,
                                           const std::vector<BatchPackage>& packages);

class CBatchTracker {
public:
    explicit CBatchTracker(std::vector<CameraOutcome> outcomes) : m_record(std::move(outcomes)) {}

    // Applies one message, `seconds` into the batch. The index of the camera
    // it changed, if any.
    std::optional<size_t> Apply(const CWindowMessage& message, double seconds);
    // The batch is being cancelled: cameras still without a final result
    // are marked, so that they read "cancelled" unless they were never begun.
    void MarkCancelled() { m_record.MarkCancelled(); }
    // `elapsed` seconds into the batch: refreshes the time each installing camera
    // has been restarting. True when one is shown differently.
    bool Tick(double elapsed) { return m_record.Tick(elapsed); }
    bool Over() const { return m_over; }

    std::vector<CameraOutcome>& Outcomes() { return m_record.Outcomes(); }

private:
    CBatchRecord m_record;
    bool m_over = false;
};

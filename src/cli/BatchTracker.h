// Follows one batch through the messages its session posts: each camera's
// outcome, and the end of the batch (WM_BATCH_END, whatever codes came).
#pragma once

#include <optional>
#include <vector>

#include "UpgradeReport.h"
#include "app/WindowMessages.h"

class CBatchTracker {
public:
    explicit CBatchTracker(std::vector<CameraOutcome> outcomes) : m_outcomes(std::move(outcomes)) {}

    // Applies one message, `seconds` into the batch. The index of the camera
    // it changed, if any.
    std::optional<size_t> Apply(const CWindowMessage& message, double seconds);
    // The batch is being cancelled: cameras still without a final result
    // are marked, so that they read "cancelled" unless they were never begun.
    void MarkCancelled();
    // `seconds` into the batch: refreshes the time each installing camera
    // has been restarting. True when one is shown differently.
    bool Tick(double seconds);
    bool Over() const { return m_over; }

    std::vector<CameraOutcome>& Outcomes() { return m_outcomes; }

private:
    std::vector<CameraOutcome> m_outcomes;
    bool m_over = false;
};

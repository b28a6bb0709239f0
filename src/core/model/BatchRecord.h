// Follows each camera's outcome through the events of one batch: prepared,
// an attempt started, a block sent, a final code, the cancel. The CLI feeds
// it from the session's messages and the window from its handlers, so that
// both record a batch by one set of rules.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>
#include <vector>

#include "model/BatchPackage.h"
#include "model/CameraOutcome.h"
#include "model/DeviceSInfo.h"

// A chosen camera's outcome before the batch starts: its MAC as shown, its
// package by its model, its version before the batch.
CameraOutcome OutcomeBefore(const DEVICE_S_INFO& camera, const std::vector<BatchPackage>& packages);

class CBatchRecord {
public:
    CBatchRecord() = default;
    explicit CBatchRecord(std::vector<CameraOutcome> outcomes) : m_outcomes(std::move(outcomes)) {}

    // The index of the camera with this MAC (SameMac), if any.
    std::optional<size_t> Find(std::string_view mac) const;

    // Each `seconds` into the batch.
    void Prepared(size_t index);
    void AttemptStarted(size_t index, double seconds);
    // Block `shown` (1 for the first) went out; `last` when it was the last
    // one: the camera installs and restarts from then on.
    void BlockSent(size_t index, int shown, bool last, double seconds);
    void Finished(size_t index, UpgradeResult code, double seconds);
    // The batch is being cancelled: cameras still without a final result
    // are marked, so that they read "cancelled" unless they were never begun.
    void MarkCancelled();
    // Refreshes the time each installing camera has been restarting. True
    // when a whole second changed.
    bool Tick(double seconds);

    std::vector<CameraOutcome>& Outcomes() { return m_outcomes; }
    const std::vector<CameraOutcome>& Outcomes() const { return m_outcomes; }

private:
    std::vector<CameraOutcome> m_outcomes;
};

// Between its last block and its result a camera installs the package and
// restarts.
bool IsInstalling(const CameraOutcome& outcome);

// Stamps the times of `o` that its state reached just now (called on each
// event that changed it): the first event is its place in the queue.
void StampOutcomeTimes(CameraOutcome& o, std::chrono::system_clock::time_point now);
